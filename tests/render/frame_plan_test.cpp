// The planner, one row per state of what is kept and of the frame: the way
// it plans, what it asks to be found, the verdict a check settles, what it
// says the surface holds and the backdrop a laying starts from. Nothing is drawn: the kept pieces are
// made up, and only which of them the plan hands on is compared.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <vector>

#include "render/frame_cache.h"
#include "render/frame_plan.h"

namespace {

constexpr int32_t Width = 64, Height = 64;  // a surface's
constexpr int32_t FrameNumber = 5, FrameAngle = 354, LaidAngle = 360;
const RECT Box = {16, 16, 48, 48}, OtherBox = {20, 16, 44, 48};

enum class Backdrop { None, OneGrey, TwoGreys };  // of the frame's angle; TwoGreys meet under the box
// What the surface holds: nothing known, this number laid from its pictures
// or drawn by GDI at LaidAngle, the same with that angle's backdrop not kept,
// or another number.
enum class Held { Nothing, ThisNumberLaid, ThisNumberDrawn, ThisNumberAngleNotKept, OtherNumber };
using Laying = KeptLayers::Laying;

struct PlanRow {
    const char* state;
    bool sizeKept = true;
    bool objectsCanBeMade = true;
    Backdrop backdrop = Backdrop::TwoGreys;
    bool backdropsFull = false;  // every slot for backdrops taken by other angles
    bool overlay = true, box = true;
    bool textAsLearnt = true;
    bool sizeSeen = true;  // a frame of the size was made before
    Laying overOneGrey = Laying::GivesGdisFrame, overGreys = Laying::GivesGdisFrame;
    Held held = Held::Nothing;

    FrameWay way;
    bool findBackdrop = false, findOverlay = false, findBox = false;
    bool checksOverOneGrey = false;
    bool laysTheDifference = false;
    bool settledByBackdrop = false;  // the way holds until the backdrop learnt in the frame is known
};

void PrintTo(const PlanRow& row, std::ostream* os) { *os << row.state; }

// Runs of a surface whose left half is `left` and right half `right`.
ByteRuns BackdropRuns(uint8_t left, uint8_t right)
{
    const size_t stride = DibStride(Width, 24);
    std::vector<uint8_t> pixels(stride * Height);
    for (int32_t y = 0; y < Height; ++y) {
        std::memset(&pixels[y * stride], left, stride / 2);
        std::memset(&pixels[y * stride + stride / 2], right, stride - stride / 2);
    }
    ByteRuns runs;
    RunsOfBytes(pixels.data(), pixels.size(), pixels.size(), &runs);
    return runs;
}

TextSmoothing Smoothing(UINT contrast)
{
    TextSmoothing smoothing;
    smoothing.on = TRUE;
    smoothing.contrast = contrast;
    return smoothing;
}

class Planner : public ::testing::TestWithParam<PlanRow> {};

TEST_P(Planner, PlansTheWayTheRowSays)
{
    const PlanRow& row = GetParam();
    KeptFrameSize kept(Width, Height);
    KeptLayers& layers = kept.layers;
    layers.forgetNumbers(Smoothing(1200));
    if (row.sizeSeen) layers.keepSizeSeen();
    for (int32_t angle = 1; row.backdropsFull && layers.backdropCount() < KeptLayers::MaxBackdrops; ++angle)
        layers.keepBackdrop(angle, BackdropRuns(200, 128));
    if (row.backdrop != Backdrop::None)
        layers.keepBackdrop(FrameAngle, row.backdrop == Backdrop::OneGrey ? BackdropRuns(128, 128) : BackdropRuns(200, 128));
    if (row.held != Held::ThisNumberAngleNotKept) layers.keepBackdrop(LaidAngle, BackdropRuns(128, 128));
    layers.keepNumberBox(FrameNumber + 1, OtherBox);
    if (row.overlay) layers.keepOverlay(BackdropRuns(240, 240));
    if (row.box) {
        layers.keepNumberBox(FrameNumber, Box);
        if (row.overOneGrey != Laying::Unchecked)
            layers.keepLaying(FrameNumber, true, row.overOneGrey == Laying::GivesGdisFrame);
        if (row.overGreys != Laying::Unchecked)
            layers.keepLaying(FrameNumber, false, row.overGreys == Laying::GivesGdisFrame);
    }
    switch (row.held) {
    case Held::Nothing: break;
    case Held::ThisNumberLaid:
    case Held::ThisNumberAngleNotKept: kept.surface.holds = {true, LaidAngle, FrameNumber, true}; break;
    case Held::ThisNumberDrawn: kept.surface.holds = {true, LaidAngle, FrameNumber, false}; break;
    case Held::OtherNumber: kept.surface.holds = {true, LaidAngle, FrameNumber + 1, true}; break;
    }

    FrameState state;
    state.width = Width;
    state.height = Height;
    state.number = FrameNumber;
    state.angle = FrameAngle;
    state.objectsCanBeMade = row.objectsCanBeMade;
    state.smoothing = Smoothing(row.textAsLearnt ? 1200 : 1400);

    const FramePlan plan = PlanFrame(row.sizeKept ? &kept : nullptr, state);
    EXPECT_EQ(plan.way, row.way);
    EXPECT_EQ(plan.findBackdrop, row.findBackdrop);
    EXPECT_EQ(plan.findOverlay, row.findOverlay);
    EXPECT_EQ(plan.findBox, row.findBox);
    EXPECT_EQ(plan.settledByBackdrop, row.settledByBackdrop);
    // The pieces handed on are the kept ones, and only those the way uses.
    const bool lays = plan.way == FrameWay::Lay || plan.way == FrameWay::LayAndCheck;
    const bool usesLayers = lays || plan.way == FrameWay::DrawNumber || plan.way == FrameWay::DrawAndLearn;
    EXPECT_EQ(plan.backdrop, usesLayers ? layers.backdrop(FrameAngle) : nullptr);
    EXPECT_EQ(plan.overlay, usesLayers ? layers.overlay() : nullptr);
    EXPECT_EQ(plan.box, usesLayers && row.textAsLearnt ? layers.numberBox(FrameNumber) : nullptr);
    EXPECT_EQ(plan.pictures, lays ? &layers.numberPictures() : nullptr);
    if (plan.way == FrameWay::LayAndCheck) {
        EXPECT_EQ(plan.overOneGrey, row.checksOverOneGrey);
    }
    EXPECT_EQ(plan.laidUnder, row.laysTheDifference ? layers.backdrop(LaidAngle) : nullptr);
    // What the surface holds, for the marks of what the frame changes.
    const bool heldKnown = usesLayers && row.held != Held::Nothing && row.held != Held::ThisNumberAngleNotKept;
    EXPECT_EQ(plan.heldBackdrop, heldKnown ? layers.backdrop(LaidAngle) : nullptr);
    const int32_t heldNumber = row.held == Held::OtherNumber ? FrameNumber + 1 : FrameNumber;
    EXPECT_EQ(plan.heldBox, usesLayers && row.held != Held::Nothing ? layers.numberBox(heldNumber) : nullptr);

    // A laying that cannot be had is made with GDI over the same kept layers.
    if (lays) {
        const FramePlan fallback = PlanAfterFailedLaying(&kept, state);
        EXPECT_EQ(fallback.way, FrameWay::DrawNumber);
        EXPECT_EQ(fallback.backdrop, plan.backdrop);
        EXPECT_EQ(fallback.overlay, plan.overlay);
        EXPECT_EQ(fallback.box, plan.box);
        EXPECT_EQ(fallback.pictures, nullptr);
        EXPECT_EQ(fallback.laidUnder, nullptr);
        EXPECT_EQ(fallback.heldBackdrop, plan.heldBackdrop);
    }
}

PlanRow Row(const char* state, FrameWay way)
{
    PlanRow row;
    row.state = state;
    row.way = way;
    return row;
}

std::vector<PlanRow> Rows()
{
    std::vector<PlanRow> rows;
    auto add = [&](PlanRow row) { rows.push_back(row); };
    PlanRow r;

    r = Row("size not kept", FrameWay::FreshSurface), r.sizeKept = false, add(r);
    r = Row("an object cannot be made, all else kept", FrameWay::PaintWhole), r.objectsCanBeMade = false, add(r);
    r = Row("an object cannot be made, nothing kept", FrameWay::PaintWhole), r.objectsCanBeMade = false;
    r.backdrop = Backdrop::None, r.overlay = r.box = false, add(r);

    r = Row("the first frame at a size: only the backdrop learnt", FrameWay::DrawAndLearn);
    r.sizeSeen = false, r.backdrop = Backdrop::None, r.overlay = r.box = false;
    r.findBackdrop = true, add(r);
    r = Row("nothing kept", FrameWay::DrawAndLearn), r.backdrop = Backdrop::None, r.overlay = r.box = false;
    r.findBackdrop = r.findOverlay = r.findBox = true, add(r);
    r = Row("backdrop and box not kept", FrameWay::DrawAndLearn), r.backdrop = Backdrop::None, r.box = false;
    r.findBackdrop = r.findBox = true, add(r);
    r = Row("backdrop of the angle not kept, both layings give GDI's", FrameWay::Lay), r.backdrop = Backdrop::None;
    r.findBackdrop = true, r.settledByBackdrop = true, add(r);
    r = Row("backdrop not kept, no room for it", FrameWay::Lay), r.backdrop = Backdrop::None;
    r.backdropsFull = true, r.settledByBackdrop = true, add(r);
    r = Row("backdrop not kept, one laying unchecked", FrameWay::LayAndCheck), r.backdrop = Backdrop::None;
    r.overGreys = Laying::Unchecked, r.findBackdrop = true, r.settledByBackdrop = true, add(r);
    r = Row("backdrop not kept, both layings differ", FrameWay::DrawNumber), r.backdrop = Backdrop::None;
    r.overOneGrey = r.overGreys = Laying::DiffersFromGdi, r.findBackdrop = true, r.settledByBackdrop = true, add(r);
    r = Row("overlay not kept", FrameWay::DrawAndLearn), r.overlay = false, r.findOverlay = true, add(r);
    r = Row("number's box not kept", FrameWay::DrawAndLearn), r.box = false, r.findBox = true, add(r);
    r = Row("box kept under other text settings", FrameWay::DrawAndLearn), r.textAsLearnt = false;
    r.findBox = true, add(r);

    r = Row("unchecked, box over one grey", FrameWay::LayAndCheck), r.backdrop = Backdrop::OneGrey;
    r.overOneGrey = r.overGreys = Laying::Unchecked, r.checksOverOneGrey = true, add(r);
    r = Row("unchecked, box over two greys", FrameWay::LayAndCheck);
    r.overOneGrey = r.overGreys = Laying::Unchecked, add(r);
    r = Row("laying over one grey gives GDI's, box over one grey", FrameWay::Lay), r.backdrop = Backdrop::OneGrey;
    r.overGreys = Laying::Unchecked, add(r);
    r = Row("laying over one grey gives GDI's, box over two greys", FrameWay::LayAndCheck);
    r.overGreys = Laying::Unchecked, add(r);
    r = Row("both layings give GDI's", FrameWay::Lay), add(r);
    r = Row("laying over two greys differs, box over two", FrameWay::DrawNumber);
    r.overGreys = Laying::DiffersFromGdi, add(r);
    r = Row("laying over two greys differs, box over one", FrameWay::Lay), r.backdrop = Backdrop::OneGrey;
    r.overGreys = Laying::DiffersFromGdi, add(r);
    r = Row("both layings differ", FrameWay::DrawNumber), r.overOneGrey = r.overGreys = Laying::DiffersFromGdi;
    add(r);

    r = Row("surface holds this number laid at another angle", FrameWay::Lay), r.held = Held::ThisNumberLaid;
    r.laysTheDifference = true, add(r);
    r = Row("surface holds this number drawn by GDI", FrameWay::Lay), r.held = Held::ThisNumberDrawn, add(r);
    r = Row("surface holds this number, that angle's backdrop gone", FrameWay::Lay);
    r.held = Held::ThisNumberAngleNotKept, add(r);
    r = Row("surface holds another number laid", FrameWay::Lay), r.held = Held::OtherNumber, add(r);
    r = Row("check with this number laid at another angle", FrameWay::LayAndCheck), r.held = Held::ThisNumberLaid;
    r.overGreys = Laying::Unchecked, r.laysTheDifference = true, add(r);
    r = Row("DrawNumber lays no difference", FrameWay::DrawNumber), r.held = Held::ThisNumberLaid;
    r.overGreys = Laying::DiffersFromGdi, add(r);
    r = Row("DrawAndLearn over a held frame", FrameWay::DrawAndLearn), r.held = Held::OtherNumber;
    r.backdrop = Backdrop::None, r.box = false, r.findBackdrop = true, r.findBox = true, add(r);
    r = Row("PaintWhole over a held frame", FrameWay::PaintWhole), r.held = Held::ThisNumberLaid;
    r.objectsCanBeMade = false, add(r);
    return rows;
}

INSTANTIATE_TEST_SUITE_P(States, Planner, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<PlanRow>& info) {
                             return "Row" + std::to_string(info.index);
                         });

}  // namespace
