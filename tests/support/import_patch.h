// Redirects a module's imports, the way fault injection and resource
// counting reach into the plug-in without changing its code: the import
// address table entry for one function of one DLL is overwritten.
#pragma once

#include <windows.h>

// Replaces the import of dllName!function in module by replacement and
// returns the previous target, or null when the module does not import it.
void* PatchImport(HMODULE module, const char* dllName, const char* function, void* replacement);

// Patches for the length of a scope and puts the original back afterwards.
class ScopedImportPatch {
public:
    ScopedImportPatch(HMODULE module, const char* dllName, const char* function, void* replacement);
    ~ScopedImportPatch();
    ScopedImportPatch(const ScopedImportPatch&) = delete;
    ScopedImportPatch& operator=(const ScopedImportPatch&) = delete;

    void* original() const { return original_; }
    bool active() const { return original_ != nullptr; }

private:
    HMODULE module_;
    const char* dllName_;
    const char* function_;
    void* original_;
};
