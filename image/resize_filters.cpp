// The sixteen kernels, contributor windows and the two filter passes.
#include "image/resize_filters.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/packed_dib.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

double Sinc(double x)
{
    if (x == 0.0) return 1.0;
    double px = Pi * x;
    return std::sin(px) / px;
}

double Blackman(double x)
{
    return 0.42 + 0.5 * std::cos(Pi * x) + 0.08 * std::cos(2.0 * Pi * x);
}

// Bessel(x) = J1(pi x) / (2x), pi/4 at 0.
double BesselKernel(double x)
{
    if (x == 0.0) return Pi / 4.0;
    return BesselJ1(Pi * x) / (2.0 * x);
}

// Box: 1 on [-0.5, 0.5), closed on the left and open on the right.
double BoxWeight(double x, double)
{
    return (x >= -0.5 && x < 0.5) ? 1.0 : 0.0;
}

double TriangleWeight(double x, double)
{
    double t = std::fabs(x);
    return t < 1.0 ? 1.0 - t : 0.0;
}

double HermiteWeight(double x, double)
{
    double t = std::fabs(x);
    return t < 1.0 ? 2.0 * t * t * t - 3.0 * t * t + 1.0 : 0.0;
}

double HanningWeight(double x, double)
{
    return 0.5 + 0.5 * std::cos(Pi * x);
}

double HammingWeight(double x, double)
{
    return 0.54 + 0.46 * std::cos(Pi * x);
}

double BlackmanWeight(double x, double)
{
    return Blackman(x);
}

double GaussianWeight(double x, double)
{
    return std::exp(-2.0 * x * x) * std::sqrt(2.0 / Pi);
}

double QuadraticWeight(double x, double)
{
    double t = std::fabs(x);
    if (t < 0.5) return 0.75 - t * t;
    if (t < 1.5) {
        double u = t - 1.5;
        return 0.5 * u * u;
    }
    return 0.0;
}

double BSplineWeight(double x, double)
{
    double t = std::fabs(x);
    if (t < 1.0) return (3.0 * t * t * t - 6.0 * t * t + 4.0) / 6.0;
    if (t < 2.0) {
        double u = 2.0 - t;
        return u * u * u / 6.0;
    }
    return 0.0;
}

double CatmullRomWeight(double x, double)
{
    double t = std::fabs(x);
    if (t < 1.0) return (3.0 * t * t * t - 5.0 * t * t + 2.0) / 2.0;
    if (t < 2.0) return (-t * t * t + 5.0 * t * t - 8.0 * t + 4.0) / 2.0;
    return 0.0;
}

// Mitchell-Netravali with B = C = 1/3.
double MitchellWeight(double x, double)
{
    double t = std::fabs(x);
    if (t < 1.0) return 1.1666666666666667 * t * t * t - 2.0 * t * t + 0.8888888888888888;
    if (t < 2.0)
        return -0.3888888888888889 * t * t * t + 2.0 * t * t - 3.3333333333333335 * t +
               1.7777777777777777;
    return 0.0;
}

double Lanczos3Weight(double x, double)
{
    return std::fabs(x) < 3.0 ? Sinc(x) * Sinc(x / 3.0) : 0.0;
}

double BlackmanBesselWeight(double x, double support)
{
    return BesselKernel(x) * Blackman(x / support);
}

double BlackmanSincWeight(double x, double support)
{
    return Sinc(x) * Blackman(x / support);
}

}  // namespace

const ResizeFilter ResizeFilters[ResizeFilterCount] = {
    {BoxWeight, 0.0},                                       // 0 automatic
    {BoxWeight, 0.0},                                       // 1 point
    {BoxWeight, 0.5},                                       // 2 box
    {TriangleWeight, 1.0},                                  // 3
    {HermiteWeight, 1.0},                                   // 4
    {HanningWeight, 1.0},                                   // 5
    {HammingWeight, 1.0},                                   // 6
    {BlackmanWeight, 1.0},                                  // 7
    {GaussianWeight, 1.25},                                 // 8
    {QuadraticWeight, 1.5},                                 // 9
    {BSplineWeight, 2.0},                                   // 10
    {CatmullRomWeight, 2.0},                                // 11
    {MitchellWeight, 2.0},                                  // 12
    {Lanczos3Weight, 3.0},                                  // 13
    {BlackmanBesselWeight, static_cast<double>(3.2383f)},  // 14: single-precision support
    {BlackmanSincWeight, 4.0},                              // 15
};
static_assert(sizeof(ResizeFilters) / sizeof(ResizeFilters[0]) == 16, "sixteen filter rows");

// Below 25, J1 is the integral (1/pi) * integral over [0, pi] of
// cos(t - x sin t) dt, taken with the trapezoid rule: the integrand is smooth
// and periodic, so 48 points leave a truncation error far below a double's
// resolution for every |x| < 25 and the result carries only rounding error
// (about 1e-16 absolute). From 25 on, the Hankel asymptotic form
// sqrt(2/(pi x)) (P cos(x - 3pi/4) - Q sin(x - 3pi/4)), with P and Q summed
// until their terms fall below 1e-17, is as accurate.
double BesselJ1(double x)
{
    double ax = std::fabs(x);
    if (ax == 0.0) return 0.0;
    double result;
    if (ax < 25.0) {
        constexpr int Points = 48;
        const double h = Pi / Points;
        double sum = 0.0;
        for (int j = 1; j < Points; ++j) {
            double t = j * h;
            sum += std::cos(t - ax * std::sin(t));
        }
        result = sum / Points;
    } else {
        // Terms a_k / x^k of the expansion for order one (mu = 4), alternating
        // between P (even k) and Q (odd k), each pair of the same parity with
        // alternating signs.
        double p = 0.0, q = 0.0;
        double term = 1.0;
        for (int k = 0; k < 80; ++k) {
            double signedTerm = ((k / 2) % 2 == 0) ? term : -term;
            if (k % 2 == 0)
                p += signedTerm;
            else
                q += signedTerm;
            double odd = 2.0 * (k + 1) - 1.0;
            double next = term * (4.0 - odd * odd) / ((k + 1) * 8.0 * ax);
            if (std::fabs(next) < 1e-17 || std::fabs(next) > std::fabs(term)) break;
            term = next;
        }
        double chi = ax - 0.75 * Pi;
        result = std::sqrt(2.0 / (Pi * ax)) * (p * std::cos(chi) - q * std::sin(chi));
    }
    return x < 0.0 ? -result : result;
}

uint64_t FilterRowCacheLimit = 16u << 20;
bool UseWideVectors = true;

namespace {

uint32_t BytesPerPixel(uint32_t bits) { return bits / 8; }

uint64_t RoundUpEven(uint64_t n) { return (n + 1) & ~uint64_t(1); }

// Converted rows lie this many doubles apart: a whole number of cache lines
// plus one, so that the rows of a window do not all fall into the same few
// sets of the first-level cache.
uint64_t RowSlotDoubles(uint64_t lanes) { return ((lanes + 7) & ~uint64_t(7)) + 8; }

struct WorkspacePlan {
    uint64_t contributors, outputs, rows, scratch;
    bool rowCache;
    uint64_t bytes;
};

WorkspacePlan PlanWorkspace(int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth,
                            int32_t newHeight, uint32_t bits, uint32_t capacity)
{
    WorkspacePlan plan = {};
    uint64_t sw = static_cast<uint64_t>(std::max(sourceWidth, 1));
    uint64_t sh = static_cast<uint64_t>(std::max(sourceHeight, 1));
    uint64_t nw = static_cast<uint64_t>(std::max(newWidth, 0));
    uint64_t nh = static_cast<uint64_t>(std::max(newHeight, 0));
    uint64_t across = std::min<uint64_t>(capacity, sw);
    uint64_t down = std::min<uint64_t>(capacity, sh);
    plan.contributors = std::max(nw * across, nh * down);
    plan.outputs = std::max(nw, nh);
    plan.rows = down;
    // Horizontal scratch: one source row as four doubles per pixel (or two
    // rows side by side, two doubles per pixel).
    uint64_t horizontal = RoundUpEven(sw * 4);
    // Vertical scratch: the rows of a window converted to doubles, or an
    // accumulator row and one converted row.
    uint64_t lanes = RoundUpEven(std::max(sw, nw) * std::max(BytesPerPixel(bits), 1u));
    uint64_t cache = RowSlotDoubles(lanes) * down;
    plan.rowCache = cache * sizeof(double) <= FilterRowCacheLimit;
    uint64_t vertical = plan.rowCache ? cache : 2 * lanes;
    plan.scratch = std::max(std::max(horizontal, vertical), RoundUpEven(std::max(across, down)));
    plan.bytes = 16 + plan.scratch * sizeof(double) + plan.contributors * sizeof(FilterContributor) +
                 plan.rows * (sizeof(double*) + sizeof(int32_t)) + plan.outputs * 2 * sizeof(int32_t) +
                 16;
    return plan;
}

}  // namespace

size_t FilterWorkspaceBytes(int32_t sourceWidth, int32_t sourceHeight, int32_t newWidth,
                            int32_t newHeight, uint32_t bits, uint32_t capacity)
{
    WorkspacePlan plan = PlanWorkspace(sourceWidth, sourceHeight, newWidth, newHeight, bits, capacity);
    if (plan.bytes > 0x7FFFFFFFull) return 0;
    return static_cast<size_t>(plan.bytes);
}

FilterWorkspace MakeFilterWorkspace(void* memory, int32_t sourceWidth, int32_t sourceHeight,
                                    int32_t newWidth, int32_t newHeight, uint32_t bits,
                                    uint32_t capacity)
{
    WorkspacePlan plan = PlanWorkspace(sourceWidth, sourceHeight, newWidth, newHeight, bits, capacity);
    FilterWorkspace w;
    uintptr_t at = (reinterpret_cast<uintptr_t>(memory) + 15) & ~uintptr_t(15);
    w.scratch = reinterpret_cast<double*>(at);
    at += plan.scratch * sizeof(double);
    w.contributors = reinterpret_cast<FilterContributor*>(at);
    at += plan.contributors * sizeof(FilterContributor);
    w.rowPointers = reinterpret_cast<const double**>(at);
    at += plan.rows * sizeof(double*);
    w.cachedRow = reinterpret_cast<int32_t*>(at);
    at += plan.rows * sizeof(int32_t);
    w.windowStart = reinterpret_cast<int32_t*>(at);
    at += plan.outputs * sizeof(int32_t);
    w.windowCount = reinterpret_cast<int32_t*>(at);
    w.capacity = capacity;
    w.contributorRoom = static_cast<size_t>(plan.contributors);
    w.outputRoom = static_cast<size_t>(plan.outputs);
    w.rowRoom = plan.rowCache ? static_cast<size_t>(plan.rows) : 0;
    w.scratchRoom = static_cast<size_t>(plan.scratch);
    return w;
}

int32_t FilterWindow(int32_t index, int32_t sourceLength, double factor, const ResizeFilter& filter,
                     double blur, FilterContributor* c, size_t room)
{
    double scale = blur * (1.0 / factor > 1.0 ? 1.0 / factor : 1.0);
    double support = scale * filter.support;
    if (support <= 0.5) {
        support = 0.500001;
        scale = 1.0;
    }
    double inverse = 1.0 / scale;
    double centre = (index + 0.5) / factor;
    int32_t start = static_cast<int32_t>(std::max(centre - support + 0.5, 0.0));
    int32_t end = static_cast<int32_t>(std::min(centre + support + 0.5, static_cast<double>(sourceLength)));
    int32_t count = end > start ? end - start : 0;
    if (static_cast<size_t>(count) > room) count = static_cast<int32_t>(room);
    double density = 0.0;
    for (int32_t k = 0; k < count; ++k) {
        int32_t p = start + k;
        c[k].pixel = p;
        c[k].weight = filter.weight((p - centre + 0.5) * inverse, filter.support);
        density += c[k].weight;
    }
    // Weights that do not add up to 1 (a clipped window, any kernel but the
    // box) are scaled by the reciprocal of their sum.
    if (density != 0.0 && density != 1.0) {
        double reciprocal = 1.0 / density;
        for (int32_t k = 0; k < count; ++k) c[k].weight *= reciprocal;
    }
    return count;
}

namespace {

// Fills the workspace with the window of every output index of one pass and
// returns the distance between consecutive windows in the contributor array.
// Kernels are costly (sines, a Bessel function), and at whole-number ratios
// every window away from the borders asks them for the same distances: a
// window whose distances are bit for bit those of the last window computed
// takes that window's weights instead of evaluating them again.
size_t ComputeWindows(FilterWorkspace& w, int32_t outputs, int32_t sourceLength, double factor,
                      const ResizeFilter& filter, double blur)
{
    const size_t room = std::min<size_t>(w.capacity, static_cast<size_t>(std::max(sourceLength, 1)));
    double scale = blur * (1.0 / factor > 1.0 ? 1.0 / factor : 1.0);
    double support = scale * filter.support;
    if (support <= 0.5) {
        support = 0.500001;
        scale = 1.0;
    }
    const double inverse = 1.0 / scale;
    double* lastDistances = w.scratch;  // free until the pass itself starts
    int32_t lastCount = -1;
    const FilterContributor* last = nullptr;
    for (int32_t i = 0; i < outputs; ++i) {
        FilterContributor* c = w.contributors + static_cast<size_t>(i) * room;
        double centre = (i + 0.5) / factor;
        int32_t start = static_cast<int32_t>(std::max(centre - support + 0.5, 0.0));
        int32_t end = static_cast<int32_t>(std::min(centre + support + 0.5, static_cast<double>(sourceLength)));
        int32_t count = end > start ? end - start : 0;
        if (static_cast<size_t>(count) > room) count = static_cast<int32_t>(room);
        bool same = count == lastCount;
        for (int32_t k = 0; k < count; ++k) {
            int32_t p = start + k;
            double distance = (p - centre + 0.5) * inverse;
            c[k].pixel = p;
            c[k].weight = distance;
            same = same && std::memcmp(&distance, &lastDistances[k], sizeof distance) == 0;
        }
        if (same) {
            for (int32_t k = 0; k < count; ++k) c[k].weight = last[k].weight;
        } else {
            double density = 0.0;
            for (int32_t k = 0; k < count; ++k) {
                lastDistances[k] = c[k].weight;
                c[k].weight = filter.weight(c[k].weight, filter.support);
                density += c[k].weight;
            }
            if (density != 0.0 && density != 1.0) {
                double reciprocal = 1.0 / density;
                for (int32_t k = 0; k < count; ++k) c[k].weight *= reciprocal;
            }
            last = c;
            lastCount = count;
        }
        w.windowStart[i] = start;
        w.windowCount[i] = count;
    }
    return room;
}

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
inline uint8_t Finish(double acc)
{
    if (acc < 0.0) return 0;
    if (acc > 255.0) return 255;
    return static_cast<uint8_t>(static_cast<int>(acc + 0.5));
}

// The same for two sums at once: max/min give exactly 0 and 255 where the
// scalar form does, and the truncating conversion of acc + 0.5 does the rest.
inline __m128i FinishPair(__m128d acc)
{
    acc = _mm_min_pd(_mm_max_pd(acc, _mm_setzero_pd()), _mm_set1_pd(255.0));
    return _mm_cvttpd_epi32(_mm_add_pd(acc, _mm_set1_pd(0.5)));
}

// n contiguous bytes to doubles.
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

// Every step-th byte to doubles.
void SpacedBytesToDoubles(const uint8_t* bytes, size_t step, double* out, size_t n)
{
    const double* table = ByteToDouble();
    for (size_t i = 0; i < n; ++i) out[i] = table[bytes[i * step]];
}

// Eight bytes from eight clamped and rounded sums.
inline __m128i PackEight(__m128d a0, __m128d a1, __m128d a2, __m128d a3)
{
    __m128i lo = _mm_unpacklo_epi64(FinishPair(a0), FinishPair(a1));
    __m128i hi = _mm_unpacklo_epi64(FinishPair(a2), FinishPair(a3));
    __m128i words = _mm_packs_epi32(lo, hi);
    return _mm_packus_epi16(words, words);
}

// Writes value v of lane i: one byte, or the same byte to the three channels
// of a grey pixel.
inline void PutLane(uint8_t* out, size_t i, int spread, uint8_t v)
{
    if (spread == 1) {
        out[i] = v;
    } else {
        out[3 * i] = v;
        out[3 * i + 1] = v;
        out[3 * i + 2] = v;
    }
}

// out lane i = the window's sum over rows[k][i], for lanes from..lanes-1.
void SumRows(const double* const* rows, const FilterContributor* c, int32_t count, size_t from, size_t lanes,
             uint8_t* out, int spread)
{
    size_t i = from;
    for (; i + 8 <= lanes; i += 8) {
        __m128d a0 = _mm_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
        for (int32_t k = 0; k < count; ++k) {
            const __m128d wk = _mm_set1_pd(c[k].weight);
            const double* r = rows[k] + i;
            a0 = _mm_add_pd(a0, _mm_mul_pd(wk, _mm_load_pd(r)));
            a1 = _mm_add_pd(a1, _mm_mul_pd(wk, _mm_load_pd(r + 2)));
            a2 = _mm_add_pd(a2, _mm_mul_pd(wk, _mm_load_pd(r + 4)));
            a3 = _mm_add_pd(a3, _mm_mul_pd(wk, _mm_load_pd(r + 6)));
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
    for (; i < lanes; ++i) {
        double acc = 0.0;
        for (int32_t k = 0; k < count; ++k) acc += c[k].weight * rows[k][i];
        PutLane(out, i, spread, Finish(acc));
    }
}

#if defined(__GNUC__)
#define TOVANREL_HAVE_AVX 1

__attribute__((target("avx"))) inline __m128i FinishFour(__m256d acc)
{
    acc = _mm256_min_pd(_mm256_max_pd(acc, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvttpd_epi32(_mm256_add_pd(acc, _mm256_set1_pd(0.5)));
}

// The same sums sixteen lanes at a time in 256-bit registers: the same
// multiplies and adds (no fused multiply-add), in the same order per lane.
__attribute__((target("avx"))) void SumRowsAvx(const double* const* rows, const FilterContributor* c,
                                                int32_t count, size_t lanes, uint8_t* out, int spread)
{
    size_t i = 0;
    for (; i + 16 <= lanes; i += 16) {
        __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
        for (int32_t k = 0; k < count; ++k) {
            const __m256d wk = _mm256_broadcast_sd(&c[k].weight);
            const double* r = rows[k] + i;
            a0 = _mm256_add_pd(a0, _mm256_mul_pd(wk, _mm256_loadu_pd(r)));
            a1 = _mm256_add_pd(a1, _mm256_mul_pd(wk, _mm256_loadu_pd(r + 4)));
            a2 = _mm256_add_pd(a2, _mm256_mul_pd(wk, _mm256_loadu_pd(r + 8)));
            a3 = _mm256_add_pd(a3, _mm256_mul_pd(wk, _mm256_loadu_pd(r + 12)));
        }
        __m128i words0 = _mm_packs_epi32(FinishFour(a0), FinishFour(a1));
        __m128i words1 = _mm_packs_epi32(FinishFour(a2), FinishFour(a3));
        __m128i bytes = _mm_packus_epi16(words0, words1);
        if (spread == 1) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
        } else {
            alignas(16) uint8_t v[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(v), bytes);
            for (int j = 0; j < 16; ++j) PutLane(out, i + j, spread, v[j]);
        }
    }
    _mm256_zeroupper();
    SumRows(rows, c, count, i, lanes, out, spread);
}

// n contiguous bytes to doubles, sixteen at a time.
__attribute__((target("avx"))) void BytesToDoublesAvx(const uint8_t* bytes, double* out, size_t n)
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
    for (; i < n; ++i) out[i] = bytes[i];
}

bool CanUseAvx()
{
    static const bool usable = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return usable;
}
#endif

void RowBytesToDoubles(const uint8_t* bytes, double* out, size_t n)
{
#if defined(TOVANREL_HAVE_AVX)
    if (UseWideVectors && CanUseAvx()) {
        BytesToDoublesAvx(bytes, out, n);
        return;
    }
#endif
    BytesToDoubles(bytes, out, n);
}

void SumWindowRows(const double* const* rows, const FilterContributor* c, int32_t count, size_t lanes,
                   uint8_t* out, int spread)
{
#if defined(TOVANREL_HAVE_AVX)
    if (UseWideVectors && CanUseAvx()) {
        SumRowsAvx(rows, c, count, lanes, out, spread);
        return;
    }
#endif
    SumRows(rows, c, count, 0, lanes, out, spread);
}

inline uint8_t* PictureRow(const PictureRows& picture, int32_t y)
{
    return picture.bottom + static_cast<size_t>(picture.height - 1 - y) * picture.stride;
}

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

}  // namespace

bool IsGreyPicture(const PictureRows& picture)
{
    if (picture.bits != 24) return false;
    for (int32_t y = 0; y < picture.height; ++y)
        if (!IsGreyRow(PictureRow(picture, y), picture.width)) return false;
    return true;
}

namespace {

// Converts the grey level of every pixel of a 24-bit row to doubles, and
// answers whether every pixel of it is in fact grey.
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

#if defined(TOVANREL_HAVE_AVX)
// The same four pixels at a time: a byte shuffle picks each channel of four
// pixels into 32-bit lanes.
__attribute__((target("avx"))) bool GreyRowToDoublesAvx(const uint8_t* row, int32_t width, double* out)
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
    bool rest = GreyRowToDoubles(row + 3 * static_cast<size_t>(x), width - x, out + x);
    return rest && _mm_movemask_epi8(_mm_cmpeq_epi8(differ, _mm_setzero_si128())) == 0xFFFF;
}
#endif

bool GreyRowToDoublesFast(const uint8_t* row, int32_t width, double* out)
{
#if defined(TOVANREL_HAVE_AVX)
    if (UseWideVectors && CanUseAvx()) return GreyRowToDoublesAvx(row, width, out);
#endif
    return GreyRowToDoubles(row, width, out);
}

// Sums every output row with each source row converted to doubles once,
// while it is inside the windows. In grey mode one lane per pixel is summed
// and written to all three channels; that is only exact if every row a sum
// reads is grey, so the first row found otherwise ends grey mode (false).
bool VerticalWithRowCache(const PictureRows& source, const PictureRows& destination, FilterWorkspace& w,
                          size_t room, bool grey)
{
    const uint32_t bits = source.bits;
    const int32_t width = source.width;
    const int32_t outputs = destination.height;
    const int spread = grey ? 3 : 1;
    const size_t lanes = static_cast<size_t>(width) * (grey ? 1 : BytesPerPixel(bits));
    const size_t slots = w.rowRoom;
    const size_t slotDoubles = static_cast<size_t>(RowSlotDoubles(lanes));
    for (size_t s = 0; s < slots; ++s) w.cachedRow[s] = -1;
    for (int32_t y = 0; y < outputs; ++y) {
        const FilterContributor* c = w.contributors + static_cast<size_t>(y) * room;
        const int32_t count = w.windowCount[y];
        for (int32_t k = 0; k < count; ++k) {
            int32_t p = c[k].pixel;
            size_t slot = static_cast<size_t>(p) % slots;
            double* row = w.scratch + slot * slotDoubles;
            if (w.cachedRow[slot] != p) {
                if (grey) {
                    if (!GreyRowToDoublesFast(PictureRow(source, p), width, row)) return false;
                } else {
                    RowBytesToDoubles(PictureRow(source, p), row, lanes);
                }
                w.cachedRow[slot] = p;
            }
            w.rowPointers[k] = row;
        }
        // Ask for the source rows the next window adds while this one is
        // summed, so that reading them overlaps with the arithmetic (grey
        // rows are read sparsely, which the processor does not foresee).
        if (grey && y + 1 < outputs) {
            const FilterContributor* next = w.contributors + static_cast<size_t>(y + 1) * room;
            const size_t rowBytes = static_cast<size_t>(width) * BytesPerPixel(bits);
            for (int32_t k = 0; k < w.windowCount[y + 1]; ++k) {
                int32_t p = next[k].pixel;
                if (w.cachedRow[static_cast<size_t>(p) % slots] == p) continue;
                const char* from = reinterpret_cast<const char*>(PictureRow(source, p));
                for (size_t b = 0; b < rowBytes; b += 64) _mm_prefetch(from + b, _MM_HINT_T0);
            }
        }
        SumWindowRows(w.rowPointers, c, count, lanes, PictureRow(destination, y), spread);
    }
    return true;
}

}  // namespace

void VerticalFilterPass(const PictureRows& source, const PictureRows& destination, double factor,
                        const ResizeFilter& filter, double blur, FilterWorkspace& w)
{
    const uint32_t bits = source.bits;
    if (bits != 8 && bits != 24 && bits != 32) return;
    const int32_t width = source.width;
    const int32_t sourceHeight = source.height;
    const int32_t outputs = destination.height;
    const size_t room = ComputeWindows(w, outputs, sourceHeight, factor, filter, blur);

    if (w.rowRoom > 0) {
        // A 24-bit picture is first tried as grey: summed once per pixel, as
        // its three channel sums are the same sum.
        if (bits == 24 && VerticalWithRowCache(source, destination, w, room, true)) return;
        VerticalWithRowCache(source, destination, w, room, false);
        return;
    }

    // Windows too tall to keep converted: one accumulator row, fed one source
    // row at a time in window order.
    const bool grey = IsGreyPicture(source);
    const int spread = grey ? 3 : 1;
    const size_t lanes = static_cast<size_t>(width) * (grey ? 1 : BytesPerPixel(bits));
    double* acc = w.scratch;
    double* row = w.scratch + RoundUpEven(lanes);
    for (int32_t y = 0; y < outputs; ++y) {
        const FilterContributor* c = w.contributors + static_cast<size_t>(y) * room;
        const int32_t count = w.windowCount[y];
        for (size_t i = 0; i < lanes; ++i) acc[i] = 0.0;
        for (int32_t k = 0; k < count; ++k) {
            if (grey)
                SpacedBytesToDoubles(PictureRow(source, c[k].pixel), 3, row, lanes);
            else
                BytesToDoubles(PictureRow(source, c[k].pixel), row, lanes);
            const __m128d wk = _mm_set1_pd(c[k].weight);
            size_t i = 0;
            for (; i + 2 <= lanes; i += 2)
                _mm_storeu_pd(acc + i, _mm_add_pd(_mm_loadu_pd(acc + i), _mm_mul_pd(wk, _mm_loadu_pd(row + i))));
            for (; i < lanes; ++i) acc[i] += c[k].weight * row[i];
        }
        uint8_t* out = PictureRow(destination, y);
        for (size_t i = 0; i < lanes; ++i) PutLane(out, i, spread, Finish(acc[i]));
    }
}

namespace {

// Two rows of single-channel pixels filtered side by side: lane 0 of every
// sum belongs to row a, lane 1 to row b. step is the distance between the
// pixels' bytes; spread 3 writes grey pixels of three equal bytes.
void HorizontalPairOfRows(const uint8_t* a, const uint8_t* b, size_t step, int32_t sourceWidth,
                          uint8_t* outA, uint8_t* outB, int spread, int32_t outputs, size_t room,
                          const FilterWorkspace& w)
{
    const double* table = ByteToDouble();
    double* d = w.scratch;
    for (int32_t p = 0; p < sourceWidth; ++p) {
        d[2 * p] = table[a[p * step]];
        d[2 * p + 1] = table[b[p * step]];
    }
    // Four outputs side by side keep four independent sums in flight; each
    // still adds its own contributors in window order.
    int32_t x = 0;
    for (; x + 4 <= outputs; x += 4) {
        const FilterContributor* c[4];
        const double* r[4];
        int32_t n[4];
        for (int j = 0; j < 4; ++j) {
            c[j] = w.contributors + static_cast<size_t>(x + j) * room;
            r[j] = d + 2 * static_cast<size_t>(w.windowStart[x + j]);
            n[j] = w.windowCount[x + j];
        }
        const int32_t common = std::min(std::min(n[0], n[1]), std::min(n[2], n[3]));
        __m128d acc[4] = {_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
        for (int32_t k = 0; k < common; ++k) {
            acc[0] = _mm_add_pd(acc[0], _mm_mul_pd(_mm_set1_pd(c[0][k].weight), _mm_load_pd(r[0] + 2 * k)));
            acc[1] = _mm_add_pd(acc[1], _mm_mul_pd(_mm_set1_pd(c[1][k].weight), _mm_load_pd(r[1] + 2 * k)));
            acc[2] = _mm_add_pd(acc[2], _mm_mul_pd(_mm_set1_pd(c[2][k].weight), _mm_load_pd(r[2] + 2 * k)));
            acc[3] = _mm_add_pd(acc[3], _mm_mul_pd(_mm_set1_pd(c[3][k].weight), _mm_load_pd(r[3] + 2 * k)));
        }
        for (int j = 0; j < 4; ++j) {
            for (int32_t k = common; k < n[j]; ++k)
                acc[j] = _mm_add_pd(acc[j], _mm_mul_pd(_mm_set1_pd(c[j][k].weight), _mm_load_pd(r[j] + 2 * k)));
            __m128i v = FinishPair(acc[j]);
            PutLane(outA, x + j, spread, static_cast<uint8_t>(_mm_cvtsi128_si32(v)));
            if (outB) PutLane(outB, x + j, spread, static_cast<uint8_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 4))));
        }
    }
    for (; x < outputs; ++x) {
        const FilterContributor* c = w.contributors + static_cast<size_t>(x) * room;
        const int32_t count = w.windowCount[x];
        const double* r = d + 2 * static_cast<size_t>(w.windowStart[x]);
        __m128d acc = _mm_setzero_pd();
        for (int32_t k = 0; k < count; ++k)
            acc = _mm_add_pd(acc, _mm_mul_pd(_mm_set1_pd(c[k].weight), _mm_load_pd(r + 2 * k)));
        __m128i v = FinishPair(acc);
        PutLane(outA, x, spread, static_cast<uint8_t>(_mm_cvtsi128_si32(v)));
        if (outB) PutLane(outB, x, spread, static_cast<uint8_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 4))));
    }
}

// One row of three- or four-channel pixels: the channels of a pixel are the
// lanes of two vectors (the fourth lane of a 24-bit pixel is 0 and unused).
void HorizontalColourRow(const uint8_t* src, uint32_t bytesPerPixel, int32_t sourceWidth, uint8_t* out,
                         int32_t outputs, size_t room, const FilterWorkspace& w)
{
    const double* table = ByteToDouble();
    double* d = w.scratch;
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
    int32_t x = 0;
    for (; x + 2 <= outputs; x += 2) {
        const FilterContributor* c0 = w.contributors + static_cast<size_t>(x) * room;
        const FilterContributor* c1 = c0 + room;
        const double* r0 = d + 4 * static_cast<size_t>(w.windowStart[x]);
        const double* r1 = d + 4 * static_cast<size_t>(w.windowStart[x + 1]);
        const int32_t n0 = w.windowCount[x], n1 = w.windowCount[x + 1];
        const int32_t common = std::min(n0, n1);
        __m128d lo0 = _mm_setzero_pd(), hi0 = lo0, lo1 = lo0, hi1 = lo0;
        for (int32_t k = 0; k < common; ++k) {
            const __m128d w0 = _mm_set1_pd(c0[k].weight);
            const __m128d w1 = _mm_set1_pd(c1[k].weight);
            lo0 = _mm_add_pd(lo0, _mm_mul_pd(w0, _mm_load_pd(r0 + 4 * k)));
            hi0 = _mm_add_pd(hi0, _mm_mul_pd(w0, _mm_load_pd(r0 + 4 * k + 2)));
            lo1 = _mm_add_pd(lo1, _mm_mul_pd(w1, _mm_load_pd(r1 + 4 * k)));
            hi1 = _mm_add_pd(hi1, _mm_mul_pd(w1, _mm_load_pd(r1 + 4 * k + 2)));
        }
        for (int32_t k = common; k < n0; ++k) {
            const __m128d w0 = _mm_set1_pd(c0[k].weight);
            lo0 = _mm_add_pd(lo0, _mm_mul_pd(w0, _mm_load_pd(r0 + 4 * k)));
            hi0 = _mm_add_pd(hi0, _mm_mul_pd(w0, _mm_load_pd(r0 + 4 * k + 2)));
        }
        for (int32_t k = common; k < n1; ++k) {
            const __m128d w1 = _mm_set1_pd(c1[k].weight);
            lo1 = _mm_add_pd(lo1, _mm_mul_pd(w1, _mm_load_pd(r1 + 4 * k)));
            hi1 = _mm_add_pd(hi1, _mm_mul_pd(w1, _mm_load_pd(r1 + 4 * k + 2)));
        }
        store(x, lo0, hi0);
        store(x + 1, lo1, hi1);
    }
    for (; x < outputs; ++x) {
        const FilterContributor* c = w.contributors + static_cast<size_t>(x) * room;
        const int32_t count = w.windowCount[x];
        const double* r = d + 4 * static_cast<size_t>(w.windowStart[x]);
        __m128d lo = _mm_setzero_pd(), hi = lo;
        for (int32_t k = 0; k < count; ++k) {
            const __m128d wk = _mm_set1_pd(c[k].weight);
            lo = _mm_add_pd(lo, _mm_mul_pd(wk, _mm_load_pd(r + 4 * k)));
            hi = _mm_add_pd(hi, _mm_mul_pd(wk, _mm_load_pd(r + 4 * k + 2)));
        }
        store(x, lo, hi);
    }
}

}  // namespace

namespace {

#if defined(TOVANREL_HAVE_AVX)
// Sums of every output over four lanes of doubles per source pixel (d),
// four outputs at a time; each output's four results go to put(x, v).
template <typename Put>
__attribute__((target("avx"))) inline void SumFourLaneWindowsAvx(const double* d, int32_t outputs, size_t room,
                                                                  const FilterWorkspace& w, Put put)
{
    int32_t x = 0;
    for (; x + 4 <= outputs; x += 4) {
        const FilterContributor* c[4];
        const double* r[4];
        int32_t n[4];
        for (int j = 0; j < 4; ++j) {
            c[j] = w.contributors + static_cast<size_t>(x + j) * room;
            r[j] = d + 4 * static_cast<size_t>(w.windowStart[x + j]);
            n[j] = w.windowCount[x + j];
        }
        const int32_t common = std::min(std::min(n[0], n[1]), std::min(n[2], n[3]));
        __m256d acc[4] = {_mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd(), _mm256_setzero_pd()};
        for (int32_t k = 0; k < common; ++k) {
            acc[0] = _mm256_add_pd(acc[0], _mm256_mul_pd(_mm256_broadcast_sd(&c[0][k].weight), _mm256_loadu_pd(r[0] + 4 * k)));
            acc[1] = _mm256_add_pd(acc[1], _mm256_mul_pd(_mm256_broadcast_sd(&c[1][k].weight), _mm256_loadu_pd(r[1] + 4 * k)));
            acc[2] = _mm256_add_pd(acc[2], _mm256_mul_pd(_mm256_broadcast_sd(&c[2][k].weight), _mm256_loadu_pd(r[2] + 4 * k)));
            acc[3] = _mm256_add_pd(acc[3], _mm256_mul_pd(_mm256_broadcast_sd(&c[3][k].weight), _mm256_loadu_pd(r[3] + 4 * k)));
        }
        for (int j = 0; j < 4; ++j) {
            for (int32_t k = common; k < n[j]; ++k)
                acc[j] = _mm256_add_pd(acc[j], _mm256_mul_pd(_mm256_broadcast_sd(&c[j][k].weight), _mm256_loadu_pd(r[j] + 4 * k)));
            alignas(16) int32_t v[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(v), FinishFour(acc[j]));
            put(x + j, v);
        }
    }
    for (; x < outputs; ++x) {
        const FilterContributor* c = w.contributors + static_cast<size_t>(x) * room;
        const double* r = d + 4 * static_cast<size_t>(w.windowStart[x]);
        __m256d acc = _mm256_setzero_pd();
        for (int32_t k = 0; k < w.windowCount[x]; ++k)
            acc = _mm256_add_pd(acc, _mm256_mul_pd(_mm256_broadcast_sd(&c[k].weight), _mm256_loadu_pd(r + 4 * k)));
        alignas(16) int32_t v[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(v), FinishFour(acc));
        put(x, v);
    }
    _mm256_zeroupper();
}

// Four rows of single-channel pixels side by side, one row per lane; absent
// rows (null out) repeat the last one and are not written.
__attribute__((target("avx"))) void HorizontalFourRowsAvx(const uint8_t* const* in, size_t step,
                                                           int32_t sourceWidth, uint8_t* const* out, int spread,
                                                           int32_t outputs, size_t room, const FilterWorkspace& w)
{
    const double* table = ByteToDouble();
    double* d = w.scratch;
    for (int32_t p = 0; p < sourceWidth; ++p) {
        const size_t at = static_cast<size_t>(p) * step;
        d[4 * p] = table[in[0][at]];
        d[4 * p + 1] = table[in[1][at]];
        d[4 * p + 2] = table[in[2][at]];
        d[4 * p + 3] = table[in[3][at]];
    }
    SumFourLaneWindowsAvx(d, outputs, room, w, [&](int32_t x, const int32_t* v) {
        for (int j = 0; j < 4; ++j)
            if (out[j]) PutLane(out[j], x, spread, static_cast<uint8_t>(v[j]));
    });
}

// One row of three- or four-channel pixels, one channel per lane.
__attribute__((target("avx"))) void HorizontalColourRowAvx(const uint8_t* src, uint32_t bytesPerPixel,
                                                            int32_t sourceWidth, uint8_t* out, int32_t outputs,
                                                            size_t room, const FilterWorkspace& w)
{
    const double* table = ByteToDouble();
    double* d = w.scratch;
    // Four pixels per sixteen-byte load, each pixel's channels spread into
    // 32-bit lanes (a 24-bit pixel's fourth lane is 0), while the load stays
    // inside the row.
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
        for (int j = 0; j < 4; ++j) _mm256_storeu_pd(d + 4 * (p + j), _mm256_cvtepi32_pd(lanes[j]));
    }
    for (; p < sourceWidth; ++p) {
        const uint8_t* s = src + static_cast<size_t>(p) * bytesPerPixel;
        d[4 * p] = table[s[0]];
        d[4 * p + 1] = table[s[1]];
        d[4 * p + 2] = table[s[2]];
        d[4 * p + 3] = bytesPerPixel == 4 ? table[s[3]] : 0.0;
    }
    SumFourLaneWindowsAvx(d, outputs, room, w, [&](int32_t x, const int32_t* v) {
        uint8_t* o = out + static_cast<size_t>(x) * bytesPerPixel;
        for (uint32_t j = 0; j < bytesPerPixel; ++j) o[j] = static_cast<uint8_t>(v[j]);
    });
}
#endif

}  // namespace

void HorizontalFilterPass(const PictureRows& source, const PictureRows& destination, double factor,
                          const ResizeFilter& filter, double blur, FilterWorkspace& w)
{
    const uint32_t bits = source.bits;
    if (bits != 8 && bits != 24 && bits != 32) return;
    const int32_t sourceWidth = source.width;
    const int32_t height = source.height;
    const int32_t outputs = destination.width;
    const size_t room = ComputeWindows(w, outputs, sourceWidth, factor, filter, blur);
    const uint32_t bpp = BytesPerPixel(bits);
#if defined(TOVANREL_HAVE_AVX)
    const bool wide = UseWideVectors && CanUseAvx();
#endif

    int32_t y = 0;
    while (y < height) {
        const uint8_t* a = PictureRow(source, y);
        // Runs of single-channel rows: 8-bit indices, or grey 24-bit pixels.
        auto single = [&](int32_t row) { return bits == 8 || (bits == 24 && IsGreyRow(PictureRow(source, row), sourceWidth)); };
        const bool aSingle = single(y);
#if defined(TOVANREL_HAVE_AVX)
        if (wide && aSingle) {
            const uint8_t* in[4];
            uint8_t* out[4];
            int32_t rows = 1;
            in[0] = a;
            out[0] = PictureRow(destination, y);
            while (rows < 4 && y + rows < height && single(y + rows)) {
                in[rows] = PictureRow(source, y + rows);
                out[rows] = PictureRow(destination, y + rows);
                ++rows;
            }
            for (int j = rows; j < 4; ++j) {
                in[j] = in[rows - 1];
                out[j] = nullptr;
            }
            HorizontalFourRowsAvx(in, bits == 8 ? 1 : 3, sourceWidth, out, bits == 8 ? 1 : 3, outputs, room, w);
            y += rows;
            continue;
        }
#endif
        const bool hasNext = y + 1 < height;
        const uint8_t* b = hasNext ? PictureRow(source, y + 1) : a;
        uint8_t* outA = PictureRow(destination, y);
        uint8_t* outB = hasNext ? PictureRow(destination, y + 1) : nullptr;
        if (aSingle && (!hasNext || single(y + 1))) {
            HorizontalPairOfRows(a, b, bits == 8 ? 1 : 3, sourceWidth, outA, outB, bits == 8 ? 1 : 3, outputs, room, w);
            y += 2;
        } else {
#if defined(TOVANREL_HAVE_AVX)
            if (wide)
                HorizontalColourRowAvx(a, bpp, sourceWidth, outA, outputs, room, w);
            else
#endif
                HorizontalColourRow(a, bpp, sourceWidth, outA, outputs, room, w);
            y += 1;
        }
    }
}
