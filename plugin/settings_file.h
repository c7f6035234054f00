// The four dialog settings kept per user in an INI file under the
// application-data folder: read into the dialog's edits when it starts, and
// written from them after an OK build.
#pragma once

#include <windows.h>

#include <cstddef>

// Reads key of section "PlugIn" of "<code>.ini"; returns the characters read.
int ReadPluginSetting(const char* code, const char* key, char* buffer, int size);
void WritePluginSetting(const char* code, const char* key, const char* value);

// The full path of fileName in the maker's folder, in a module-wide buffer
// overwritten by the next call; empty when the folder cannot be located.
const char* AppDataFilePath(const char* fileName);

// Both need room for limit + 1 bytes in the destination.
char* BoundedCopy(char* destination, const char* source, size_t limit);
char* BoundedAppend(char* destination, const char* source, size_t limit);

// Fill the four edits from the file; store the four edits in it.
void LoadSettings(HWND dialog);
void SaveSettings(HWND dialog);
