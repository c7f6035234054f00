// Contributor windows: spans, distances and normalised weights.
#include "image/filter_windows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Distances of the span's pixels from the centre, in kernel units.
void WindowDistances(const WindowSpan& span, const PassScale& pass, double* distances)
{
    for (int32_t k = 0; k < span.count; ++k)
        distances[k] = (span.start + k - span.centre + 0.5) * pass.inverse;
}

// The kernel at each distance, scaled by the reciprocal of their sum when
// that sum is neither 0 nor 1 (a clipped window, any kernel but the box).
void WeighDistances(const ResizeFilter& filter, const double* distances, int32_t count, double* weights)
{
    double density = 0.0;
    for (int32_t k = 0; k < count; ++k) {
        weights[k] = filter.weight(distances[k], filter.support);
        density += weights[k];
    }
    if (density != 0.0 && density != 1.0) {
        double reciprocal = 1.0 / density;
        for (int32_t k = 0; k < count; ++k) weights[k] *= reciprocal;
    }
}

}  // namespace

PassScale ScaleOfPass(double factor, const ResizeFilter& filter, double blur)
{
    PassScale pass;
    pass.factor = factor;
    pass.scale = blur * (1.0 / factor > 1.0 ? 1.0 / factor : 1.0);
    pass.support = pass.scale * filter.support;
    if (pass.support <= 0.5) {
        pass.support = 0.500001;
        pass.scale = 1.0;
    }
    pass.inverse = 1.0 / pass.scale;
    return pass;
}

bool HasFiniteWindows(const PassScale& pass)
{
    return std::isfinite(pass.scale) && std::isfinite(pass.support);
}

WindowSpan SpanOfWindow(int32_t index, int32_t sourceLength, const PassScale& pass)
{
    WindowSpan span;
    span.centre = (index + 0.5) / pass.factor;
    span.start = static_cast<int32_t>(std::max(span.centre - pass.support + 0.5, 0.0));
    int32_t end = static_cast<int32_t>(std::min(span.centre + pass.support + 0.5, static_cast<double>(sourceLength)));
    span.count = end > span.start ? end - span.start : 0;
    return span;
}

int32_t FilterWindow(int32_t index, int32_t sourceLength, const PassScale& pass, const ResizeFilter& filter,
                     size_t room, int32_t* start, double* weights)
{
    WindowSpan span = SpanOfWindow(index, sourceLength, pass);
    if (static_cast<size_t>(span.count) > room) span.count = static_cast<int32_t>(room);
    WindowDistances(span, pass, weights);
    WeighDistances(filter, weights, span.count, weights);
    *start = span.start;
    return span.count;
}

void ComputeWindowTable(WindowTable& table, int32_t sourceLength, const PassScale& pass,
                        const ResizeFilter& filter, double* distances)
{
    int32_t lastCount = -1;
    const double* last = nullptr;
    table.weightSets = 0;
    for (int32_t i = 0; i < table.outputs; ++i) {
        double* weights = table.weights + static_cast<size_t>(i) * table.room;
        WindowSpan span = SpanOfWindow(i, sourceLength, pass);
        if (static_cast<size_t>(span.count) > table.room) span.count = static_cast<int32_t>(table.room);
        // The new distances go where the weights will be, to be compared
        // with the last window weighed (whose distances are kept).
        WindowDistances(span, pass, weights);
        bool same = span.count == lastCount &&
                    std::memcmp(weights, distances, sizeof(double) * static_cast<size_t>(span.count)) == 0;
        if (same) {
            std::memcpy(weights, last, sizeof(double) * static_cast<size_t>(span.count));
            table.weightSet[i] = table.weightSets - 1;
        } else {
            std::memcpy(distances, weights, sizeof(double) * static_cast<size_t>(span.count));
            WeighDistances(filter, distances, span.count, weights);
            last = weights;
            lastCount = span.count;
            table.weightSet[i] = table.weightSets++;
        }
        table.start[i] = span.start;
        table.count[i] = span.count;
    }
}
