// The kept rescale: a whole rescale that keeps its vertical pass's rows and
// its result, and the update of both from the pixels that may have changed.
#include "image/kept_rescale.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "image/filter_vectors.h"
#include "image/packed_dib.h"
#include "image/rescale.h"

namespace {

constexpr int32_t FilterChosenByTheRescaler = 0;
constexpr size_t Alignment = 64;  // the 256-bit routines store aligned

size_t RoundUp(size_t n) { return (n + Alignment - 1) / Alignment * Alignment; }

ChangedPixels::Span Hull(ChangedPixels::Span a, ChangedPixels::Span b)
{
    if (a.empty()) return b;
    if (b.empty()) return a;
    return {std::min(a.from, b.from), std::max(a.to, b.to)};
}

// Whether the marks cover more than a third of the picture: an update then
// costs more than the whole rescale (whose passes run on whole rows and
// tell constant windows apart).
bool MostlyChanged(const ChangedPixels& changed)
{
    int64_t marked = 0;
    for (int32_t y = 0; y < changed.height(); ++y) {
        const ChangedPixels::Span span = changed.row(y);
        if (!span.empty()) marked += span.to - span.from;
    }
    return marked * 3 > int64_t(changed.width()) * changed.height();
}

}  // namespace

WindowTable KeptRescale::PassWindows::table()
{
    return {weights.data(), start.data(), count.data(), weightSet.data(), room, static_cast<int32_t>(start.size()),
            weightSets};
}

size_t KeptRescale::keptBytes() const
{
    size_t bytes = middle_.capacity() + result_.capacity() + middleChanges_.capacity() * sizeof(ChangedPixels::Span);
    for (const PassWindows* w : {&vertical_, &horizontal_})
        bytes += w->weights.capacity() * sizeof(double) +
                 (w->start.capacity() + w->count.capacity() + w->weightSet.capacity()) * sizeof(int32_t);
    return bytes;
}

bool KeptRescale::sameSizes(const RescalePlan& plan) const
{
    return plan.sourceWidth == plan_.sourceWidth && plan.sourceHeight == plan_.sourceHeight &&
           plan.newWidth == plan_.newWidth && plan.newHeight == plan_.newHeight && plan.bits == plan_.bits;
}

bool KeptRescale::prepare(const RescalePlan& plan)
{
    if (sameSizes(plan) && !middle_.empty()) return true;
    try {
        plan_ = {};
        middleStride_ = static_cast<size_t>(DibStride(plan.middleWidth, plan.bits));
        resultStride_ = static_cast<size_t>(DibStride(plan.newWidth, plan.bits));
        middle_.assign(middleStride_ * static_cast<size_t>(plan.middleHeight), 0);
        result_.assign(resultStride_ * static_cast<size_t>(plan.newHeight), 0);
        middleChanges_.assign(static_cast<size_t>(plan.middleHeight), {});
        // The windows the passes use: of every output, over the source's
        // length along the pass, at most `capacity` wide.
        struct {
            PassWindows& windows;
            int32_t outputs, sourceLength;
            const PassScale& pass;
        } const passes[] = {{vertical_, plan.newHeight, plan.sourceHeight, plan.vertical},
                            {horizontal_, plan.newWidth, plan.middleWidth, plan.horizontal}};
        for (const auto& p : passes) {
            p.windows.room = std::min<size_t>(plan.capacity, static_cast<size_t>(std::max(p.sourceLength, 1)));
            p.windows.weights.assign(p.windows.room * static_cast<size_t>(p.outputs), 0.0);
            p.windows.start.assign(static_cast<size_t>(p.outputs), 0);
            p.windows.count.assign(static_cast<size_t>(p.outputs), 0);
            p.windows.weightSet.assign(static_cast<size_t>(p.outputs), 0);
            std::vector<double> distances(p.windows.room);
            WindowTable table = p.windows.table();
            ComputeWindowTable(table, p.sourceLength, p.pass, *plan.filter, distances.data());
            p.windows.weightSets = table.weightSets;
        }
        plan_ = plan;
        return true;
    } catch (const std::bad_alloc&) {
        middle_ = {};
        result_ = {};
        middleChanges_ = {};
        vertical_ = {};
        horizontal_ = {};
        return false;
    }
}

bool KeptRescale::rescaleWhole(const RescalePlan& plan, const uint8_t* pixels, BITMAPINFOHEADER* to,
                               RescaleMemory* memory)
{
    kept_ = false;
    if (plan.horizontalFirst || plan.bits != 24 || !prepare(plan)) return RunPlan(plan, pixels, to, memory);
    const PictureRows middle = {middle_.data(), middleStride_, plan.middleWidth, plan.middleHeight, plan.bits};
    if (!RunPlan(plan, pixels, to, memory, &middle)) return false;
    std::memcpy(result_.data(), DibPixelBits(to), result_.size());
    kept_ = true;
    return true;
}

bool KeptRescale::rescale(const BITMAPINFOHEADER* source, const uint8_t* pixels, const ChangedPixels& changed,
                          BITMAPINFOHEADER* to, RescaleMemory* memory)
{
    if (!source || !pixels || !to || !IsFilteredSource(source, 1.0) || to->biBitCount != source->biBitCount ||
        to->biWidth < 0 || to->biHeight < 0) {
        kept_ = false;
        return false;
    }
    if (to->biWidth == source->biWidth && to->biHeight == source->biHeight) {
        // Nothing changes: the rows as they are.
        kept_ = false;
        std::memcpy(DibPixelBits(to), pixels,
                    static_cast<size_t>(DibImageBytes(to->biWidth, to->biHeight, to->biBitCount)));
        return true;
    }
    RescalePlan plan;
    if (!PlanRescale(source, to->biWidth, to->biHeight, FilterChosenByTheRescaler, 1.0, &plan)) {
        kept_ = false;
        return false;
    }
    if (kept_ && sameSizes(plan) && !changed.all() && changed.width() == plan.sourceWidth &&
        changed.height() == plan.sourceHeight && !MostlyChanged(changed) && update(pixels, changed, to, memory))
        return true;
    return rescaleWhole(plan, pixels, to, memory);
}

// The vertical pass first: each row of middle_ whose window meets a row of
// the source that may have changed is computed again over the changed
// columns of those rows, and where its bytes came out otherwise is noted.
// Grey source rows are converted to doubles once per update, in a ring of
// row slots (a row lies in several windows), and summed once per pixel;
// where a window's rows are not all grey, every byte is summed on its own.
// Then each output pixel whose horizontal window meets the noted bytes is
// computed again. False, with nothing written, when the working memory
// cannot be had.
bool KeptRescale::update(const uint8_t* pixels, const ChangedPixels& changed, BITMAPINFOHEADER* to,
                         RescaleMemory* memory)
{
    const int32_t sourceWidth = plan_.sourceWidth, sourceHeight = plan_.sourceHeight;
    const int32_t newWidth = plan_.newWidth, newHeight = plan_.newHeight;
    const size_t sourceStride = static_cast<size_t>(DibStride(sourceWidth, plan_.bits));
    WindowTable vertical = vertical_.table(), horizontal = horizontal_.table();

    // Working memory: a ring of converted source rows (one slot per row of
    // the widest vertical window, each a whole row of doubles, or three per
    // pixel for a window that is not grey), also room for the horizontal
    // routines' four doubles per source pixel; the window's row pointers; a
    // sub-table's starts; one middle row's new bytes.
    // Slots lie a whole number of cache lines plus one apart, so that the
    // rows of a window do not all fall into the same few sets of the cache.
    const size_t slotDoubles = (static_cast<size_t>(sourceWidth) * 3 + 7) / 8 * 8 + 8;
    const size_t ringDoubles = std::max(vertical.room * slotDoubles, static_cast<size_t>(plan_.middleWidth) * 4);
    const size_t slotRowsAt = RoundUp(ringDoubles * sizeof(double));
    const size_t slotSpansAt = slotRowsAt + RoundUp(vertical.room * sizeof(int32_t));
    const size_t rowsAt = slotSpansAt + RoundUp(vertical.room * sizeof(ChangedPixels::Span));
    const size_t startsAt = rowsAt + RoundUp(vertical.room * sizeof(const double*));
    const size_t freshAt = startsAt + RoundUp(static_cast<size_t>(newWidth) * sizeof(int32_t));
    const size_t bytes = freshAt + RoundUp(static_cast<size_t>(sourceWidth) * 3);
    auto* working = memory ? static_cast<uint8_t*>(memory->reserve(bytes)) : nullptr;
    if (!working) return false;
    auto* ring = reinterpret_cast<double*>(working);
    auto* slotRow = reinterpret_cast<int32_t*>(working + slotRowsAt);  // the source row a slot holds, or -1
    auto* slotSpan = reinterpret_cast<ChangedPixels::Span*>(working + slotSpansAt);  // its pixels converted, all grey
    auto* rows = reinterpret_cast<const double**>(working + rowsAt);
    auto* starts = reinterpret_cast<int32_t*>(working + startsAt);
    uint8_t* fresh = working + freshAt;
    std::fill(slotRow, slotRow + vertical.room, -1);
    const VectorRoutines& v = PassRoutines();
    auto sourceRow = [&](int32_t y) { return pixels + static_cast<size_t>(sourceHeight - 1 - y) * sourceStride; };

    // Converts what is missing of [from, to) of source row y into its slot;
    // false when a pixel there is not grey (the slot then holds nothing).
    auto greyRowIn = [&](int32_t y, int32_t from, int32_t to) -> const double* {
        const size_t slot = static_cast<size_t>(y) % vertical.room;
        double* doubles = ring + slot * slotDoubles;
        ChangedPixels::Span& have = slotSpan[slot];
        if (slotRow[slot] != y) {
            slotRow[slot] = y;
            have = {};
        }
        auto convert = [&](int32_t a, int32_t b) {
            return a >= b || v.greyRowToDoubles(sourceRow(y) + static_cast<size_t>(a) * 3, b - a, doubles + a);
        };
        bool grey;
        if (have.empty()) {
            grey = convert(from, to);
            have = {from, to};
        } else {
            grey = convert(from, std::min(to, have.from)) && convert(std::max(from, have.to), to);
            // The gap between the two, if any, converted too, to keep one span.
            grey = grey && convert(std::min(to, have.from), have.from) && convert(have.to, std::max(from, have.to));
            have = Hull(have, {from, to});
        }
        if (!grey) slotRow[slot] = -1;
        return grey ? doubles : nullptr;
    };

    for (int32_t j = 0; j < newHeight; ++j) {
        middleChanges_[j] = {};
        const int32_t first = vertical.start[j], count = vertical.count[j];
        ChangedPixels::Span span;
        for (int32_t y = first; y < first + count; ++y) span = Hull(span, changed.row(y));
        if (span.empty() || count == 0) continue;
        const double* weights = vertical.weights + static_cast<size_t>(j) * vertical.room;
        bool grey = true;
        for (int32_t k = 0; k < count && grey; ++k) grey = (rows[k] = greyRowIn(first + k, span.from, span.to)) != nullptr;
        const size_t lane = static_cast<size_t>(span.from), lanes = static_cast<size_t>(span.to - span.from);
        if (grey) {
            v.sumRows(rows, weights, count, lane, lane + lanes, fresh, 3);
        } else {
            // Every byte on its own, converted for this window alone (in the
            // slots, which then hold no grey rows).
            for (int32_t k = 0; k < count; ++k) {
                const size_t slot = static_cast<size_t>(first + k) % vertical.room;
                slotRow[slot] = -1;
                double* doubles = ring + slot * slotDoubles;
                v.bytesToDoubles(sourceRow(first + k) + lane * 3, doubles + lane * 3, lanes * 3);
                rows[k] = doubles;
            }
            v.sumRows(rows, weights, count, lane * 3, (lane + lanes) * 3, fresh, 1);
        }
        uint8_t* kept = middle_.data() + static_cast<size_t>(newHeight - 1 - j) * middleStride_;
        int32_t firstChanged = INT32_MAX, lastChanged = -1;
        for (int32_t p = span.from; p < span.to; ++p) {
            const uint8_t* a = kept + 3 * p;
            const uint8_t* b = fresh + 3 * p;
            if (a[0] == b[0] && a[1] == b[1] && a[2] == b[2]) continue;
            if (firstChanged == INT32_MAX) firstChanged = p;
            lastChanged = p;
        }
        if (lastChanged < 0) continue;
        std::memcpy(kept + 3 * firstChanged, fresh + 3 * firstChanged, static_cast<size_t>(lastChanged + 1 - firstChanged) * 3);
        middleChanges_[j] = {firstChanged, lastChanged + 1};
    }

    // The horizontal pass: rows whose bytes changed, as many side by side
    // as the routines take, each over the outputs that reach into the hull
    // of their changed bytes (an output computed again that did not need it
    // comes out as it was).
    auto middleRow = [&](int32_t j) { return middle_.data() + static_cast<size_t>(newHeight - 1 - j) * middleStride_; };
    auto resultRow = [&](int32_t j) { return result_.data() + static_cast<size_t>(newHeight - 1 - j) * resultStride_; };
    for (int32_t j = 0; j < newHeight;) {
        if (middleChanges_[j].empty()) {
            ++j;
            continue;
        }
        int32_t group[4], rowsInGroup = 0;
        ChangedPixels::Span span;
        for (; j < newHeight && rowsInGroup < v.rowsSideBySide && !middleChanges_[j].empty(); ++j) {
            group[rowsInGroup++] = j;
            span = Hull(span, middleChanges_[j]);
        }
        // Windows' first and last pixels never go back as the output goes
        // on, so the outputs that reach into the span are one run of them.
        int32_t from = 0, until = newWidth;
        while (from < newWidth && horizontal.start[from] + horizontal.count[from] <= span.from) ++from;
        while (until > from && horizontal.start[until - 1] >= span.to) --until;
        if (from >= until) continue;
        const int32_t sourceFrom = horizontal.start[from];
        int32_t sourceTo = sourceFrom;
        for (int32_t i = from; i < until; ++i) {
            starts[i - from] = horizontal.start[i] - sourceFrom;
            sourceTo = std::max(sourceTo, horizontal.start[i] + horizontal.count[i]);
        }
        const WindowTable part = {horizontal.weights + static_cast<size_t>(from) * horizontal.room,
                                  starts,
                                  horizontal.count + from,
                                  horizontal.weightSet + from,
                                  horizontal.room,
                                  until - from,
                                  horizontal.weightSets};
        const size_t inAt = static_cast<size_t>(sourceFrom) * 3, outAt = static_cast<size_t>(from) * 3;
        const int32_t length = sourceTo - sourceFrom;
        bool grey = true;
        for (int r = 0; r < rowsInGroup && grey; ++r) grey = IsGreyRow(middleRow(group[r]) + inAt, length);
        if (grey) {
            const uint8_t* ins[4];
            uint8_t* outs[4];
            for (int r = 0; r < 4; ++r) {
                ins[r] = middleRow(group[std::min(r, rowsInGroup - 1)]) + inAt;
                outs[r] = r < rowsInGroup ? resultRow(group[r]) + outAt : nullptr;
            }
            v.horizontalRows(ins, 3, length, outs, 3, part, ring, nullptr);
        } else {
            for (int r = 0; r < rowsInGroup; ++r)
                v.horizontalColourRow(middleRow(group[r]) + inAt, 3, length, resultRow(group[r]) + outAt, part, ring);
        }
    }
    std::memcpy(DibPixelBits(to), result_.data(), result_.size());
    return true;
}
