#include "Conversions.hpp"

#include <algorithm>

void Conversions::request(const CatalogueClip& clip) {
    auto& progress = progress_[clip.id];
    // A repeated request does not restart a conversion already under way.
    if (!progress.requestedAt)
        progress.requestedAt = clock_.now();
}

void Conversions::prod(const CatalogueClip& clip) {
    auto& progress = progress_[clip.id];
    if (!progress.proddedAt)
        progress.proddedAt = clock_.now();
}

Conversions::State Conversions::state(const CatalogueClip& clip) const {
    const auto found = progress_.find(clip.id);
    if (found == progress_.end() || !found->second.requestedAt)
        return State::notRequested;
    const auto& progress = found->second;
    if (neverReady(clip))
        return State::converting;
    double readyAt = *progress.requestedAt + delayOf(clip);
    if (needsProd(clip)) {
        if (!progress.proddedAt)
            return State::converting;
        readyAt = std::max(*progress.requestedAt, *progress.proddedAt + options_.prodDelay);
    } else if (progress.proddedAt) {
        readyAt = std::min(
            readyAt, std::max(*progress.requestedAt, *progress.proddedAt + options_.prodDelay));
    }
    return clock_.now() >= readyAt ? State::ready : State::converting;
}

double Conversions::wavSeconds(const CatalogueClip& clip) const {
    return clip.wavSeconds.value_or(options_.wavSeconds);
}

double Conversions::delayOf(const CatalogueClip& clip) const {
    // The command line wins over the catalogue, which wins over the default.
    for (auto rule = options_.delayRules.rbegin(); rule != options_.delayRules.rend(); ++rule)
        if (rule->clips.contains(clip.id))
            return rule->seconds;
    return clip.convertDelay.value_or(options_.convertDelay);
}

bool Conversions::neverReady(const CatalogueClip& clip) const {
    return clip.neverReady || options_.neverReady.contains(clip.id);
}

bool Conversions::needsProd(const CatalogueClip& clip) const {
    return clip.needsProd || options_.needsProd.contains(clip.id);
}
