// The reference host's command line: which plug-in to load, what kind of
// frames to ask for, where the animation goes, and, for unattended runs, what
// to type into the plug-in's dialog and which button to press.
#pragma once

#include <string>

enum class DialogButton { Ok, Test, Cancel, Help };

// A number to type into one of the plug-in's edits. text is the number as the
// command line gave it, empty when it was not given and value is the default.
struct DialogNumber {
    int value;
    std::string text;
};

struct HostOptions {
    std::string dllPath;      // empty: tovanrel.dll beside the host program
    std::string outputPath;   // empty: leader.gif (palette) or leader.avi (24-bit)
    bool paletteImages = true;  // 8-bit frames into a GIF; false: 24-bit frames into an AVI
    bool wholeGifFrames = false;  // store every GIF frame whole, not only what changed
    int skinStyle = 0;
    bool unattended = false;
    // Typed into the dialog in an unattended run, every one of them, so that
    // settings saved by an earlier run do not leak in. The defaults are the
    // plug-in's own; a delay not given is its default for the kind of frames.
    // Values beyond a 32-bit integer are taken as its smallest or largest.
    DialogNumber width{64, ""};
    DialogNumber height{64, ""};
    DialogNumber startNumber{9, ""};
    DialogNumber delay{0, ""};
    DialogButton press = DialogButton::Ok;
    int refuseFrame = 0;      // testing aid: refuse the n-th image offered (1-based)
    std::string picturePath;  // unattended: a BMP of the dialog, taken before the press
    bool showUsage = false;
};

// Parses argv[1..argc-1]. On a bad command line returns false with a one-line
// explanation in error. An output name ending in .gif asks for 8-bit frames,
// one ending in .avi for 24-bit frames (in any case); --palette or --rgb
// against the name is an error.
bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error);

// The delay typed into the dialog: the option as given, or the plug-in's
// default for the kind of frames (8 hundredths for palette frames, 80 ms for
// 24-bit ones).
int EffectiveDelay(const HostOptions& options);

const char* HostUsage();
