// Placeholder until the settings file lands.
#include "plugin/settings_file.h"

int ReadPluginSetting(const char*, const char*, char* buffer, int size)
{
    if (size > 0) buffer[0] = '\0';
    return 0;
}
void WritePluginSetting(const char*, const char*, const char*) {}
const char* AppDataFilePath(const char*) { return ""; }
char* BoundedCopy(char* destination, const char*, size_t) { return destination; }
char* BoundedAppend(char* destination, const char*, size_t) { return destination; }
void LoadSettingsHook(HWND) {}
void SaveSettingsHook(HWND) {}
