// Placeholder until the frame pipeline lands: no frame, the countdown ends.
#include "render/frame_pipeline.h"

HGLOBAL RenderLeaderFrame(const RECT*, int32_t*, int32_t*, int32_t, int32_t, int32_t* more)
{
    *more = 0;
    return nullptr;
}
