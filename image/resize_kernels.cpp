// The sixteen kernels of the filter table and the Bessel function one of
// them needs. Only rows 14 and 15 read the support they are given.
#include "image/resize_kernels.h"

#include <cmath>
#include <type_traits>

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

// Sized by its rows, so that a row too many or too few fails the count below.
const ResizeFilter ResizeFilters[] = {
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
static_assert(std::extent<decltype(ResizeFilters)>::value == ResizeFilterCount,
              "one row for each of the ResizeFilterCount filter indexes");

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
