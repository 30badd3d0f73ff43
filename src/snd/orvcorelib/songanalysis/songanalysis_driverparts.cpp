// The pieces of the whole-file driver: decoder failures as analysis errors, the options'
// anchors and beat edits, the block feed and the comment and summary of a save.
#include "songanalysis/songanalysis_driver.h"

#include "orvmath/orvmath.h"
#include "orvsys/orvconfig.h"
#include "orvsys/orvfixed.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

constexpr size_t kOptionListSize = 16;
constexpr u32 kBlocksPerProgressLine = 2000;

// The largest block the feed holds: the decoder's largest request in two channels.
constexpr size_t kMaxBlockSamples = size_t{2} * kDecoderMaxFrameSize;

bool quitRequested(const volatile int *quit) {
    return quit != nullptr && *quit == 1;
}

} // namespace

songanalysis_error songanalysis_decoderOpenError(decoder_error e, bool firstOpen) {
    switch (e) {
    case DECODER_ERROR_NOTSUPPORTED_NUMCHANS:
        return SONGANALYSIS_ERROR_NOTSUPPORTED_NUMCHANS;
    case DECODER_ERROR_NOTSUPPORTED_BITRATE:
        return SONGANALYSIS_ERROR_NOTSUPPORTED_BITRATE;
    case DECODER_ERROR_NOTSUPPORTED_SAMPLERATE:
        return SONGANALYSIS_ERROR_NOTSUPPORTED_SAMPLERATE;
    case DECODER_ERROR_NOTSUPPORTED_FILEFORMAT:
        return SONGANALYSIS_ERROR_NOTSUPPORTED_FILEFORMAT;
    case DECODER_ERROR_NOTSUPPORTED_CODECS:
        return SONGANALYSIS_ERROR_NOTSUPPORTED_CODECS;
    case DECODER_ERROR_CORRUPT:
        return firstOpen ? SONGANALYSIS_ERROR_FILECORRUPTED : SONGANALYSIS_ERROR_FILEERROR;
    default:
        return e >= -20 && e <= -11 ? SONGANALYSIS_ERROR_FILEFORMAT : SONGANALYSIS_ERROR_FILEERROR;
    }
}

s32 songanalysis_anchorFrames(const songanalysis_options_struct &options, u32 sampleRate, u32 frameSize,
                              std::array<s32, 16> &frames) {
    s32 n = 0;
    for (size_t i = 0; i < kOptionListSize && options.anchor[i] >= 0; ++i) {
        const float at = static_cast<float>(options.anchor[i]) / 1000.0f * static_cast<float>(sampleRate) /
                         static_cast<float>(frameSize);
        frames[static_cast<size_t>(n++)] = orv::truncSat32(at + 0.5f);
    }
    orvmath_sort_int32(frames.data(), 0, n);
    return n;
}

void songanalysis_applyBeatEdits(songanalysis_struct *sa, const songanalysis_options_struct &options) {
    for (size_t i = 0; i < kOptionListSize && options.beatsToAdd[i] > 0; ++i)
        songanalysis_addBeat(sa, static_cast<u32>(options.beatsToAdd[i]));
    for (size_t i = 0; i < kOptionListSize && options.beatsToRemove[i] > 0; ++i)
        songanalysis_removeBeat(sa, static_cast<u32>(options.beatsToRemove[i]));
}

songanalysis_feedResult songanalysis_feedBlocks(const songanalysis_blockReader &read,
                                                const songanalysis_blockSink &sink, u32 blockFrames,
                                                u32 channels, const volatile int *quit) {
    songanalysis_feedResult result{songanalysis_feedEnd::error, DECODER_ERROR_ERROR, 0};
    const size_t samples = size_t{blockFrames} * channels;
    if (blockFrames == 0 || channels == 0 || samples > kMaxBlockSamples) return result;
    std::array<s16, kMaxBlockSamples> block{};
    const s32 wanted = static_cast<s32>(blockFrames);
    for (;;) {
        s32 got = wanted;
        const decoder_error e = read(block.data(), &got);
        got = std::clamp(got, 0, wanted);
        result.lastError = e;
        if (got < wanted && e != DECODER_ERROR_ENDOFFILE)
            std::printf("\n[sa] under run %d (err=%d)\n", got, e);
        if (got > 0) {
            // The frames the reader did not deliver hold the previous block: they are not song.
            std::fill(block.begin() + static_cast<ptrdiff_t>(size_t(got) * channels),
                      block.begin() + static_cast<ptrdiff_t>(samples), s16{0});
            sink(block.data());
            ++result.blocks;
            if (result.blocks % kBlocksPerProgressLine == 0)
                std::printf("[sa] processing frame = %u\r", result.blocks);
        }
        if (quitRequested(quit)) {
            result.end = songanalysis_feedEnd::quit;
        } else if (e == DECODER_ERROR_ENDOFFILE) {
            result.end = songanalysis_feedEnd::endOfFile;
        } else if (e != DECODER_ERROR_NOERROR) {
            result.end = songanalysis_feedEnd::error;
        } else if (got == 0) {
            // A reader that neither delivers nor reports would keep the loop turning forever.
            result.end = songanalysis_feedEnd::stalled;
        } else {
            continue;
        }
        return result;
    }
}

const char *songanalysis_commentOs() {
    return orv::kDeviceConfig ? "Linux" : "MAC";
}

void songanalysis_makeComment(std::array<char, SONGANALYSIS_COMMENT_SIZE> &comment, const char *prefix,
                              const char *os, const char *commandLine) {
    comment.fill('\0');
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    char timeText[64] = "";
    if (gmtime_r(&now, &utc) == nullptr || asctime_r(&utc, timeText) == nullptr) timeText[0] = '\0';
    std::snprintf(comment.data(), comment.size(), "%stime = %s, os = %s, options =%s", prefix, timeText, os,
                  commandLine != nullptr ? commandLine : "");
}

void songanalysis_printSummary(const songanalysis_struct *sa, const char *comment) {
    std::printf("*******************************\nlen in ms = %d\nbitrate = %d\nbpm = %.2f\ncomment:\n%s\n"
                "*******************************\n",
                sa->durationInMs, sa->bitRate, static_cast<double>(sa->beatsPerMinute), comment);
}
