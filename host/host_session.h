// The host's side of the plug-in's callback: one session per PLUGIN17DoBuild
// call, serving operations 18, 1, 5, 2, 3, 4 and 9 and writing each finished
// document to a file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/animation_document.h"
#include "host/host_options.h"
#include "plugin/host_records.h"

class HostSession {
public:
    HostSession(const HostOptions& options, std::string outputPath, std::string helpFolder);

    // The HostCallback the plug-in is given; forwards to the current session.
    static int32_t __cdecl Callback(void* fileObject, int32_t operation, int32_t value, void* data);
    static void SetCurrent(HostSession* session);

    int32_t Serve(void* fileObject, int32_t operation, int32_t value, void* data);

    // Failures are gathered while the plug-in works and said once, at the
    // end, as one line (FailureLine); a message the plug-in showed is one.
    void NotePluginMessage(const std::string& text);
    void NoteFailure(const std::string& text);
    std::string FailureLine() const;

    // Says text as one line on stderr, "leaderhost: " first, in place of an
    // unfinished progress line.
    void SayOnStderr(const std::string& text);

    int callbackDepth() const { return callbackDepth_; }
    int buildsStarted() const { return buildsStarted_; }
    int helpRequests() const { return helpRequests_; }
    bool failed() const { return !failures_.empty(); }
    const std::vector<std::string>& failures() const { return failures_; }
    const std::vector<std::string>& written() const { return written_; }
    bool mainDocumentWritten() const { return mainWritten_; }

private:
    int32_t NewDocument(const FileObjectRecord* record, bool test);
    int32_t AddImage(void* fileObject, const FrameRecord* frame);
    int32_t AddComment(void* fileObject, const char* text);
    int32_t Finish(void* fileObject, int32_t success);
    int32_t ShowHelp(const char* name);
    std::string PathFor(bool test, bool incomplete) const;
    void ShowProgress(bool last);
    void EndProgressLine();

    const HostOptions& options_;
    std::string outputPath_;
    std::string helpFolder_;

    std::unique_ptr<AnimationDocument> document_;
    const void* documentRecord_ = nullptr;
    bool documentIsTest_ = false;
    int expectedFrames_ = 0;
    int framesOffered_ = 0;

    int callbackDepth_ = 0;
    int buildsStarted_ = 0;
    int helpRequests_ = 0;
    int testDocuments_ = 0;
    bool mainWritten_ = false;
    const bool progressInPlace_;  // stderr is a terminal: rewrite one progress line
    size_t progressWidth_ = 0;    // characters of an unfinished progress line
    std::vector<std::string> failures_;
    std::vector<std::string> written_;
};
