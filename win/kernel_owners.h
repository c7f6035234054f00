// Owners of kernel memory: a page-file-backed file mapping, a view of it
// mapped into this process, a global-memory block and a lock on one.
#pragma once

#include <windows.h>

#include <cstdint>

#include "win/unique_handle.h"

struct CloseKernelHandle {
    static void release(HANDLE handle) { CloseHandle(handle); }
};
struct UnmapView {
    static void release(void* view) { UnmapViewOfFile(view); }
};

using FileMapping = UniqueHandle<HANDLE, CloseKernelHandle>;
using MappedView = UniqueHandle<void*, UnmapView>;

// A read-write mapping of `bytes` zeroed bytes backed by the page file; empty
// when it cannot be made.
inline FileMapping MakePageFileMapping(uint64_t bytes)
{
    return FileMapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                          static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes), nullptr));
}

// The first `bytes` of a mapping, readable and writable; empty when it cannot be mapped.
inline MappedView MapWholeView(HANDLE mapping, size_t bytes)
{
    return MappedView(mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, bytes) : nullptr);
}

struct FreeGlobal {
    static void release(HGLOBAL block) { GlobalFree(block); }
};

// Owns a global-memory block and frees it unless released.
using GlobalBlock = UniqueHandle<HGLOBAL, FreeGlobal>;

struct UnlockGlobal {
    static void release(HGLOBAL block, void*) { GlobalUnlock(block); }
};

// Holds a global-memory block locked for the length of a scope; get() is
// its memory, null when it could not be locked.
class LockedGlobal : public BoundHandle<HGLOBAL, void*, UnlockGlobal> {
public:
    LockedGlobal() = default;
    explicit LockedGlobal(HGLOBAL block) : BoundHandle(block, block ? GlobalLock(block) : nullptr) {}
};
