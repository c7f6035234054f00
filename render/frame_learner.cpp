// What is kept, and when it may be: every guard of the kept route's learning
// is in this file.
#include "render/frame_learner.h"

#include <new>
#include <utility>

#include "render/frame_cache.h"

void LearnFromFrame(KeptFrameSize* kept, const FrameState& state, FrameFindings&& found)
{
    if (!kept) return;
    KeptLayers& layers = kept->layers;
    KeptSurface& surface = kept->surface;
    layers.keepSizeSeen();

    // Boxes, pictures and verdicts learnt under other text settings do not
    // hold now.
    if (layers.numbersLearntUnder() != state.smoothing) layers.forgetNumbers(state.smoothing);

    try {
        // A picture is GDI's number only when drawn with the number's font.
        for (NumberPicture& picture : found.pictures.take())
            if (picture.fontMade) layers.keepPicture(state.number, std::move(picture));
    } catch (const std::bad_alloc&) {
        // Room for the pictures could not be had: they are drawn again when needed.
    }

    // A verdict only from a check whose objects were all made.
    if (found.check != FrameFindings::Check::NotMade)
        layers.keepLaying(state.number, found.overOneGrey, found.check == FrameFindings::Check::GivesGdisFrame);

    // Nothing else from a frame in which an object could not be made.
    if (found.allObjectsMade) {
        if (found.backdrop) layers.keepBackdrop(state.angle, std::move(*found.backdrop));
        if (found.overlay) layers.keepOverlay(std::move(*found.overlay));
        if (found.box) layers.keepNumberBox(state.number, *found.box);
    }

    // The surface holds a known frame only when this one was made whole, its
    // backdrop and box kept (its overlay is GDI's own bytes or the kept ones).
    surface.holds = {};
    if (found.wholeFrame && layers.backdrop(state.angle) && layers.numberBox(state.number))
        surface.holds = {true, state.angle, state.number, found.laidWhole};
}

void ForgetWhatTextTaught(FrameCache& cache)
{
    cache.forEachSize([](KeptFrameSize& kept) {
        kept.layers.forgetNumbers();
        // It holds a number drawn as it may not be drawn now: reduced again whole.
        kept.surface.holds = {};
        kept.surface.reduction.forget();
    });
}
