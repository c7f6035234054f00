// What the frame pipeline keeps between frames, per surface size: the opaque
// layers learnt from GDI, the kept surface's mapping with the last frame
// reduced from it, and the rescaler's working memory. Everything here is heap memory or a file mapping, never a
// global block or a GDI object, so between frames the host sees no more of
// them than with nothing kept. The outermost dialog owns one for its life
// and hands it to every frame it makes; a test or the benchmark makes its own.
//
// Policy: two sizes, because a build's frames and the preview's interleave
// while the host lets messages through; when a third size comes, the size
// used least recently is dropped. A 1024 x 1024 surface (a 256 x 256 frame)
// keeps 3 MiB of mapping, 1.1 MB of its last reduced frame and vertical
// pass's rows, up to 2.5 MiB of layers (about 1 MiB for the 60 angles of a
// countdown) and the pictures of one number over two greys (at most twice
// its box: about 1.4 MB at that size); the rescaler's working memory (about
// 0.75 MB for that size) is one block shared by both sizes. In all 7.4 MB
// after a countdown. Everything goes at release() or with the cache.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "image/rescale.h"
#include "render/kept_layers.h"
#include "render/kept_surface.h"

struct KeptFrameSize {
    KeptFrameSize(int32_t width, int32_t height) : layers(width, height) {}
    KeptLayers layers;
    KeptSurface surface;  // mapped by the kept route on first use, for sizes that fit
};

class FrameCache {
public:
    static constexpr size_t KeptSizes = 2;

    FrameCache() = default;
    FrameCache(const FrameCache&) = delete;
    FrameCache& operator=(const FrameCache&) = delete;

    // What is kept for a width x height surface, made now the most recently
    // used size. Null only when memory runs out. Never throws.
    KeptFrameSize* use(int32_t width, int32_t height);

    // Working memory of the rescales of every size (only one runs at a time).
    RescaleMemory& rescaleMemory() { return rescale_; }

    // Drops every size and the rescaler's memory.
    void release();

    // Calls visit(KeptFrameSize&) for each size kept.
    template <typename Visit>
    void forEachSize(Visit visit)
    {
        for (auto& kept : recentFirst_)
            if (kept) visit(*kept);
    }

    // Heap and mapped bytes held over all sizes (for the tests and the
    // benchmark, which hold what is kept to its bounds).
    size_t keptBytes() const;

private:
    std::array<std::unique_ptr<KeptFrameSize>, KeptSizes> recentFirst_;
    RescaleMemory rescale_;
};
