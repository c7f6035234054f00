// The records and the callback shared with the host application. Every record
// is packed and little-endian and begins with its own size and the interface
// version; the offsets below are the host's, pinned at compile time.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr uint32_t PluginInterfaceVersion = 0x1100;

// The host's single callback: cdecl, four 32-bit arguments; non-zero is success.
typedef int32_t(__cdecl* HostCallback)(void* fileObject, int32_t operation, int32_t value,
                                       void* data);

// Operation numbers of HostCallback that the plug-in calls.
enum HostOperation : int32_t {
    HostOpNewFile = 1,
    HostOpAddImage = 2,
    HostOpAddComment = 3,
    HostOpFinish = 4,
    HostOpNewTestFile = 5,
    HostOpShowHelp = 9,
    HostOpBuildStarting = 18,
};

// A build hands over this many frames for each number of the countdown, so
// (starting number + 1) x this many in all; FileObjectRecord.frameHint is
// the starting number x this.
constexpr int32_t LeaderFramesPerNumber = 60;

constexpr size_t PluginDisplayNameOffset = 8;
constexpr size_t PluginNoticeOffset = 269;

#pragma pack(push, 1)

// Filled by PLUGIN17GetPluginParams; the host allocates it and sets its size.
struct PluginInfo {
    uint32_t size;          // 0: set by the host, kept
    uint32_t version;       // 4: PluginInterfaceVersion
    char displayName[261];  // 8: NUL-terminated
    char notice[1];         // 269: runs to the end of the record
};

// Owned by the host for the length of PLUGIN17DoBuild; only these fields are read.
struct HostContext {
    uint32_t size;             // 0
    uint32_t version;          // 4
    int32_t skinStyle;         // 8: 0 plain buttons, else a skinned look
    HostCallback callback;     // 12: must be non-null
    uint32_t reserved16[2];    // 16
    uint32_t outputFlags;      // 24: bit 0 set = 8-bit grey palette frames
};
constexpr uint32_t HostOutputPaletteImages = 0x1;

// Describes the new file object for operations 1 and 5; its address is the
// file-object reference of operations 2, 3 and 4.
struct FileObjectRecord {
    uint32_t size;          // 0: 1069
    uint32_t version;       // 4
    HWND owner;             // 8: the settings dialog
    uint32_t zero12;        // 12
    uint32_t zero16;        // 16
    int32_t width;          // 20
    int32_t height;         // 24
    uint8_t palette[768];   // 28: RgbPalette, the grey ramp
    int32_t zero796;        // 796
    int32_t frameHint;      // 800: starting number x LeaderFramesPerNumber
    uint8_t zero804[265];   // 804
};

// One per frame handed over with operation 2.
struct FrameRecord {
    uint32_t size;          // 0: 104
    uint32_t version;       // 4
    HGLOBAL image;          // 8: the frame's packed DIB, freed when operation 2 returns
    int32_t zero12[4];      // 12..27
    int32_t delay;          // 28: in the host's delay unit
    int32_t index;          // 32: 0 for the first frame offered in this build
    int32_t buildKind;      // 36: -1 in an OK build, 0 in a Test build
    uint8_t zero40[64];     // 40
};

#pragma pack(pop)

static_assert(offsetof(PluginInfo, version) == 4, "PluginInfo.version");
static_assert(offsetof(PluginInfo, displayName) == PluginDisplayNameOffset, "PluginInfo.displayName");
static_assert(offsetof(PluginInfo, notice) == PluginNoticeOffset, "PluginInfo.notice");
static_assert(offsetof(HostContext, skinStyle) == 8, "HostContext.skinStyle");
static_assert(offsetof(HostContext, callback) == 12, "HostContext.callback");
static_assert(offsetof(HostContext, outputFlags) == 24, "HostContext.outputFlags");
static_assert(sizeof(HostContext) == 28, "HostContext");
static_assert(sizeof(FileObjectRecord) == 1069, "FileObjectRecord");
static_assert(offsetof(FileObjectRecord, owner) == 8, "FileObjectRecord.owner");
static_assert(offsetof(FileObjectRecord, width) == 20, "FileObjectRecord.width");
static_assert(offsetof(FileObjectRecord, height) == 24, "FileObjectRecord.height");
static_assert(offsetof(FileObjectRecord, palette) == 28, "FileObjectRecord.palette");
static_assert(offsetof(FileObjectRecord, zero796) == 796, "FileObjectRecord.zero796");
static_assert(offsetof(FileObjectRecord, frameHint) == 800, "FileObjectRecord.frameHint");
static_assert(offsetof(FileObjectRecord, zero804) == 804, "FileObjectRecord.zero804");
static_assert(sizeof(FrameRecord) == 104, "FrameRecord");
static_assert(offsetof(FrameRecord, image) == 8, "FrameRecord.image");
static_assert(offsetof(FrameRecord, delay) == 28, "FrameRecord.delay");
static_assert(offsetof(FrameRecord, index) == 32, "FrameRecord.index");
static_assert(offsetof(FrameRecord, buildKind) == 36, "FrameRecord.buildKind");
static_assert(offsetof(FrameRecord, zero40) == 40, "FrameRecord.zero40");
static_assert(sizeof(void*) == 4, "the host contract is 32-bit");
