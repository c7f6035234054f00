// Test doubles for the settings tests: a window holding the four numeric
// edits with their up-downs, and a per-user application-data folder moved to
// a scratch folder by patching this program's shell imports (the settings
// code is linked into it).
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/import_patch.h"

// A top-level window with an "edit" child per id and an up-down child at
// id + 10000 captioned with its range, the way the settings dialog has them.
class RangedItemsWindow {
public:
    RangedItemsWindow()
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
        InitCommonControlsEx(&controls);
        window_ = CreateWindowExA(0, "STATIC", "ranged items", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    }
    ~RangedItemsWindow()
    {
        if (window_) DestroyWindow(window_);
    }
    RangedItemsWindow(const RangedItemsWindow&) = delete;
    RangedItemsWindow& operator=(const RangedItemsWindow&) = delete;

    HWND handle() const { return window_; }

    // Adds edit id holding text, and its up-down captioned with range (none
    // when range is null).
    HWND addItem(int id, const char* range, const char* text = "")
    {
        HWND edit = CreateWindowExA(0, "edit", text, WS_CHILD | WS_BORDER, 0, 0, 60, 20, window_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr),
                                    nullptr);
        if (range)
            CreateWindowExA(0, "msctls_updown32", range, WS_CHILD, 60, 0, 10, 20, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id + 10000)), GetModuleHandleA(nullptr),
                            nullptr);
        return edit;
    }

    std::string text(int id) const
    {
        char buffer[512] = "";
        GetDlgItemTextA(window_, id, buffer, sizeof buffer);
        return buffer;
    }
    void setText(int id, const char* text) { SetDlgItemTextA(window_, id, text); }

private:
    HWND window_ = nullptr;
};

// Makes the application-data folder of a module (this program by default,
// or the loaded plug-in) a chosen folder, or not locatable, by patching its
// shell imports, and watches the item lists handed out and freed through the
// shell allocator.
class ShellFolderPatch {
public:
    explicit ShellFolderPatch(std::string folder, HMODULE self = GetModuleHandleA(nullptr))
        : folder_(std::move(folder))
    {
        current_ = this;
        location_.reset(new ScopedImportPatch(self, "shell32.dll", "SHGetSpecialFolderLocation",
                                              reinterpret_cast<void*>(&FakeLocation)));
        path_.reset(
            new ScopedImportPatch(self, "shell32.dll", "SHGetPathFromIDListA", reinterpret_cast<void*>(&FakePath)));
        malloc_.reset(new ScopedImportPatch(self, "shell32.dll", "SHGetMalloc", reinterpret_cast<void*>(&FakeMalloc)));
    }
    ~ShellFolderPatch() { current_ = nullptr; }
    ShellFolderPatch(const ShellFolderPatch&) = delete;
    ShellFolderPatch& operator=(const ShellFolderPatch&) = delete;

    bool active() const { return location_->active() && path_->active() && malloc_->active(); }
    void setFolder(std::string folder) { folder_ = std::move(folder); }
    void failLocation(bool fail) { failLocation_ = fail; }
    void failPath(bool fail) { failPath_ = fail; }

    int locationCalls() const { return locationCalls_; }
    int pathCalls() const { return pathCalls_; }
    // Item lists handed out and not yet freed through the shell allocator.
    size_t liveItemLists() const { return live_.size(); }
    // References to the shell allocator taken and not released.
    int heldAllocators() const { return heldAllocators_; }

private:
    // Forwards to the task allocator, noting frees and references.
    struct WatchingMalloc : IMalloc {
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
        {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++current_->heldAllocators_; }
        ULONG STDMETHODCALLTYPE Release() override { return --current_->heldAllocators_; }
        void* STDMETHODCALLTYPE Alloc(SIZE_T bytes) override { return CoTaskMemAlloc(bytes); }
        void* STDMETHODCALLTYPE Realloc(void* block, SIZE_T bytes) override { return CoTaskMemRealloc(block, bytes); }
        void STDMETHODCALLTYPE Free(void* block) override
        {
            auto& live = current_->live_;
            for (size_t i = 0; i < live.size(); ++i)
                if (live[i] == block) {
                    live.erase(live.begin() + i);
                    break;
                }
            CoTaskMemFree(block);
        }
        SIZE_T STDMETHODCALLTYPE GetSize(void*) override { return static_cast<SIZE_T>(-1); }
        int STDMETHODCALLTYPE DidAlloc(void*) override { return -1; }
        void STDMETHODCALLTYPE HeapMinimize() override {}
    };

    static HRESULT WINAPI FakeLocation(HWND, int folder, LPITEMIDLIST* items)
    {
        ++current_->locationCalls_;
        *items = nullptr;
        if (current_->failLocation_ || folder != CSIDL_APPDATA) return E_FAIL;
        // An empty item list: just its terminating zero length.
        auto* list = static_cast<LPITEMIDLIST>(CoTaskMemAlloc(sizeof(USHORT)));
        list->mkid.cb = 0;
        current_->live_.push_back(list);
        *items = list;
        return S_OK;
    }
    static BOOL WINAPI FakePath(LPCITEMIDLIST, LPSTR path)
    {
        ++current_->pathCalls_;
        if (current_->failPath_) {
            path[0] = '\0';
            return FALSE;
        }
        lstrcpynA(path, current_->folder_.c_str(), MAX_PATH);
        return TRUE;
    }
    static HRESULT WINAPI FakeMalloc(IMalloc** out)
    {
        static WatchingMalloc allocator;
        ++current_->heldAllocators_;
        *out = &allocator;
        return S_OK;
    }

    static inline ShellFolderPatch* current_ = nullptr;
    std::string folder_;
    bool failLocation_ = false, failPath_ = false;
    int locationCalls_ = 0, pathCalls_ = 0, heldAllocators_ = 0;
    std::vector<void*> live_;
    std::unique_ptr<ScopedImportPatch> location_, path_, malloc_;
};

// Records the keys a module (this program by default) hands the profile
// functions, and passes the calls on.
class ProfileCallLog {
public:
    explicit ProfileCallLog(HMODULE module = GetModuleHandleA(nullptr))
        : read_(module, "kernel32.dll", "GetPrivateProfileStringA", reinterpret_cast<void*>(&Read)),
          write_(module, "kernel32.dll", "WritePrivateProfileStringA",
                 reinterpret_cast<void*>(&Write))
    {
        current_ = this;
    }
    ~ProfileCallLog() { current_ = nullptr; }

    bool active() const { return read_.active() && write_.active(); }
    std::vector<std::string> reads, writes;

private:
    static DWORD WINAPI Read(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR out, DWORD size, LPCSTR file)
    {
        current_->reads.push_back(std::string(section) + "/" + key + "@" + file);
        return reinterpret_cast<decltype(&GetPrivateProfileStringA)>(current_->read_.original())(section, key, fallback,
                                                                                                 out, size, file);
    }
    static BOOL WINAPI Write(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
    {
        current_->writes.push_back(std::string(section) + "/" + key + "=" + value + "@" + file);
        return reinterpret_cast<decltype(&WritePrivateProfileStringA)>(current_->write_.original())(section, key,
                                                                                                    value, file);
    }
    static inline ProfileCallLog* current_ = nullptr;
    ScopedImportPatch read_, write_;
};

// A fresh folder under the temporary folder, removed with all it holds.
class ScratchFolder {
public:
    ScratchFolder()
    {
        char temp[MAX_PATH] = "";
        GetTempPathA(sizeof temp, temp);
        static int serial = 0;
        path_ = std::string(temp) + "tovanrel_settings_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++serial);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { RemoveTree(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }

    static void RemoveTree(const std::string& folder)
    {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = found.cFileName;
                if (name == "." || name == "..") continue;
                std::string full = folder + "\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(full);
                else
                    DeleteFileA(full.c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder.c_str());
    }

private:
    std::string path_;
};

inline bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The bytes of a file, or "<missing>".
inline std::string ReadWholeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(file);
}
