// Finding, comparing and writing runs of equal bytes, and marking as changed
// the pixels they cover.
#include "render/byte_runs.h"

#include <cstring>

namespace {

ByteRun RunOf(size_t from, size_t to, uint8_t value)
{
    return {static_cast<uint32_t>(from), static_cast<uint32_t>(to - from), value};
}

}  // namespace

void StampRuns(uint8_t* pixels, const ByteRuns& runs)
{
    for (const ByteRun& run : runs) std::memset(pixels + run.offset, run.value, run.length);
}

ByteRuns RunsWithin(const ByteRuns& runs, const ChangedPixels& region, int32_t width, int32_t height)
{
    ByteRuns within;
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    for (const ByteRun& run : runs) {
        const size_t runEnd = size_t(run.offset) + run.length;
        for (size_t row = run.offset / stride; row * stride < runEnd; ++row) {
            const ChangedPixels::Span span = region.row(height - 1 - static_cast<int32_t>(row));
            if (span.empty()) continue;
            const size_t start = std::max<size_t>(run.offset, row * stride + static_cast<size_t>(span.from) * 3);
            const size_t end = std::min(runEnd, row * stride + static_cast<size_t>(span.to) * 3);
            if (start < end) within.push_back(RunOf(start, end, run.value));
        }
    }
    return within;
}

void MarkRunsChanged(ChangedPixels& changed, const ByteRuns& runs, int32_t width, int32_t height)
{
    if (changed.all()) return;
    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (const ByteRun& run : runs) {
        // A run may go on over several rows (and their padding).
        size_t at = run.offset, left = run.length;
        while (left > 0) {
            const size_t row = at / stride, inRow = at % stride;
            const size_t take = std::min(left, stride - inRow);
            if (inRow < rowBytes) {
                const size_t end = std::min(inRow + take, rowBytes);
                changed.mark(height - 1 - static_cast<int32_t>(row), static_cast<int32_t>(inRow / 3),
                             static_cast<int32_t>((end + 2) / 3));
            }
            at += take;
            left -= take;
        }
    }
}

void MarkBoxChanged(ChangedPixels& changed, const RECT& box)
{
    for (LONG y = box.top; y < box.bottom; ++y) changed.mark(y, box.left, box.right);
}

void StampRunsWithin(uint8_t* pixels, const ByteRuns& runs, const ByteRuns& within)
{
    // Both in order: walk them side by side.
    auto other = within.begin();
    for (const ByteRun& run : runs) {
        const size_t runEnd = size_t(run.offset) + run.length;
        while (other != within.end() && size_t(other->offset) + other->length <= run.offset) ++other;
        for (auto part = other; part != within.end() && part->offset < runEnd; ++part) {
            const size_t start = std::max<size_t>(run.offset, part->offset);
            const size_t end = std::min(runEnd, size_t(part->offset) + part->length);
            std::memset(pixels + start, run.value, end - start);
        }
    }
}

size_t EndOfRun(const uint8_t* pixels, size_t from, size_t bytes)
{
    // Eight bytes at a time: a backdrop's runs are long (a learnt surface is
    // 3 MiB at most).
    const uint8_t value = pixels[from];
    uint64_t pattern;
    std::memset(&pattern, value, sizeof pattern);
    size_t i = from + 1;
    while (i + 8 <= bytes) {
        uint64_t word;
        std::memcpy(&word, pixels + i, sizeof word);
        if (word != pattern) break;
        i += 8;
    }
    while (i < bytes && pixels[i] == value) ++i;
    return i;
}

bool RunsOfBytes(const uint8_t* pixels, size_t bytes, size_t maxRuns, ByteRuns* runs)
{
    runs->clear();
    for (size_t i = 0; i < bytes;) {
        if (runs->size() >= maxRuns) {
            runs->clear();
            return false;
        }
        const size_t end = EndOfRun(pixels, i, bytes);
        runs->push_back(RunOf(i, end, pixels[i]));
        i = end;
    }
    runs->shrink_to_fit();
    return true;
}

ByteRuns BackdropDifference(const ByteRuns& from, const ByteRuns& to)
{
    // Both cover the same bytes: walk them side by side, piece by piece.
    ByteRuns changed;
    auto a = from.begin();
    size_t at = 0;
    for (const ByteRun& b : to) {
        const size_t bEnd = size_t(b.offset) + b.length;
        while (at < bEnd && a != from.end()) {
            const size_t end = std::min(bEnd, size_t(a->offset) + a->length);
            if (a->value != b.value) {
                if (!changed.empty() && changed.back().offset + changed.back().length == at &&
                    changed.back().value == b.value)
                    changed.back().length += static_cast<uint32_t>(end - at);
                else
                    changed.push_back(RunOf(at, end, b.value));
            }
            at = end;
            if (at == size_t(a->offset) + a->length) ++a;
        }
    }
    return changed;
}
