// The host's in-memory animation document: what operations 1 and 5 create,
// operation 2 fills frame by frame (copying each image while the call lasts)
// and operation 3 gives a comment. Frames are kept in the document's own
// form: palette indices for a palette document, blue-green-red triples for a
// 24-bit one, both with rows top-down and no padding.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/host_records.h"

struct DocumentFrame {
    std::vector<uint8_t> pixels;
    int32_t delay = 0;  // in the document's delay unit
};

class AnimationDocument {
public:
    // paletteImages chooses the document's form; palette is the 256-entry
    // RgbPalette of the file-object record.
    AnimationDocument(int width, int height, const uint8_t* palette, bool paletteImages);

    // Checks the file-object record the plug-in sends with operations 1 and 5.
    static bool CheckFileObject(const FileObjectRecord* record, std::string& why);

    // Copies the frame's image. A frame of the other depth is converted: a
    // 24-bit frame in a palette document takes the nearest palette entry, an
    // 8-bit frame in a 24-bit document is looked up in its colour table.
    // Returns false, leaving the document unchanged, when the record or its
    // image does not describe a frame of this document.
    bool AddFrame(const FrameRecord* record, std::string& why);

    void SetComment(const char* text, size_t limit);

    int width() const { return width_; }
    int height() const { return height_; }
    bool paletteImages() const { return paletteImages_; }
    const uint8_t* palette() const { return palette_; }
    const std::vector<DocumentFrame>& frames() const { return frames_; }
    const std::string& comment() const { return comment_; }

private:
    bool CopyPixels(const BITMAPINFOHEADER* header, const uint8_t* table, int tableEntries,
                    const uint8_t* bits, std::vector<uint8_t>& out) const;
    uint8_t NearestPaletteEntry(int red, int green, int blue) const;

    int width_;
    int height_;
    bool paletteImages_;
    uint8_t palette_[768];
    std::vector<DocumentFrame> frames_;
    std::string comment_;
};
