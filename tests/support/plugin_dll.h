// Loads the built tovanrel.dll the way a host does and finds its exports.
#pragma once

#include <windows.h>

#include <cstdint>

#include "plugin/host_records.h"

typedef BOOL(WINAPI* DllEntryPointFn)(HINSTANCE, DWORD, LPVOID);
typedef int32_t(WINAPI* GetPluginParamsFn)(PluginInfo*, int32_t);
typedef int32_t(WINAPI* DoBuildFn)(HWND, HostContext*, int32_t);

class PluginDll {
public:
    PluginDll() : module_(LoadLibraryA("tovanrel.dll")) {}
    ~PluginDll()
    {
        if (module_) FreeLibrary(module_);
    }
    PluginDll(const PluginDll&) = delete;
    PluginDll& operator=(const PluginDll&) = delete;

    HMODULE module() const { return module_; }
    explicit operator bool() const { return module_ != nullptr; }

    template <typename Fn>
    Fn byName(const char* name) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    template <typename Fn>
    Fn byOrdinal(WORD ordinal) const
    {
        return reinterpret_cast<Fn>(
            reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(ordinal))));
    }
    GetPluginParamsFn getPluginParams() const { return byName<GetPluginParamsFn>("PLUGIN17GetPluginParams"); }
    DoBuildFn doBuild() const { return byName<DoBuildFn>("PLUGIN17DoBuild"); }

private:
    HMODULE module_;
};
