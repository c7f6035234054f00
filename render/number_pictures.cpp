// The number's pictures over the backdrop's greys, laying the number from
// them, and the check of a laid number inside its box.
#include "render/number_pictures.h"

#include <cstring>
#include <new>
#include <utility>

#include "image/packed_dib.h"
#include "render/layer_learning.h"
#include "render/leader_layers.h"
#include "win/dib_canvas.h"

const NumberPicture* NumberPictures::over(int32_t number, uint8_t grey) const
{
    if (number != number_) return nullptr;
    for (const NumberPicture& picture : pictures_)
        if (picture.grey == grey) return &picture;
    return nullptr;
}

bool NumberPictures::add(int32_t number, NumberPicture picture)
{
    if (number != number_) {
        pictures_.clear();
        number_ = number;
    }
    if (pictures_.size() >= MaxGreys) return false;
    pictures_.reserve(MaxGreys);
    pictures_.push_back(std::move(picture));
    return true;
}

void NumberPictures::forget()
{
    pictures_.clear();
    pictures_.shrink_to_fit();
    number_ = 0;
}

size_t NumberPictures::keptBytes() const
{
    size_t bytes = pictures_.capacity() * sizeof(NumberPicture);
    for (const NumberPicture& picture : pictures_) bytes += picture.rows.capacity();
    return bytes;
}

bool DrawNumberPicture(int32_t width, int32_t height, int32_t number, const RECT& box, uint8_t grey,
                       NumberPicture* picture)
{
    picture->grey = grey;
    picture->rows.assign(Rgb24Header(box.right - box.left, box.bottom - box.top).biSizeImage, grey);
    picture->fontMade = false;
    return DrawNumberOver(width, height, number, box, &picture->rows, &picture->fontMade);
}

bool LayNumber(uint8_t* pixels, int32_t width, int32_t height, const ByteRuns& beneath, int32_t number,
               const RECT& box, const NumberPictures& kept, NumberPictures& drawn)
{
    const size_t boxStride = static_cast<size_t>(DibStride(box.right - box.left, 24));
    return ForEachRunInBox(beneath, width, height, box, [&](size_t start, size_t end, uint8_t grey, size_t at) {
        // A run that starts or ends inside a pixel: that pixel is not one grey.
        const size_t inRow = at % boxStride;
        if (inRow % 3 != 0 || (inRow + (end - start)) % 3 != 0) return false;
        const NumberPicture* picture = kept.over(number, grey);
        if (!picture) picture = drawn.over(number, grey);
        if (!picture) {
            // Drawn now; one drawn without its font is handed on all the
            // same (the learner leaves it), but nothing is laid from it.
            try {
                NumberPicture made;
                if (!DrawNumberPicture(width, height, number, box, grey, &made)) return false;
                const bool fontMade = made.fontMade;
                if (!drawn.add(number, std::move(made)) || !fontMade) return false;
            } catch (const std::bad_alloc&) {
                return false;
            }
            picture = drawn.over(number, grey);
        }
        std::memcpy(pixels + start, picture->rows.data() + at, end - start);
        return true;
    });
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

LaidFrameCheck CheckLaidBox(uint8_t* pixels, int32_t width, int32_t height, int32_t number, const RECT& box,
                            const ByteRuns& backdrop, const ByteRuns& overlay)
{
    std::vector<uint8_t> rows;
    try {
        rows.resize(Rgb24Header(box.right - box.left, box.bottom - box.top).biSizeImage);
    } catch (const std::bad_alloc&) {
        return LaidFrameCheck::CannotBeMade;
    }
    auto stamp = [&](size_t start, size_t end, uint8_t value, size_t at) {
        std::memset(rows.data() + at, value, end - start);
        return true;
    };
    ForEachRunInBox(backdrop, width, height, box, stamp);
    bool fontMade = false;
    // Only a drawing with the number's own font is the one to compare with.
    if (!DrawNumberOver(width, height, number, box, &rows, &fontMade) || !fontMade) return LaidFrameCheck::CannotBeMade;
    ForEachRunInBox(overlay, width, height, box, stamp);

    const size_t stride = static_cast<size_t>(DibStride(width, 24));
    const size_t boxStride = static_cast<size_t>(DibStride(box.right - box.left, 24));
    const size_t bytes = static_cast<size_t>(box.right - box.left) * 3;
    bool same = true;
    for (LONG y = box.top; y < box.bottom; ++y) {
        uint8_t* laid = pixels + static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(box.left) * 3;
        const uint8_t* drawn = rows.data() + static_cast<size_t>(box.bottom - 1 - y) * boxStride;
        if (std::memcmp(laid, drawn, bytes) == 0) continue;
        same = false;
        std::memcpy(laid, drawn, bytes);
    }
    return same ? LaidFrameCheck::Same : LaidFrameCheck::Differs;
}
