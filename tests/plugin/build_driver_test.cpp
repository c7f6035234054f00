// Complete OK and Test builds through the real dialog and the host callback:
// the order of operations, every byte of the records, the frames themselves,
// and each row of the failure table with its exact message.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/packed_dib.h"
#include "plugin/build_driver.h"
#include "plugin/module_state.h"
#include "render/frame_pipeline.h"
#include "resources/resource_ids.h"
#include "tests/support/dib_compare.h"
#include "tests/support/host_harness.h"
#include "tests/support/resource_watch.h"

namespace {

const char kNewFileFailed[] = "There has been an error creating a new file object";
const char kAddImageFailed[] = "There has been an error adding an image to the current file object.";

std::vector<int32_t> ExpectedOperations(bool ok, int frames, bool created = true)
{
    std::vector<int32_t> ops = {HostOpBuildStarting, ok ? HostOpNewFile : HostOpNewTestFile};
    if (!created) return ops;
    ops.insert(ops.end(), frames, HostOpAddImage);
    if (ok) ops.push_back(HostOpAddComment);
    ops.push_back(HostOpFinish);
    return ops;
}

bool AllZero(const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

void CheckFileObjectRecord(const HostCall& call, HWND dialog, int width, int height, int startNumber)
{
    ASSERT_EQ(call.record.size(), 1069u);
    EXPECT_EQ(call.fileObject, nullptr);
    EXPECT_EQ(call.value, 0);
    const FileObjectRecord* r = call.fileObjectRecord();
    EXPECT_EQ(r->size, 1069u);
    EXPECT_EQ(r->version, 0x1100u);
    EXPECT_EQ(r->owner, dialog);
    EXPECT_EQ(r->zero12, 0u);
    EXPECT_EQ(r->zero16, 0u);
    EXPECT_EQ(r->width, width);
    EXPECT_EQ(r->height, height);
    for (int i = 0; i < 768; ++i) ASSERT_EQ(r->palette[i], i / 3) << "palette byte " << i;
    EXPECT_EQ(r->zero796, 0);
    EXPECT_EQ(r->frameHint, startNumber * 60);
    EXPECT_TRUE(AllZero(r->zero804, sizeof r->zero804));
}

void CheckFrame(const HostCall& call, const void* fileObject, int index, int delay, bool ok, int width,
                int height, bool palette)
{
    ASSERT_EQ(call.record.size(), 104u) << "frame " << index;
    const FrameRecord* f = call.frameRecord();
    EXPECT_EQ(call.fileObject, fileObject) << "frame " << index;
    EXPECT_EQ(call.value, 0) << "frame " << index;
    EXPECT_EQ(f->size, 104u);
    EXPECT_EQ(f->version, 0x1100u);
    EXPECT_NE(f->image, nullptr);
    EXPECT_TRUE(AllZero(call.record.data() + 12, 16)) << "frame " << index;
    EXPECT_EQ(f->delay, delay) << "frame " << index;
    EXPECT_EQ(f->index, index);
    EXPECT_EQ(f->buildKind, ok ? -1 : 0) << "frame " << index;
    EXPECT_TRUE(AllZero(f->zero40, sizeof f->zero40)) << "frame " << index;
    EXPECT_EQ(call.frameLockCount, 0u) << "frame " << index << " handed over locked";
    EXPECT_EQ(FrameWidth(call), width) << "frame " << index;
    EXPECT_EQ(FrameHeight(call), height) << "frame " << index;
    if (palette) {
        EXPECT_EQ(FrameBits(call), 8) << "frame " << index;
        EXPECT_TRUE(FrameHasGreyRamp(call)) << "frame " << index;
    } else {
        EXPECT_EQ(FrameBits(call), 24) << "frame " << index;
    }
}

// The bytes of a frame that matter: header, colour table and pixel rows.
size_t FrameBytes(const BITMAPINFOHEADER* h)
{
    return h->biSize + DibColorTableBytes(h->biBitCount) +
           size_t(DibStride(h->biWidth, h->biBitCount)) * size_t(h->biHeight);
}

// Frame k of a countdown from startNumber, made again by the plain route in
// this process (nothing kept), must be the frame the host received: number
// S - k / 60, sweep angle 360 - 6 * (k % 60).
void ExpectPipelineFrame(const HostCall& call, const HostContext& context, int k, int startNumber, int width,
                         int height)
{
    FrameRequest request;
    request.rect = {0, 0, width, height};
    request.resetNumber = startNumber;
    request.format =
        (context.outputFlags & HostOutputPaletteImages) ? FrameFormat::GreyPalette : FrameFormat::TrueColour;
    LeaderCounter counter = {startNumber - k / 60, 360 - 6 * (k % 60)};
    HGLOBAL expected = RenderLeaderFrame(nullptr, request, counter).block.release();
    ASSERT_NE(expected, nullptr) << "frame " << k;
    {
        LockedDib view(expected);
        ASSERT_TRUE(view.header());
        const size_t bytes = FrameBytes(view.header());
        ASSERT_GE(call.frame.size(), bytes) << "frame " << k;
        EXPECT_TRUE(SameDibBytes(reinterpret_cast<const uint8_t*>(view.header()), bytes, call.frame.data(), bytes))
            << "frame " << k;
    }
    GlobalFree(expected);
}

struct FullBuildCase {
    bool ok;
    int startNumber;
    bool palette;
};

std::string Name(const ::testing::TestParamInfo<FullBuildCase>& info)
{
    return std::string(info.param.ok ? "Ok" : "Test") + "From" + std::to_string(info.param.startNumber) +
           (info.param.palette ? "Grey" : "TrueColour");
}

class FullBuild : public ::testing::TestWithParam<FullBuildCase> {};

TEST_P(FullBuild, HandsOverTheWholeCountdown)
{
    SKIP_WITHOUT_PIPELINE();
    const FullBuildCase& c = GetParam();
    const int delay = c.palette ? 37 : 370;
    const int frames = (c.startNumber + 1) * 60;
    TestHost host;
    host.setPaletteOutput(c.palette);
    host.setSettings(64, 64, c.startNumber, delay);
    host.press(c.ok ? IDOK : IDC_TEST);
    if (!c.ok) host.press(IDCANCEL);

    EXPECT_EQ(host.doBuild(), 1);
    EXPECT_EQ(host.dialogResult(), c.ok ? 1 : 0);
    EXPECT_FALSE(host.timedOut());
    EXPECT_TRUE(host.messages().empty());
    ASSERT_EQ(host.operations(), ExpectedOperations(c.ok, frames));

    const std::vector<HostCall>& calls = host.calls();
    EXPECT_EQ(calls[0].fileObject, nullptr);
    EXPECT_EQ(calls[0].value, 0);
    EXPECT_EQ(calls[0].data, nullptr);
    CheckFileObjectRecord(calls[1], host.dialog(), 64, 64, c.startNumber);
    const void* fileObject = calls[1].data;
    for (int i = 0; i < frames; ++i) {
        CheckFrame(calls[2 + i], fileObject, i, delay, c.ok, 64, 64, c.palette);
        ExpectPipelineFrame(calls[2 + i], host.context(), i, c.startNumber, 64, 64);
        if (HasFatalFailure()) return;
    }
    size_t next = 2 + frames;
    if (c.ok) {
        EXPECT_EQ(calls[next].fileObject, fileObject);
        EXPECT_EQ(calls[next].value, 0);
        EXPECT_EQ(calls[next].text(), LeaderCreditText);
        ++next;
    }
    const HostCall& finish = calls[next];
    EXPECT_EQ(finish.fileObject, fileObject);
    EXPECT_EQ(finish.value, 1);
    EXPECT_EQ(finish.data, nullptr);
    // A Test build finishes with the dialog disabled; nothing else runs disabled.
    EXPECT_EQ(finish.dialogEnabled, c.ok);
    for (size_t i = 0; i < next; ++i) EXPECT_TRUE(calls[i].dialogEnabled) << "call " << i;
}

INSTANTIATE_TEST_SUITE_P(Builds, FullBuild,
                         ::testing::Values(FullBuildCase{true, 1, false}, FullBuildCase{true, 9, true},
                                           FullBuildCase{false, 1, true}, FullBuildCase{false, 9, false}),
                         Name);

// The full-size build: 600 frames of 256 x 256 from 9, each the plain route's frame.
TEST(BuildDriver, FullSizeOkBuildFromNine)
{
    SKIP_WITHOUT_PIPELINE();
    TestHost host;
    host.setSettings(256, 256, 9, 80).press(IDOK);
    EXPECT_EQ(host.doBuild(), 1);
    EXPECT_EQ(host.dialogResult(), 1);
    ASSERT_EQ(host.operations(), ExpectedOperations(true, 600));
    CheckFileObjectRecord(host.calls()[1], host.dialog(), 256, 256, 9);
    auto frames = host.callsOf(HostOpAddImage);
    for (int i = 0; i < 600; ++i) {
        CheckFrame(*frames[i], host.calls()[1].data, i, 80, true, 256, 256, false);
        ExpectPipelineFrame(*frames[i], host.context(), i, 9, 256, 256);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(host.callsOf(HostOpFinish).back()->value, 1);
}

// One dialog, several builds at sizes that change between them (the kept
// surfaces and their last frames follow; a third size drops the size used
// longest ago; 100 x 88 is also the preview's), then OK: every frame of every
// build is the plain route's, in both formats.
struct BuildInADialog {
    int width, height, startNumber;
    bool ok;
};

class BuildsInOneDialog : public ::testing::TestWithParam<bool> {};

TEST_P(BuildsInOneDialog, EveryFrameOfEveryBuildIsThePlainRoutes)
{
    SKIP_WITHOUT_PIPELINE();
    const bool palette = GetParam();
    const std::vector<BuildInADialog> builds =
        palette ? std::vector<BuildInADialog>{{256, 256, 1, false}, {100, 88, 1, false}, {256, 256, 1, true}}
                : std::vector<BuildInADialog>{{64, 64, 9, false}, {256, 256, 1, false}, {150, 100, 1, false},
                                              {64, 64, 1, true}};
    TestHost host;
    host.setPaletteOutput(palette);
    for (const BuildInADialog& b : builds) host.setSettings(b.width, b.height, b.startNumber, 10).press(b.ok ? IDOK : IDC_TEST);
    EXPECT_EQ(host.doBuild(), 1);
    EXPECT_EQ(host.dialogResult(), 1);
    size_t build = 0;
    int index = 0;
    for (const HostCall& call : host.calls()) {
        if (call.operation == HostOpNewFile || call.operation == HostOpNewTestFile) index = 0;
        if (call.operation == HostOpFinish) ++build;
        if (call.operation != HostOpAddImage) continue;
        ASSERT_LT(build, builds.size());
        const BuildInADialog& b = builds[build];
        SCOPED_TRACE(testing::Message() << "build " << build << " (" << b.width << "x" << b.height << " from "
                                        << b.startNumber << ")");
        ExpectPipelineFrame(call, host.context(), index++, b.startNumber, b.width, b.height);
        if (HasFatalFailure()) return;
    }
    ASSERT_EQ(build, builds.size());
    size_t frames = 0;
    for (const BuildInADialog& b : builds) frames += (b.startNumber + 1) * 60;
    EXPECT_EQ(host.callsOf(HostOpAddImage).size(), frames);
}

INSTANTIATE_TEST_SUITE_P(Formats, BuildsInOneDialog, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Grey" : "TrueColour"; });

TEST(BuildDriver, CreditTextHasItsLines)
{
    const std::string text = LeaderCreditText;
    EXPECT_NE(text.find("Velmora Leader Plugin"), std::string::npos);
    EXPECT_NE(text.find("\r\n\r\nSee\r\n    "), std::string::npos);
    const std::string tail = "\r\nfor more information.";
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // Lines end in CR LF only.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << i;
        }
    }
}

TEST(BuildDriver, TwoTestBuildsInARowAreTwoCompleteBuilds)
{
    SKIP_WITHOUT_PIPELINE();
    TestHost host;
    host.setSettings(64, 64, 1, 5).press(IDC_TEST).press(IDC_TEST).press(IDCANCEL);
    host.doBuild();
    std::vector<int32_t> once = ExpectedOperations(false, 120), twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    ASSERT_EQ(host.operations(), twice);
    auto frames = host.callsOf(HostOpAddImage);
    ASSERT_EQ(frames.size(), 240u);
    for (int i = 0; i < 120; ++i) {
        EXPECT_EQ(frames[i]->frameRecord()->index, i);
        EXPECT_EQ(frames[120 + i]->frameRecord()->index, i);
        // Both builds start again from the starting number: the same pictures.
        EXPECT_EQ(frames[i]->frame, frames[120 + i]->frame) << "frame " << i;
    }
    auto created = host.callsOf(HostOpNewTestFile);
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(created[0]->record, created[1]->record);
    EXPECT_EQ(host.dialogResult(), 0);
}

// One row of the failure table: which call is refused (or which frame's
// block cannot be made), in which build, and what the host must see.
struct FailureCase {
    const char* name;
    bool ok;
    int32_t operation;  // 0: no call refused
    int nth;
    std::vector<int32_t> operations;  // in the first build
    const char* message;              // null: no message
    size_t messageAfterCalls;
    int32_t finishFlag;  // -1: no finish operation
    int unmadeAfter = -1;  // the first allocation after this frame's hand-over fails
    int unmadeEvery = 0;   // and again after every this many frames more
};

// Whether the first allocation after this frame's hand-over is to fail.
bool UnmadeAfter(const FailureCase& c, int32_t index)
{
    if (c.unmadeAfter < 0 || index < c.unmadeAfter) return false;
    return index == c.unmadeAfter || (c.unmadeEvery > 0 && (index - c.unmadeAfter) % c.unmadeEvery == 0);
}

class FailureTable : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureTable, ShowsTheMessageAndFinishesAsTheTableSays)
{
    const FailureCase& c = GetParam();
    if (c.operation == HostOpAddImage || !c.ok || c.unmadeAfter >= 0) SKIP_WITHOUT_PIPELINE();
    TestHost host;
    GlobalMemoryWatch memory(host.module());  // a refused frame's block is freed too
    if (c.operation) host.refuse(c.operation, c.nth);
    host.duringCall = [&](TestHost&, HostCall& call) {
        if (call.operation == HostOpAddImage && UnmadeAfter(c, call.frameRecord()->index)) memory.failAlloc(1);
    };
    host.setSettings(64, 64, 1, 10).press(c.ok ? IDOK : IDC_TEST);
    // After a Test the dialog stays open: a second Test must run normally.
    if (!c.ok) host.press(IDC_TEST).press(IDCANCEL);
    EXPECT_EQ(host.doBuild(), 1);
    EXPECT_FALSE(host.timedOut());
    EXPECT_EQ(host.dialogResult(), c.ok ? 1 : 0);

    std::vector<int32_t> expected = c.operations;
    if (!c.ok) {
        std::vector<int32_t> second = ExpectedOperations(false, 120);
        expected.insert(expected.end(), second.begin(), second.end());
    }
    ASSERT_EQ(host.operations(), expected);
    ASSERT_EQ(host.messages().size(), c.message ? 1u : 0u);
    if (c.message) {
        const ShownMessage& m = host.messages()[0];
        EXPECT_EQ(m.text, c.message);
        EXPECT_EQ(m.caption, "Message");
        EXPECT_EQ(m.type, UINT(MB_OK | MB_ICONINFORMATION));
        EXPECT_EQ(m.owner, host.dialog());
        EXPECT_EQ(m.windowText, c.message);
        EXPECT_EQ(m.callsBefore, c.messageAfterCalls);
    }
    if (c.finishFlag >= 0) {
        const HostCall* finish = host.callsOf(HostOpFinish).front();
        EXPECT_EQ(finish->value, c.finishFlag);
    }
    EXPECT_EQ(memory.liveBlocks(), 0u);
    EXPECT_EQ(memory.heldLocks(), 0);
    // Indices start at 0 in every build and have no gaps.
    int32_t next = 0;
    for (const HostCall& call : host.calls()) {
        if (call.operation == HostOpNewFile || call.operation == HostOpNewTestFile) next = 0;
        if (call.operation == HostOpAddImage) {
            ASSERT_EQ(call.frameRecord()->index, next++) << "the first gap";
        }
    }
}

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

std::vector<int32_t> Ops(std::initializer_list<int32_t> head, int frames, std::initializer_list<int32_t> tail)
{
    std::vector<int32_t> ops(head);
    ops.insert(ops.end(), frames, HostOpAddImage);
    ops.insert(ops.end(), tail);
    return ops;
}

static_assert(120 / 5 > MaxConsecutiveFrameFailures, "EveryFifthFrameUnmadeInOk must fail more often than the limit");

INSTANTIATE_TEST_SUITE_P(
    Rows, FailureTable,
    ::testing::Values(
        FailureCase{"NewFileRefused", true, HostOpNewFile, 1, {18, 1}, kNewFileFailed, 2, -1},
        FailureCase{"NewTestFileRefused", false, HostOpNewTestFile, 1, {18, 5}, kNewFileFailed, 2, -1},
        FailureCase{"FifthImageRefusedInOk", true, HostOpAddImage, 5, Ops({18, 1}, 5, {3, 4}), kAddImageFailed, 7, 0},
        FailureCase{"FifthImageRefusedInTest", false, HostOpAddImage, 5, Ops({18, 5}, 5, {4}), kAddImageFailed, 7,
                    0},
        // The sixth frame's block cannot be allocated: that frame is not
        // painted (the counter stays) and is made at the next try, so every
        // frame still comes, with consecutive indices.
        FailureCase{"OneFrameUnmadeInOk", true, 0, 0, Ops({18, 1}, 120, {3, 4}), nullptr, 0, 1, 4},
        // One frame in five cannot be made at its first try: more failures
        // than the limit of failures in a row, but never two in a row, so the
        // build still runs to its end.
        FailureCase{"EveryFifthFrameUnmadeInOk", true, 0, 0, Ops({18, 1}, 120, {3, 4}), nullptr, 0, 1, 4, 5}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

struct ClampCase {
    const char* width;
    const char* height;
    const char* start;
    const char* delay;
    bool palette;
    int32_t wantWidth, wantHeight, wantStart, wantDelay;
};

class ReadClamping : public ::testing::TestWithParam<ClampCase> {};

// What a build reads from the edits is clamped to each edit's range; an empty
// or unreadable edit reads as 0 and so as the minimum.
TEST_P(ReadClamping, BuildUsesClampedSettings)
{
    const ClampCase& c = GetParam();
    TestHost host;
    host.setPaletteOutput(c.palette);
    host.refuse(HostOpAddImage, 1);  // one frame is enough to see the delay and size
    host.setEdit(IDC_WIDTH, c.width)
        .setEdit(IDC_HEIGHT, c.height)
        .setEdit(IDC_START_NUMBER, c.start)
        .setEdit(IDC_DELAY, c.delay)
        .press(IDC_TEST)
        .press(IDCANCEL);
    host.doBuild();
    auto created = host.callsOf(HostOpNewTestFile);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0]->fileObjectRecord()->width, c.wantWidth);
    EXPECT_EQ(created[0]->fileObjectRecord()->height, c.wantHeight);
    EXPECT_EQ(created[0]->fileObjectRecord()->frameHint, c.wantStart * 60);
    if (!PipelineMakesFrames()) return;
    auto frames = host.callsOf(HostOpAddImage);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]->frameRecord()->delay, c.wantDelay);
    EXPECT_EQ(FrameWidth(*frames[0]), c.wantWidth);
    EXPECT_EQ(FrameHeight(*frames[0]), c.wantHeight);
}

INSTANTIATE_TEST_SUITE_P(Edits, ReadClamping,
                         ::testing::Values(ClampCase{"", "", "", "", false, 64, 64, 1, 1},
                                           ClampCase{"1000", "10", "12", "5000", false, 256, 64, 9, 1000},
                                           ClampCase{"200", "150", "0", "5000", true, 200, 150, 1, 100},
                                           ClampCase{"abc", "256", "5", "80", true, 64, 256, 5, 80}));

}  // namespace
