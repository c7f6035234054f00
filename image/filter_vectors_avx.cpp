// The passes' 256-bit routines: four doubles per register, separate
// multiplies and adds (no fused multiply-add), each lane's sum in window
// order, so every result equals the 128-bit routines' and the plain sums.
//
// This file alone is compiled for AVX (-mavx, /arch:AVX), and its code runs
// only after ProcessorHasAvx() has said yes. So it holds nothing but
// intrinsics and functions of its own: no standard-library or shared inline
// function or template, whose AVX copy the linker might keep for every
// caller. What it needs from elsewhere (the 128-bit routines for the short
// tails) it calls as ordinary functions.
#include "image/filter_vectors.h"

#if defined(TOVANREL_HAVE_AVX)

#include <immintrin.h>

namespace {

__m128i FinishFour(__m256d acc)
{
    acc = _mm256_min_pd(_mm256_max_pd(acc, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvttpd_epi32(_mm256_add_pd(acc, _mm256_set1_pd(0.5)));
}

// Sixteen bytes written as sixteen grey pixels (48 bytes).
void PutSixteenGrey(uint8_t* out, __m128i bytes)
{
    const __m128i first = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
    const __m128i second = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
    const __m128i third = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(bytes, first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_shuffle_epi8(bytes, second));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_shuffle_epi8(bytes, third));
}

void SumRows(const double* const* rows, const double* weights, int32_t count, size_t from, size_t to, uint8_t* out,
             int spread)
{
    size_t i = from;
    for (; i + 16 <= to; i += 16) {
        __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
        for (int32_t k = 0; k < count; ++k) {
            const __m256d wk = _mm256_broadcast_sd(weights + k);
            const double* r = rows[k] + i;
            a0 = _mm256_add_pd(a0, _mm256_mul_pd(wk, _mm256_loadu_pd(r)));
            a1 = _mm256_add_pd(a1, _mm256_mul_pd(wk, _mm256_loadu_pd(r + 4)));
            a2 = _mm256_add_pd(a2, _mm256_mul_pd(wk, _mm256_loadu_pd(r + 8)));
            a3 = _mm256_add_pd(a3, _mm256_mul_pd(wk, _mm256_loadu_pd(r + 12)));
        }
        __m128i words0 = _mm_packs_epi32(FinishFour(a0), FinishFour(a1));
        __m128i words1 = _mm_packs_epi32(FinishFour(a2), FinishFour(a3));
        __m128i bytes = _mm_packus_epi16(words0, words1);
        if (spread == 1)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
        else
            PutSixteenGrey(out + 3 * i, bytes);
    }
    _mm256_zeroupper();
    if (i < to) Sse2Routines.sumRows(rows, weights, count, i, to, out, spread);
}

void BytesToDoubles(const uint8_t* bytes, double* out, size_t n)
{
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        _mm256_storeu_pd(out + i, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(v)));
        _mm256_storeu_pd(out + i + 4, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 4))));
        _mm256_storeu_pd(out + i + 8, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 8))));
        _mm256_storeu_pd(out + i + 12, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(v, 12))));
    }
    _mm256_zeroupper();
    if (i < n) Sse2Routines.bytesToDoubles(bytes + i, out + i, n - i);
}

// Four pixels at a time: a byte shuffle picks each channel of four pixels
// into 32-bit lanes.
bool GreyRowToDoubles(const uint8_t* row, int32_t width, double* out)
{
    const __m128i blue = _mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m128i green = _mm_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
    const __m128i red = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    __m128i differ = _mm_setzero_si128();
    int32_t x = 0;
    // Sixteen bytes are read for twelve: stop while they stay inside the row.
    for (; 3 * static_cast<size_t>(x) + 16 <= 3 * static_cast<size_t>(width); x += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 3 * static_cast<size_t>(x)));
        __m128i b = _mm_shuffle_epi8(v, blue);
        differ = _mm_or_si128(differ, _mm_xor_si128(b, _mm_shuffle_epi8(v, green)));
        differ = _mm_or_si128(differ, _mm_xor_si128(b, _mm_shuffle_epi8(v, red)));
        _mm256_storeu_pd(out + x, _mm256_cvtepi32_pd(b));
    }
    _mm256_zeroupper();
    bool rest = Sse2Routines.greyRowToDoubles(row + 3 * static_cast<size_t>(x), width - x, out + x);
    return rest && _mm_movemask_epi8(_mm_cmpeq_epi8(differ, _mm_setzero_si128())) == 0xFFFF;
}

// Outputs x .. x + n - 1 (n is 4 or 1) of the table summed over four lanes
// of doubles per source pixel (d): the four sums of output x + j go to
// results[j]. Four outputs side by side keep four independent sums in flight.
void SumFourLaneWindows(const double* d, const WindowTable& t, int32_t x, int n, __m128i* results)
{
    const double* w[4];
    const double* r[4];
    int32_t count[4];
    int32_t common = t.count[x];
    for (int j = 0; j < n; ++j) {
        w[j] = t.weights + static_cast<size_t>(x + j) * t.room;
        r[j] = d + 4 * static_cast<size_t>(t.start[x + j]);
        count[j] = t.count[x + j];
        if (count[j] < common) common = count[j];
    }
    __m256d acc[4] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};
    if (n == 4) {
        for (int32_t k = 0; k < common; ++k) {
            acc[0] = _mm256_add_pd(acc[0], _mm256_mul_pd(_mm256_broadcast_sd(w[0] + k), _mm256_load_pd(r[0] + 4 * k)));
            acc[1] = _mm256_add_pd(acc[1], _mm256_mul_pd(_mm256_broadcast_sd(w[1] + k), _mm256_load_pd(r[1] + 4 * k)));
            acc[2] = _mm256_add_pd(acc[2], _mm256_mul_pd(_mm256_broadcast_sd(w[2] + k), _mm256_load_pd(r[2] + 4 * k)));
            acc[3] = _mm256_add_pd(acc[3], _mm256_mul_pd(_mm256_broadcast_sd(w[3] + k), _mm256_load_pd(r[3] + 4 * k)));
        }
    } else {
        common = 0;
    }
    for (int j = 0; j < n; ++j) {
        for (int32_t k = common; k < count[j]; ++k)
            acc[j] = _mm256_add_pd(acc[j], _mm256_mul_pd(_mm256_broadcast_sd(w[j] + k), _mm256_load_pd(r[j] + 4 * k)));
        results[j] = FinishFour(acc[j]);
    }
}

// The values of sixteen single-channel pixels `step` (1 or 3) bytes apart:
// the first byte of each, for grey pixels picked from three registers.
__m128i SixteenValues(const uint8_t* from, size_t step)
{
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    if (step == 1) return b0;
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
    const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
    const __m128i pick0 = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i pick1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
    const __m128i pick2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b0, pick0), _mm_shuffle_epi8(b1, pick1)),
                        _mm_shuffle_epi8(b2, pick2));
}

// Every output of the table summed over the four lanes per source pixel of
// d, and its four results written: with bytesPerPixel 0, lane r to the
// single-channel row out[r] (spread bytes per pixel; a null row is absent),
// otherwise lanes 0 to bytesPerPixel - 1 to the channels of pixel x of the
// colour row out[0]. Outputs flagged in `written` (when given) are skipped,
// four at a time.
void SumAndStore(const double* d, const WindowTable& t, uint8_t* const* out, int spread, uint32_t bytesPerPixel,
                 const uint8_t* written)
{
    for (int32_t x = 0; x < t.outputs;) {
        const int n = x + 4 <= t.outputs ? 4 : 1;
        if (written && written[x] && (n == 1 || (written[x + 1] && written[x + 2] && written[x + 3]))) {
            x += n;
            continue;
        }
        __m128i results[4];
        SumFourLaneWindows(d, t, x, n, results);
        for (int j = 0; j < n; ++j) {
            alignas(16) int32_t v[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(v), results[j]);
            const size_t pixel = static_cast<size_t>(x + j);
            if (bytesPerPixel) {
                for (uint32_t c = 0; c < bytesPerPixel; ++c) out[0][pixel * bytesPerPixel + c] = static_cast<uint8_t>(v[c]);
                continue;
            }
            for (int row = 0; row < 4; ++row) {
                if (!out[row]) continue;
                uint8_t* o = out[row] + pixel * spread;
                o[0] = static_cast<uint8_t>(v[row]);
                if (spread == 3) o[1] = o[2] = o[0];
            }
        }
        x += n;
    }
    _mm256_zeroupper();
}

// Four rows of single-channel pixels side by side, one row per lane.
void HorizontalFourRows(const uint8_t* const* in, size_t step, int32_t sourceWidth, uint8_t* const* out, int spread,
                        const WindowTable& t, double* d, const uint8_t* written)
{
    // Sixteen pixels at a time: each row's sixteen values gathered into one
    // register, then interleaved so that each pixel's four rows lie together.
    int32_t p = 0;
    for (; p + 16 <= sourceWidth; p += 16) {
        __m128i v[4];
        for (int row = 0; row < 4; ++row) v[row] = SixteenValues(in[row] + static_cast<size_t>(p) * step, step);
        const __m128i low01 = _mm_unpacklo_epi8(v[0], v[1]), low23 = _mm_unpacklo_epi8(v[2], v[3]);
        const __m128i high01 = _mm_unpackhi_epi8(v[0], v[1]), high23 = _mm_unpackhi_epi8(v[2], v[3]);
        const __m128i quads[4] = {_mm_unpacklo_epi16(low01, low23), _mm_unpackhi_epi16(low01, low23),
                                  _mm_unpacklo_epi16(high01, high23), _mm_unpackhi_epi16(high01, high23)};
        double* to = d + 4 * static_cast<size_t>(p);
        for (int q = 0; q < 4; ++q) {
            _mm256_store_pd(to + 16 * q, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(quads[q])));
            _mm256_store_pd(to + 16 * q + 4, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(quads[q], 4))));
            _mm256_store_pd(to + 16 * q + 8, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(quads[q], 8))));
            _mm256_store_pd(to + 16 * q + 12, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(quads[q], 12))));
        }
    }
    for (; p < sourceWidth; ++p) {
        const size_t at = static_cast<size_t>(p) * step;
        __m128i v = _mm_setr_epi32(in[0][at], in[1][at], in[2][at], in[3][at]);
        _mm256_store_pd(d + 4 * p, _mm256_cvtepi32_pd(v));
    }
    SumAndStore(d, t, out, spread, 0, written);
}

// One row of three- or four-channel pixels, one channel per lane (a 24-bit
// pixel's fourth lane is 0 and unused).
void HorizontalColourRow(const uint8_t* src, uint32_t bytesPerPixel, int32_t sourceWidth, uint8_t* out,
                         const WindowTable& t, double* d)
{
    // Four pixels per sixteen-byte load, each pixel's channels spread into
    // 32-bit lanes, while the load stays inside the row.
    const size_t rowBytes = static_cast<size_t>(sourceWidth) * bytesPerPixel;
    const __m128i spread24[4] = {
        _mm_setr_epi8(0, -1, -1, -1, 1, -1, -1, -1, 2, -1, -1, -1, -1, -1, -1, -1),
        _mm_setr_epi8(3, -1, -1, -1, 4, -1, -1, -1, 5, -1, -1, -1, -1, -1, -1, -1),
        _mm_setr_epi8(6, -1, -1, -1, 7, -1, -1, -1, 8, -1, -1, -1, -1, -1, -1, -1),
        _mm_setr_epi8(9, -1, -1, -1, 10, -1, -1, -1, 11, -1, -1, -1, -1, -1, -1, -1)};
    int32_t p = 0;
    for (; static_cast<size_t>(p) * bytesPerPixel + 16 <= rowBytes; p += 4) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + static_cast<size_t>(p) * bytesPerPixel));
        __m128i lanes[4];
        if (bytesPerPixel == 4) {
            lanes[0] = _mm_cvtepu8_epi32(v);
            lanes[1] = _mm_cvtepu8_epi32(_mm_srli_si128(v, 4));
            lanes[2] = _mm_cvtepu8_epi32(_mm_srli_si128(v, 8));
            lanes[3] = _mm_cvtepu8_epi32(_mm_srli_si128(v, 12));
        } else {
            for (int j = 0; j < 4; ++j) lanes[j] = _mm_shuffle_epi8(v, spread24[j]);
        }
        for (int j = 0; j < 4; ++j) _mm256_store_pd(d + 4 * (p + j), _mm256_cvtepi32_pd(lanes[j]));
    }
    for (; p < sourceWidth; ++p) {
        const uint8_t* s = src + static_cast<size_t>(p) * bytesPerPixel;
        __m128i v = _mm_setr_epi32(s[0], s[1], s[2], bytesPerPixel == 4 ? s[3] : 0);
        _mm256_store_pd(d + 4 * p, _mm256_cvtepi32_pd(v));
    }
    uint8_t* const rows[4] = {out, nullptr, nullptr, nullptr};
    SumAndStore(d, t, rows, 0, bytesPerPixel, nullptr);
}

}  // namespace

void AvxGreyLevels(const uint8_t* pixels, int32_t width, uint8_t* out)
{
    // Byte i of a 48-byte group of sixteen pixels is channel i % 3 of pixel
    // i / 3: each channel's sixteen bytes are gathered from the three loads.
    __m128i pick[3][3];
    for (int channel = 0; channel < 3; ++channel) {
        alignas(16) int8_t from[3][16];
        for (int p = 0; p < 16; ++p) {
            const int at = 3 * p + channel;
            for (int load = 0; load < 3; ++load)
                from[load][p] = at / 16 == load ? static_cast<int8_t>(at % 16) : static_cast<int8_t>(-1);
        }
        for (int load = 0; load < 3; ++load) pick[channel][load] = _mm_load_si128(reinterpret_cast<const __m128i*>(from[load]));
    }
    // weight x v / 255, truncated, in eight 16-bit lanes: t / 255 is
    // (t + 1 + t / 256) / 256 for every t below 65535 (here at most 38250).
    auto term = [](__m128i v, int weight) {
        const __m128i t = _mm_mullo_epi16(v, _mm_set1_epi16(static_cast<short>(weight)));
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, _mm_set1_epi16(1)), _mm_srli_epi16(t, 8)), 8);
    };
    const __m128i zero = _mm_setzero_si128();
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t* in = pixels + 3 * static_cast<size_t>(x);
        const __m128i loads[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16)),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32))};
        __m128i channels[3];
        for (int channel = 0; channel < 3; ++channel)
            channels[channel] = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(loads[0], pick[channel][0]),
                                                          _mm_shuffle_epi8(loads[1], pick[channel][1])),
                                             _mm_shuffle_epi8(loads[2], pick[channel][2]));
        const __m128i levels[2] = {
            _mm_add_epi16(_mm_add_epi16(term(_mm_unpacklo_epi8(channels[2], zero), 77),
                                        term(_mm_unpacklo_epi8(channels[1], zero), 150)),
                          term(_mm_unpacklo_epi8(channels[0], zero), 28)),
            _mm_add_epi16(_mm_add_epi16(term(_mm_unpackhi_epi8(channels[2], zero), 77),
                                        term(_mm_unpackhi_epi8(channels[1], zero), 150)),
                          term(_mm_unpackhi_epi8(channels[0], zero), 28))};
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(levels[0], levels[1]));
    }
    for (; x < width; ++x) {
        const uint8_t* p = pixels + 3 * static_cast<size_t>(x);
        out[x] = static_cast<uint8_t>(77 * p[2] / 255 + 150 * p[1] / 255 + 28 * p[0] / 255);
    }
}

// Addresses only: initialised when the program is loaded, so no code of this
// file runs before ProcessorHasAvx() has been asked.
const VectorRoutines AvxRoutines = {
    4, SumRows, BytesToDoubles, GreyRowToDoubles, HorizontalFourRows, HorizontalColourRow,
};

#endif  // TOVANREL_HAVE_AVX
