// The handshake with the analysis program: it must write results of our analysis version and
// understand song hashes, or the songs it analyses would not load here.
#include "bgn/bgn_startup.h"

#include "orvsys/orvconfig.h"
#include "sys/childproc.h"

#include <cctype>
#include <cstdio>

namespace {

// Enough for a version number or the first line of an answer.
constexpr std::size_t kAnswerMax = 256;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Returns false, after the lines for a program that could not be run, when the pipe or the
// child cannot be made.
bool ask(const char *path, const char *question, std::string *answer) {
    const char *const args[] = {path, question, nullptr};
    if (sys_run_read_output(path, args, kAnswerMax, answer)) return true;
    std::perror("pipe");
    std::printf("It seems like trackscan is not installed at %s\n", path);
    return false;
}

} // namespace

bool bgn_parse_hex_version(const char *text, u32 *version) {
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && hexDigit(text[2]) >= 0) text += 2;
    if (hexDigit(*text) < 0) return false;
    u64 value = 0;
    for (; hexDigit(*text) >= 0; ++text) {
        value = value * 16 + static_cast<u64>(hexDigit(*text));
        if (value > 0xFFFFFFFFu) value = 0x100000000u; // stays beyond 32 bits without wrapping
    }
    *version = value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<u32>(value);
    return true;
}

bool bgn_hash_answer_ok(const std::string &answer) {
    return !answer.empty() && answer[0] == '2';
}

bgn_trackscan_outcome bgn_check_trackscan(const char *path) {
    std::string answer;
    if (!ask(path, "--version", &answer)) return BGN_TRACKSCAN_NOT_INSTALLED;
    u32 version = 0;
    if (!bgn_parse_hex_version(answer.c_str(), &version)) {
        std::printf("Warning: failed to compare deckhost/trackscan versions\n");
    } else if (version == orv::kAnalysisVersion) {
        std::printf("deckhost/trackscan have compatible versions of songanalysis (%.8x)\n", version);
    } else {
        std::printf("deckhost/trackscan do NOT have compatible versions of songanalysis (%.8x, %.8x)\n",
                    orv::kAnalysisVersion, version);
        return BGN_TRACKSCAN_OTHER_VERSION;
    }

    if (!ask(path, "--supports-hash", &answer)) return BGN_TRACKSCAN_NOT_INSTALLED;
    if (!bgn_hash_answer_ok(answer)) {
        std::printf("trackscan --supports-hash did not work as expected.\n"
                    "Your trackscan needs to be updated and recompiled.\n");
        return BGN_TRACKSCAN_NO_HASH;
    }
    return BGN_TRACKSCAN_COMPATIBLE;
}
