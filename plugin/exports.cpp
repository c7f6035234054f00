// The plug-in's three exports. They are stdcall and undecorated, with fixed
// ordinals (see tovanrel.def), and never let anything escape to the host.
#include <windows.h>

#include <cstring>

#include "plugin/host_records.h"
#include "plugin/module_state.h"
#include "plugin/settings_dialog.h"

namespace {

const char kDisplayName[] = "Velmora leader";
const char kNotice[] = "Velmora Leader Plugin 1.0, (c) 2001-2026 Brackwater Studio";

// Copies text into the record at offset, never at or past limit; a text that
// does not fit is cut and still NUL-terminated.
void PutBoundedText(uint8_t* record, size_t limit, size_t offset, size_t fieldSize,
                    const char* text)
{
    if (offset >= limit) return;
    size_t room = limit - offset;
    if (room > fieldSize) room = fieldSize;
    size_t length = std::strlen(text);
    if (length > room - 1) length = room - 1;
    std::memcpy(record + offset, text, length);
    record[offset + length] = '\0';
}

}  // namespace

// Each export catches everything: a C++ exception must never reach the host.
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE module, DWORD /*reason*/, LPVOID /*reserved*/)
{
    try {
        SetPluginModule(module);
    } catch (...) {
    }
    return TRUE;
}

// The runtime's start-up code calls DllMain; the exported entry point does the work.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    return DllEntryPoint(module, reason, reserved);
}

// Fills the host's PluginInfo: zeroes the size the host gave, keeps the size,
// writes the version and the two texts. Nothing is written at or past that
// size; a record too small for the version word is left as it is.
extern "C" int32_t WINAPI PLUGIN17GetPluginParams(PluginInfo* info, int32_t /*unused*/)
{
    if (!info) return 1;
    uint32_t size = info->size;
    if (size < offsetof(PluginInfo, displayName)) return 1;

    try {
        auto* record = reinterpret_cast<uint8_t*>(info);
        std::memset(record, 0, size);
        info->size = size;
        PutBoundedText(record, size, PluginDisplayNameOffset,
                       PluginNoticeOffset - PluginDisplayNameOffset, kDisplayName);
        PutBoundedText(record, size, PluginNoticeOffset, size, kNotice);
        info->version = PluginInterfaceVersion;
    } catch (...) {
    }
    return 1;
}

// Runs the settings dialog modally over the host window; always returns 1.
extern "C" int32_t WINAPI PLUGIN17DoBuild(HWND hostWindow, HostContext* context, int32_t /*unused*/)
{
    try {
        RunSettingsDialog(hostWindow, context);
    } catch (...) {
    }
    if (hostWindow) UpdateWindow(hostWindow);
    return 1;
}
