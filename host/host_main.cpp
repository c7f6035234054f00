// leaderhost: a small reference host for the countdown leader plug-in. It
// loads the plug-in as an animation editor would, lets the user (or, with
// --unattended, itself) work the plug-in's dialog, and writes what the
// plug-in delivers as an animated GIF (8-bit frames) or AVI (24-bit frames).
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/dialog_autopilot.h"
#include "host/host_options.h"
#include "host/host_session.h"
#include "host/interrupt.h"
#include "host/output_file.h"
#include "plugin/host_records.h"

namespace {

typedef int32_t(WINAPI* GetPluginParamsFn)(PluginInfo*, int32_t);
typedef int32_t(WINAPI* DoBuildFn)(HWND, HostContext*, int32_t);

// The PluginInfo record the host hands over: room for the name and a notice.
constexpr uint32_t kPluginInfoSize = 1024;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "leaderhost: %s\n", message.c_str());
    return 1;
}

std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    std::string folder(path, length);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

std::string FullPath(const std::string& path)
{
    char full[MAX_PATH] = {};
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return path;
    return full;
}

// The plug-in keeps its settings in its maker's folder under the user's
// application data, but never creates that folder: the maker's own programs
// do when they are installed, and this host stands in for them. Without the
// folder the plug-in forgets its settings, which is worth a word but no more.
void MakeSettingsFolder()
{
    char appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, appData)))
        return;  // the plug-in cannot find the folder either
    const std::string folder = std::string(appData) + "\\Brackwater Studio";
    if (CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return;
    std::fprintf(stderr, "leaderhost: cannot make %s (%s): the plug-in's settings will not be kept\n",
                 folder.c_str(), SystemErrorText(GetLastError()).c_str());
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info)
{
    std::fprintf(stderr, "leaderhost: the plug-in or the host crashed (exception 0x%08lX at %p)\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                 info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    ExitProcess(1);
}

int Run(const HostOptions& options)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    if (!InitCommonControlsEx(&controls)) return Fail("cannot register the common controls");

    // The plug-in: its two entry points, looked up by name as any host does.
    const std::string dllPath =
        FullPath(options.dllPath.empty() ? ProgramFolder() + "tovanrel.dll" : options.dllPath);
    DWORD attributes = GetFileAttributesA(dllPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Fail("cannot load plug-in " + dllPath + ": no such file");
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Fail("cannot load plug-in " + dllPath + ": it is a folder");
    HMODULE module = LoadLibraryExA(dllPath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) {
        DWORD error = GetLastError();
        return Fail("cannot load plug-in " + dllPath + ": " +
                    (error == ERROR_BAD_EXE_FORMAT ? std::string("not a 32-bit Windows DLL")
                                                   : SystemErrorText(error)));
    }
    struct ModuleOwner {
        HMODULE module;
        ~ModuleOwner() { FreeLibrary(module); }
    } moduleOwner{module};

    auto getParams = reinterpret_cast<GetPluginParamsFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "PLUGIN17GetPluginParams")));
    auto doBuild = reinterpret_cast<DoBuildFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "PLUGIN17DoBuild")));
    if (!getParams || !doBuild)
        return Fail(dllPath + " is not a leader plug-in: it does not export " +
                    (getParams ? "PLUGIN17DoBuild" : "PLUGIN17GetPluginParams"));

    std::vector<uint8_t> infoBytes(kPluginInfoSize, 0);
    auto* info = reinterpret_cast<PluginInfo*>(infoBytes.data());
    info->size = kPluginInfoSize;
    getParams(info, 0);
    if (info->version != PluginInterfaceVersion)
        return Fail(dllPath + " speaks plug-in interface version " + std::to_string(info->version) +
                    ", not " + std::to_string(PluginInterfaceVersion));
    // Both texts are the plug-in's: make sure they end inside the record.
    infoBytes[PluginNoticeOffset - 1] = 0;
    infoBytes[kPluginInfoSize - 1] = 0;
    std::printf("plug-in: %s\n", info->displayName);
    std::printf("notice: %s\n", info->notice);
    std::fflush(stdout);

    // The output: checked before the build, so that a bad path costs nothing.
    std::string outputPath = options.outputPath;
    if (outputPath.empty()) outputPath = options.paletteImages ? "leader.gif" : "leader.avi";
    outputPath = FullPath(outputPath);
    std::string why;
    if (!CheckOutputWritable(outputPath, why))
        return Fail("cannot write " + outputPath + ": " + why);

    MakeSettingsFolder();

    HostSession session(options, outputPath, ProgramFolder());
    HostSession::SetCurrent(&session);
    HostContext context = {};
    context.size = sizeof context;
    context.version = PluginInterfaceVersion;
    context.skinStyle = options.skinStyle;
    context.callback = &HostSession::Callback;
    context.outputFlags = options.paletteImages ? HostOutputPaletteImages : 0;

    // The autopilot works the dialog in an unattended run and closes it after
    // a stop in any run.
    DialogAutopilot autopilot(options, session);
    if (!autopilot.Start()) {
        HostSession::SetCurrent(nullptr);
        return Fail("cannot start the timer that works the dialog");
    }
    doBuild(nullptr, &context, 0);
    autopilot.Stop();
    HostSession::SetCurrent(nullptr);

    if (const int stop = InterruptSignal()) {
        if (!session.mainDocumentWritten()) {
            session.SayOnStderr("interrupted, so nothing was written");
            return 128 + stop;
        }
    }
    if (options.unattended && !autopilot.sawDialog())
        session.NoteFailure("the plug-in showed no settings dialog");
    if (options.unattended && options.press == DialogButton::Ok && !session.mainDocumentWritten() &&
        !session.failed())
        session.NoteFailure("the plug-in built no animation");
    if (session.failed()) {
        session.SayOnStderr(session.FailureLine());
        return 1;
    }
    if (session.written().empty()) session.SayOnStderr("nothing was written");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);

    HostOptions options;
    std::string error;
    if (!ParseHostOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "leaderhost: %s\n", error.c_str());
        return 2;
    }
    if (options.showUsage) {
        std::fputs(HostUsage(), stdout);
        return 0;
    }
    // Ctrl+C and a closing console stop the run cleanly (without the
    // handler, the process would just end, leaving a half-written file).
    InstallInterruptHandler();
    int status;
    try {
        status = Run(options);
    } catch (const std::exception& e) {
        status = Fail(std::string("internal error: ") + e.what());
    }
    InterruptibleWorkDone();
    return status;
}
