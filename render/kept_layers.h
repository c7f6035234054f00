// What is kept of the leader's layers for one surface size. The background
// with the sweep sector depends only on the size and the angle; the rings
// and crosshair only on the size. Neither is antialiased, so their final
// bytes are learnt from GDI once and written straight into each frame's
// pixel memory (the wide-pen rings and the large pie are nearly all of a
// frame's GDI time). The number is antialiased over what lies beneath it, so
// what is kept of it is the box its text can change, its pictures (see
// number_pictures.h) and, per number, whether laying it from them was found
// to give GDI's frame. Those depend on how the system smooths text and on
// the installed fonts, and are dropped when either may have changed.
//
// A plain store: only the learner (frame_learner.h) writes to it, and it
// keeps nothing but what it is handed.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/byte_runs.h"
#include "render/number_pictures.h"
#include "render/text_smoothing.h"

class KeptLayers {
public:
    // Backdrops are kept by angle, one slot per whole degree of the angles a
    // frame is painted at (1 to 360); others are always painted.
    static constexpr int32_t MaxAngle = 360;
    // At most this many per size (every caller steps by 6: 60 angles). A
    // backdrop is a few runs per row: about 40 KiB at 1024 x 1024.
    static constexpr size_t MaxBackdrops = 64;
    // Boxes and laying verdicts are kept for at most this many numbers.
    static constexpr size_t MaxNumbers = 16;

    KeptLayers(int32_t width, int32_t height) : width_(width), height_(height) {}

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // The backdrop of this angle, or null when it has not been learnt.
    const ByteRuns* backdrop(int32_t angle) const;
    size_t backdropCount() const { return backdropCount_; }  // for the tests of the bound
    // Whether a backdrop of this angle would be kept: its slot is free, there
    // is room, and the size is one that is learnt at all.
    bool wantsBackdrop(int32_t angle) const;
    // Keeps it when wanted (and not empty).
    void keepBackdrop(int32_t angle, ByteRuns runs);

    // The rings and crosshair, or null until learnt.
    const ByteRuns* overlay() const { return overlayKnown_ ? &overlay_ : nullptr; }
    void keepOverlay(ByteRuns runs);
    // Whether a frame of this size has been made (or tried) before: learning
    // the overlay waits for the second.
    bool sizeSeen() const { return sizeSeen_; }
    void keepSizeSeen() { sizeSeen_ = true; }

    // The box of the surface that the number's text can change, or null
    // until learnt.
    const RECT* numberBox(int32_t number) const;
    // Whether a box of this number would be kept (one is not, and there is room).
    bool wantsNumberBox(int32_t number) const;
    void keepNumberBox(int32_t number, const RECT& box);

    // Whether laying the number from pictures over a box of one grey, or of
    // more, was compared with GDI's drawing, and what was found.
    enum class Laying { Unchecked, GivesGdisFrame, DiffersFromGdi };
    Laying laying(int32_t number, bool overOneGrey) const;
    void keepLaying(int32_t number, bool overOneGrey, bool givesGdisFrame);

    const NumberPictures& numberPictures() const { return pictures_; }
    // Keeps a picture of the number; drops those of another number first.
    void keepPicture(int32_t number, NumberPicture picture);

    // How text was smoothed when the boxes, pictures and verdicts were learnt.
    const TextSmoothing& numbersLearntUnder() const { return smoothing_; }
    // Drops them, to be learnt again under `now`.
    void forgetNumbers(const TextSmoothing& now);
    // Drops them: text may be drawn differently from now on.
    void forgetNumbers() { forgetNumbers(smoothing_); }

    // Heap bytes held by the learnt runs and pictures (FrameCache::keptBytes).
    size_t keptBytes() const;

private:
    struct KeptNumber {
        int32_t number;
        RECT box;
        Laying overOneGrey = Laying::Unchecked;
        Laying overGreys = Laying::Unchecked;
    };
    const KeptNumber* kept(int32_t number) const;
    KeptNumber* kept(int32_t number) { return const_cast<KeptNumber*>(static_cast<const KeptLayers*>(this)->kept(number)); }

    int32_t width_, height_;
    bool sizeSeen_ = false;
    bool overlayKnown_ = false;
    ByteRuns overlay_;
    std::array<ByteRuns, MaxAngle + 1> backdrops_;  // by angle; empty: not learnt
    size_t backdropCount_ = 0;
    TextSmoothing smoothing_;  // under which the numbers below were learnt
    std::vector<KeptNumber> numbers_;
    NumberPictures pictures_;
};
