// trackscan: analyses one audio file for the unit and leaves its result, seek-table and
// waveform files in the drive's analysis folder; also answers a few informational switches
// that deckhost asks at start-up.
//
//   trackscan audioFileName rootFolder songId [options]
//   trackscan --version | --buildtime | --supports-hash | --error-code | --sizeof | --help
#include "trackscan_info.h"
#include "trackscan_options.h"
#include "trackscan_paths.h"
#include "trackscan_post.h"

#include "songanalysis/songanalysis.h"

#include <cstdio>
#include <ctime>
#include <span>

namespace {

songanalysis_filenames_struct resultFileNames{};
char command[TRACKSCAN_COMMAND_SIZE] = "";

bool isAbsolute(const char *path) {
    return path[0] == '/';
}

double cpuSeconds() {
    const std::clock_t used = std::clock();
    if (used == static_cast<std::clock_t>(-1)) return 0.0;
    return static_cast<double>(static_cast<unsigned long>(used)) / 1000000.0;
}

// idAndOptions: the song id, then the option arguments.
int analyse(const char *audioFile, const char *rootFolder, std::span<char *const> idAndOptions) {
    const char *songId = idAndOptions[0];
    const std::span<char *const> options = idAndOptions.subspan(1);
    songanalysis_options_struct o = trackscan_initOptions();
    // The song id stands where the parser expects the program name.
    const trackscan_parsed parsed = trackscan_parseOptions(idAndOptions, &o);
    trackscan_applyMode(parsed, &o);
    if (o.product != 4 && o.product != 8) {
        std::printf("invalid product %d, use -p4 or -p8\n", o.product);
        return 0;
    }
    trackscan_applyWaveformDefaults(&o);
    trackscan_collectCommand(options, command);
    o.commandLine = command;

    if (!isAbsolute(rootFolder) || !isAbsolute(audioFile)) {
        std::fputs("Please use absolute path\n", stderr);
        return 1;
    }
    // The id names a sub-folder and files of the analysis folder; an id that would reach
    // outside it, or name nothing, is no id.
    if (!trackscan_songIdUsable(songId)) {
        trackscan_printShortUsage(stderr);
        return 1;
    }

    const trackscan_paths paths(rootFolder, o.product, songId, audioFile, &resultFileNames);
    if (trackscan_makeFolder(paths.folder()) == TRACKSCAN_MKDIR_WAIT_FAILED) return 1;

    std::printf("Starting analysis of '%s' (songid=%s)\n", audioFile, songId);
    const int result = songanalysis_processFile(audioFile, &resultFileNames, SONGANALYSIS_QUALITY_MID,
                                                nullptr, nullptr, send_results, &o);
    int status = trackscan_exitStatus(result);
    if (status == 0) status = trackscan_postStatus();
    std::printf("Analysis of '%s' completed (err = %i; CPU time used = %.1f s; data at %s).\n", audioFile,
                status, cpuSeconds(), rootFolder);
    return status;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 2 || argc == 3) {
        if (trackscan_answerSwitch(argv[1], stdout)) return 0;
    } else if (argc > 3) {
        return analyse(argv[1], argv[2], {argv + 3, static_cast<std::size_t>(argc - 3)});
    }
    trackscan_printShortUsage(stderr);
    return 1;
}
