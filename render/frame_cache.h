// What the frame pipeline keeps between frames, per surface size: the opaque
// layers learnt from GDI. Everything here is heap memory, never a global
// block or a GDI object, so between frames the host sees no more of them
// than with nothing kept.
//
// Policy: two sizes, because a build's frames and the preview's interleave
// while the host lets messages through; when a third size comes, the size
// used least recently is dropped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/kept_layers.h"

struct KeptFrameSize {
    KeptFrameSize(int32_t width, int32_t height) : layers(width, height) {}
    KeptLayers layers;
};

class FrameCache {
public:
    static constexpr size_t KeptSizes = 2;

    // What is kept for a width x height surface, made now the most recently
    // used size. Null only when memory runs out. Never throws.
    KeptFrameSize* use(int32_t width, int32_t height);

    // Drops every size.
    void release();

    // Heap bytes held over all sizes.
    size_t keptBytes() const;

private:
    std::array<std::unique_ptr<KeptFrameSize>, KeptSizes> recentFirst_;
};

// The pipeline's one cache.
FrameCache& KeptFrames();
