// Which pixels of a picture may have changed since some moment: for each row
// (counted from the top) one span of pixels holding every pixel of the row
// that may have changed, or the whole picture. A span may hold pixels that
// did not change; it never leaves out one that did. The kept rescale
// (kept_rescale.h) reads it to compute only what changed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

class ChangedPixels {
public:
    struct Span {
        int32_t from = 0, to = 0;  // pixels [from, to); empty when from >= to
        bool empty() const { return from >= to; }
    };

    // A width x height picture of which every pixel counts as changed.
    // Throws std::bad_alloc when memory runs out.
    void resize(int32_t width, int32_t height)
    {
        width_ = width;
        height_ = height;
        rows_.assign(static_cast<size_t>(std::max(height, 0)), Span{});
        all_ = true;
    }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // Nothing has changed from now on.
    void clear()
    {
        std::fill(rows_.begin(), rows_.end(), Span{});
        all_ = false;
    }
    void markAll() { all_ = true; }
    // Pixels [from, to) of row y may have changed (clipped to the picture).
    void mark(int32_t y, int32_t from, int32_t to)
    {
        if (all_ || y < 0 || y >= height_) return;
        from = std::max(from, 0);
        to = std::min(to, width_);
        if (from >= to) return;
        Span& row = rows_[static_cast<size_t>(y)];
        if (row.empty()) {
            row = {from, to};
        } else {
            row.from = std::min(row.from, from);
            row.to = std::max(row.to, to);
        }
    }

    bool all() const { return all_; }
    // Row y's span; the whole row when everything counts as changed.
    Span row(int32_t y) const { return all_ ? Span{0, width_} : rows_[static_cast<size_t>(y)]; }

private:
    int32_t width_ = 0, height_ = 0;
    bool all_ = true;
    std::vector<Span> rows_;
};
