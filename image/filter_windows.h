// Contributor windows, computed apart from any pixels: for each output index
// of a pass, the run of source pixels it reads and the weight of each.
//
// Precision and clamping: an output's centre is (index + 0.5) / factor in
// source pixels; its window runs from trunc(max(centre - support + 0.5, 0))
// to trunc(min(centre + support + 0.5, source length)), clipped to the
// source and never extended or mirrored. Pixel p weighs the kernel at
// (p - centre + 0.5) / scale, in double precision, and the weights are then
// multiplied by 1 / their sum unless that sum is 0 or 1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/resize_kernels.h"

// How one pass stretches its kernel over the source.
struct PassScale {
    double factor;   // output length / source length, at least 0.0001
    double scale;    // blur x max(1 / factor, 1); 1 where the support was widened
    double support;  // half-width of a window in source pixels, above 0.5
    double inverse;  // 1 / scale
};

// A support of 0.5 or less (the point kernel, tiny blurs) widens to
// 0.500001 with scale 1, so that every window holds at least one pixel.
PassScale ScaleOfPass(double factor, const ResizeFilter& filter, double blur);

// An extreme blur makes the scale infinite, or the support infinity times 0
// (a kernel of support 0): such a pass has no windows, and is refused.
bool HasFiniteWindows(const PassScale& pass);

// The source pixels [start, start + count) under one output index.
struct WindowSpan {
    int32_t start, count;
    double centre;
};
WindowSpan SpanOfWindow(int32_t index, int32_t sourceLength, const PassScale& pass);

// One output's window: its first source pixel in *start and at most `room`
// weights; returns their number.
int32_t FilterWindow(int32_t index, int32_t sourceLength, const PassScale& pass, const ResizeFilter& filter,
                     size_t room, int32_t* start, double* weights);

// The windows of every output index of a pass, their weights `room` apart.
// Outputs with the same weight set number have the same weights; numbers
// count 0, 1, 2 ... in order of first use.
struct WindowTable {
    double* weights;
    int32_t* start;
    int32_t* count;
    int32_t* weightSet;
    size_t room;
    int32_t outputs;
    int32_t weightSets;
};

// Fills every output's window (table.outputs and table.room set by the
// caller); `distances` is scratch room for `room` doubles. Kernels are costly
// (sines, a Bessel function), and at whole-number ratios every window away
// from the borders asks them for the same distances: a window whose
// distances are bit for bit those of the last window weighed takes its
// weights and its set number instead of evaluating them again.
void ComputeWindowTable(WindowTable& table, int32_t sourceLength, const PassScale& pass,
                        const ResizeFilter& filter, double* distances);
