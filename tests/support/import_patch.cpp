#include "tests/support/import_patch.h"

#include <cstring>

namespace {

IMAGE_THUNK_DATA* FindThunk(HMODULE module, const char* dllName, const char* function)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return nullptr;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name != 0; ++imp) {
        if (_stricmp(reinterpret_cast<char*>(base + imp->Name), dllName) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
        auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) == 0) return addresses;
        }
    }
    return nullptr;
}

}  // namespace

void* PatchImport(HMODULE module, const char* dllName, const char* function, void* replacement)
{
    IMAGE_THUNK_DATA* thunk = FindThunk(module, dllName, function);
    if (!thunk) return nullptr;
    DWORD oldProtect = 0;
    VirtualProtect(&thunk->u1.Function, sizeof thunk->u1.Function, PAGE_READWRITE, &oldProtect);
    void* previous = reinterpret_cast<void*>(thunk->u1.Function);
    thunk->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
    VirtualProtect(&thunk->u1.Function, sizeof thunk->u1.Function, oldProtect, &oldProtect);
    return previous;
}

ScopedImportPatch::ScopedImportPatch(HMODULE module, const char* dllName, const char* function,
                                     void* replacement)
    : module_(module), dllName_(dllName), function_(function),
      original_(PatchImport(module, dllName, function, replacement))
{
}

ScopedImportPatch::~ScopedImportPatch()
{
    if (original_) PatchImport(module_, dllName_, function_, original_);
}
