// Serving the plug-in's callback operations.
#include "host/host_session.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <new>

#include "host/animation_writers.h"
#include "host/interrupt.h"
#include "host/output_file.h"

namespace {

HostSession* g_current = nullptr;

// The longest comment and help-document name the host reads from the plug-in.
constexpr size_t kMaxCommentLength = 64 * 1024;
constexpr size_t kMaxHelpNameLength = MAX_PATH;

std::string WithSuffix(const std::string& path, const std::string& suffix)
{
    size_t slash = path.find_last_of("\\/");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

// A plain file name: the plug-in names a document in the host's folder, never a path.
bool IsPlainFileName(const char* name, std::string& out)
{
    if (!name) return false;
    size_t length = 0;
    while (length <= kMaxHelpNameLength && name[length] != '\0') ++length;
    if (length == 0 || length > kMaxHelpNameLength) return false;
    out.assign(name, length);
    if (out == "." || out == "..") return false;
    return out.find_first_of("\\/:") == std::string::npos;
}

// A console shows a line rewritten in place; a file or a pipe would keep
// every state of it in one long line.
bool StderrIsConsole()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace

HostSession::HostSession(const HostOptions& options, std::string outputPath, std::string helpFolder)
    : options_(options),
      outputPath_(std::move(outputPath)),
      helpFolder_(std::move(helpFolder)),
      progressInPlace_(StderrIsConsole())
{
}

void HostSession::SetCurrent(HostSession* session) { g_current = session; }

int32_t __cdecl HostSession::Callback(void* fileObject, int32_t operation, int32_t value, void* data)
{
    if (!g_current) return 0;
    // Nothing may escape into the plug-in's frames: any failure is a refusal.
    try {
        return g_current->Serve(fileObject, operation, value, data);
    } catch (const std::bad_alloc&) {
        g_current->NoteFailure("out of memory while serving operation " + std::to_string(operation));
    } catch (...) {
        g_current->NoteFailure("internal error while serving operation " + std::to_string(operation));
    }
    return 0;
}

int32_t HostSession::Serve(void* fileObject, int32_t operation, int32_t value, void* data)
{
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } depth(callbackDepth_);

    switch (operation) {
    case HostOpBuildStarting:
        ++buildsStarted_;
        return 1;
    case HostOpNewFile:
        return NewDocument(static_cast<const FileObjectRecord*>(data), false);
    case HostOpNewTestFile:
        return NewDocument(static_cast<const FileObjectRecord*>(data), true);
    case HostOpAddImage:
        return AddImage(fileObject, static_cast<const FrameRecord*>(data));
    case HostOpAddComment:
        return AddComment(fileObject, static_cast<const char*>(data));
    case HostOpFinish:
        return Finish(fileObject, value);
    case HostOpShowHelp:
        return ShowHelp(static_cast<const char*>(data));
    default:
        return 0;
    }
}

void HostSession::NotePluginMessage(const std::string& text)
{
    NoteFailure("the plug-in reported \"" + text + "\"");
}

void HostSession::NoteFailure(const std::string& text) { failures_.push_back(text); }

std::string HostSession::FailureLine() const
{
    std::string line;
    for (const std::string& failure : failures_) line += (line.empty() ? "" : "; ") + failure;
    return line;
}

void HostSession::SayOnStderr(const std::string& text)
{
    std::string line = "leaderhost: " + text;
    // Over an unfinished progress line, so that a terminal shows one line.
    if (progressWidth_ > 0) {
        if (line.size() < progressWidth_) line.append(progressWidth_ - line.size(), ' ');
        line.insert(0, 1, '\r');
        progressWidth_ = 0;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void HostSession::EndProgressLine()
{
    if (progressWidth_ == 0) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    progressWidth_ = 0;
}

int32_t HostSession::NewDocument(const FileObjectRecord* record, bool test)
{
    if (InterruptSignal()) return 0;
    std::string why;
    if (!AnimationDocument::CheckFileObject(record, why)) {
        NoteFailure("refused a new document: " + why);
        return 0;
    }
    if (document_) {
        // A build that never finished its previous document: drop it, unwritten.
        NoteFailure("a new document was started before the previous one was finished");
        document_.reset();
    }
    document_.reset(new AnimationDocument(record->width, record->height, record->palette,
                                          options_.paletteImages));
    documentRecord_ = record;
    documentIsTest_ = test;
    // The record carries the starting number times LeaderFramesPerNumber; the
    // build then hands over one more number's worth: (start + 1) x that many.
    expectedFrames_ = record->frameHint > 0 && record->frameHint % LeaderFramesPerNumber == 0
                          ? record->frameHint + LeaderFramesPerNumber : 0;
    framesOffered_ = 0;
    return 1;
}

void HostSession::ShowProgress(bool last)
{
    std::string text = std::string(documentIsTest_ ? "test frame " : "frame ") +
                       std::to_string(framesOffered_);
    if (expectedFrames_ > 0) text += " of " + std::to_string(expectedFrames_);
    if (!progressInPlace_) {
        // A log or a pipe gets a line of its own per number counted down.
        if (framesOffered_ % LeaderFramesPerNumber == 0) {
            std::fprintf(stderr, "%s\n", text.c_str());
            std::fflush(stderr);
        }
        return;
    }
    // A terminal shows one line, rewritten in place.
    std::fprintf(stderr, "\r%s", text.c_str());
    progressWidth_ = text.size() > progressWidth_ ? text.size() : progressWidth_;
    std::fflush(stderr);
    if (last) EndProgressLine();
}

int32_t HostSession::AddImage(void* fileObject, const FrameRecord* frame)
{
    if (!document_ || fileObject != documentRecord_) {
        NoteFailure("an image arrived for a document that is not open");
        return 0;
    }
    // A stop ends the build at its next frame.
    if (InterruptSignal()) return 0;
    ++framesOffered_;
    if (options_.refuseFrame == framesOffered_) {
        NoteFailure("refused image " + std::to_string(framesOffered_) + " as asked (--refuse-frame)");
        return 0;
    }
    std::string why;
    if (!document_->AddFrame(frame, why)) {
        NoteFailure("refused image " + std::to_string(framesOffered_) + ": " + why);
        return 0;
    }
    // Updating the line costs more than a small frame; do it every few frames
    // (every number's last frame among them, for the line a log gets).
    if (framesOffered_ % 10 == 0 || framesOffered_ == expectedFrames_ || framesOffered_ == 1)
        ShowProgress(false);
    return 1;
}

int32_t HostSession::AddComment(void* fileObject, const char* text)
{
    if (!document_ || fileObject != documentRecord_) return 0;
    document_->SetComment(text, kMaxCommentLength);
    return 1;
}

std::string HostSession::PathFor(bool test, bool incomplete) const
{
    std::string path = outputPath_;
    if (test) path = WithSuffix(path, "-test" + std::to_string(testDocuments_));
    if (incomplete) path = WithSuffix(path, "-incomplete");
    return path;
}

int32_t HostSession::Finish(void* fileObject, int32_t success)
{
    if (!document_ || fileObject != documentRecord_) {
        NoteFailure("a document that is not open was finished");
        return 0;
    }
    std::unique_ptr<AnimationDocument> document = std::move(document_);
    documentRecord_ = nullptr;
    // An interrupted run writes nothing.
    if (InterruptSignal()) return 0;
    if (documentIsTest_) ++testDocuments_;

    // A failed build still leaves what was received, under a name that says
    // so; its progress line stays open for the line that says what failed.
    const bool incomplete = success == 0;
    const std::string path = PathFor(documentIsTest_, incomplete);
    std::string why;
    bool ok = WriteFileAtomically(
        path,
        [&](ByteSink& sink) {
            return document->paletteImages()
                       ? WriteGif(*document, sink,
                                  options_.wholeGifFrames ? GifFrames::Whole : GifFrames::Changes)
                       : WriteAvi(*document, sink);
        },
        why);
    if (!ok) {
        NoteFailure("cannot write " + path + ": " + why);
        return 0;
    }
    if (!incomplete) EndProgressLine();
    written_.push_back(path);
    std::printf("wrote %s: %s, %u frames of %d x %d\n", path.c_str(),
                document->paletteImages() ? "animated GIF" : "uncompressed AVI",
                static_cast<unsigned>(document->frames().size()), document->width(),
                document->height());
    std::fflush(stdout);
    if (incomplete) {
        NoteFailure("the build failed: the " + std::to_string(document->frames().size()) +
                    " frames received are in " + path);
    } else if (!documentIsTest_) {
        mainWritten_ = true;
    }
    return 1;
}

int32_t HostSession::ShowHelp(const char* name)
{
    ++helpRequests_;
    std::string fileName;
    if (!IsPlainFileName(name, fileName)) {
        NoteFailure("the plug-in asked for help with an unusable document name");
        return 0;
    }
    const std::string path = helpFolder_ + fileName;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        NoteFailure("help document " + path + " is missing");
        return 0;
    }
    if (options_.unattended) {
        std::printf("help document: %s\n", path.c_str());
        std::fflush(stdout);
        return 1;
    }
    HINSTANCE result = ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32) {
        // No browser to open it with: the location is still worth telling.
        std::printf("help document: %s\n", path.c_str());
        std::fflush(stdout);
    }
    return 1;
}
