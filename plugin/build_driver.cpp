// The build loop: one FileObjectRecord for the whole build, one zeroed
// FrameRecord per frame, each frame block freed as soon as the host returns
// from the add-image operation, whatever it answered.
#include "plugin/build_driver.h"

#include <cstring>
#include <utility>

#include "plugin/module_state.h"
#include "plugin/ranged_items.h"
#include "render/frame_pipeline.h"
#include "render/leader_painter.h"
#include "resources/resource_ids.h"

const char LeaderCreditText[] =
    "This animation was created with the animation programs of Brackwater Studio and the "
    "Velmora Leader Plugin.\r\n"
    "\r\n"
    "See\r\n"
    "    https://www.brackwaterstudio.example/\r\n"
    "for more information.";

namespace {

const char kNewFileFailed[] = "There has been an error creating a new file object";
const char kAddImageFailed[] = "There has been an error adding an image to the current file object.";

static_assert(360 / LeaderSweepStep == LeaderFramesPerNumber, "one sweep per number");

void FillFileObjectRecord(FileObjectRecord* record, HWND dialog, int32_t width, int32_t height,
                          int32_t startNumber)
{
    std::memset(record, 0, sizeof *record);
    record->size = sizeof(FileObjectRecord);
    record->version = PluginInterfaceVersion;
    record->owner = dialog;
    record->width = width;
    record->height = height;
    for (int i = 0; i < 256; ++i) {
        record->palette[3 * i] = static_cast<uint8_t>(i);
        record->palette[3 * i + 1] = static_cast<uint8_t>(i);
        record->palette[3 * i + 2] = static_cast<uint8_t>(i);
    }
    record->zero796 = 0;
    record->frameHint = startNumber * LeaderFramesPerNumber;
}

// Hands one frame to the host and frees its block, whatever the host
// answered; returns the answer.
int32_t HandOverFrame(HWND dialog, HostCallback callback, FileObjectRecord* file, GlobalBlock block,
                      int32_t index, BuildKind kind)
{
    FrameRecord frame;
    std::memset(&frame, 0, sizeof frame);
    frame.size = sizeof(FrameRecord);
    frame.version = PluginInterfaceVersion;
    frame.image = block.get();
    frame.delay = GetRangedItemValue(dialog, IDC_DELAY);
    frame.index = index;
    frame.buildKind = kind == BuildKind::Ok ? -1 : 0;
    int32_t taken = callback(file, HostOpAddImage, 0, &frame);
    if (!taken) ShowPluginMessage(dialog, kAddImageFailed);
    return taken;
}

void RepaintAtOnce(HWND window)
{
    if (!window) return;
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
}

}  // namespace

void ShowPluginMessage(HWND dialog, const char* text)
{
    MessageBoxA(dialog, text, "Message", MB_OK | MB_ICONINFORMATION);
}

int RunLeaderBuild(HWND dialog, HostCallback callback, BuildKind kind, FrameCache* frames)
{
    callback(nullptr, HostOpBuildStarting, 0, nullptr);
    RepaintAtOnce(GetDlgItem(dialog, kind == BuildKind::Ok ? IDOK : IDC_TEST));

    // The record stays at this address, unchanged, until the finish operation returns.
    FileObjectRecord file;
    const int32_t width = GetRangedItemValue(dialog, IDC_WIDTH);
    const int32_t height = GetRangedItemValue(dialog, IDC_HEIGHT);
    const int32_t startNumber = GetRangedItemValue(dialog, IDC_START_NUMBER);
    FillFileObjectRecord(&file, dialog, width, height, startNumber);
    LeaderCounter counter = {startNumber, 360};
    const RECT frameRect = {0, 0, width, height};

    const int32_t create = kind == BuildKind::Ok ? HostOpNewFile : HostOpNewTestFile;
    if (!callback(nullptr, create, 0, &file)) {
        ShowPluginMessage(dialog, kNewFileFailed);
        return 0;
    }

    // The whole build in the format the host asked for when it began.
    FrameRequest request;
    request.rect = frameRect;
    request.resetNumber = startNumber;
    request.format = HostWantsPaletteImages() ? FrameFormat::GreyPalette : FrameFormat::TrueColour;
    int32_t success = 1;
    try {
        int32_t index = 0;
        bool more = true;
        int failuresInARow = 0;
        do {
            LeaderFrame frame = RenderLeaderFrame(frames, request, counter);
            more = frame.more;
            if (frame.block) {
                failuresInARow = 0;
                success = HandOverFrame(dialog, callback, &file, std::move(frame.block), index, kind) != 0 ? 1 : 0;
                ++index;
            } else if (++failuresInARow >= MaxConsecutiveFrameFailures) {
                success = 0;  // the pipeline cannot make frames: finish as failed
            }
        } while (more && success != 0);
    } catch (...) {
        // Something below failed in a way a null block could not tell (C++
        // code out of memory, say): the file object is still finished, as failed.
        success = 0;
    }

    if (kind == BuildKind::Ok) {
        callback(&file, HostOpAddComment, 0, const_cast<char*>(LeaderCreditText));
        callback(&file, HostOpFinish, success, nullptr);
    } else {
        EnableWindow(dialog, FALSE);
        callback(&file, HostOpFinish, success, nullptr);
        EnableWindow(dialog, TRUE);
    }
    return 1;
}
