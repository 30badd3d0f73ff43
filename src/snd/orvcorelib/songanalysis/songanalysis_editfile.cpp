// Beat edits of an existing result file: load it, add and remove the listed beats, save it
// in place.
#include "songanalysis/songanalysis_driver.h"

#include <cstdio>

songanalysis_error songanalysis_editResultFile(const songanalysis_filenames_struct *resultFileNames,
                                               const songanalysis_options_struct *options) {
    if (resultFileNames == nullptr) return SONGANALYSIS_ERROR_FILEERROR;
    const songanalysis_options_struct opts = options != nullptr ? *options : songanalysis_defaultOptions();
    songanalysis_ownedRecord sa(songanalysis_new(SONGANALYSIS_QUALITY_MID, SONGANALYSIS_MODE_ONLINE,
                                                 SONGANALYSIS_FEATURE_BEATS, 0, 0));
    if (sa == nullptr) return SONGANALYSIS_ERROR_OUTOFMEMORY;
    std::printf("\n[sa] editing result file");
    const songanalysis_error loaded =
        songanalysis_openAndLoadResults(sa.get(), resultFileNames->sar_path, nullptr);
    if (loaded != SONGANALYSIS_ERROR_NOERROR) return loaded;

    songanalysis_applyBeatEdits(sa.get(), opts);
    std::array<char, SONGANALYSIS_COMMENT_SIZE> comment{};
    // Edits write the same system name from either build.
    songanalysis_makeComment(comment, "edited ", "Linux", opts.commandLine);
    // Without a waveform path the save rewrites the result file and touches no other file.
    const songanalysis_filenames_struct inPlace{nullptr, resultFileNames->sar_path, nullptr,
                                                resultFileNames->aud_path};
    const songanalysis_error saved =
        songanalysis_saveResults(sa.get(), &inPlace, opts.wfvResolutionMs, opts.wfvScale, opts.wfpScale,
                                 opts.wfpSize, comment.data(), SONGANALYSIS_COMMENT_SIZE);
    if (saved != SONGANALYSIS_ERROR_NOERROR) std::printf("\n *** Error saving results (err=%d) ***\n", saved);
    if (opts.printInfo == 1) songanalysis_printSummary(sa.get(), comment.data());
    std::printf("done.\n");
    // An edit that never reached the file is not done.
    return saved;
}
