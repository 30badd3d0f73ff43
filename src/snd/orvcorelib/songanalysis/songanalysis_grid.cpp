// Where an opened record keeps its grids, and the conversions between milliseconds and
// analysis frames that every grid position goes through.
#include "songanalysis/songanalysis_handle.h"

#include "orvsys/orvfixed.h"

namespace {

songanalysis_grid noGrid() {
    return songanalysis_grid{nullptr, nullptr, 0};
}

} // namespace

songanalysis_grid songanalysis_beatGrid(songanalysis_handle *h) {
    if (h == nullptr) return noGrid();
    if (h->use == songanalysis_use::analysis && h->beatTracker != nullptr)
        return songanalysis_grid{h->beatTracker->beats, &h->beatTracker->beatSize, BEATTRACKER_MAX_BEATS};
    if (h->use == songanalysis_use::results && h->loadedBeats != nullptr)
        return songanalysis_grid{h->loadedBeats, &h->loadedBeatSize, SONGANALYSIS_MAX_BEATS};
    return noGrid();
}

songanalysis_grid songanalysis_downbeatGrid(songanalysis_handle *h) {
    if (h == nullptr) return noGrid();
    if (h->use == songanalysis_use::analysis && h->beatTracker != nullptr)
        return songanalysis_grid{h->beatTracker->downbeats, &h->beatTracker->downbeatSize,
                                 BEATTRACKER_MAX_DOWNBEATS};
    if (h->use == songanalysis_use::results && h->loadedDownbeats != nullptr)
        return songanalysis_grid{h->loadedDownbeats, &h->loadedDownbeatSize, SONGANALYSIS_MAX_DOWNBEATS};
    return noGrid();
}

u32 songanalysis_msToFrame(const songanalysis_struct *sa, u32 ms) {
    const float frames = static_cast<float>(ms) / 1000.0f * static_cast<float>(sa->inputSampleRate) /
                         static_cast<float>(sa->frameSize);
    return orv::truncSatU32(frames + 0.5f);
}

float songanalysis_frameToMsExact(const songanalysis_struct *sa, float frames) {
    return frames * 1000.0f * static_cast<float>(sa->frameSize) / static_cast<float>(sa->inputSampleRate);
}

u32 songanalysis_frameToMs(const songanalysis_struct *sa, u32 frame) {
    return orv::truncSatU32(songanalysis_frameToMsExact(sa, static_cast<float>(frame)) + 0.5f);
}
