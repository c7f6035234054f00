// Separable filtered rescaling: one pass along the rows and one along the
// columns through an 8-bit-per-channel intermediate picture.
#include "image/rescale.h"

#include <algorithm>
#include <cmath>

#include "image/packed_dib.h"
#include "image/resize_filters.h"

namespace {

constexpr double SmallestFactor = 0.0001;

bool IsFilteredDepth(uint32_t bits) { return bits == 8 || bits == 24 || bits == 32; }

// Holds a lock on a block that is owned elsewhere (by a GlobalBlock).
class BlockLock {
public:
    explicit BlockLock(HGLOBAL block) : block_(block), memory_(GlobalLock(block)) {}
    ~BlockLock()
    {
        if (memory_) GlobalUnlock(block_);
    }
    BlockLock(const BlockLock&) = delete;
    BlockLock& operator=(const BlockLock&) = delete;
    void* get() const { return memory_; }

private:
    HGLOBAL block_;
    void* memory_;
};

}  // namespace

HGLOBAL RescaleDib(HGLOBAL source, int32_t newWidth, int32_t newHeight, int32_t filterIndex, double blur)
{
    filterIndex = std::min(std::max(filterIndex, 0), ResizeFilterCount - 1);
    if (!source) return nullptr;

    bool sameSize = false;
    GlobalBlock destination;
    {
        LockedDib sourceDib(source);
        if (!sourceDib) return nullptr;
        const BITMAPINFOHEADER* from = sourceDib.header();
        const uint32_t bits = from->biBitCount;
        const int32_t sourceWidth = from->biWidth;
        const int32_t sourceHeight = from->biHeight;
        // Only 8-, 24- and 32-bit pictures with pixels are filtered; a blur
        // that is not a number would make every window meaningless.
        if (!IsFilteredDepth(bits) || sourceWidth <= 0 || sourceHeight <= 0 || !std::isfinite(blur))
            return nullptr;

        RgbPalette palette;
        GetPackedDibPalette(from, &palette);
        destination.reset(CreatePackedDib(newWidth, newHeight, &palette, bits));
        if (!destination) return nullptr;
        BlockLock destinationLock(destination.get());
        if (!destinationLock.get()) return nullptr;
        auto* to = static_cast<BITMAPINFOHEADER*>(destinationLock.get());

        if (newWidth == sourceWidth && newHeight == sourceHeight && blur == 1.0) {
            sameSize = true;
        } else {
            double fx = static_cast<double>(newWidth) / sourceWidth;
            double fy = static_cast<double>(newHeight) / sourceHeight;
            if (fx < SmallestFactor) fx = SmallestFactor;
            if (fy < SmallestFactor) fy = SmallestFactor;

            int row = filterIndex;
            if (row == 0) row = fx * fy > 1.0 ? MitchellFilterIndex : Lanczos3FilterIndex;
            const ResizeFilter& filter = ResizeFilters[row];

            // Room for the widest window of either pass.
            double sx = blur * std::max(1.0 / fx, 1.0) * filter.support;
            double sy = blur * std::max(1.0 / fy, 1.0) * filter.support;
            double m = std::max(sx, sy);
            if (m < filter.support) m = filter.support;
            if (m < 0.5) m = 0.5;
            // A window never holds more pixels than the source has along its
            // axis, so a huge blur only needs that many entries.
            double longest = static_cast<double>(std::max(sourceWidth, sourceHeight)) + 3.0;
            double wanted = std::trunc(2.0 * m + 3.0);
            uint32_t capacity = static_cast<uint32_t>(std::min(wanted, longest));

            size_t bytes = FilterWorkspaceBytes(sourceWidth, sourceHeight, newWidth, newHeight, bits, capacity);
            if (bytes == 0) return nullptr;
            GlobalBlock workspaceBlock(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes));
            if (!workspaceBlock) return nullptr;
            BlockLock workspaceLock(workspaceBlock.get());
            if (!workspaceLock.get()) return nullptr;
            FilterWorkspace workspace = MakeFilterWorkspace(workspaceLock.get(), sourceWidth, sourceHeight,
                                                            newWidth, newHeight, bits, capacity);

            // The cheaper order first, judged on 32-bit unsigned products; a
            // tie (any uniform scaling) runs the vertical pass first.
            uint32_t horizontalFirstCost = static_cast<uint32_t>(newWidth) *
                                           (static_cast<uint32_t>(sourceHeight) + static_cast<uint32_t>(newHeight));
            uint32_t verticalFirstCost = static_cast<uint32_t>(newHeight) *
                                         (static_cast<uint32_t>(sourceWidth) + static_cast<uint32_t>(newWidth));
            const bool horizontalFirst = horizontalFirstCost > verticalFirstCost;

            GlobalBlock intermediate(horizontalFirst ? CreatePackedDib(newWidth, sourceHeight, &palette, bits)
                                                     : CreatePackedDib(sourceWidth, newHeight, &palette, bits));
            if (!intermediate) return nullptr;
            BlockLock intermediateLock(intermediate.get());
            if (!intermediateLock.get()) return nullptr;
            auto* middle = static_cast<BITMAPINFOHEADER*>(intermediateLock.get());

            if (horizontalFirst) {
                HorizontalFilterPass(from, middle, fx, filter, blur, workspace);
                VerticalFilterPass(middle, to, fy, filter, blur, workspace);
            } else {
                VerticalFilterPass(from, middle, fy, filter, blur, workspace);
                HorizontalFilterPass(middle, to, fx, filter, blur, workspace);
            }
        }
    }
    if (sameSize) {
        // Nothing changes: a byte-for-byte copy, whatever the filter.
        destination.reset();
        return DuplicateGlobalBlock(source);
    }
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
