// Helpers shared by the frame pipeline tests: the host's palette flag for a
// scope, a block's bytes, an owned frame, and a frame made step by step.
#pragma once

#include <windows.h>

#include <cstring>
#include <vector>

#include "image/grey_reduce.h"
#include "image/packed_dib.h"
#include "image/rescale.h"
#include "plugin/module_state.h"
#include "render/leader_painter.h"
#include "tests/render/dib_surface.h"

// Sets the module-wide host context's palette flag for the length of a scope.
class PaletteOutput {
public:
    explicit PaletteOutput(bool wanted)
    {
        context_.size = sizeof context_;
        context_.version = 0x1100;
        context_.outputFlags = wanted ? HostOutputPaletteImages : 0;
        previous_ = CurrentHostContext();
        SetCurrentHostContext(&context_);
    }
    ~PaletteOutput() { SetCurrentHostContext(previous_); }

private:
    HostContext context_ = {};
    const HostContext* previous_;
};

inline std::vector<uint8_t> BlockBytes(HGLOBAL block)
{
    std::vector<uint8_t> bytes;
    if (!block) return bytes;
    const auto* p = static_cast<const uint8_t*>(GlobalLock(block));
    if (p) bytes.assign(p, p + GlobalSize(block));
    GlobalUnlock(block);
    return bytes;
}

struct Frame {
    HGLOBAL block = nullptr;
    int32_t more = -1;
    ~Frame() { if (block) GlobalFree(block); }
};

// The frame made the long way: PaintLeaderFrame on a 4x DIB section, its
// pixels into a packed DIB, rescaled to 25 %, and greyed when asked.
inline std::vector<uint8_t> FrameStepByStep(int width, int height, int32_t* number, int32_t* angle, int32_t step,
                                     int32_t reset, bool grey, int* more)
{
    DibSurface surface(width * 4, height * 4);
    RECT rect = surface.rect();
    *more = PaintLeaderFrame(surface.dc(), &rect, number, angle, step, reset);
    HGLOBAL big = CreatePackedDib(width * 4, height * 4, nullptr, 24);
    {
        LockedDib locked(big);
        std::memcpy(DibPixelBits(locked.header()), surface.bits(), surface.bytes());
    }
    HGLOBAL small = RescaleDibPercent(big, 25, 25, 0);
    GlobalFree(big);
    if (grey) {
        HGLOBAL reduced = ReduceToGrey8(small);
        GlobalFree(small);
        small = reduced;
    }
    std::vector<uint8_t> bytes = BlockBytes(small);
    if (small) GlobalFree(small);
    return bytes;
}

