// A rescale kept from one picture to the next of the same size: the last
// result and the vertical pass's rows. The next picture's result is made
// from them, computing again only the output pixels whose windows saw a
// pixel that may have changed (changed_pixels.h); every other output pixel
// is the last result's. Every byte equals the whole rescale's: each sum
// computed is the same sum, in the same order, with the same weights.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/changed_pixels.h"
#include "image/rescale_plan.h"

class RescaleMemory;

class KeptRescale {
public:
    // Rescales `source` (a header and its bottom-up rows) into the locked
    // block `to` of the new size with filter 0 and blur 1, byte for byte as
    // RescalePixels does. When the last call rescaled a picture of this size into this
    // size, and since then the pixels changed at most where `changed` says,
    // only what that can change is computed. What is kept for the next call
    // is its result and its vertical pass's rows: only for 24-bit pictures
    // whose vertical pass runs first (as any uniform scaling's does), and only
    // when the memory for them can be had; otherwise nothing is kept. Working
    // memory comes from `memory`. False when the rescale could not be made
    // (nothing is kept then); never throws.
    bool rescale(const BITMAPINFOHEADER* source, const uint8_t* pixels, const ChangedPixels& changed,
                 BITMAPINFOHEADER* to, RescaleMemory* memory);

    // The next rescale is made whole.
    void forget() { kept_ = false; }
    // Whether a last result is kept (for the tests of what is kept when).
    bool holdsALastResult() const { return kept_; }

    // Heap bytes held for the next call.
    size_t keptBytes() const;

private:
    struct PassWindows {
        std::vector<double> weights;  // `room` apart
        std::vector<int32_t> start, count, weightSet;
        size_t room = 0;
        int32_t weightSets = 0;
        WindowTable table();  // over the vectors above
    };

    bool sameSizes(const RescalePlan& plan) const;
    // Sizes the kept memory for the plan and computes its windows; false
    // when the memory cannot be had.
    bool prepare(const RescalePlan& plan);
    bool rescaleWhole(const RescalePlan& plan, const uint8_t* pixels, BITMAPINFOHEADER* to, RescaleMemory* memory);
    bool update(const uint8_t* pixels, const ChangedPixels& changed, BITMAPINFOHEADER* to, RescaleMemory* memory);

    bool kept_ = false;  // middle_ and result_ hold the last rescale, of plan_'s sizes
    RescalePlan plan_ = {};
    std::vector<uint8_t> middle_, result_;  // bottom-up rows
    size_t middleStride_ = 0, resultStride_ = 0;
    PassWindows vertical_, horizontal_;
    std::vector<ChangedPixels::Span> middleChanges_;  // per row of middle_, from the top
};
