// Validation and copying of the frames the plug-in hands over.
#include "host/animation_document.h"

#include <cstring>

#include "win/dib_stride.h"

namespace {

// The largest frame side the host accepts from a file-object record; the
// plug-in's own range ends at 256.
constexpr int kMaxSide = 16384;

}  // namespace

AnimationDocument::AnimationDocument(int width, int height, const uint8_t* palette,
                                     bool paletteImages)
    : width_(width), height_(height), paletteImages_(paletteImages)
{
    std::memcpy(palette_, palette, sizeof palette_);
}

bool AnimationDocument::CheckFileObject(const FileObjectRecord* record, std::string& why)
{
    if (!record) {
        why = "no file-object record";
        return false;
    }
    if (record->size < sizeof(FileObjectRecord) || record->version != PluginInterfaceVersion) {
        why = "file-object record of size " + std::to_string(record->size) + ", version " +
              std::to_string(record->version);
        return false;
    }
    if (record->width < 1 || record->width > kMaxSide || record->height < 1 ||
        record->height > kMaxSide) {
        why = "frame size " + std::to_string(record->width) + " x " + std::to_string(record->height);
        return false;
    }
    return true;
}

uint8_t AnimationDocument::NearestPaletteEntry(int red, int green, int blue) const
{
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 256; ++i) {
        long dr = red - palette_[3 * i], dg = green - palette_[3 * i + 1],
             db = blue - palette_[3 * i + 2];
        long distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
            if (distance == 0) break;
        }
    }
    return static_cast<uint8_t>(best);
}

bool AnimationDocument::CopyPixels(const BITMAPINFOHEADER* header, const uint8_t* table,
                                   int tableEntries, const uint8_t* bits,
                                   std::vector<uint8_t>& out) const
{
    const int depth = header->biBitCount;
    const size_t stride = static_cast<size_t>(DibStride(width_, depth));
    const bool bottomUp = header->biHeight > 0;

    // For 8-bit frames: where each colour-table entry goes in this document.
    uint8_t indexMap[256] = {};
    if (depth == 8 && paletteImages_) {
        for (int i = 0; i < tableEntries; ++i)
            indexMap[i] = NearestPaletteEntry(table[4 * i + 2], table[4 * i + 1], table[4 * i]);
    }

    const size_t outBytes = paletteImages_ ? 1 : 3;
    out.assign(static_cast<size_t>(width_) * height_ * outBytes, 0);
    for (int y = 0; y < height_; ++y) {
        const uint8_t* row = bits + stride * static_cast<size_t>(bottomUp ? height_ - 1 - y : y);
        uint8_t* target = out.data() + static_cast<size_t>(y) * width_ * outBytes;
        for (int x = 0; x < width_; ++x) {
            if (depth == 8) {
                int index = row[x] < tableEntries ? row[x] : 0;
                if (paletteImages_) {
                    target[x] = indexMap[index];
                } else {
                    std::memcpy(target + 3 * x, table + 4 * index, 3);  // blue, green, red
                }
            } else {
                const uint8_t* bgr = row + 3 * x;
                if (paletteImages_) {
                    // Grey pixels of a grey ramp land on their own entry at once.
                    if (bgr[0] == bgr[1] && bgr[1] == bgr[2] && palette_[3 * bgr[0]] == bgr[0] &&
                        palette_[3 * bgr[0] + 1] == bgr[0] && palette_[3 * bgr[0] + 2] == bgr[0])
                        target[x] = bgr[0];
                    else
                        target[x] = NearestPaletteEntry(bgr[2], bgr[1], bgr[0]);
                } else {
                    std::memcpy(target + 3 * x, bgr, 3);
                }
            }
        }
    }
    return true;
}

bool AnimationDocument::AddFrame(const FrameRecord* record, std::string& why)
{
    if (!record || record->size < sizeof(FrameRecord) || record->version != PluginInterfaceVersion) {
        why = "frame record missing or of the wrong size or version";
        return false;
    }
    HGLOBAL block = record->image;
    const SIZE_T blockSize = block ? GlobalSize(block) : 0;
    if (blockSize < sizeof(BITMAPINFOHEADER)) {
        why = "frame without an image block";
        return false;
    }
    const auto* base = static_cast<const uint8_t*>(GlobalLock(block));
    if (!base) {
        why = "the frame's image block cannot be locked";
        return false;
    }

    bool ok = false;
    std::vector<uint8_t> pixels;
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(base);
    const int depth = header->biBitCount;
    const LONG height = header->biHeight;
    if (header->biSize < sizeof(BITMAPINFOHEADER) || header->biSize > blockSize) {
        why = "image header of size " + std::to_string(header->biSize);
    } else if (header->biWidth != width_ || (height != height_ && height != -height_)) {
        why = "image of " + std::to_string(header->biWidth) + " x " + std::to_string(height) +
              " pixels in a document of " + std::to_string(width_) + " x " +
              std::to_string(height_);
    } else if (header->biPlanes != 1 || (depth != 8 && depth != 24) ||
               header->biCompression != BI_RGB) {
        why = "image of " + std::to_string(depth) + " bits per pixel, compression " +
              std::to_string(header->biCompression);
    } else {
        int tableEntries = 0;
        if (depth == 8) tableEntries = header->biClrUsed && header->biClrUsed <= 256
                                           ? static_cast<int>(header->biClrUsed) : 256;
        const size_t tableOffset = header->biSize;
        const size_t bitsOffset = tableOffset + 4 * static_cast<size_t>(tableEntries);
        const size_t stride = static_cast<size_t>(DibStride(width_, depth));
        if (bitsOffset + stride * height_ > blockSize) {
            why = "image block of " + std::to_string(blockSize) + " bytes is too small";
        } else {
            ok = CopyPixels(header, base + tableOffset, tableEntries, base + bitsOffset, pixels);
        }
    }
    GlobalUnlock(block);
    if (!ok) return false;

    frames_.push_back(DocumentFrame{std::move(pixels), record->delay});
    return true;
}

void AnimationDocument::SetComment(const char* text, size_t limit)
{
    comment_.clear();
    if (!text) return;
    size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    comment_.assign(text, length);
}
