// The rescaler's kernel table: sixteen {kernel, support} rows indexed by the
// filter index, each kernel a small pure function of the distance x (in
// source pixels divided by the pass's scale) and the row's support.
#pragma once

constexpr int ResizeFilterCount = 16;

// One row of the filter table: the kernel and its half-width.
struct ResizeFilter {
    double (*weight)(double x, double support);
    double support;
};

// ResizeFilterCount rows, indexed by the filter index. Declared without a
// bound: with one, the definition would take it and quietly zero-fill a
// missing row instead of failing its count check.
extern const ResizeFilter ResizeFilters[];

// Table rows the automatic choice (index 0) picks from.
constexpr int MitchellFilterIndex = 12;
constexpr int Lanczos3FilterIndex = 13;

// The Bessel function of the first kind of order one, to double precision.
double BesselJ1(double x);
