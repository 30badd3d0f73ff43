// The whole-file analysis: a first decoder pass writes the song's seek table, a second feeds
// the analysis block by block; the finished record is edited by the options, saved, handed to
// the caller and checked by loading it back.
#include "songanalysis/songanalysis_driver.h"

#include "orvsys/orvconfig.h"
#include "orvsys/orvfixed.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr u32 kCustomFftSize = 1024;
constexpr u32 kSeekPassBlocksPerDot = 2000;

struct DecoderDeleter {
    void operator()(decoder_struct *d) const { decoder_destroy(d); }
};
using Decoder = std::unique_ptr<decoder_struct, DecoderDeleter>;

using Record = songanalysis_ownedRecord;

bool quitRequested(const volatile int *quit) {
    return quit != nullptr && *quit == 1;
}

Record makeRecord(songanalysis_quality q) {
    const bool custom = q == SONGANALYSIS_QUALITY_CUSTOM;
    return Record(songanalysis_new(q, SONGANALYSIS_MODE_OFFLINE, SONGANALYSIS_FEATURE_ALL,
                                   custom ? orv::kAnalysisFrameSize : 0, custom ? kCustomFftSize : 0));
}

// A decoder for this build's analysis rate delivering blocks of one analysis frame; null when
// it cannot be made (the message is printed).
Decoder makeDecoder(u32 blockFrames) {
    Decoder d(decoder_new(static_cast<s32>(orv::kAnalysisSampleRate), 0, blockFrames));
    if (d == nullptr) std::printf("\n *** Error initializing decoder ***\n");
    return d;
}

struct SeekPass {
    songanalysis_error error;
    u32 durationInMs;
};

// Decodes the whole file once in seek-table mode, so that closing the decoder writes the
// seek-table file; natively seekable files need none. Returns the decoder's length.
SeekPass buildSeekTable(const char *audioFileName, const char *seekFileName, u32 blockFrames,
                        const volatile int *quit) {
    Decoder d = makeDecoder(blockFrames);
    if (d == nullptr) return {SONGANALYSIS_ERROR_FILEERROR, 0};
    const decoder_error opened =
        decoder_open(d.get(), audioFileName, DECODER_MODE_BUILDSEEK, seekFileName, 1, SRC_QUALITY_LOW);
    if (opened != DECODER_ERROR_NOERROR) return {songanalysis_decoderOpenError(opened, true), 0};
    if (d->seekStatus == DECODER_SEEK_NATIVELY_SEEKABLE) {
        std::printf("\n *** building seek table skipped***\n");
    } else {
        std::printf("\n *** building seek table ***\n");
        // The pass delivers no samples; the room is what a block could hold all the same.
        std::array<s16, size_t{2} * kDecoderMaxFrameSize> scratch;
        for (u32 blocks = 1;; ++blocks) {
            s32 frames = static_cast<s32>(blockFrames);
            if (decoder_getSample(d.get(), scratch.data(), &frames) != DECODER_ERROR_NOERROR) break;
            if (blocks % kSeekPassBlocksPerDot == 0) std::printf(".");
            if (quitRequested(quit)) break;
        }
    }
    return {SONGANALYSIS_ERROR_NOERROR, d->durationInMs};
}

s32 bitRateOf(const decoder_struct *d) {
    return d->averageBitRate > 0.0f ? orv::truncSat32(d->averageBitRate) : d->bitRate;
}

void finishSong(songanalysis_struct *sa, const decoder_struct *d,
                const songanalysis_options_struct &options) {
    std::printf("\n[sa] finalizing...");
    std::array<s32, 16> anchors{};
    const s32 n = songanalysis_anchorFrames(options, sa->inputSampleRate, sa->frameSize, anchors);
    songanalysis_finalize(sa, anchors.data(), n, options.gridMode == 2);
    songanalysis_applyBeatEdits(sa, options);
    if (options.gridMode == 1) songanalysis_setFixedBPM(sa, options.bpm);
    sa->isNativelySeekable = d->seekStatus == DECODER_SEEK_NATIVELY_SEEKABLE ? 1 : 0;
    sa->bitRate = bitRateOf(d);
}

songanalysis_error saveSong(songanalysis_struct *sa, const songanalysis_filenames_struct *names,
                            const songanalysis_options_struct &options) {
    std::array<char, SONGANALYSIS_COMMENT_SIZE> comment{};
    songanalysis_makeComment(comment, "", songanalysis_commentOs(), options.commandLine);
    std::printf("SA comment = %s\n", comment.data());
    const songanalysis_error e =
        songanalysis_saveResults(sa, names, options.wfvResolutionMs, options.wfvScale, options.wfpScale,
                                 options.wfpSize, comment.data(), SONGANALYSIS_COMMENT_SIZE);
    if (e != SONGANALYSIS_ERROR_NOERROR) {
        std::printf("\n *** Error saving results (err=%d) ***\n", e);
        return e;
    }
    if (options.printInfo == 1) songanalysis_printSummary(sa, comment.data());
    return e;
}

// Checks the saved files and loads them back into the (closed) record.
void checkSavedFiles(songanalysis_struct *sa, const songanalysis_filenames_struct *names) {
    songanalysis_error e =
        songanalysis_validate(names->sar_path, names->sek_path, names->wfv_path, names->aud_path);
    if (e == SONGANALYSIS_ERROR_NOERROR)
        e = songanalysis_openAndLoadResults(sa, names->sar_path, names->wfv_path);
    if (e != SONGANALYSIS_ERROR_NOERROR) std::printf("WARNING output files may be invalid (err=%d)\n", e);
}

// Pass two: the analysis of every block, then the finish, the save and the hand-over. A quit
// request ends the run without a finish or a save; *saved tells which.
songanalysis_error analyseSong(songanalysis_struct *sa, decoder_struct *d, u32 seekPassMs,
                               const songanalysis_filenames_struct *names, songanalysis_struct *sa_,
                               const volatile int *quit, songanalysis_results_callback cbSendResults,
                               const songanalysis_options_struct &options, bool *saved) {
    const songanalysis_error opened =
        songanalysis_open(sa, SONGANALYSIS_FEATURE_ALL, static_cast<u32>(d->outputSampleRate),
                          std::max(seekPassMs, d->durationInMs), static_cast<u32>(d->numChannels),
                          options.bpm, SONGANALYSIS_GENRE_DEFAULT, nullptr);
    if (opened != SONGANALYSIS_ERROR_NOERROR) return opened;
    songanalysis_setUserInputMode(sa, static_cast<songanalysis_userinputmode>(options.bpmMode + 1));
    std::printf("\n *** analyzing ***\n");

    const songanalysis_feedResult fed =
        songanalysis_feedBlocks([d](s16 *out, s32 *frames) { return decoder_getSample(d, out, frames); },
                                [sa](const s16 *block) { songanalysis_process(sa, block, sa->frameSize); },
                                sa->frameSize, static_cast<u32>(d->numChannels), quit);
    if (fed.end == songanalysis_feedEnd::quit) return SONGANALYSIS_ERROR_NOERROR;

    finishSong(sa, d, options);
    if (const songanalysis_error e = saveSong(sa, names, options); e != SONGANALYSIS_ERROR_NOERROR) return e;
    *saved = true;
    if (sa_ != nullptr) {
        std::memcpy(sa_, sa, sizeof(songanalysis_struct));
        sa_->private_ = 0;
    }
    if (cbSendResults != nullptr) cbSendResults(sa);
    std::printf("done.\n");
    return SONGANALYSIS_ERROR_NOERROR;
}

} // namespace

songanalysis_error songanalysis_processFile(const char *audioFileName,
                                            const songanalysis_filenames_struct *resultFileNames,
                                            songanalysis_quality q, songanalysis_struct *sa_,
                                            const volatile int *quit,
                                            songanalysis_results_callback cbSendResults,
                                            const songanalysis_options_struct *options) {
    if (quitRequested(quit)) return SONGANALYSIS_ERROR_NOERROR;
    const songanalysis_options_struct opts = options != nullptr ? *options : songanalysis_defaultOptions();
    std::printf("\n ********** songanalysis_processFile ******************** \n");
    if (resultFileNames == nullptr) return SONGANALYSIS_ERROR_FILEERROR;

    Record sa = makeRecord(q);
    if (sa == nullptr) {
        std::printf("\n *** Error initializing SA ***\n");
        return SONGANALYSIS_ERROR_OUTOFMEMORY;
    }
    const u32 blockFrames = sa->frameSize;
    const SeekPass seekPass = buildSeekTable(audioFileName, resultFileNames->sek_path, blockFrames, quit);
    if (seekPass.error != SONGANALYSIS_ERROR_NOERROR) return seekPass.error;

    bool saved = false;
    if (!quitRequested(quit)) {
        Decoder d = makeDecoder(blockFrames);
        if (d == nullptr) return SONGANALYSIS_ERROR_FILEERROR;
        const decoder_error opened =
            decoder_open(d.get(), audioFileName, DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_LOW);
        if (opened != DECODER_ERROR_NOERROR) return songanalysis_decoderOpenError(opened, false);
        const songanalysis_error e = analyseSong(sa.get(), d.get(), seekPass.durationInMs, resultFileNames,
                                                 sa_, quit, cbSendResults, opts, &saved);
        if (e != SONGANALYSIS_ERROR_NOERROR) return e;
    }
    songanalysis_close(sa.get());
    // A run cut short saved nothing: files of an earlier run are not this run's to judge.
    if (saved) checkSavedFiles(sa.get(), resultFileNames);
    sa.reset();
    std::printf(quitRequested(quit) ? "\n[sa] QUIT!\n" : "\n[sa] DONE!\n");
    return SONGANALYSIS_ERROR_NOERROR;
}
