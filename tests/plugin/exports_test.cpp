// The DLL as a host sees it: exports by name and ordinal, imports, resources
// and PLUGIN17GetPluginParams on records of every size.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "tests/support/plugin_dll.h"
#include "tovanrel_version.h"

namespace {

TEST(Exports, NamesAndOrdinalsMatch)
{
    PluginDll dll;
    ASSERT_TRUE(dll) << "LoadLibrary(tovanrel.dll) failed: " << GetLastError();
    const char* names[] = {"DllEntryPoint", "PLUGIN17GetPluginParams", "PLUGIN17DoBuild"};
    for (WORD ordinal = 1; ordinal <= 3; ++ordinal) {
        void* byName = dll.byName<void*>(names[ordinal - 1]);
        EXPECT_NE(byName, nullptr) << names[ordinal - 1];
        EXPECT_EQ(byName, dll.byOrdinal<void*>(ordinal)) << names[ordinal - 1];
    }
    // No decorated stdcall names leak out.
    EXPECT_EQ(dll.byName<void*>("_PLUGIN17DoBuild@12"), nullptr);
    EXPECT_EQ(dll.byName<void*>("PLUGIN17DoBuild@12"), nullptr);
}

std::vector<std::string> ImportedDlls(HMODULE module)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    std::vector<std::string> dlls;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        std::string name = reinterpret_cast<char*>(base + imp->Name);
        for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        dlls.push_back(name);
    }
    return dlls;
}

TEST(Exports, ImportsOnlySystemDlls)
{
    PluginDll dll;
    ASSERT_TRUE(dll);
    const std::vector<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll",
                                             "shell32.dll", "ole32.dll", "msvcrt.dll", "advapi32.dll"};
    for (const std::string& name : ImportedDlls(dll.module())) {
        bool known = false;
        for (const std::string& s : system) known = known || s == name;
        EXPECT_TRUE(known) << "imports " << name;
        EXPECT_EQ(name.find("libgcc"), std::string::npos);
        EXPECT_EQ(name.find("libstdc++"), std::string::npos);
        EXPECT_EQ(name.find("libwinpthread"), std::string::npos);
    }
    EXPECT_EQ(IMAGE_FILE_MACHINE_I386,
              reinterpret_cast<IMAGE_NT_HEADERS*>(reinterpret_cast<BYTE*>(dll.module()) +
                                                  reinterpret_cast<IMAGE_DOS_HEADER*>(dll.module())->e_lfanew)
                  ->FileHeader.Machine);
}

TEST(Exports, DllEntryPointReturnsOneForEveryReason)
{
    PluginDll dll;
    ASSERT_TRUE(dll);
    auto entry = dll.byName<DllEntryPointFn>("DllEntryPoint");
    ASSERT_NE(entry, nullptr);
    for (DWORD reason : {DWORD(DLL_PROCESS_ATTACH), DWORD(DLL_THREAD_ATTACH), DWORD(DLL_THREAD_DETACH), DWORD(7)})
        EXPECT_EQ(entry(dll.module(), reason, nullptr), TRUE) << reason;
}

TEST(Resources, IconGroupHoldsSevenTwentyFourBitImages)
{
    PluginDll dll;
    ASSERT_TRUE(dll);
    HRSRC group = FindResourceA(dll.module(), MAKEINTRESOURCEA(IDI_TOVANREL), MAKEINTRESOURCEA(14) /*RT_GROUP_ICON*/);
    ASSERT_NE(group, nullptr);
    auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(dll.module(), group)));
    ASSERT_NE(dir, nullptr);
    WORD count = *reinterpret_cast<const WORD*>(dir + 4);
    ASSERT_EQ(count, 7);
    const int sizes[] = {128, 96, 64, 48, 32, 24, 16};
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = dir + 6 + 14 * i;  // GRPICONDIRENTRY
        int side = entry[0] == 0 ? 256 : entry[0];
        EXPECT_EQ(side, sizes[i]);
        EXPECT_EQ(*reinterpret_cast<const WORD*>(entry + 6), 24) << "bit count of image " << i;
        WORD id = *reinterpret_cast<const WORD*>(entry + 12);
        HRSRC image = FindResourceA(dll.module(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3) /*RT_ICON*/);
        ASSERT_NE(image, nullptr);
        auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(dll.module(), image)));
        EXPECT_EQ(header->biWidth, sizes[i]);
        EXPECT_EQ(header->biBitCount, 24);
    }
}

TEST(Resources, VersionInfoNamesThePlugin)
{
    char path[MAX_PATH];
    PluginDll dll;
    ASSERT_TRUE(dll);
    GetModuleFileNameA(dll.module(), path, MAX_PATH);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
    char* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904E4\\ProductName",
                               reinterpret_cast<void**>(&value), &length));
    EXPECT_STREQ(value, "Velmora Leader Plugin");

    // The version is the project's (CMake's VERSION), the one the package is named after.
    for (const char* key : {"FileVersion", "ProductVersion"}) {
        ASSERT_TRUE(VerQueryValueA(data.data(), (std::string("\\StringFileInfo\\040904E4\\") + key).c_str(),
                                   reinterpret_cast<void**>(&value), &length)) << key;
        EXPECT_STREQ(value, TOVANREL_VERSION_TEXT) << key;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    const WORD numbers[] = {TOVANREL_VERSION_NUMBERS};
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(numbers[1], numbers[0]));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(numbers[3], numbers[2]));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
}

// PluginInfo inside guard bytes: the record is `size` bytes, the guards follow.
struct GuardedInfo {
    explicit GuardedInfo(uint32_t size) : bytes(size + kGuard, 0xCD) { std::memcpy(bytes.data(), &size, 4); }
    static constexpr size_t kGuard = 64;
    std::vector<uint8_t> bytes;
    PluginInfo* info() { return reinterpret_cast<PluginInfo*>(bytes.data()); }
    bool guardsIntact(uint32_t size) const
    {
        for (size_t i = std::max<size_t>(size, 4); i < bytes.size(); ++i)
            if (bytes[i] != 0xCD) return false;
        return true;
    }
};

const char* const kName = "Velmora leader";

TEST(GetPluginParams, FillsAThousandByteRecord)
{
    PluginDll dll;
    ASSERT_TRUE(dll);
    GuardedInfo record(1000);
    std::memset(record.bytes.data() + 4, 0x5A, 996);  // stale contents to be cleared
    EXPECT_EQ(dll.getPluginParams()(record.info(), 0), 1);
    const uint8_t* b = record.bytes.data();
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(b), 1000u);
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(b + 4), 0x1100u);
    EXPECT_STREQ(reinterpret_cast<const char*>(b + 8), kName);
    const char* notice = reinterpret_cast<const char*>(b + 269);
    EXPECT_NE(std::strstr(notice, "Velmora Leader"), nullptr) << notice;
    EXPECT_NE(std::strstr(notice, "Brackwater Studio"), nullptr) << notice;
    size_t nameEnd = 8 + std::strlen(kName), noticeEnd = 269 + std::strlen(notice);
    for (size_t i = 8; i < 1000; ++i) {
        if (i < nameEnd || (i >= 269 && i < noticeEnd)) continue;
        ASSERT_EQ(b[i], 0) << "byte " << i;
    }
    EXPECT_TRUE(record.guardsIntact(1000));
}

TEST(GetPluginParams, NeverWritesPastAShortRecord)
{
    PluginDll dll;
    ASSERT_TRUE(dll);
    GuardedInfo full(1000);
    dll.getPluginParams()(full.info(), 0);
    const std::string notice = reinterpret_cast<const char*>(full.bytes.data() + 269);

    for (uint32_t size : {0u, 3u, 4u, 7u, 8u, 9u, 12u, 22u, 23u, 100u, 268u, 269u, 270u, 275u,
                          static_cast<uint32_t>(269 + notice.size()), static_cast<uint32_t>(270 + notice.size())}) {
        GuardedInfo record(size);
        EXPECT_EQ(dll.getPluginParams()(record.info(), 0), 1) << "size " << size;
        EXPECT_TRUE(record.guardsIntact(size)) << "size " << size;
        const uint8_t* b = record.bytes.data();
        if (size < 8) {
            // Too small even for the version word: left as it was.
            for (size_t i = 4; i < size; ++i) EXPECT_EQ(b[i], 0xCD) << "size " << size;
            continue;
        }
        EXPECT_EQ(*reinterpret_cast<const uint32_t*>(b), size);
        EXPECT_EQ(*reinterpret_cast<const uint32_t*>(b + 4), 0x1100u);
        if (size > 8) {
            // The name, cut to fit and terminated inside the record.
            std::string name(reinterpret_cast<const char*>(b + 8), strnlen(reinterpret_cast<const char*>(b + 8), size - 8));
            EXPECT_LT(8 + name.size(), size) << "name not terminated, size " << size;
            EXPECT_EQ(name, std::string(kName).substr(0, name.size()));
            EXPECT_EQ(name.size(), std::min<size_t>(std::strlen(kName), size - 9));
        }
        if (size > 269) {
            std::string cut(reinterpret_cast<const char*>(b + 269), strnlen(reinterpret_cast<const char*>(b + 269), size - 269));
            EXPECT_LT(269 + cut.size(), size) << "notice not terminated, size " << size;
            EXPECT_EQ(cut, notice.substr(0, std::min<size_t>(notice.size(), size - 270)));
        }
    }
}

}  // namespace
