// A record and its private state share one allocation: the 112 stored bytes, then the
// state. The record's 4-byte slot holds a token derived from the record's own address, so
// only the record in front of its state resolves to it: a byte copy elsewhere in memory (a
// queue message, a result file read back) carries a token that does not match its address,
// and the copies that leave the process carry 0.
#include "songanalysis/songanalysis_handle.h"

#include "orvsys/debugmsg.h"
#include "orvsys/orvconfig.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

struct RecordBlock {
    songanalysis_struct record;
    songanalysis_handle handle;
};

u32 tokenOf(const songanalysis_struct *sa) {
    // A 64-bit mix of the address, folded to 32 bits; never 0, which marks "no state".
    u64 x = static_cast<u64>(reinterpret_cast<std::uintptr_t>(sa));
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 33;
    const u32 token = static_cast<u32>(x) ^ static_cast<u32>(x >> 32);
    return token != 0 ? token : 1u;
}

struct Sizes {
    u32 frameSize, fftSize;
};

bool isPowerOfTwo(u32 v) {
    return v != 0 && (v & (v - 1)) == 0;
}

// Frame and FFT size of a quality; false for an unknown quality or sizes the analysis cannot
// run with (the FFT frame, the tracker's onset band and a hop inside the frame).
bool sizesOf(songanalysis_quality quality, u32 frameSize, u32 fftSize, Sizes *out) {
    switch (quality) {
    case SONGANALYSIS_QUALITY_LOW:
        *out = {orv::kAnalysisFrameSize, 256};
        return true;
    case SONGANALYSIS_QUALITY_MID:
        *out = {orv::kAnalysisFrameSize, 512};
        return true;
    case SONGANALYSIS_QUALITY_HIGH:
        *out = {orv::kAnalysisFrameSize, 1024};
        return true;
    case SONGANALYSIS_QUALITY_CUSTOM:
        *out = {frameSize, fftSize};
        return isPowerOfTwo(fftSize) && fftSize >= BEATTRACKER_MIN_FFT_SIZE && fftSize <= FFTR1D_MAX_SIZE &&
               frameSize >= 1 && frameSize <= fftSize;
    }
    return false;
}

} // namespace

songanalysis_handle *songanalysis_getHandle(const songanalysis_struct *sa) {
    if (sa == nullptr || sa->private_ == 0 || sa->private_ != tokenOf(sa)) return nullptr;
    auto *block = reinterpret_cast<RecordBlock *>(const_cast<songanalysis_struct *>(sa));
    return block->handle.owner == sa ? &block->handle : nullptr;
}

songanalysis_struct *songanalysis_new(songanalysis_quality quality, songanalysis_mode mode, u32 features,
                                      u32 frameSize, u32 fftSize) {
    Sizes sizes{};
    if (!sizesOf(quality, frameSize, fftSize, &sizes)) return nullptr;
    auto *block = static_cast<RecordBlock *>(std::calloc(1, sizeof(RecordBlock)));
    if (block == nullptr) return nullptr;
    songanalysis_handle &h = block->handle;
    // The working memory of an analysis is made when a song is opened for analysis, so that
    // records that only load results stay small.
    h.rpg = replaygain_new();
    if (h.rpg == nullptr) {
        std::free(block);
        return nullptr;
    }
    h.fftSize = sizes.fftSize;
    h.wfvHeaderSize = 4;
    h.wfvResolution = 5;
    h.use = songanalysis_use::closed;
    h.userInputMode = USERINPUTMODE_IGNORE;

    songanalysis_struct &sa = block->record;
    sa.quality = quality;
    sa.mode = mode;
    sa.globalFeatures = features;
    sa.inputSampleRate = orv::kAnalysisSampleRate;
    sa.frameSize = sizes.frameSize;
    sa.fftSize = sizes.fftSize;
    sa.gainStruct.refGain = h.rpg->refGain;
    sa.bitRate = -1;
    sa.durationInMs = -1;
    h.owner = &sa;
    sa.private_ = tokenOf(&sa);
    debugmsg("\nsa: fixed\n");
    return &sa;
}

void songanalysis_destroy(songanalysis_struct *sa) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return;
    songanalysis_close(sa);
    beattracker_destroy(h->beatTracker);
    fftr1dola_free(h->fft);
    std::free(h->fftBuffer);
    replaygain_destroy(h->rpg);
    sa->private_ = 0;
    h->owner = nullptr;
    std::free(reinterpret_cast<RecordBlock *>(sa));
}
