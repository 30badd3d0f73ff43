#include "trackscan_options.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <vector>

int verbose_flag = 0;

namespace {

// Long options without a short form return these.
enum : int {
    kWfvScale = 256,
    kWfpScale,
    kWfpLength,
};

const option long_options[] = {
    {"verbose", no_argument, &verbose_flag, 1},
    {"brief", no_argument, &verbose_flag, 0},
    {"bpm", required_argument, nullptr, 'b'},
    {"bpm-mode", required_argument, nullptr, 'm'},
    {"grid-mode", required_argument, nullptr, 'g'},
    {"anchor", required_argument, nullptr, 'n'},
    {"add-beat", required_argument, nullptr, 'a'},
    {"remove-beat", required_argument, nullptr, 'r'},
    {"wfv-scale", required_argument, nullptr, kWfvScale},
    {"wfv-resolution", required_argument, nullptr, 'w'},
    {"wfp-scale", required_argument, nullptr, kWfpScale},
    {"wfp-length", required_argument, nullptr, kWfpLength},
    {"product", required_argument, nullptr, 'p'},
    {"fast", required_argument, nullptr, 'f'},
    {"info", required_argument, nullptr, 'i'},
    {nullptr, 0, nullptr, 0},
};

constexpr const char *kShortOptions = "a:b:n:r:p:ifg:m:w:v";

constexpr trackscan_range kBpmModeRange{0, 1};
constexpr trackscan_range kGridModeRange{0, 2};
constexpr trackscan_range kScaleRange{0, 127};
constexpr trackscan_range kResolutionRange{1, 1000};
constexpr trackscan_range kProfileLengthRange{0, 1000};

constexpr float kBpmMin = 40.0f;
constexpr float kBpmMax = 300.0f;

// -1 for a text that is not all digits or does not fit an int.
int readDecimal(const char *text) {
    long long value = 0;
    for (const char *c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return -1;
        value = value * 10 + (*c - '0');
        if (value > INT_MAX) return -1;
    }
    return static_cast<int>(value);
}

// A list entry in the next free slot; a full list keeps its entries.
void appendEntry(s32 (&list)[TRACKSCAN_LIST_SIZE], std::size_t *count, s32 value) {
    if (*count < TRACKSCAN_LIST_SIZE) list[(*count)++] = value;
}

float readBpm(const char *text) {
    const float bpm = std::strtof(text, nullptr);
    if (verbose_flag) std::printf("option bpm = %f\n", bpm);
    // A value that is not a number fails both tests and passes silently.
    if (bpm < kBpmMin || bpm > kBpmMax)
        std::printf("ERROR: option bpm %f is out of range (40, 300)\n", static_cast<double>(bpm));
    return bpm;
}

} // namespace

int arg2opt_i(const char *name, const char *value, const trackscan_range *range) {
    const int v = readDecimal(value);
    if (verbose_flag) std::printf("option %s = %d\n", name, v);
    if (range == nullptr) return v;
    if (v > range->max || v < range->min) {
        std::printf("ERROR: option %s = %d is out of range (%d, %d)\n", name, v, range->min, range->max);
        return 0;
    }
    return v;
}

songanalysis_options_struct trackscan_initOptions() {
    songanalysis_options_struct o{};
    std::fill(std::begin(o.anchor), std::end(o.anchor), -1);
    std::fill(std::begin(o.beatsToAdd), std::end(o.beatsToAdd), -1);
    std::fill(std::begin(o.beatsToRemove), std::end(o.beatsToRemove), -1);
    o.product = 8;
    o.commandLine = "";
    return o;
}

trackscan_parsed trackscan_parseOptions(std::span<char *const> args, songanalysis_options_struct *o) {
    // The parser moves options ahead of other arguments; it works on a copy so that the caller's
    // order (and with it the option text) stays as given.
    std::vector<char *> argv(args.begin(), args.end());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(args.size());

    trackscan_parsed parsed{};
    std::size_t anchors = 0;
    std::size_t added = 0;
    std::size_t removed = 0;
    optind = 0; // a full restart of the parser's scan
    for (int c; (c = getopt_long(argc, argv.data(), kShortOptions, long_options, nullptr)) != -1;) {
        switch (c) {
        case 0: // verbose or brief: the table set the flag
            break;
        case 'v':
            verbose_flag = 1;
            break;
        case 'b':
            o->bpm = readBpm(optarg);
            parsed.analysisOption = true;
            break;
        case 'm':
            o->bpmMode = arg2opt_i("bpm-mode", optarg, &kBpmModeRange);
            parsed.analysisOption = true;
            break;
        case 'g':
            o->gridMode = arg2opt_i("grid-mode", optarg, &kGridModeRange);
            parsed.analysisOption = true;
            break;
        case 'n':
            appendEntry(o->anchor, &anchors, arg2opt_i("anchor", optarg, nullptr));
            parsed.analysisOption = true;
            break;
        case 'a':
            appendEntry(o->beatsToAdd, &added, arg2opt_i("add-beat", optarg, nullptr));
            parsed.editRequested = true;
            break;
        case 'r':
            appendEntry(o->beatsToRemove, &removed, arg2opt_i("remove-beat", optarg, nullptr));
            parsed.editRequested = true;
            break;
        case kWfvScale:
            o->wfvScale = static_cast<u32>(arg2opt_i("wfv-scale", optarg, &kScaleRange));
            parsed.analysisOption = true;
            break;
        case 'w':
            o->wfvResolutionMs = static_cast<u32>(arg2opt_i("wfv-resolution", optarg, &kResolutionRange));
            parsed.analysisOption = true;
            break;
        case kWfpScale:
            o->wfpScale = static_cast<u32>(arg2opt_i("wfp-scale", optarg, &kScaleRange));
            parsed.analysisOption = true;
            break;
        case kWfpLength:
            o->wfpSize = static_cast<u32>(arg2opt_i("wfp-length", optarg, &kProfileLengthRange));
            parsed.analysisOption = true;
            break;
        case 'p':
            o->product = arg2opt_i("product", optarg, nullptr);
            parsed.analysisOption = true;
            break;
        case 'f':
            // The short form takes no value; it asks for the fast mode as a plain switch.
            o->fastMode = optarg != nullptr ? arg2opt_i("fast", optarg, nullptr) : 1;
            parsed.analysisOption = true;
            break;
        case 'i':
            o->printInfo = 1;
            break;
        default:
            std::printf("unknown option %c\n", c);
            break;
        }
    }
    return parsed;
}

void trackscan_applyMode(const trackscan_parsed &parsed, songanalysis_options_struct *o) {
    if (parsed.analysisOption) {
        o->mode = 0;
        if (parsed.editRequested) std::printf("WARNING: edit mode ignored.\n");
    } else {
        o->mode = parsed.editRequested ? 1 : 0;
    }
}

void trackscan_applyWaveformDefaults(songanalysis_options_struct *o) {
    if (o->wfvScale == 0) o->wfvScale = 127;
    if (o->wfvResolutionMs == 0) o->wfvResolutionMs = 5;
    if (o->wfpSize == 0) o->wfpSize = 420;
    if (o->wfpScale == 0) o->wfpScale = 127;
}

void trackscan_collectCommand(std::span<char *const> options, std::span<char> command) {
    if (command.empty()) return;
    const std::size_t capacity = command.size() - 1;
    std::size_t used = 0;
    const auto append = [&](const char *text, std::size_t length) {
        const std::size_t n = std::min(length, capacity - used);
        std::memcpy(command.data() + used, text, n);
        used += n;
    };
    for (const char *arg : options) {
        append(" ", 1);
        append(arg, std::strlen(arg));
    }
    command[used] = '\0';
}
