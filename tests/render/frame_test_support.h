// Helpers shared by the frame pipeline tests: a block's bytes, an owned
// frame, a frame made by either route, and a frame made step by step.
//
// Blocks are freed through FreeBlock, defined in its own file: a compiler may
// load an imported function's address once per function and keep it, so a test
// body that frees before and after a watch patches the import could bypass
// the watch (or, after it, call a hook with no watch behind it).
#pragma once

#include <windows.h>

#include <cstring>
#include <utility>
#include <vector>

#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "render/frame_pipeline.h"
#include "render/leader_painter.h"
#include "tests/render/dib_surface.h"

class FrameCache;

// Frees a global block through the program's import of GlobalFree.
void FreeBlock(HGLOBAL block);

// A copy of a block's bytes (GlobalSize of them); empty for null.
std::vector<uint8_t> BlockBytes(HGLOBAL block);

struct Frame {
    HGLOBAL block = nullptr;
    int32_t more = -1;
    Frame() = default;
    Frame(Frame&& other) noexcept : block(std::exchange(other.block, nullptr)), more(other.more) {}
    Frame& operator=(Frame&& other) noexcept
    {
        std::swap(block, other.block);
        more = other.more;
        return *this;
    }
    ~Frame() { FreeBlock(block); }
};

// The two ways a frame is made: without a cache (every surface, block and
// buffer made and freed with the frame) and with one (the kept route).
enum class Route { Plain, Kept };
const Route BothRoutes[] = {Route::Plain, Route::Kept};
const char* RouteName(Route route);

// RenderLeaderFrame by a route (Plain ignores the cache); more is 1 or 0.
Frame RenderBy(Route route, FrameCache* cache, const RECT& rect, LeaderCounter& counter, int32_t step,
               int32_t resetNumber, FrameFormat format);

// The frame made the long way: PaintLeaderFrame on a 4x DIB section, its
// pixels into a packed DIB, rescaled to 25 %, and greyed when asked.
std::vector<uint8_t> FrameStepByStep(int width, int height, int32_t* number, int32_t* angle, int32_t step,
                                     int32_t reset, bool grey, int* more);

// The kept surface for a frame size as a packed DIB (its header, then its
// rows), as the last frame made there left it; empty when it is not mapped.
std::vector<uint8_t> KeptSurfaceBytes(FrameCache& cache, int frameWidth, int frameHeight);
