// Laying the number without drawing it, and the check that a frame so laid
// is the painter's. GDI's antialiased text gives each pixel from its own
// coverage and its own earlier value alone, so over a backdrop of flat greys
// the number's box can be written from pictures of the number drawn once
// over each grey. That rule is GDI's, not ours, so every number's first
// frames laid this way at a size are compared with GDI's own drawing.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "render/byte_runs.h"

// The number's box as GDI draws the number over a field of one grey: the
// box's rows, bottom-up, as a 24-bit picture of it.
struct NumberPicture {
    uint8_t grey = 0;
    std::vector<uint8_t> rows;
    bool fontMade = false;  // drawn with the number's own font (only then is it GDI's)
};

// Pictures of one number over the greys met under it: what is kept of them
// for the last number laid at a size, or what one frame drew.
class NumberPictures {
public:
    // The leader's backdrops have two greys.
    static constexpr size_t MaxGreys = 2;

    int32_t number() const { return number_; }
    // Hands every picture over, leaving none.
    std::vector<NumberPicture> take() { return std::exchange(pictures_, {}); }
    // The picture of `number` over `grey`, or null when there is none.
    const NumberPicture* over(int32_t number, uint8_t grey) const;

    // Adds a picture of `number`, first dropping those of another number;
    // false (nothing added) when MaxGreys of this number are held already.
    // Throws std::bad_alloc when memory runs out.
    bool add(int32_t number, NumberPicture picture);
    void forget();
    size_t keptBytes() const;

private:
    int32_t number_ = 0;
    std::vector<NumberPicture> pictures_;
};

// Draws `number` with PaintLeaderNumber over a field of `grey` in a picture
// of `box` of a width x height surface. False when the picture cannot be
// made; a picture drawn without the number's font says so (fontMade).
// Throws std::bad_alloc when memory runs out.
bool DrawNumberPicture(int32_t width, int32_t height, int32_t number, const RECT& box, uint8_t grey,
                       NumberPicture* picture);

// Lays `number` in `box` of a width x height surface's pixel memory where
// `beneath`, runs of a backdrop (all of it, or the part that changed since
// the number was last laid there), has just been stamped: each pixel of the
// box that a run covers as GDI draws the number over a field of the run's
// grey, so a pixel whose backdrop did not change keeps its value. Pictures
// come from `kept` (which holds only pictures drawn with their font), else
// from `drawn`, else are drawn into `drawn` (every one drawn is added there,
// with its font or not). False when a picture cannot be had or was just
// drawn without its font, or a pixel is not one grey; the box is then
// partly written.
bool LayNumber(uint8_t* pixels, int32_t width, int32_t height, const ByteRuns& beneath, int32_t number,
               const RECT& box, const NumberPictures& kept, NumberPictures& drawn);

// How many greys of a backdrop lie under a box: 1 on the first frame of a
// number (one flat field), 2 once the sweep has begun.
int GreysInBox(const ByteRuns& backdrop, int32_t width, int32_t height, const RECT& box);

// Compares the number laid in `box` of a width x height surface's pixels
// with GDI's own drawing there: the number drawn with PaintLeaderNumber, at
// the whole surface's coordinates, on a picture of the box holding the
// frame's `backdrop`, with the `overlay` stamped over it as on every frame.
// Outside the box a laid frame is the painter's already (the backdrop and
// the overlay are GDI's own bytes, and the number's text changes nothing
// there), so the box is all there is to compare. When they differ, GDI's
// box replaces the laid one. CannotBeMade, with nothing compared and the
// pixels as they were, when the picture, its memory or the font cannot be
// had.
enum class LaidFrameCheck { Same, Differs, CannotBeMade };
LaidFrameCheck CheckLaidBox(uint8_t* pixels, int32_t width, int32_t height, int32_t number, const RECT& box,
                            const ByteRuns& backdrop, const ByteRuns& overlay);
