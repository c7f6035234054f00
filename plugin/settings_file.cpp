// The four dialog settings, kept per user in "Tovanrel.ini" in the maker's
// folder under the application-data folder, read and written only through
// the private-profile functions. The plug-in never creates that folder: when
// it is missing, reads find nothing and writes store nothing.
#include "plugin/settings_file.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

#include "plugin/ranged_items.h"
#include "resources/resource_ids.h"

namespace {

constexpr size_t kMaxPath = 260;
constexpr char kPluginCode[] = "Tovanrel";
constexpr char kSection[] = "PlugIn";
constexpr char kMakerFolder[] = "Brackwater Studio\\";

// Filled by AppDataFilePath and overwritten by its next call.
char g_settingsPath[kMaxPath + 1];
// Whether the last AppDataFilePath fitted whole: a path cut at the limit
// names some other file, which must be neither read nor written.
bool g_settingsPathWhole = false;

struct SettingKey {
    const char* key;
    int editId;
};

void FreeShellItemList(LPITEMIDLIST items)
{
    IMalloc* shellMalloc = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shellMalloc)) && shellMalloc) {
        shellMalloc->Free(items);
        shellMalloc->Release();
    } else {
        CoTaskMemFree(items);  // the shell's allocator is the task allocator
    }
}

// The full path of the settings file for code, copied into path (room for
// kMaxPath + 1 bytes); false when there is no usable path, in which case the
// file is neither read nor written.
bool SettingsFilePath(const char* code, char* path)
{
    path[0] = '\0';
    char fileName[kMaxPath + 1];
    const int length = std::snprintf(fileName, sizeof fileName, "%s.ini", code);
    if (length < 0 || static_cast<size_t>(length) > kMaxPath) return false;
    BoundedCopy(path, AppDataFilePath(fileName), kMaxPath);
    return path[0] != '\0' && g_settingsPathWhole;
}

// The leading decimal number of text: optional blanks and a sign, then
// digits; 0 when there are none. Values past 32 bits stop at the limit.
int32_t LeadingNumber(const char* text)
{
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > 2147483648LL) magnitude = 2147483648LL;
    }
    int64_t value = negative ? -magnitude : magnitude;
    if (value > 2147483647LL) value = 2147483647LL;
    return static_cast<int32_t>(value);
}

}  // namespace

char* BoundedCopy(char* destination, const char* source, size_t limit)
{
    size_t length = 0;
    while (length < limit && source[length] != '\0') ++length;
    std::memcpy(destination, source, length);
    destination[length] = '\0';
    return destination;
}

char* BoundedAppend(char* destination, const char* source, size_t limit)
{
    const size_t used = std::strlen(destination);
    if (used >= limit) return destination;
    const size_t room = limit - used;
    size_t length = 0;
    while (length < room && source[length] != '\0') ++length;
    std::memcpy(destination + used, source, length);
    destination[used + length] = '\0';
    return destination;
}

const char* AppDataFilePath(const char* fileName)
{
    g_settingsPath[0] = '\0';
    g_settingsPathWhole = false;

    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &items)) || !items) return g_settingsPath;

    // SHGetPathFromIDListA writes at most MAX_PATH bytes; the buffer holds one more.
    if (!SHGetPathFromIDListA(items, g_settingsPath)) g_settingsPath[0] = '\0';
    g_settingsPath[kMaxPath] = '\0';

    // Without the folder there is no path at all, rather than a relative one
    // that would name a file somewhere else.
    if (g_settingsPath[0] != '\0') {
        size_t fullLength = std::strlen(g_settingsPath);
        if (g_settingsPath[fullLength - 1] != '\\') {
            BoundedAppend(g_settingsPath, "\\", kMaxPath);
            ++fullLength;
        }
        BoundedAppend(g_settingsPath, kMakerFolder, kMaxPath);
        BoundedAppend(g_settingsPath, fileName, kMaxPath);
        fullLength += std::strlen(kMakerFolder) + std::strlen(fileName);
        g_settingsPathWhole = fullLength <= kMaxPath;
    }

    FreeShellItemList(items);
    return g_settingsPath;
}

int ReadPluginSetting(const char* code, const char* key, char* buffer, int size)
{
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    char path[kMaxPath + 1];
    if (!SettingsFilePath(code, path)) return 0;
    return static_cast<int>(GetPrivateProfileStringA(kSection, key, "", buffer, static_cast<DWORD>(size), path));
}

void WritePluginSetting(const char* code, const char* key, const char* value)
{
    char path[kMaxPath + 1];
    if (!SettingsFilePath(code, path)) return;
    WritePrivateProfileStringA(kSection, key, value, path);
}

// "ScreenDepth" is the host's name for the frame's height, kept in its files.
void LoadSettings(HWND dialog)
{
    static const SettingKey kLoadOrder[] = {
        {"ScreenWidth", IDC_WIDTH},
        {"ScreenDepth", IDC_HEIGHT},
        {"StartNumber", IDC_START_NUMBER},
        {"Delay", IDC_DELAY},
    };
    for (const SettingKey& setting : kLoadOrder) {
        char text[kMaxPath] = "";
        if (ReadPluginSetting(kPluginCode, setting.key, text, sizeof text) != 0 && text[0] != '\0')
            SetRangedItemValue(dialog, setting.editId, LeadingNumber(text));
    }
}

void SaveSettings(HWND dialog)
{
    static const SettingKey kSaveOrder[] = {
        {"ScreenWidth", IDC_WIDTH},
        {"ScreenDepth", IDC_HEIGHT},
        {"Delay", IDC_DELAY},
        {"StartNumber", IDC_START_NUMBER},
    };
    for (const SettingKey& setting : kSaveOrder) {
        char text[16];
        std::snprintf(text, sizeof text, "%ld", static_cast<long>(GetRangedItemValue(dialog, setting.editId)));
        WritePluginSetting(kPluginCode, setting.key, text);
    }
}
