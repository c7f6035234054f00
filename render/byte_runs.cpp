// Finding, comparing and writing runs of equal bytes.
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

ByteRuns RunsWhereEqual(const uint8_t* first, const uint8_t* second, size_t bytes)
{
    ByteRuns runs;
    for (size_t i = 0; i < bytes;) {
        if (first[i] != second[i]) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < bytes && first[end] == second[end] && first[end] == first[i]) ++end;
        runs.push_back(RunOf(i, end, first[i]));
        i = end;
    }
    runs.shrink_to_fit();
    return runs;
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
