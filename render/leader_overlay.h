// The leader's rings and crosshair as kept pixels. They are opaque, not
// antialiased, drawn last and the same on every frame of a given surface
// size, so their final pixels can be found once and laid over each frame's
// painted background, sweep and number instead of drawing them again (the
// wide-pen rings are most of the cost of a frame with GDI).
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

// A run of bytes of one value in a 24-bit surface's pixel memory.
struct OverlayRun {
    uint32_t offset;  // from the first byte of the bottom row
    uint32_t length;
    uint8_t value;
};

// Finds the overlay of a width x height 24-bit surface with a frame rectangle
// covering it, by drawing it with PaintLeaderOverlay on two surfaces of
// different uniform bytes: exactly the bytes equal in both are the overlay's.
// Returns false (runs left empty) when a surface or a pen could not be made.
bool FindLeaderOverlay(int32_t width, int32_t height, std::vector<OverlayRun>* runs);

// The overlay for this surface size from a small cache (the two sizes used
// last, typically the build's and the preview's), found on first use; null
// when it cannot be found. Never throws.
const std::vector<OverlayRun>* CachedLeaderOverlay(int32_t width, int32_t height);

// Writes the overlay into pixel memory of the size it was found for.
void StampLeaderOverlay(uint8_t* pixels, const std::vector<OverlayRun>& runs);
