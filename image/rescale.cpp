// Separable filtered rescaling: one pass along the rows and one along the
// columns through an 8-bit-per-channel intermediate picture. One pipeline:
// RescaleDib locks its block and rescales its rows with RescalePixels, which
// plans the passes (PlanRescale) and runs them (RunPlan) with working memory
// from the heap, kept between calls in a RescaleMemory when one is given.
#include "image/rescale.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/filter_passes.h"
#include "image/packed_dib.h"
#include "image/rescale_plan.h"

namespace {

constexpr double SmallestFactor = 0.0001;
constexpr size_t WorkingAlignment = 64;  // a cache line; more than any vector needs

bool IsFilteredDepth(uint32_t bits) { return bits == 8 || bits == 24 || bits == 32; }

}  // namespace

bool IsFilteredSource(const BITMAPINFOHEADER* header, double blur)
{
    return IsFilteredDepth(header->biBitCount) && header->biWidth > 0 && header->biHeight > 0 &&
           DibRowsFit(header->biWidth, header->biHeight, header->biBitCount) && std::isfinite(blur);
}

PictureRows RowsOfBlock(const BITMAPINFOHEADER* header)
{
    return {const_cast<uint8_t*>(DibPixelBits(header)),
            static_cast<size_t>(DibStride(header->biWidth, header->biBitCount)),
            header->biWidth, header->biHeight, header->biBitCount};
}


bool PlanRescale(const BITMAPINFOHEADER* source, int32_t newWidth, int32_t newHeight, int32_t filterIndex,
                 double blur, RescalePlan* plan)
{
    const int32_t sourceWidth = source->biWidth, sourceHeight = source->biHeight;
    const uint32_t bits = source->biBitCount;
    filterIndex = std::min(std::max(filterIndex, 0), ResizeFilterCount - 1);
    double fx = static_cast<double>(newWidth) / sourceWidth;
    double fy = static_cast<double>(newHeight) / sourceHeight;
    if (fx < SmallestFactor) fx = SmallestFactor;
    if (fy < SmallestFactor) fy = SmallestFactor;

    int row = filterIndex;
    if (row == 0) row = fx * fy > 1.0 ? MitchellFilterIndex : Lanczos3FilterIndex;
    const ResizeFilter& filter = ResizeFilters[row];
    const PassScale horizontal = ScaleOfPass(fx, filter, blur);
    const PassScale vertical = ScaleOfPass(fy, filter, blur);
    if (!HasFiniteWindows(horizontal) || !HasFiniteWindows(vertical)) return false;

    // Room for the widest window of either pass.
    double sx = blur * std::max(1.0 / fx, 1.0) * filter.support;
    double sy = blur * std::max(1.0 / fy, 1.0) * filter.support;
    double m = std::max(sx, sy);
    if (m < filter.support) m = filter.support;
    if (m < 0.5) m = 0.5;
    // A window never holds more pixels than the source has along its axis,
    // so a huge blur only needs that many entries.
    double longest = static_cast<double>(std::max(sourceWidth, sourceHeight)) + 3.0;
    double wanted = std::trunc(2.0 * m + 3.0);
    uint32_t capacity = static_cast<uint32_t>(std::min(wanted, longest));

    size_t workspaceBytes = FilterWorkspaceBytes(sourceWidth, sourceHeight, newWidth, newHeight, bits, capacity);
    if (workspaceBytes == 0) return false;

    // The cheaper order first, judged on 32-bit unsigned products; a tie (any
    // uniform scaling) runs the vertical pass first.
    uint32_t horizontalFirstCost = static_cast<uint32_t>(newWidth) *
                                   (static_cast<uint32_t>(sourceHeight) + static_cast<uint32_t>(newHeight));
    uint32_t verticalFirstCost = static_cast<uint32_t>(newHeight) *
                                 (static_cast<uint32_t>(sourceWidth) + static_cast<uint32_t>(newWidth));
    const bool horizontalFirst = horizontalFirstCost > verticalFirstCost;

    *plan = {sourceWidth, sourceHeight, newWidth, newHeight, bits, horizontal, vertical, &filter, capacity,
             horizontalFirst, horizontalFirst ? newWidth : sourceWidth, horizontalFirst ? sourceHeight : newHeight,
             workspaceBytes};
    return true;
}

namespace {

void RunPasses(const RescalePlan& plan, const PictureRows& from, const PictureRows& middle, const PictureRows& to,
               FilterWorkspace& workspace)
{
    if (plan.horizontalFirst) {
        HorizontalFilterPass(from, middle, plan.horizontal, *plan.filter, workspace, false);
        VerticalFilterPass(middle, to, plan.vertical, *plan.filter, workspace);
    } else {
        const bool grey = VerticalFilterPass(from, middle, plan.vertical, *plan.filter, workspace);
        HorizontalFilterPass(middle, to, plan.horizontal, *plan.filter, workspace, grey);
    }
}

void* AlignUp(void* p)
{
    uintptr_t at = (reinterpret_cast<uintptr_t>(p) + WorkingAlignment - 1) & ~uintptr_t(WorkingAlignment - 1);
    return reinterpret_cast<void*>(at);
}

// Working memory of one RescalePixels call: taken from the caller's
// RescaleMemory when there is one and it may keep that much, otherwise heap
// memory of this call alone.
class WorkingMemory {
public:
    WorkingMemory(size_t bytes, RescaleMemory* kept)
    {
        if (kept) memory_ = kept->reserve(bytes);
        if (!memory_ && bytes <= SIZE_MAX - WorkingAlignment) {
            owned_ = HeapAlloc(GetProcessHeap(), 0, bytes + WorkingAlignment);
            if (owned_) memory_ = AlignUp(owned_);
        }
    }
    ~WorkingMemory()
    {
        if (owned_) HeapFree(GetProcessHeap(), 0, owned_);
    }
    WorkingMemory(const WorkingMemory&) = delete;
    WorkingMemory& operator=(const WorkingMemory&) = delete;
    uint8_t* get() const { return static_cast<uint8_t*>(memory_); }

private:
    void* owned_ = nullptr;
    void* memory_ = nullptr;
};

// A block holding the picture's header, colour table and rows as they are:
// what RescaleDib's byte copy of such a block holds.
HGLOBAL CopyOfPicture(const BITMAPINFOHEADER* header, const void* pixels)
{
    const uint64_t headerBytes = uint64_t(header->biSize) + DibColorTableBytes(header->biBitCount);
    const uint64_t imageBytes = DibImageBytes(header->biWidth, header->biHeight, header->biBitCount);
    if (headerBytes + imageBytes > SIZE_MAX) return nullptr;
    GlobalBlock copy(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(headerBytes + imageBytes)));
    if (!copy) return nullptr;
    LockedGlobal lock(copy.get());
    if (!lock.get()) return nullptr;
    auto* to = static_cast<uint8_t*>(lock.get());
    std::memcpy(to, header, static_cast<size_t>(headerBytes));
    std::memcpy(to + headerBytes, pixels, static_cast<size_t>(imageBytes));
    return copy.release();
}

// The result block RescalePixels makes for a picture: the new size, the
// source's depth and colour table, every pixel zero.
HGLOBAL ResultBlockFor(const BITMAPINFOHEADER* header, int32_t newWidth, int32_t newHeight)
{
    RgbPalette palette;
    GetPackedDibPalette(header, &palette);
    return CreatePackedDib(newWidth, newHeight, &palette, header->biBitCount);
}

}  // namespace

bool RunPlan(const RescalePlan& plan, const void* pixels, BITMAPINFOHEADER* to, RescaleMemory* kept,
             const PictureRows* middle)
{
    const uint32_t bits = plan.bits;
    if (!DibRowsFit(plan.middleWidth, plan.middleHeight, bits)) return false;
    const size_t middleStride = static_cast<size_t>(DibStride(plan.middleWidth, bits));
    const uint64_t middleBytes = middle ? 0 : DibImageBytes(plan.middleWidth, plan.middleHeight, bits);
    const uint64_t workspaceBytes =
        (uint64_t(plan.workspaceBytes) + WorkingAlignment - 1) & ~uint64_t(WorkingAlignment - 1);
    if (workspaceBytes + middleBytes > SIZE_MAX - WorkingAlignment) return false;

    WorkingMemory working(static_cast<size_t>(workspaceBytes + middleBytes), kept);
    if (!working.get()) return false;
    FilterWorkspace workspace = MakeFilterWorkspace(working.get(), plan.sourceWidth, plan.sourceHeight,
                                                    plan.newWidth, plan.newHeight, bits, plan.capacity);
    const PictureRows from = {static_cast<uint8_t*>(const_cast<void*>(pixels)),
                              static_cast<size_t>(DibStride(plan.sourceWidth, bits)), plan.sourceWidth,
                              plan.sourceHeight, bits};
    const PictureRows ownMiddle = {working.get() + workspaceBytes, middleStride, plan.middleWidth,
                                   plan.middleHeight, bits};
    RunPasses(plan, from, middle ? *middle : ownMiddle, RowsOfBlock(to), workspace);
    return true;
}

void* RescaleMemory::reserve(size_t bytes)
{
    if (bytes > keepLimit_) return nullptr;
    if (block_ && bytes <= bytes_ - WorkingAlignment) return AlignUp(block_);
    void* grown = HeapAlloc(GetProcessHeap(), 0, bytes + WorkingAlignment);
    if (!grown) return nullptr;
    release();
    block_ = grown;
    bytes_ = bytes + WorkingAlignment;
    return AlignUp(block_);
}

void RescaleMemory::release()
{
    if (block_) HeapFree(GetProcessHeap(), 0, block_);
    block_ = nullptr;
    bytes_ = 0;
}

HGLOBAL RescaleDib(HGLOBAL source, int32_t newWidth, int32_t newHeight, int32_t filterIndex, double blur)
{
    if (!source) return nullptr;
    {
        LockedDib dib(source);
        if (!dib) return nullptr;
        const BITMAPINFOHEADER* header = dib.header();
        if (!IsFilteredSource(header, blur)) return nullptr;
        if (newWidth != header->biWidth || newHeight != header->biHeight || blur != 1.0)
            return RescalePixels(header, DibPixelBits(header), newWidth, newHeight, filterIndex, blur, nullptr);
        // Nothing changes: the destination is made first, as for any size,
        // and then given way to a byte-for-byte copy of the whole block,
        // whatever the filter.
        if (!GlobalBlock(ResultBlockFor(header, newWidth, newHeight))) return nullptr;
    }
    return DuplicateGlobalBlock(source);
}

HGLOBAL RescalePixels(const BITMAPINFOHEADER* header, const void* pixels, int32_t newWidth, int32_t newHeight,
                      int32_t filterIndex, double blur, RescaleMemory* memory)
{
    if (!header || !pixels || !IsFilteredSource(header, blur)) return nullptr;
    if (newWidth < 0 || newHeight < 0) return nullptr;
    if (newWidth == header->biWidth && newHeight == header->biHeight && blur == 1.0)
        return CopyOfPicture(header, pixels);
    // Sizes that cannot be rescaled are refused before anything is allocated.
    RescalePlan plan;
    if (!PlanRescale(header, newWidth, newHeight, filterIndex, blur, &plan)) return nullptr;
    GlobalBlock destination(ResultBlockFor(header, newWidth, newHeight));
    if (!destination) return nullptr;
    LockedGlobal destinationLock(destination.get());
    auto* to = static_cast<BITMAPINFOHEADER*>(destinationLock.get());
    if (!to || !RunPlan(plan, pixels, to, memory)) return nullptr;
    destinationLock.reset();
    return destination.release();
}

HGLOBAL RescaleDibPercent(HGLOBAL source, int32_t horizontalPercent, int32_t verticalPercent, int32_t filterIndex)
{
    int32_t width = 0, height = 0;
    if (!GetPackedDibInfo(source, &width, &height, nullptr, nullptr)) return nullptr;
    double newWidth = std::trunc(static_cast<double>(width) * horizontalPercent * 0.01 + 0.5);
    double newHeight = std::trunc(static_cast<double>(height) * verticalPercent * 0.01 + 0.5);
    // Sizes beyond 32 bits cannot be made; negative ones are refused by the block.
    if (std::fabs(newWidth) > 2147483647.0 || std::fabs(newHeight) > 2147483647.0) return nullptr;
    return RescaleDib(source, static_cast<int32_t>(newWidth), static_cast<int32_t>(newHeight), filterIndex, 1.0);
}
