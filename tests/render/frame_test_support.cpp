// Out-of-line helpers of the frame pipeline tests (see frame_test_support.h).
#include "tests/render/frame_test_support.h"

#include "render/frame_cache.h"

void FreeBlock(HGLOBAL block)
{
    if (block) GlobalFree(block);
}

std::vector<uint8_t> BlockBytes(HGLOBAL block)
{
    std::vector<uint8_t> bytes;
    if (!block) return bytes;
    const auto* p = static_cast<const uint8_t*>(GlobalLock(block));
    if (p) {
        bytes.assign(p, p + GlobalSize(block));
        GlobalUnlock(block);
    }
    return bytes;
}

const char* RouteName(Route route) { return route == Route::Plain ? "plain" : "kept"; }

Frame RenderBy(Route route, FrameCache* cache, const RECT& rect, LeaderCounter& counter, int32_t step,
               int32_t resetNumber, FrameFormat format)
{
    FrameRequest request;
    request.rect = rect;
    request.step = step;
    request.resetNumber = resetNumber;
    request.format = format;
    LeaderFrame made = RenderLeaderFrame(route == Route::Plain ? nullptr : cache, request, counter);
    Frame frame;
    frame.block = made.block.release();
    frame.more = made.more ? 1 : 0;
    return frame;
}

std::vector<uint8_t> FrameStepByStep(int width, int height, int32_t* number, int32_t* angle, int32_t step,
                                     int32_t reset, bool grey, int* more)
{
    DibSurface surface(width * 4, height * 4);
    RECT rect = surface.rect();
    *more = PaintLeaderFrame(surface.dc(), &rect, number, angle, step, reset);
    HGLOBAL big = CreatePackedDib(width * 4, height * 4, nullptr, 24);
    if (!big) return {};
    {
        LockedDib locked(big);
        if (locked) std::memcpy(DibPixelBits(locked.header()), surface.bits(), surface.bytes());
    }
    HGLOBAL small = RescaleDibPercent(big, 25, 25, 0);
    FreeBlock(big);
    if (grey && small) {
        HGLOBAL reduced = ReduceToGrey8(small);
        FreeBlock(small);
        small = reduced;
    }
    std::vector<uint8_t> bytes = BlockBytes(small);
    FreeBlock(small);
    return bytes;
}

std::vector<uint8_t> KeptSurfaceBytes(FrameCache& cache, int frameWidth, int frameHeight)
{
    const KeptSurface& surface = cache.use(frameWidth * 4, frameHeight * 4)->surface;
    if (!surface) return {};
    const auto* header = reinterpret_cast<const uint8_t*>(surface.header());
    const uint8_t* end = surface.pixels() + surface.header()->biSizeImage;
    return std::vector<uint8_t>(header, end);
}
