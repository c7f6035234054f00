// The rescaler's one pipeline, inside image/: a plan decided from the sizes
// before anything is allocated, and the run of its two passes. The forms of
// rescale.h and the kept rescale (kept_rescale.h) all go through it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "image/filter_passes.h"

class RescaleMemory;

struct RescalePlan {
    int32_t sourceWidth, sourceHeight, newWidth, newHeight;
    uint32_t bits;
    PassScale horizontal, vertical;
    const ResizeFilter* filter;
    uint32_t capacity;       // contributors per window at most
    bool horizontalFirst;    // else the vertical pass runs first
    int32_t middleWidth, middleHeight;  // of the intermediate picture
    size_t workspaceBytes;
};

// Only 8-, 24- and 32-bit bottom-up pictures with pixels, whose rows can be
// addressed, are filtered; a blur that is not a number would make every
// window meaningless.
bool IsFilteredSource(const BITMAPINFOHEADER* header, double blur);

// False when the sizes cannot be rescaled. Filter indices outside the table
// are clamped to it: above 15 is 15, below 0 is 0 (the rescaler chooses).
bool PlanRescale(const BITMAPINFOHEADER* source, int32_t newWidth, int32_t newHeight, int32_t filterIndex,
                 double blur, RescalePlan* plan);

// Runs the plan from the source's rows into a locked destination of the
// plan's size and depth, with working memory from `kept` when given (else
// heap memory of the call). The intermediate picture is `middle` when given
// (plan.middleWidth x plan.middleHeight rows at the plan's depth), else it
// lives in the working memory. False when the working memory cannot be had.
bool RunPlan(const RescalePlan& plan, const void* pixels, BITMAPINFOHEADER* to, RescaleMemory* kept,
             const PictureRows* middle = nullptr);

// The rows of a locked block.
PictureRows RowsOfBlock(const BITMAPINFOHEADER* header);
