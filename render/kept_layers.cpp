// The per-size store of learnt layers.
#include "render/kept_layers.h"

#include <new>
#include <utility>

#include "image/packed_dib.h"
#include "render/layer_learning.h"

namespace {

// A backdrop is a handful of runs per row (background, sector, background);
// anything much busier is not kept.
constexpr size_t MaxBackdropRunsPerRow = 8;

}  // namespace

const ByteRuns* KeptLayers::backdrop(int32_t angle) const
{
    if (angle < 1 || angle > MaxAngle || backdrops_[angle].empty()) return nullptr;
    return &backdrops_[angle];
}

bool KeptLayers::backdropWanted(int32_t angle) const
{
    return angle >= 1 && angle <= MaxAngle && backdrops_[angle].empty() && backdropCount_ < MaxBackdrops &&
           SideCanBeLearnt(width_, height_);
}

bool KeptLayers::backdropRunsOf(const uint8_t* pixels, ByteRuns* runs) const
{
    const size_t bytes = static_cast<size_t>(height_) * static_cast<size_t>(DibStride(width_, 24));
    return RunsOfBytes(pixels, bytes, MaxBackdropRunsPerRow * static_cast<size_t>(height_), runs);
}

void KeptLayers::learnBackdrop(int32_t angle, ByteRuns runs)
{
    if (!backdropWanted(angle) || runs.empty()) return;
    backdrops_[angle] = std::move(runs);
    ++backdropCount_;
}

const ByteRuns* KeptLayers::learnOverlay()
{
    if (!overlayKnown_) {
        try {
            ByteRuns runs;
            if (!FindLeaderOverlay(width_, height_, &runs)) return nullptr;
            overlay_ = std::move(runs);
            overlayKnown_ = true;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return &overlay_;
}

KeptLayers::KeptNumber* KeptLayers::kept(int32_t number)
{
    for (KeptNumber& kept : numbers_)
        if (kept.number == number) return &kept;
    return nullptr;
}

const KeptLayers::KeptNumber* KeptLayers::kept(int32_t number) const
{
    return const_cast<KeptLayers*>(this)->kept(number);
}

const RECT* KeptLayers::numberBox(int32_t number) const
{
    const KeptNumber* known = kept(number);
    return known ? &known->box : nullptr;
}

const RECT* KeptLayers::learnNumberBox(int32_t number)
{
    if (const KeptNumber* known = kept(number)) return &known->box;
    if (numbers_.size() >= MaxNumbers) return nullptr;
    try {
        KeptNumber learnt = {number, {}};
        if (!FindNumberBox(width_, height_, number, &learnt.box)) return nullptr;
        numbers_.push_back(learnt);
        return &numbers_.back().box;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
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

bool KeptLayers::followTextSmoothing(const TextSmoothing& now)
{
    if (now == smoothing_) return false;
    forgetNumbers();
    smoothing_ = now;
    return true;
}

void KeptLayers::forgetNumbers()
{
    numbers_.clear();
    pictures_.forget();
}

size_t KeptLayers::keptBytes() const
{
    size_t bytes = overlay_.capacity() * sizeof(ByteRun) + numbers_.capacity() * sizeof(KeptNumber);
    bytes += pictures_.keptBytes();
    for (const ByteRuns& runs : backdrops_) bytes += runs.capacity() * sizeof(ByteRun);
    return bytes;
}
