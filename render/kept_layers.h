// Kept copies of the leader's opaque layers for one surface size. The
// background with the sweep sector depends only on the size and the angle;
// the rings and crosshair only on the size. Neither is antialiased, so their
// final bytes can be learnt from GDI once and written straight into each
// frame's pixel memory, leaving only the number to draw (the wide-pen rings
// and the large pie are nearly all of a frame's GDI time). The number is
// antialiased over what lies beneath it, so what is kept of it is the box its
// text can change and, for the number being counted, pictures of that box as
// GDI draws the number over each grey of the backdrop.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// A run of bytes of one value in a surface's pixel memory. Both layers are
// sets of these: a backdrop covers every byte, the overlay only its own.
struct ByteRun {
    uint32_t offset;
    uint32_t length;
    uint8_t value;
};
using ByteRuns = std::vector<ByteRun>;

// Writes runs into pixel memory of the size they were learnt for.
void StampRuns(uint8_t* pixels, const ByteRuns& runs);

// The runs of the backdrop `to` where it differs from the backdrop `from`
// (both of one size, covering every byte): stamped on pixels that hold
// `from`, they leave `to`. Throws std::bad_alloc when memory runs out.
ByteRuns BackdropDifference(const ByteRuns& from, const ByteRuns& to);

class KeptLayers {
public:
    // Backdrops are kept by angle, one slot per whole degree of the angles a
    // frame is painted at (1 to 360); others are always painted.
    static constexpr int32_t MaxAngle = 360;
    // At most this many per size (every caller steps by 6: 60 angles). A
    // backdrop is a few runs per row: about 40 KiB at 1024 x 1024.
    static constexpr size_t MaxBackdrops = 64;
    // The largest side learnt: the overlay is found on two surfaces this big.
    static constexpr int32_t MaxSide = 0x4000;

    KeptLayers(int32_t width, int32_t height) : width_(width), height_(height) {}

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    size_t backdropCount() const { return backdropCount_; }
    // The backdrop of this angle, or null when it has not been learnt.
    const ByteRuns* backdrop(int32_t angle) const;
    // Learns the backdrop of this angle from pixel memory on which exactly the
    // backdrop has just been painted (and flushed). Keeps nothing when full,
    // when the pixels are not a few runs per row, or when memory runs out.
    void learnBackdrop(int32_t angle, const uint8_t* pixels);

    // The rings and crosshair, found on first use (see FindLeaderOverlay).
    // Null when they cannot be found; that is remembered, and they are not
    // looked for again at this size while the layers are kept.
    const ByteRuns* overlay();

    // The box of the surface that the number's text can change (see
    // FindNumberBox), found on first use; null when it cannot be found, which
    // is remembered for the number, or when this many numbers are kept.
    static constexpr size_t MaxNumberBoxes = 16;
    const RECT* numberBox(int32_t number);

    // Lays the number in its box on pixel memory where `beneath`, runs of a
    // backdrop (all of it, or the part that changed since the number was
    // last laid there), has just been stamped: each pixel of the box that a
    // run covers as GDI draws the number over a field of the run's grey.
    // GDI's antialiased text gives a pixel from its own coverage and its own
    // earlier value alone, so this is the pixel GDI would give on that
    // backdrop, and a pixel whose backdrop did not change keeps its value.
    // The pictures of the number over each grey are drawn the first time the
    // grey is met and kept for the last number laid (at most MaxNumberGreys,
    // the leader's backdrops having two). False when a picture cannot be
    // drawn or kept, or a pixel is not one grey; the box is then partly
    // written.
    static constexpr size_t MaxNumberGreys = 2;
    bool layNumber(uint8_t* pixels, const ByteRuns& beneath, int32_t number, const RECT& box);

    // Whether the number laid from its pictures over this backdrop (all of
    // it) equals what GDI draws there. Laying from pictures rests on the rule
    // above; rather than trust it, the first frame at this size whose box
    // holds more than one grey is checked by drawing it with GDI, and the
    // answer kept. False when the rule does not hold (such frames are then
    // painted with GDI), or when the check cannot be made this time.
    bool numberLaidAsDrawn(const ByteRuns& backdrop, int32_t number, const RECT& box);

    // Heap bytes held by the learnt runs and pictures.
    size_t keptBytes() const;

private:
    enum class Overlay { NotTried, Found, CannotBeFound };
    enum class Laying { Unchecked, Sound, Unsound };
    struct NumberBox {
        int32_t number;
        bool found;
        RECT box;
    };

    struct NumberOverGrey {
        uint8_t grey;
        std::vector<uint8_t> rows;  // the box's rows, bottom-up, as a 24-bit picture of it
    };
    const uint8_t* numberOver(int32_t number, const RECT& box, uint8_t grey);

    int32_t width_, height_;
    Overlay overlayState_ = Overlay::NotTried;
    Laying laying_ = Laying::Unchecked;
    ByteRuns overlay_;
    std::vector<NumberBox> numberBoxes_;
    int32_t numberDrawn_ = 0;                     // the number of these pictures
    std::vector<NumberOverGrey> numberOverGreys_;
    std::array<ByteRuns, MaxAngle + 1> backdrops_;  // by angle; empty: not learnt
    size_t backdropCount_ = 0;
};

// Finds the rings' and crosshair's bytes for a width x height 24-bit surface
// with a frame rectangle covering it, by drawing them with PaintLeaderOverlay
// on two surfaces of different uniform bytes: exactly the bytes equal in both
// are theirs. False (runs empty) when a surface or pen could not be made.
bool FindLeaderOverlay(int32_t width, int32_t height, ByteRuns* runs);

// Draws the number with PaintLeaderNumber, at the coordinates of a width x
// height surface, in a picture of its box: `rows` holds the picture's rows
// (bottom-up, 24-bit) beneath the number on entry and with it on return.
// False when the picture cannot be made.
bool DrawNumberOver(int32_t width, int32_t height, int32_t number, const RECT& box, std::vector<uint8_t>* rows);

// Finds the box that the number's text can change on a width x height
// surface: every pixel it gives another value on a black and on a white
// surface, and one pixel more all round, within the surface. The leader's
// backdrops are greys between the two, over which the same coverage changes
// no pixel that it leaves alone on black. False when a surface cannot be made
// or the text changes nothing.
bool FindNumberBox(int32_t width, int32_t height, int32_t number, RECT* box);
