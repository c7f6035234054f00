// The number's pictures over the backdrop's greys, and the check of a laid frame.
#include "render/number_pictures.h"

#include <cstring>
#include <new>

#include "image/packed_dib.h"
#include "render/layer_learning.h"
#include "render/leader_layers.h"
#include "win/dib_canvas.h"

const uint8_t* NumberPictures::over(int32_t width, int32_t height, int32_t number, const RECT& box, uint8_t grey)
{
    if (number != number_) {
        greys_.clear();
        number_ = number;
    }
    for (const OverGrey& kept : greys_)
        if (kept.grey == grey) return kept.rows.data();
    if (greys_.size() >= MaxGreys) return nullptr;
    try {
        OverGrey learnt = {grey, {}};
        learnt.rows.assign(Rgb24Header(box.right - box.left, box.bottom - box.top).biSizeImage, grey);
        if (!DrawNumberOver(width, height, number, box, &learnt.rows)) return nullptr;
        greys_.reserve(MaxGreys);
        greys_.push_back(std::move(learnt));
        return greys_.back().rows.data();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool NumberPictures::lay(uint8_t* pixels, int32_t width, int32_t height, const ByteRuns& beneath, int32_t number,
                         const RECT& box)
{
    const size_t boxStride = static_cast<size_t>(DibStride(box.right - box.left, 24));
    return ForEachRunInBox(beneath, width, height, box, [&](size_t start, size_t end, uint8_t grey, size_t at) {
        // A run that starts or ends inside a pixel: that pixel is not one grey.
        const size_t inRow = at % boxStride;
        if (inRow % 3 != 0 || (inRow + (end - start)) % 3 != 0) return false;
        const uint8_t* picture = over(width, height, number, box, grey);
        if (!picture) return false;
        std::memcpy(pixels + start, picture + at, end - start);
        return true;
    });
}

void NumberPictures::forget()
{
    greys_.clear();
    greys_.shrink_to_fit();
    number_ = 0;
}

size_t NumberPictures::keptBytes() const
{
    size_t bytes = greys_.capacity() * sizeof(OverGrey);
    for (const OverGrey& picture : greys_) bytes += picture.rows.capacity();
    return bytes;
}

int GreysInBox(const ByteRuns& backdrop, int32_t width, int32_t height, const RECT& box)
{
    bool seen[256] = {};
    int greys = 0;
    ForEachRunInBox(backdrop, width, height, box, [&](size_t, size_t, uint8_t grey, size_t) {
        if (!seen[grey]) seen[grey] = true, ++greys;
        return true;
    });
    return greys;
}

LaidFrameCheck CheckLaidFrame(uint8_t* pixels, int32_t width, int32_t height, int32_t number, int32_t angle)
{
    DibCanvas canvas(Rgb24Header(width, height));
    if (!canvas) return LaidFrameCheck::CannotBeMade;
    const size_t bytes = Rgb24Header(width, height).biSizeImage;
    GdiFlush();
    std::memset(canvas.bits(), 0, bytes);
    SetMapMode(canvas.dc(), MM_TEXT);
    const RECT rect = {0, 0, width, height};
    // Only a frame with every object made is the frame to compare with.
    if (!PaintLeaderBackdrop(canvas.dc(), &rect, angle) || !PaintLeaderNumber(canvas.dc(), &rect, number) ||
        !PaintLeaderOverlay(canvas.dc(), &rect))
        return LaidFrameCheck::CannotBeMade;
    GdiFlush();
    if (std::memcmp(pixels, canvas.bits(), bytes) == 0) return LaidFrameCheck::Same;
    std::memcpy(pixels, canvas.bits(), bytes);
    return LaidFrameCheck::Differs;
}
