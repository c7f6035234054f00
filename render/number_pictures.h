// Laying the number without drawing it, and the check that a frame so laid
// is the painter's. GDI's antialiased text gives each pixel from its own
// coverage and its own earlier value alone, so over a backdrop of flat greys
// the number's box can be written from pictures of the number drawn once
// over each grey. That rule is GDI's, not ours, so every number's first
// frames laid this way at a size are compared with GDI's own whole frame.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/byte_runs.h"

// Pictures of one number's box as GDI draws the number over a field of each
// grey met under it; kept for the last number laid.
class NumberPictures {
public:
    // The leader's backdrops have two greys.
    static constexpr size_t MaxGreys = 2;

    // Lays `number` in `box` of a width x height surface's pixel memory where
    // `beneath`, runs of a backdrop (all of it, or the part that changed since
    // the number was last laid there), has just been stamped: each pixel of
    // the box that a run covers as GDI draws the number over a field of the
    // run's grey, so a pixel whose backdrop did not change keeps its value.
    // A missing picture is drawn first, and kept only when its font was made.
    // False when a picture cannot be had or a pixel is not one grey; the box
    // is then partly written.
    bool lay(uint8_t* pixels, int32_t width, int32_t height, const ByteRuns& beneath, int32_t number,
             const RECT& box);

    void forget();
    size_t keptBytes() const;

private:
    struct OverGrey {
        uint8_t grey;
        std::vector<uint8_t> rows;  // the box's rows, bottom-up, as a 24-bit picture of it
    };
    const uint8_t* over(int32_t width, int32_t height, int32_t number, const RECT& box, uint8_t grey);

    int32_t number_ = 0;  // the number of these pictures
    std::vector<OverGrey> greys_;
};

// How many greys of a backdrop lie under a box: 1 on the first frame of a
// number (one flat field), 2 once the sweep has begun.
int GreysInBox(const ByteRuns& backdrop, int32_t width, int32_t height, const RECT& box);

// Paints the whole frame (number, angle) with the painter's layers on a zeroed
// width x height surface, as the plain route does, and compares it with the
// laid `pixels`. When they differ, GDI's frame replaces the laid one. When an
// object of the frame cannot be made, nothing is compared and `pixels` stay.
enum class LaidFrameCheck { Same, Differs, CannotBeMade };
LaidFrameCheck CheckLaidFrame(uint8_t* pixels, int32_t width, int32_t height, int32_t number, int32_t angle);
