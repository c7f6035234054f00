// The per-size store of learnt layers: what is kept, and whether there is
// room for more.
#include "render/kept_layers.h"

#include <utility>

#include "render/layer_learning.h"

const ByteRuns* KeptLayers::backdrop(int32_t angle) const
{
    if (angle < 1 || angle > MaxAngle || backdrops_[angle].empty()) return nullptr;
    return &backdrops_[angle];
}

bool KeptLayers::wantsBackdrop(int32_t angle) const
{
    return angle >= 1 && angle <= MaxAngle && backdrops_[angle].empty() && backdropCount_ < MaxBackdrops &&
           SideCanBeLearnt(width_, height_);
}

void KeptLayers::keepBackdrop(int32_t angle, ByteRuns runs)
{
    if (!wantsBackdrop(angle) || runs.empty()) return;
    backdrops_[angle] = std::move(runs);
    ++backdropCount_;
}

void KeptLayers::keepOverlay(ByteRuns runs)
{
    if (overlayKnown_) return;
    overlay_ = std::move(runs);
    overlayKnown_ = true;
}

const KeptLayers::KeptNumber* KeptLayers::kept(int32_t number) const
{
    for (const KeptNumber& kept : numbers_)
        if (kept.number == number) return &kept;
    return nullptr;
}

const RECT* KeptLayers::numberBox(int32_t number) const
{
    const KeptNumber* known = kept(number);
    return known ? &known->box : nullptr;
}

bool KeptLayers::wantsNumberBox(int32_t number) const
{
    return !kept(number) && numbers_.size() < MaxNumbers && SideCanBeLearnt(width_, height_);
}

void KeptLayers::keepNumberBox(int32_t number, const RECT& box)
{
    if (!wantsNumberBox(number)) return;
    numbers_.push_back({number, box});
}

KeptLayers::Laying KeptLayers::laying(int32_t number, bool overOneGrey) const
{
    const KeptNumber* known = kept(number);
    if (!known) return Laying::Unchecked;
    return overOneGrey ? known->overOneGrey : known->overGreys;
}

void KeptLayers::keepLaying(int32_t number, bool overOneGrey, bool givesGdisFrame)
{
    if (KeptNumber* known = kept(number))
        (overOneGrey ? known->overOneGrey : known->overGreys) =
            givesGdisFrame ? Laying::GivesGdisFrame : Laying::DiffersFromGdi;
}

void KeptLayers::keepPicture(int32_t number, NumberPicture picture) { pictures_.add(number, std::move(picture)); }

void KeptLayers::forgetNumbers(const TextSmoothing& now)
{
    numbers_.clear();
    pictures_.forget();
    smoothing_ = now;
}

size_t KeptLayers::keptBytes() const
{
    size_t bytes = overlay_.capacity() * sizeof(ByteRun) + numbers_.capacity() * sizeof(KeptNumber);
    bytes += pictures_.keptBytes();
    for (const ByteRuns& runs : backdrops_) bytes += runs.capacity() * sizeof(ByteRun);
    return bytes;
}
