// Watches what a module does with global memory, GDI objects and file
// mappings by patching its imports: counts what is still alive, and makes
// chosen calls fail so that failure paths run for real. One watch of each
// kind at a time.
#pragma once

#include <windows.h>

#include <memory>
#include <set>
#include <vector>

#include "tests/support/import_patch.h"

// The lock count the system keeps for a global-memory block.
inline unsigned LockCount(HGLOBAL block) { return GlobalFlags(block) & GMEM_LOCKCOUNT; }

// What every watch shares: its patches of the module's imports, undone when
// it goes, and the one watch of its kind that the hooks report to.
template <typename Watch>
class ImportWatch {
public:
    ImportWatch(const ImportWatch&) = delete;
    ImportWatch& operator=(const ImportWatch&) = delete;

protected:
    explicit ImportWatch(HMODULE module) : module_(module) { current_ = static_cast<Watch*>(this); }
    ~ImportWatch()
    {
        patches_.clear();
        current_ = nullptr;
    }
    template <typename F>
    void patch(const char* dll, const char* name, F* hook)
    {
        patches_.push_back(std::make_unique<ScopedImportPatch>(module_, dll, name, reinterpret_cast<void*>(hook)));
    }

    static inline Watch* current_ = nullptr;

private:
    HMODULE module_;
    std::vector<std::unique_ptr<ScopedImportPatch>> patches_;
};

class GlobalMemoryWatch : public ImportWatch<GlobalMemoryWatch> {
public:
    explicit GlobalMemoryWatch(HMODULE module = GetModuleHandleA(nullptr));

    // Make the n-th GlobalAlloc (or GlobalLock) from now fail, counting from
    // 1; 0 turns failing off. failAllocsFrom makes it and every later one fail.
    void failAlloc(int n) { failAllocAt_ = n; allocCalls_ = 0; failAllocsFrom_ = false; }
    void failAllocsFrom(int n) { failAllocAt_ = n; allocCalls_ = 0; failAllocsFrom_ = true; }
    void failLock(int n) { failLockAt_ = n; lockCalls_ = 0; }

    int allocCalls() const { return allocCalls_; }
    int lockCalls() const { return lockCalls_; }
    // Blocks allocated through the module and not yet freed through it.
    size_t liveBlocks() const { return live_.size(); }
    // Locks taken through the module minus unlocks.
    int heldLocks() const { return heldLocks_; }

private:
    static HGLOBAL WINAPI Alloc(UINT flags, SIZE_T bytes);
    static HGLOBAL WINAPI Free(HGLOBAL block);
    static LPVOID WINAPI Lock(HGLOBAL block);
    static BOOL WINAPI Unlock(HGLOBAL block);

    std::set<HGLOBAL> live_;
    int failAllocAt_ = 0, allocCalls_ = 0;
    bool failAllocsFrom_ = false;
    int failLockAt_ = 0, lockCalls_ = 0;
    int heldLocks_ = 0;
};

// Counts GDI objects and device contexts that the module creates and has not
// yet deleted or released, and can make object creation fail.
class GdiObjectWatch : public ImportWatch<GdiObjectWatch> {
public:
    explicit GdiObjectWatch(HMODULE module = GetModuleHandleA(nullptr));

    // Kinds of creation that can be made to fail.
    enum Kinds : unsigned {
        Brushes = 1,
        Pens = 2,
        Fonts = 4,
        Others = 8,  // regions, bitmaps and DCs
        Everything = 15,
    };

    size_t liveObjects() const { return live_.size(); }
    int created() const { return created_; }
    // Make every pen, brush, font, region, bitmap or DC creation fail.
    void failCreation(bool fail) { failCreationOf(fail ? unsigned(Everything) : 0u); }
    // Make the creations of these kinds fail (0: none), once `after` of them
    // have been made from now.
    void failCreationOf(unsigned kinds, int after = 0)
    {
        failing_ = kinds;
        madeBeforeFailing_ = after;
    }
    // Creations made to fail so far.
    int failedCreations() const { return failed_; }

    static void Track(HGDIOBJ object);
    static void Untrack(HGDIOBJ object);
    static bool Failing(unsigned kind);

private:
    std::set<HGDIOBJ> live_;
    int created_ = 0;
    unsigned failing_ = 0;
    int madeBeforeFailing_ = 0, failed_ = 0;
    friend struct GdiHooks;
};

// Counts the file mappings and mapped views that the module makes and has not
// yet closed or unmapped, and can make the n-th of either fail.
class FileMappingWatch : public ImportWatch<FileMappingWatch> {
public:
    explicit FileMappingWatch(HMODULE module = GetModuleHandleA(nullptr));

    size_t liveMappings() const { return mappings_.size(); }
    size_t liveViews() const { return views_.size(); }
    // Make the n-th mapping (or view) made from now fail, counting from 1; 0: none.
    void failMapping(int n) { failMappingAt_ = n; mappingCalls_ = 0; }
    void failView(int n) { failViewAt_ = n; viewCalls_ = 0; }

private:
    static HANDLE WINAPI CreateMapping(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect, DWORD high,
                                       DWORD low, LPCWSTR name);
    static LPVOID WINAPI MapView(HANDLE mapping, DWORD access, DWORD high, DWORD low, SIZE_T bytes);
    static BOOL WINAPI UnmapView(LPCVOID view);
    static BOOL WINAPI Close(HANDLE handle);

    std::set<HANDLE> mappings_;
    std::set<LPCVOID> views_;
    int failMappingAt_ = 0, mappingCalls_ = 0;
    int failViewAt_ = 0, viewCalls_ = 0;
};
