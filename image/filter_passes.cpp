// The two passes: their working memory, the route each row or window takes,
// the tables of constant-window results, and the plain reading one window at
// a time for windows too many to keep. The many-lane arithmetic itself is in
// the vector routines (filter_vectors.h).
#include "image/filter_passes.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "image/cpu_features.h"
#include "image/filter_vectors.h"

uint64_t FilterRowCacheLimit = 16u << 20;
uint64_t FilterWindowMemoryLimit = 16u << 20;
bool UseWideVectors = true;

namespace {

// Lanes of a vertical pass whose windows are checked for constant values
// together: the 256-bit routines' block.
constexpr size_t LanesPerBlock = 16;

// Weight sets of a pass that get a table of constant-window results. A pass
// at a whole-number ratio has a handful (the borders and one inside); one at
// an irregular ratio may have one per output, and keeps the plain sums for
// those past the first few.
constexpr int32_t ConstantSumSets = 32;
constexpr int16_t NotYetSummed = -1;
constexpr int32_t NoWeightSet = -1;

constexpr uintptr_t AreaAlignment = 64;

uint32_t BytesPerPixel(uint32_t bits) { return bits / 8; }

uint64_t RoundUp(uint64_t n, uint64_t to) { return (n + to - 1) / to * to; }

// Converted rows lie this many doubles apart: a whole number of cache lines
// plus one, so that the rows of a window do not all fall into the same few
// sets of the first-level cache.
uint64_t RowSlotDoubles(uint64_t lanes) { return RoundUp(lanes, 8) + 8; }

uint8_t* PictureRow(const PictureRows& picture, int32_t y)
{
    return picture.bottom + static_cast<size_t>(picture.height - 1 - y) * picture.stride;
}

// The clamped, rounded channel value of one sum.
uint8_t Finish(double acc)
{
    if (acc < 0.0) return 0;
    if (acc > 255.0) return 255;
    return static_cast<uint8_t>(static_cast<int>(acc + 0.5));
}

struct WorkspacePlan {
    uint64_t weights;        // doubles of windows' weights
    uint64_t windowOutputs;  // outputs whose windows are kept at once (1 when one at a time)
    uint64_t room;           // the longest window
    uint64_t rows;           // rows of the longest vertical window
    uint64_t blocks;         // lane blocks of the vertical pass
    uint64_t scratch;        // doubles
    uint64_t sourcePixels;   // of a row of the horizontal pass's source at most
    bool rowCache, windowsAtOnce;
};

WorkspacePlan PlanWorkspace(int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth, int32_t newHeight,
                            uint32_t bits, uint32_t capacity)
{
    WorkspacePlan plan = {};
    const uint64_t sw = static_cast<uint64_t>(std::max(sourceWidth, 1));
    const uint64_t sh = static_cast<uint64_t>(std::max(sourceHeight, 1));
    const uint64_t nw = static_cast<uint64_t>(std::max(newWidth, 0));
    const uint64_t nh = static_cast<uint64_t>(std::max(newHeight, 0));
    const uint64_t across = std::min<uint64_t>(capacity, sw);
    const uint64_t down = std::min<uint64_t>(capacity, sh);
    plan.room = std::max(across, down);
    const uint64_t allWeights = std::max(nw * across, nh * down);
    const uint64_t outputs = std::max(std::max(nw, nh), uint64_t(1));
    plan.windowsAtOnce = allWeights * sizeof(double) + outputs * 3 * sizeof(int32_t) <= FilterWindowMemoryLimit;
    plan.weights = plan.windowsAtOnce ? allWeights : plan.room;
    plan.windowOutputs = plan.windowsAtOnce ? outputs : 1;
    plan.rows = down;
    // Horizontal scratch: one source row as four doubles per pixel (or up to
    // four rows side by side).
    const uint64_t horizontal = sw * 4;
    // Vertical scratch: the rows of a window converted to doubles, or an
    // accumulator row and one converted row.
    const uint64_t lanes = RoundUp(std::max(sw, nw) * std::max(BytesPerPixel(bits), 1u), 2);
    const uint64_t cache = RowSlotDoubles(lanes) * down;
    plan.rowCache = cache * sizeof(double) <= FilterRowCacheLimit;
    plan.scratch = std::max(horizontal, plan.rowCache ? cache : 2 * lanes);
    plan.blocks = RoundUp(lanes, LanesPerBlock) / LanesPerBlock;
    plan.sourcePixels = std::max(sw, nw);
    return plan;
}

// Cuts consecutive areas, each cache-line aligned, from `at` on; counted in
// 64 bits, so that sizing a workspace from address 0 cannot wrap.
class AreaCutter {
public:
    explicit AreaCutter(uint64_t at) : at_(at) {}
    template <typename T>
    T* take(uint64_t count)
    {
        at_ = RoundUp(at_, AreaAlignment);
        T* area = reinterpret_cast<T*>(static_cast<uintptr_t>(at_));
        at_ += count * sizeof(T);
        return area;
    }
    uint64_t end() const { return at_; }

private:
    uint64_t at_;
};

FilterWorkspace LayOut(const WorkspacePlan& plan, uint32_t capacity, AreaCutter& cut)
{
    FilterWorkspace w = {};
    w.scratch = cut.take<double>(plan.scratch);
    w.windows.weights = cut.take<double>(plan.weights);
    w.windows.start = cut.take<int32_t>(plan.windowOutputs);
    w.windows.count = cut.take<int32_t>(plan.windowOutputs);
    w.windows.weightSet = cut.take<int32_t>(plan.windowOutputs);
    w.windowsAtOnce = plan.windowsAtOnce;
    w.distances = cut.take<double>(plan.room);
    w.rowPointers = cut.take<const double*>(plan.rows);
    w.rowRoom = plan.rowCache ? static_cast<size_t>(plan.rows) : 0;
    w.runEnd = cut.take<int32_t>(plan.blocks);
    w.convertedBlocks = cut.take<uint8_t>(plan.rowCache ? plan.rows * plan.blocks : 0);
    w.constantSums = cut.take<int16_t>(uint64_t(ConstantSumSets) * 256);
    w.valueChanges = cut.take<int32_t>(plan.sourcePixels);
    w.outputsWritten = cut.take<uint8_t>(plan.windowOutputs);
    w.capacity = capacity;
    return w;
}

// The windows of one pass: all computed up front when the workspace holds
// them, otherwise each computed when its output is reached.
class PassWindows {
public:
    struct Window {
        int32_t start, count, weightSet;
        const double* weights;
    };

    PassWindows(FilterWorkspace& w, int32_t outputs, int32_t sourceLength, const PassScale& pass,
                const ResizeFilter& filter)
        : table_(w.windows), atOnce_(w.windowsAtOnce), sourceLength_(sourceLength), pass_(pass), filter_(filter)
    {
        table_.room = std::min<size_t>(w.capacity, static_cast<size_t>(std::max(sourceLength, 1)));
        table_.outputs = outputs;
        table_.weightSets = 0;
        if (atOnce_) ComputeWindowTable(table_, sourceLength, pass, filter, w.distances);
    }

    bool atOnce() const { return atOnce_; }
    const WindowTable& table() const { return table_; }

    // Output i's window; one at a time, it overwrites the one asked before.
    Window at(int32_t i)
    {
        if (atOnce_)
            return {table_.start[i], table_.count[i], table_.weightSet[i], table_.weights + static_cast<size_t>(i) * table_.room};
        Window window = {0, 0, NoWeightSet, table_.weights};
        window.count = FilterWindow(i, sourceLength_, pass_, filter_, table_.room, &window.start, table_.weights);
        return window;
    }

private:
    WindowTable table_;
    bool atOnce_;
    int32_t sourceLength_;
    PassScale pass_;
    const ResizeFilter& filter_;
};

// Results of constant windows. A window whose source values are all c sums
// weight x c over its weights in window order, whatever its pixels: entry
// (set, c) holds that sum, clamped and rounded, for the weight set's
// windows, worked out the first time it is asked for.
class ConstantSums {
public:
    ConstantSums(int16_t* entries, int32_t sets) : entries_(entries), sets_(std::min(sets, ConstantSumSets))
    {
        std::fill(entries_, entries_ + static_cast<size_t>(sets_) * 256, NotYetSummed);
    }

    bool any() const { return sets_ > 0; }
    bool covers(const PassWindows::Window& window) const
    {
        return window.count > 0 && window.weightSet >= 0 && window.weightSet < sets_;
    }

    uint8_t of(const PassWindows::Window& window, uint8_t c)
    {
        int16_t& entry = entries_[static_cast<size_t>(window.weightSet) * 256 + c];
        if (entry == NotYetSummed) {
            const double value = c;
            double acc = 0.0;
            for (int32_t k = 0; k < window.count; ++k) acc += window.weights[k] * value;
            entry = Finish(acc);
        }
        return static_cast<uint8_t>(entry);
    }

private:
    int16_t* entries_;
    int32_t sets_;
};

// Lanes [from, to) of a vertical window whose rows are all alike there: each
// lane's value c, read from the window's first row, gives its result from
// the table, and a stretch of lanes of one value is written in one go.
// laneBytes: bytes per lane in the source and the destination alike (3 for
// grey pixels summed once, whose three bytes are equal, 1 otherwise).
void SumConstantLanes(const uint8_t* first, size_t from, size_t to, size_t laneBytes, ConstantSums& sums,
                      const PassWindows::Window& window, uint8_t* out)
{
    const uint8_t* values = first + from * laneBytes;
    uint8_t* o = out + from * laneBytes;
    const size_t bytes = (to - from) * laneBytes;
    for (size_t i = 0; i < bytes;) {
        const uint8_t c = values[i];
        const size_t end = i + 1 + LeadingBytesEqual(values + i + 1, bytes - i - 1, c);
        const uint8_t result = sums.of(window, c);
        if (end - i > 16) {
            std::memset(o + i, result, end - i);
        } else {
            for (size_t j = i; j < end; ++j) o[j] = result;
        }
        i = end;
    }
}

// The vertical pass with the rows of each window converted to doubles and
// kept, in a ring of slots, while they are inside the windows. Output rows
// are made from the bottom of the picture up: rows lie bottom-up in memory,
// so the source is then read forwards, as the processor foresees.
//
// Each source row is taken in once, when the first window reaches it: in
// grey mode it is checked to be grey, and it is compared with the row below,
// block by block of LanesPerBlock lanes, to know how far down runs of alike
// rows reach. Over a window, a block whose rows are all alike takes its
// results from the constant-window table; the other blocks are summed,
// converting their lanes of each row to doubles the first time a sum needs
// them.
//
// In grey mode one lane per pixel is summed and written to all three
// channels; that is only exact if every row a sum reads is grey, so the first
// row found otherwise ends grey mode (false).
class VerticalRowCache {
public:
    VerticalRowCache(const PictureRows& source, FilterWorkspace& w, bool grey, bool compare)
        : source_(source), w_(w), grey_(grey), compare_(compare),
          rowBytes_(static_cast<size_t>(source.width) * BytesPerPixel(source.bits)),
          laneBytes_(grey ? 3 : 1), lanes_(grey ? static_cast<size_t>(source.width) : rowBytes_),
          blocks_((lanes_ + LanesPerBlock - 1) / LanesPerBlock), slotDoubles_(static_cast<size_t>(RowSlotDoubles(lanes_)))
    {
    }

    size_t lanes() const { return lanes_; }
    size_t laneBytes() const { return laneBytes_; }
    size_t blocks() const { return blocks_; }
    // Whether the rows are alike in the block from the first row taken in
    // down to `last`.
    bool constant(size_t block, int32_t last) const { return w_.runEnd[block] >= last; }

    // Takes in the source rows from `last` up to `first` that are not in yet;
    // false when a grey-mode row is not grey.
    bool takeIn(int32_t first, int32_t last)
    {
        for (int32_t p = std::min(taken_ - 1, last); p >= first; --p) {
            const uint8_t* row = PictureRow(source_, p);
            const bool below = compare_ && p == taken_ - 1;
            if (compare_ && !below) std::fill(w_.runEnd, w_.runEnd + blocks_, p);
            if (grey_) {
                if (!TakeInGreyRow(row, below ? PictureRow(source_, p + 1) : nullptr, source_.width, w_.runEnd, p))
                    return false;
            } else if (below) {
                MarkChangedBlocks(row, PictureRow(source_, p + 1), rowBytes_, w_.runEnd, p);
            }
            std::fill_n(converted(p), blocks_, uint8_t(0));
            taken_ = p;
        }
        return true;
    }

    // Row p's slot, with blocks [from, to) converted.
    const double* row(int32_t p, size_t from, size_t to, const VectorRoutines& v)
    {
        double* slot = w_.scratch + Slot(p) * slotDoubles_;
        uint8_t* done = converted(p);
        for (size_t b = from; b < to;) {
            if (done[b]) {
                ++b;
                continue;
            }
            size_t end = b + 1;
            while (end < to && !done[end]) ++end;
            const size_t lane = b * LanesPerBlock;
            const size_t count = std::min(end * LanesPerBlock, lanes_) - lane;
            const uint8_t* bytes = PictureRow(source_, p) + lane * laneBytes_;
            if (grey_)
                v.greyRowToDoubles(bytes, static_cast<int32_t>(count), slot + lane);
            else
                v.bytesToDoubles(bytes, slot + lane, count);
            std::fill(done + b, done + end, uint8_t(1));
            b = end;
        }
        return slot;
    }

private:
    size_t Slot(int32_t p) const { return static_cast<size_t>(p) % w_.rowRoom; }
    uint8_t* converted(int32_t p) { return w_.convertedBlocks + Slot(p) * blocks_; }

    const PictureRows& source_;
    FilterWorkspace& w_;
    const bool grey_, compare_;
    const size_t rowBytes_, laneBytes_, lanes_, blocks_, slotDoubles_;
    int32_t taken_ = INT32_MAX;  // the topmost row taken in so far (none yet)
};

bool VerticalWithRowCache(const PictureRows& source, const PictureRows& destination, FilterWorkspace& w,
                          PassWindows& windows, bool grey, const VectorRoutines& v)
{
    ConstantSums sums(w.constantSums, windows.table().weightSets);
    VerticalRowCache cache(source, w, grey, sums.any());
    const size_t lanes = cache.lanes();
    const size_t blocks = cache.blocks();
    const int spread = grey ? 3 : 1;
    for (int32_t y = destination.height - 1; y >= 0; --y) {
        const PassWindows::Window window = windows.at(y);
        const int32_t last = window.start + window.count - 1;
        if (!cache.takeIn(window.start, last)) return false;
        uint8_t* out = PictureRow(destination, y);
        const bool tabled = sums.covers(window);
        for (size_t b = 0; b < blocks;) {
            const bool constant = tabled && cache.constant(b, last);
            size_t end = b + 1;
            while (end < blocks && (tabled && cache.constant(end, last)) == constant) ++end;
            const size_t from = b * LanesPerBlock, to = std::min(end * LanesPerBlock, lanes);
            if (constant) {
                SumConstantLanes(PictureRow(source, window.start), from, to, cache.laneBytes(), sums, window, out);
            } else {
                for (int32_t k = 0; k < window.count; ++k) w.rowPointers[k] = cache.row(window.start + k, b, end, v);
                v.sumRows(w.rowPointers, window.weights, window.count, from, to, out, spread);
            }
            b = end;
        }
    }
    return true;
}

bool IsGreyPicture(const PictureRows& picture)
{
    if (picture.bits != 24) return false;
    for (int32_t y = 0; y < picture.height; ++y)
        if (!IsGreyRow(PictureRow(picture, y), picture.width)) return false;
    return true;
}

// Windows too tall to keep converted: one accumulator row, fed one source row
// at a time in window order.
bool VerticalRowAtATime(const PictureRows& source, const PictureRows& destination, FilterWorkspace& w,
                        PassWindows& windows)
{
    const bool grey = IsGreyPicture(source);
    const size_t laneBytes = grey ? 3 : 1;
    const size_t lanes = static_cast<size_t>(source.width) * (grey ? 1 : BytesPerPixel(source.bits));
    double* acc = w.scratch;
    double* row = w.scratch + RoundUp(lanes, 2);
    for (int32_t y = 0; y < destination.height; ++y) {
        const PassWindows::Window window = windows.at(y);
        std::fill(acc, acc + lanes, 0.0);
        for (int32_t k = 0; k < window.count; ++k) {
            const uint8_t* from = PictureRow(source, window.start + k);
            for (size_t i = 0; i < lanes; ++i) row[i] = from[i * laneBytes];
            AccumulateRow(acc, row, window.weights[k], lanes);
        }
        uint8_t* out = PictureRow(destination, y);
        for (size_t i = 0; i < lanes; ++i) {
            const uint8_t result = Finish(acc[i]);
            for (size_t j = 0; j < laneBytes; ++j) out[i * laneBytes + j] = result;
        }
    }
    return grey;
}

// The plain reading, column by column: each output column's window is
// computed once and applied to every row, one channel sum at a time.
void HorizontalOneWindowAtATime(const PictureRows& source, const PictureRows& destination, PassWindows& windows)
{
    const size_t bpp = BytesPerPixel(source.bits);
    for (int32_t x = 0; x < destination.width; ++x) {
        const PassWindows::Window window = windows.at(x);
        for (int32_t y = 0; y < destination.height; ++y) {
            const uint8_t* in = PictureRow(source, y) + static_cast<size_t>(window.start) * bpp;
            uint8_t* out = PictureRow(destination, y) + static_cast<size_t>(x) * bpp;
            for (size_t c = 0; c < bpp; ++c) {
                double acc = 0.0;
                for (int32_t k = 0; k < window.count; ++k)
                    acc += window.weights[k] * static_cast<double>(in[static_cast<size_t>(k) * bpp + c]);
                out[c] = Finish(acc);
            }
        }
    }
}

bool IsFilteredDepth(uint32_t bits) { return bits == 8 || bits == 24 || bits == 32; }

// Outputs of a group of single-channel rows (pixels `step` bytes apart; a
// null out is an absent row) whose windows read one value in each row take
// their results from the constant-window table: written here, a stretch of
// outputs with the same results at a time, and flagged in `written` so that
// the sums leave them alone. `changes` lists where the rows change value
// (ListValueChanges); a window reaching over none of them is constant.
void WriteConstantOutputs(const uint8_t* const* in, uint8_t* const* out, int rows, size_t step, int spread,
                          PassWindows& windows, ConstantSums& sums, const int32_t* changes, size_t changeCount,
                          uint8_t* written)
{
    const int32_t outputs = windows.table().outputs;
    // Windows' first pixels never go back as the output goes on (see
    // SpanOfWindow), so one walk along the changes serves them all.
    size_t next = 0;  // the first change past the window's first pixel
    int32_t stretchFrom = 0, stretchSet = NoWeightSet;
    size_t stretchNext = SIZE_MAX;
    uint8_t results[4] = {};
    auto endStretch = [&](int32_t to) {
        if (stretchSet == NoWeightSet) return;
        for (int r = 0; r < rows; ++r)
            if (out[r])
                std::memset(out[r] + static_cast<size_t>(stretchFrom) * spread, results[r],
                            static_cast<size_t>(to - stretchFrom) * spread);
        stretchSet = NoWeightSet;
    };
    for (int32_t x = 0; x < outputs; ++x) {
        const PassWindows::Window window = windows.at(x);
        while (next < changeCount && changes[next] <= window.start) ++next;
        const bool constant = sums.covers(window) &&
                              (next == changeCount || changes[next] >= window.start + window.count);
        written[x] = constant;
        // Windows of one weight set with no change between their first
        // pixels read the same values and give the same results.
        if (constant && window.weightSet == stretchSet && next == stretchNext) continue;
        endStretch(x);
        if (!constant) continue;
        for (int r = 0; r < rows; ++r)
            results[r] = sums.of(window, in[r][static_cast<size_t>(window.start) * step]);
        stretchFrom = x;
        stretchSet = window.weightSet;
        stretchNext = next;
    }
    endStretch(outputs);
}

}  // namespace

const VectorRoutines& PassRoutines()
{
#if defined(TOVANREL_HAVE_AVX)
    if (UseWideVectors && ProcessorHasAvx()) return AvxRoutines;
#endif
    return Sse2Routines;
}

size_t FilterWorkspaceBytes(int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth, int32_t newHeight,
                            uint32_t bits, uint32_t capacity)
{
    const WorkspacePlan plan = PlanWorkspace(sourceWidth, sourceHeight, newWidth, newHeight, bits, capacity);
    // Laid out from address 0, plus room to align the real memory's start.
    AreaCutter cut(0);
    LayOut(plan, capacity, cut);
    const uint64_t bytes = cut.end() + AreaAlignment;
    if (bytes > 0x7FFFFFFFull) return 0;
    return static_cast<size_t>(bytes);
}

FilterWorkspace MakeFilterWorkspace(void* memory, int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth,
                                    int32_t newHeight, uint32_t bits, uint32_t capacity)
{
    const WorkspacePlan plan = PlanWorkspace(sourceWidth, sourceHeight, newWidth, newHeight, bits, capacity);
    AreaCutter cut(reinterpret_cast<uintptr_t>(memory));
    return LayOut(plan, capacity, cut);
}

bool VerticalFilterPass(const PictureRows& source, const PictureRows& destination, const PassScale& pass,
                        const ResizeFilter& filter, FilterWorkspace& w)
{
    if (!IsFilteredDepth(source.bits)) return false;
    PassWindows windows(w, destination.height, source.height, pass, filter);
    if (w.rowRoom == 0) return VerticalRowAtATime(source, destination, w, windows);
    // A 24-bit picture is first tried as grey: summed once per pixel, as its
    // three channel sums are the same sum.
    const VectorRoutines& v = PassRoutines();
    if (source.bits == 24 && VerticalWithRowCache(source, destination, w, windows, true, v)) return true;
    VerticalWithRowCache(source, destination, w, windows, false, v);
    return false;
}

void HorizontalFilterPass(const PictureRows& source, const PictureRows& destination, const PassScale& pass,
                          const ResizeFilter& filter, FilterWorkspace& w, bool sourceIsGrey)
{
    const uint32_t bits = source.bits;
    if (!IsFilteredDepth(bits)) return;
    PassWindows windows(w, destination.width, source.width, pass, filter);
    if (!windows.atOnce()) {
        HorizontalOneWindowAtATime(source, destination, windows);
        return;
    }
    const VectorRoutines& v = PassRoutines();
    const WindowTable& table = windows.table();
    ConstantSums sums(w.constantSums, table.weightSets);
    const uint32_t bpp = BytesPerPixel(bits);
    // Single-channel rows: 8-bit indices, or grey 24-bit pixels (one channel
    // summed, written to all three).
    const size_t step = bits == 8 ? 1 : 3;
    auto single = [&](int32_t y) {
        return bits == 8 || (bits == 24 && (sourceIsGrey || IsGreyRow(PictureRow(source, y), source.width)));
    };
    // From the bottom of the picture up, so that memory is read forwards.
    int32_t y = source.height - 1;
    while (y >= 0) {
        if (!single(y)) {
            v.horizontalColourRow(PictureRow(source, y), bpp, source.width, PictureRow(destination, y), table,
                                  w.scratch);
            --y;
            continue;
        }
        const uint8_t* in[4];
        uint8_t* out[4];
        int rows = 0;
        do {
            in[rows] = PictureRow(source, y - rows);
            out[rows] = PictureRow(destination, y - rows);
            ++rows;
        } while (rows < v.rowsSideBySide && y - rows >= 0 && single(y - rows));
        for (int j = rows; j < v.rowsSideBySide; ++j) {
            in[j] = in[rows - 1];
            out[j] = nullptr;
        }
        const uint8_t* written = nullptr;
        if (sums.any()) {
            const size_t changes = ListValueChanges(in, rows, step, source.width, w.valueChanges);
            WriteConstantOutputs(in, out, rows, step, static_cast<int>(step), windows, sums, w.valueChanges,
                                 changes, w.outputsWritten);
            written = w.outputsWritten;
        }
        v.horizontalRows(in, step, source.width, out, static_cast<int>(step), table, w.scratch, written);
        y -= rows;
    }
}
