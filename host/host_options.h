// The reference host's command line: which plug-in to load, what kind of
// frames to ask for, where the animation goes, and, for unattended runs, what
// to type into the plug-in's dialog and which button to press.
#pragma once

#include <string>

enum class DialogButton { Ok, Test, Cancel, Help };

struct HostOptions {
    std::string dllPath;      // empty: tovanrel.dll beside the host program
    std::string outputPath;   // empty: leader.gif (palette) or leader.avi (24-bit)
    bool paletteImages = true;
    int skinStyle = 0;
    bool unattended = false;
    // Typed into the dialog in an unattended run. The defaults are the
    // plug-in's own, so that settings saved by an earlier run do not leak in;
    // delay 0 means the plug-in's default for the kind of frames asked for.
    int width = 64;
    int height = 64;
    int startNumber = 9;
    int delay = 0;
    DialogButton press = DialogButton::Ok;
    int refuseFrame = 0;      // testing aid: refuse the n-th image offered (1-based)
    std::string picturePath;  // unattended: a BMP of the dialog, taken before the press
    bool showUsage = false;
};

// Parses argv[1..argc-1]. On a bad command line returns false with a one-line
// explanation in error.
bool ParseHostOptions(int argc, const char* const* argv, HostOptions& options, std::string& error);

// The delay typed into the dialog: the option, or the plug-in's default for
// the kind of frames (8 hundredths for palette frames, 80 ms for 24-bit ones).
int EffectiveDelay(const HostOptions& options);

const char* HostUsage();
