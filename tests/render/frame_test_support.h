// Helpers shared by the frame pipeline tests: a block's bytes, an owned
// frame, and a frame made step by step.
//
// Blocks are freed through FreeBlock, defined in its own file: a compiler may
// load an imported function's address once per function and keep it, so a test
// body that frees before and after a watch patches the import could bypass
// the watch (or, after it, call a hook with no watch behind it).
#pragma once

#include <windows.h>

#include <cstring>
#include <vector>

#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "render/frame_pipeline.h"
#include "render/leader_painter.h"
#include "tests/render/dib_surface.h"

// Frees a global block through the program's import of GlobalFree.
void FreeBlock(HGLOBAL block);

// A copy of a block's bytes (GlobalSize of them); empty for null.
std::vector<uint8_t> BlockBytes(HGLOBAL block);

struct Frame {
    HGLOBAL block = nullptr;
    int32_t more = -1;
    Frame() = default;
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    ~Frame() { FreeBlock(block); }
};

// The frame made the long way: PaintLeaderFrame on a 4x DIB section, its
// pixels into a packed DIB, rescaled to 25 %, and greyed when asked.
std::vector<uint8_t> FrameStepByStep(int width, int height, int32_t* number, int32_t* angle, int32_t step,
                                     int32_t reset, bool grey, int* more);
