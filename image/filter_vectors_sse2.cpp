// The passes' 128-bit routines: two doubles per register, separate multiplies
// and adds, each lane's sum in window order.
#include "image/filter_vectors.h"

#include <emmintrin.h>

namespace {

// Every byte value as a double, for conversions one value at a time.
struct ByteValues {
    double value[256];
    ByteValues()
    {
        for (int i = 0; i < 256; ++i) value[i] = i;
    }
};

const double* ByteToDouble()
{
    static const ByteValues table;
    return table.value;
}

// The clamped, rounded channel value of one sum.
uint8_t Finish(double acc)
{
    if (acc < 0.0) return 0;
    if (acc > 255.0) return 255;
    return static_cast<uint8_t>(static_cast<int>(acc + 0.5));
}

// The same for two sums at once: max/min give exactly 0 and 255 where the
// scalar form does, and the truncating conversion of acc + 0.5 does the rest.
__m128i FinishPair(__m128d acc)
{
    acc = _mm_min_pd(_mm_max_pd(acc, _mm_setzero_pd()), _mm_set1_pd(255.0));
    return _mm_cvttpd_epi32(_mm_add_pd(acc, _mm_set1_pd(0.5)));
}

// Eight bytes from eight clamped and rounded sums.
__m128i PackEight(__m128d a0, __m128d a1, __m128d a2, __m128d a3)
{
    __m128i lo = _mm_unpacklo_epi64(FinishPair(a0), FinishPair(a1));
    __m128i hi = _mm_unpacklo_epi64(FinishPair(a2), FinishPair(a3));
    __m128i words = _mm_packs_epi32(lo, hi);
    return _mm_packus_epi16(words, words);
}

// Writes value v of lane i: one byte, or the same byte to the three channels
// of a grey pixel.
void PutLane(uint8_t* out, size_t i, int spread, uint8_t v)
{
    if (spread == 1) {
        out[i] = v;
    } else {
        out[3 * i] = v;
        out[3 * i + 1] = v;
        out[3 * i + 2] = v;
    }
}

void SumRows(const double* const* rows, const double* weights, int32_t count, size_t from, size_t to, uint8_t* out,
             int spread)
{
    size_t i = from;
    for (; i + 8 <= to; i += 8) {
        __m128d a0 = _mm_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
        for (int32_t k = 0; k < count; ++k) {
            const __m128d wk = _mm_set1_pd(weights[k]);
            const double* r = rows[k] + i;
            a0 = _mm_add_pd(a0, _mm_mul_pd(wk, _mm_loadu_pd(r)));
            a1 = _mm_add_pd(a1, _mm_mul_pd(wk, _mm_loadu_pd(r + 2)));
            a2 = _mm_add_pd(a2, _mm_mul_pd(wk, _mm_loadu_pd(r + 4)));
            a3 = _mm_add_pd(a3, _mm_mul_pd(wk, _mm_loadu_pd(r + 6)));
        }
        __m128i bytes = PackEight(a0, a1, a2, a3);
        if (spread == 1) {
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), bytes);
        } else {
            alignas(16) uint8_t v[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(v), bytes);
            for (int j = 0; j < 8; ++j) PutLane(out, i + j, spread, v[j]);
        }
    }
    for (; i < to; ++i) {
        double acc = 0.0;
        for (int32_t k = 0; k < count; ++k) acc += weights[k] * rows[k][i];
        PutLane(out, i, spread, Finish(acc));
    }
}

void BytesToDoubles(const uint8_t* bytes, double* out, size_t n)
{
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
        __m128i q[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                        _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
        for (int j = 0; j < 4; ++j) {
            _mm_storeu_pd(out + i + 4 * j, _mm_cvtepi32_pd(q[j]));
            _mm_storeu_pd(out + i + 4 * j + 2, _mm_cvtepi32_pd(_mm_shuffle_epi32(q[j], _MM_SHUFFLE(1, 0, 3, 2))));
        }
    }
    const double* table = ByteToDouble();
    for (; i < n; ++i) out[i] = table[bytes[i]];
}

bool GreyRowToDoubles(const uint8_t* row, int32_t width, double* out)
{
    const double* table = ByteToDouble();
    uint32_t differ = 0;
    for (int32_t x = 0; x < width; ++x) {
        const uint8_t* p = row + 3 * static_cast<size_t>(x);
        differ |= static_cast<uint32_t>(p[0] ^ p[1]) | static_cast<uint32_t>(p[0] ^ p[2]);
        out[x] = table[p[0]];
    }
    return differ == 0;
}

// Two single-channel rows side by side: lane 0 of every sum belongs to
// in[0], lane 1 to in[1].
void HorizontalPairOfRows(const uint8_t* const* in, size_t step, int32_t sourceWidth, uint8_t* const* out,
                          int spread, const WindowTable& t, double* d, const uint8_t* written)
{
    const double* table = ByteToDouble();
    for (int32_t p = 0; p < sourceWidth; ++p) {
        d[2 * p] = table[in[0][p * step]];
        d[2 * p + 1] = table[in[1][p * step]];
    }
    auto store = [&](int32_t x, __m128d acc) {
        __m128i v = FinishPair(acc);
        PutLane(out[0], x, spread, static_cast<uint8_t>(_mm_cvtsi128_si32(v)));
        if (out[1]) PutLane(out[1], x, spread, static_cast<uint8_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 4))));
    };
    // Four outputs side by side keep four independent sums in flight; each
    // still adds its own contributors in window order.
    const int32_t outputs = t.outputs;
    int32_t x = 0;
    for (; x + 4 <= outputs; x += 4) {
        if (written && written[x] && written[x + 1] && written[x + 2] && written[x + 3]) continue;
        const double* w[4];
        const double* r[4];
        int32_t n[4];
        for (int j = 0; j < 4; ++j) {
            w[j] = t.weights + static_cast<size_t>(x + j) * t.room;
            r[j] = d + 2 * static_cast<size_t>(t.start[x + j]);
            n[j] = t.count[x + j];
        }
        int32_t common = n[0];
        for (int j = 1; j < 4; ++j) common = n[j] < common ? n[j] : common;
        __m128d acc[4] = {_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
        for (int32_t k = 0; k < common; ++k) {
            acc[0] = _mm_add_pd(acc[0], _mm_mul_pd(_mm_set1_pd(w[0][k]), _mm_load_pd(r[0] + 2 * k)));
            acc[1] = _mm_add_pd(acc[1], _mm_mul_pd(_mm_set1_pd(w[1][k]), _mm_load_pd(r[1] + 2 * k)));
            acc[2] = _mm_add_pd(acc[2], _mm_mul_pd(_mm_set1_pd(w[2][k]), _mm_load_pd(r[2] + 2 * k)));
            acc[3] = _mm_add_pd(acc[3], _mm_mul_pd(_mm_set1_pd(w[3][k]), _mm_load_pd(r[3] + 2 * k)));
        }
        for (int j = 0; j < 4; ++j) {
            for (int32_t k = common; k < n[j]; ++k)
                acc[j] = _mm_add_pd(acc[j], _mm_mul_pd(_mm_set1_pd(w[j][k]), _mm_load_pd(r[j] + 2 * k)));
            store(x + j, acc[j]);
        }
    }
    for (; x < outputs; ++x) {
        if (written && written[x]) continue;
        const double* w = t.weights + static_cast<size_t>(x) * t.room;
        const double* r = d + 2 * static_cast<size_t>(t.start[x]);
        __m128d acc = _mm_setzero_pd();
        for (int32_t k = 0; k < t.count[x]; ++k) acc = _mm_add_pd(acc, _mm_mul_pd(_mm_set1_pd(w[k]), _mm_load_pd(r + 2 * k)));
        store(x, acc);
    }
}

// The channels of a pixel are the lanes of two vectors (the fourth lane of a
// 24-bit pixel is 0 and unused).
void HorizontalColourRow(const uint8_t* src, uint32_t bytesPerPixel, int32_t sourceWidth, uint8_t* out,
                         const WindowTable& t, double* d)
{
    const double* table = ByteToDouble();
    for (int32_t p = 0; p < sourceWidth; ++p) {
        const uint8_t* s = src + static_cast<size_t>(p) * bytesPerPixel;
        d[4 * p] = table[s[0]];
        d[4 * p + 1] = table[s[1]];
        d[4 * p + 2] = table[s[2]];
        d[4 * p + 3] = bytesPerPixel == 4 ? table[s[3]] : 0.0;
    }
    auto store = [&](int32_t x, __m128d lo, __m128d hi) {
        __m128i v = _mm_unpacklo_epi64(FinishPair(lo), FinishPair(hi));
        alignas(16) int32_t channel[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(channel), v);
        uint8_t* o = out + static_cast<size_t>(x) * bytesPerPixel;
        for (uint32_t j = 0; j < bytesPerPixel; ++j) o[j] = static_cast<uint8_t>(channel[j]);
    };
    // Two outputs side by side: four independent sums in flight.
    const int32_t outputs = t.outputs;
    int32_t x = 0;
    for (; x + 2 <= outputs; x += 2) {
        const double* w0 = t.weights + static_cast<size_t>(x) * t.room;
        const double* w1 = w0 + t.room;
        const double* r0 = d + 4 * static_cast<size_t>(t.start[x]);
        const double* r1 = d + 4 * static_cast<size_t>(t.start[x + 1]);
        const int32_t n0 = t.count[x], n1 = t.count[x + 1];
        const int32_t common = n0 < n1 ? n0 : n1;
        __m128d lo0 = _mm_setzero_pd(), hi0 = lo0, lo1 = lo0, hi1 = lo0;
        for (int32_t k = 0; k < common; ++k) {
            const __m128d a = _mm_set1_pd(w0[k]);
            const __m128d b = _mm_set1_pd(w1[k]);
            lo0 = _mm_add_pd(lo0, _mm_mul_pd(a, _mm_load_pd(r0 + 4 * k)));
            hi0 = _mm_add_pd(hi0, _mm_mul_pd(a, _mm_load_pd(r0 + 4 * k + 2)));
            lo1 = _mm_add_pd(lo1, _mm_mul_pd(b, _mm_load_pd(r1 + 4 * k)));
            hi1 = _mm_add_pd(hi1, _mm_mul_pd(b, _mm_load_pd(r1 + 4 * k + 2)));
        }
        for (int32_t k = common; k < n0; ++k) {
            const __m128d a = _mm_set1_pd(w0[k]);
            lo0 = _mm_add_pd(lo0, _mm_mul_pd(a, _mm_load_pd(r0 + 4 * k)));
            hi0 = _mm_add_pd(hi0, _mm_mul_pd(a, _mm_load_pd(r0 + 4 * k + 2)));
        }
        for (int32_t k = common; k < n1; ++k) {
            const __m128d b = _mm_set1_pd(w1[k]);
            lo1 = _mm_add_pd(lo1, _mm_mul_pd(b, _mm_load_pd(r1 + 4 * k)));
            hi1 = _mm_add_pd(hi1, _mm_mul_pd(b, _mm_load_pd(r1 + 4 * k + 2)));
        }
        store(x, lo0, hi0);
        store(x + 1, lo1, hi1);
    }
    for (; x < outputs; ++x) {
        const double* w = t.weights + static_cast<size_t>(x) * t.room;
        const double* r = d + 4 * static_cast<size_t>(t.start[x]);
        __m128d lo = _mm_setzero_pd(), hi = lo;
        for (int32_t k = 0; k < t.count[x]; ++k) {
            const __m128d a = _mm_set1_pd(w[k]);
            lo = _mm_add_pd(lo, _mm_mul_pd(a, _mm_load_pd(r + 4 * k)));
            hi = _mm_add_pd(hi, _mm_mul_pd(a, _mm_load_pd(r + 4 * k + 2)));
        }
        store(x, lo, hi);
    }
}

}  // namespace

const VectorRoutines Sse2Routines = {
    2, SumRows, BytesToDoubles, GreyRowToDoubles, HorizontalPairOfRows, HorizontalColourRow,
};

bool IsGreyRow(const uint8_t* row, int32_t width)
{
    size_t n = static_cast<size_t>(width) * 3;
    size_t i = 0;
    // Sixteen pixels at a time: byte i must equal byte i + 1 wherever i is
    // not the last byte of a pixel.
    const int masks[3] = {0xB6DB /* i % 3 != 2 for i = 0..15 */, 0xDB6D /* 16..31 */,
                          0x6DB6 /* 32..47 */};
    for (; i + 49 <= n; i += 48) {
        for (int j = 0; j < 3; ++j) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 16 * j));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 16 * j + 1));
            int equal = _mm_movemask_epi8(_mm_cmpeq_epi8(a, b));
            if ((equal & masks[j]) != masks[j]) return false;
        }
    }
    for (; i < n; i += 3)
        if (row[i] != row[i + 1] || row[i + 1] != row[i + 2]) return false;
    return true;
}

bool TakeInGreyRow(const uint8_t* row, const uint8_t* other, int32_t width, int32_t* mark, int32_t rowIndex)
{
    // Sixteen pixels (48 bytes, three registers) per block. A block equal to
    // the other row's, which was found grey before, is grey too; any other is
    // checked: a pixel is grey when its first byte equals the second and the
    // second the third, so each register is compared with itself moved one
    // byte on, at the positions that are not a pixel's last byte.
    const __m128i positions0 = _mm_setr_epi8(-1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1);
    const __m128i positions1 = _mm_setr_epi8(-1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1);
    const __m128i positions2 = _mm_setr_epi8(0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0, -1, -1, 0);
    const __m128i zero = _mm_setzero_si128();
    const size_t pixels = static_cast<size_t>(width);
    __m128i notGrey = zero;
    size_t block = 0, x = 0;
    for (; x + 16 <= pixels; x += 16, ++block) {
        const uint8_t* at = row + 3 * x;
        const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16));
        const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 32));
        if (other) {
            const uint8_t* o = other + 3 * x;
            __m128i differ = _mm_xor_si128(b0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(o)));
            differ = _mm_or_si128(differ, _mm_xor_si128(b1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(o + 16))));
            differ = _mm_or_si128(differ, _mm_xor_si128(b2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(o + 32))));
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(differ, zero)) == 0xFFFF) continue;
            mark[block] = rowIndex;
        }
        const __m128i next0 = _mm_or_si128(_mm_srli_si128(b0, 1), _mm_slli_si128(b1, 15));
        const __m128i next1 = _mm_or_si128(_mm_srli_si128(b1, 1), _mm_slli_si128(b2, 15));
        const __m128i next2 = _mm_srli_si128(b2, 1);
        notGrey = _mm_or_si128(notGrey, _mm_and_si128(_mm_xor_si128(b0, next0), positions0));
        notGrey = _mm_or_si128(notGrey, _mm_and_si128(_mm_xor_si128(b1, next1), positions1));
        notGrey = _mm_or_si128(notGrey, _mm_and_si128(_mm_xor_si128(b2, next2), positions2));
    }
    bool grey = _mm_movemask_epi8(_mm_cmpeq_epi8(notGrey, zero)) == 0xFFFF;
    bool differs = false;
    for (; x < pixels; ++x) {
        const uint8_t* p = row + 3 * x;
        grey = grey && p[0] == p[1] && p[1] == p[2];
        differs = differs || (other && (p[0] != other[3 * x] || p[1] != other[3 * x + 1] || p[2] != other[3 * x + 2]));
    }
    if (differs) mark[block] = rowIndex;
    return grey;
}

void MarkChangedBlocks(const uint8_t* row, const uint8_t* other, size_t bytes, int32_t* mark, int32_t rowIndex)
{
    size_t block = 0, at = 0;
    for (; at + 16 <= bytes; at += 16, ++block) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(other + at));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)) != 0xFFFF) mark[block] = rowIndex;
    }
    for (; at < bytes; ++at)
        if (row[at] != other[at]) {
            mark[block] = rowIndex;
            break;
        }
}

size_t ListValueChanges(const uint8_t* const* rows, int rowCount, size_t step, int32_t width, int32_t* changes)
{
    // Each row's bytes against its bytes one pixel back, sixteen at a time,
    // looking only at the first byte of each pixel. Changes are few in the
    // rows this serves, so only the bits set are visited, lowest first (the
    // index of a lone bit from a de Bruijn sequence).
    static const int8_t BitIndex[32] = {0,  1,  28, 2,  29, 14, 24, 3, 30, 22, 20, 15, 25, 17, 4,  8,
                                        31, 27, 13, 23, 21, 19, 16, 7, 26, 12, 18, 6,  11, 5,  10, 9};
    // Bits of the first bytes of three-byte pixels in sixteen bytes from an
    // offset that is 0, 1 or 2 past a multiple of three.
    const uint32_t firstBytes[3] = {0x9249, 0x4924, 0x2492};
    const size_t bytes = static_cast<size_t>(width) * step;
    size_t listed = 0;
    size_t i = step;
    for (; i + 16 <= bytes; i += 16) {
        __m128i differ = _mm_setzero_si128();
        for (int r = 0; r < rowCount; ++r) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + i));
            const __m128i back = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + i - step));
            differ = _mm_or_si128(differ, _mm_xor_si128(here, back));
        }
        uint32_t set = ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(differ, _mm_setzero_si128()))) & 0xFFFF;
        if (step == 3) set &= firstBytes[i % 3];
        for (; set; set &= set - 1) {
            const uint32_t lowest = set & (0u - set);
            changes[listed++] = static_cast<int32_t>((i + BitIndex[(lowest * 0x077CB531u) >> 27]) / step);
        }
    }
    for (i += (step - i % step) % step; i < bytes; i += step)
        for (int r = 0; r < rowCount; ++r)
            if (rows[r][i] != rows[r][i - step]) {
                changes[listed++] = static_cast<int32_t>(i / step);
                break;
            }
    return listed;
}

size_t LeadingBytesEqual(const uint8_t* bytes, size_t n, uint8_t value)
{
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        int equal = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)), wanted));
        if (equal != 0xFFFF) {
            while (equal & 1) {
                equal >>= 1;
                ++i;
            }
            return i;
        }
    }
    while (i < n && bytes[i] == value) ++i;
    return i;
}

void AccumulateRow(double* acc, const double* row, double weight, size_t n)
{
    const __m128d w = _mm_set1_pd(weight);
    size_t i = 0;
    for (; i + 2 <= n; i += 2)
        _mm_storeu_pd(acc + i, _mm_add_pd(_mm_loadu_pd(acc + i), _mm_mul_pd(w, _mm_loadu_pd(row + i))));
    for (; i < n; ++i) acc[i] += weight * row[i];
}
