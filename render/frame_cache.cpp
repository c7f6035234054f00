// The frame pipeline's per-size cache: a size is found or made, and made the
// most recently used; the one used least recently is dropped first.
#include "render/frame_cache.h"

#include <algorithm>
#include <new>

KeptFrameSize* FrameCache::use(int32_t width, int32_t height)
{
    auto found = std::find_if(recentFirst_.begin(), recentFirst_.end(), [&](const auto& kept) {
        return kept && kept->layers.width() == width && kept->layers.height() == height;
    });
    if (found == recentFirst_.end()) {
        // The last slot is the size used least recently (or empty).
        found = recentFirst_.end() - 1;
        found->reset();
        found->reset(new (std::nothrow) KeptFrameSize(width, height));
        if (!*found) return nullptr;
    }
    std::rotate(recentFirst_.begin(), found, found + 1);
    return recentFirst_.front().get();
}

void FrameCache::release()
{
    for (auto& kept : recentFirst_) kept.reset();
    rescale_.release();
}

size_t FrameCache::keptBytes() const
{
    size_t bytes = rescale_.keptBytes();
    for (const auto& kept : recentFirst_)
        if (kept) bytes += sizeof *kept + kept->layers.keptBytes() + kept->surface.keptBytes();
    return bytes;
}
