// trackscan's command line from untrusted bytes: NUL-separated arguments after a song id. The
// parse must stay inside the options record, the option text inside its buffer, and a song id
// accepted as usable must name a file directly inside its sub-folder of the analysis folder.
#include "trackscan_options.h"
#include "trackscan_paths.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kMaxArgs = 64;

std::vector<std::string> split(const uint8_t *data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size && args.size() <= kMaxArgs; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    return args;
}

void checkPaths(const char *songId) {
    if (!trackscan_songIdUsable(songId)) return;
    songanalysis_filenames_struct names{};
    const trackscan_paths paths("/root", 4, songId, "/song.mp3", &names);
    const std::string folder = std::string("/root/Quilo4_Database/analysis/") + std::string(songId, 2);
    if (paths.folder() != folder) std::abort();
    if (std::strncmp(names.sar_path, folder.c_str(), folder.size()) != 0) std::abort();
    if (std::strchr(names.sar_path + folder.size() + 1, '/') != nullptr) std::abort();
    if (std::string(songId, 2) == "..") std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool quiet = [] {
        opterr = 0;
        return std::freopen("/dev/null", "w", stdout) != nullptr;
    }();
    (void)quiet;
    std::vector<std::string> texts = split(data, size);
    checkPaths(texts[0].c_str());

    std::vector<char *> args;
    for (std::string &t : texts) args.push_back(t.data());
    verbose_flag = 0;
    songanalysis_options_struct o = trackscan_initOptions();
    const trackscan_parsed parsed = trackscan_parseOptions(args, &o);
    trackscan_applyMode(parsed, &o);
    trackscan_applyWaveformDefaults(&o);
    if (o.wfvResolutionMs < 1 || o.wfvResolutionMs > 1000 || o.wfvScale < 1 || o.wfvScale > 127) std::abort();
    if (o.wfpSize < 1 || o.wfpSize > 1000 || o.wfpScale < 1 || o.wfpScale > 127) std::abort();
    if (o.bpmMode < 0 || o.bpmMode > 1 || o.gridMode < 0 || o.gridMode > 2) std::abort();

    char command[TRACKSCAN_COMMAND_SIZE];
    trackscan_collectCommand(std::span<char *const>(args).subspan(1), command);
    if (std::strlen(command) >= sizeof command) std::abort();

    for (const std::string &t : texts) {
        const int v = arg2opt_i("x", t.c_str(), nullptr);
        if (v < -1) std::abort();
        if (v < 0) continue;
        // A value read must be the text itself: plain digits, at most leading zeros more.
        const std::size_t first = t.find_first_not_of('0');
        const std::string digits = first == std::string::npos ? "0" : t.substr(first);
        if (std::to_string(v) != digits) std::abort();
    }
    return 0;
}
