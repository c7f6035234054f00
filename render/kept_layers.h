// Kept copies of the leader's opaque layers, for the frame pipeline. The
// background with the sweep sector depends only on the surface size and the
// angle; the rings and crosshair only on the size. Neither is antialiased, so
// their final bytes can be learnt from GDI once and written straight into each
// frame's pixel memory, leaving only the number to draw (the wide-pen rings
// and the large pie are nearly all of a frame's GDI time). Kept for the two
// surface sizes used last (the build's and the preview's), bounded per size.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// The background and sector of one angle: the whole pixel memory as runs of
// one byte value, run i from starts[i] to starts[i + 1] (or the end).
struct KeptBackdrop {
    int32_t angle = 0;
    std::vector<uint32_t> starts;
    std::vector<uint8_t> values;
};

// A run of bytes of one value; the rings and crosshair are a set of these.
struct OverlayRun {
    uint32_t offset;
    uint32_t length;
    uint8_t value;
};

class KeptLayers {
public:
    // At most this many angles are kept per size (every caller steps by 6: 60).
    static constexpr size_t MaxBackdrops = 64;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    size_t backdropCount() const { return backdrops_.size(); }
    // The backdrop of this angle, or null when it has not been learnt.
    const KeptBackdrop* backdrop(int32_t angle) const;
    // Learns the backdrop of this angle from pixel memory on which exactly the
    // backdrop has just been painted (and flushed). Keeps nothing when full,
    // when the pixels are not a few runs per row, or when memory runs out.
    void learnBackdrop(int32_t angle, const uint8_t* pixels);

    // The rings and crosshair, found on first use (see FindLeaderOverlay);
    // null when they cannot be found.
    const std::vector<OverlayRun>* overlay();

    void reset(int32_t width, int32_t height);

private:
    int32_t width_ = 0, height_ = 0;
    bool overlayFound_ = false;
    std::vector<OverlayRun> overlay_;
    std::vector<KeptBackdrop> backdrops_;
};

// The kept layers for a width x height surface, made the current size of
// the small cache; null only when memory runs out. Never throws.
KeptLayers* KeptLayersFor(int32_t width, int32_t height);

// Finds the rings' and crosshair's bytes for a width x height 24-bit surface
// with a frame rectangle covering it, by drawing them with PaintLeaderOverlay
// on two surfaces of different uniform bytes: exactly the bytes equal in both
// are theirs. False (runs empty) when a surface or pen could not be made.
bool FindLeaderOverlay(int32_t width, int32_t height, std::vector<OverlayRun>* runs);

// Write kept bytes into pixel memory of the size they were learnt for.
void StampBackdrop(uint8_t* pixels, size_t bytes, const KeptBackdrop& backdrop);
void StampOverlay(uint8_t* pixels, const std::vector<OverlayRun>& runs);
