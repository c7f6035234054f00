// The build loop behind the dialog's OK and Test buttons: asks the frame
// pipeline for one frame after another and hands each one to the host through
// its callback, inside one file object of the host.
#pragma once

#include <windows.h>

#include <cstdint>

#include "plugin/host_records.h"

class FrameCache;

enum class BuildKind {
    Ok,    // a new file object, the credit comment, flag -1 in every frame
    Test,  // a test file object, no comment, flag 0, finished with the dialog disabled
};

// A pipeline that fails this many times in a row ends the build as failed,
// so a pipeline that can never make a frame cannot keep the loop going.
constexpr int MaxConsecutiveFrameFailures = 10;

// The fixed credit text handed to the host with the comment operation.
extern const char LeaderCreditText[];

// Runs one build with the settings in the dialog's edits, its frames kept in
// `frames` (the dialog's). Returns 1 when the host created the file object
// (the build ran to its end, whether or not every frame was taken), 0 when
// it refused to create it.
int RunLeaderBuild(HWND dialog, HostCallback callback, BuildKind kind, FrameCache* frames);

// Every user-facing message: owned by the dialog, captioned "Message", with
// the information icon and one OK button.
void ShowPluginMessage(HWND dialog, const char* text);
