// The two file formats the reference host writes. Both are written by hand:
// under Wine the Windows Imaging Component's GIF encoder cannot set a frame's
// delay, looping or a comment, and an uncompressed AVI is a few fixed headers
// and the frames' own rows, the same bytes on every system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/animation_document.h"

// Where an encoder's bytes go; Write returns false once anything failed.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const void* data, size_t size) = 0;
};

class VectorSink : public ByteSink {
public:
    bool Write(const void* data, size_t size) override
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), bytes, bytes + size);
        return true;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// How GIF frames after the first are stored: as the rectangle that changed
// since the frame before (drawn over it), or each as a whole image.
enum class GifFrames { Changes, Whole };

// GIF89a: the document's palette as the global colour table, a looping
// (NETSCAPE2.0) extension, the comment as a comment extension, then every
// frame with its delay in hundredths of a second and LZW-coded pixels.
// Decoded, every frame shows exactly the document's frame whichever way the
// frames are stored. The document must be a palette document.
bool WriteGif(const AnimationDocument& document, ByteSink& sink,
              GifFrames frames = GifFrames::Changes);

// LZW data of one GIF image: the minimum code size byte, the sub-blocks and
// the block terminator.
void AppendGifImageData(const std::vector<uint8_t>& indices, std::vector<uint8_t>& out);

// An uncompressed 24-bit AVI: one video stream of bottom-up DIB frames, each a
// key frame, the first frame's delay as the frame duration in milliseconds,
// the comment as an INFO comment, and an index. The document must be a 24-bit
// document.
bool WriteAvi(const AnimationDocument& document, ByteSink& sink);
