#include "trackscan_info.h"

#include "songanalysis/songanalysis.h"

#include <algorithm>
#include <cstring>
#include <iterator>

const char TRACKSCAN_USAGE_SHORT[] = "usage: trackscan audioFileName rootFolder songId\n"
                                     "             or\n"
                                     "       trackscan --help\n";

const char TRACKSCAN_USAGE_LONG[] =
    "usage: trackscan audioFileName rootFolder songId\n"
    "             or\n"
    "       trackscan --version\n"
    "             or\n"
    "       trackscan --error-code\n"
    "             or\n"
    "       trackscan --help\n"
    "\n\n"
    "example: trackscan \"e:\\audio.mp3\" \"e:\" \"FE66E7B1E7D1C4B8AAA2FD5BB8B71A39\"\n"
    "\n\n";

namespace {

constexpr const char *months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct ErrorName {
    songanalysis_error error;
    const char *name;
};

// The errors an analysis run can end with, as "--error-code" lists them.
constexpr ErrorName kErrorNames[] = {
    {SONGANALYSIS_ERROR_OUTOFRANGE, "SONGANALYSIS_ERROR_OUTOFRANGE"},
    {SONGANALYSIS_ERROR_NOTSUPPORTED_NUMCHANS, "SONGANALYSIS_ERROR_NOTSUPPORTED_NUMCHANS"},
    {SONGANALYSIS_ERROR_NOTSUPPORTED_BITRATE, "SONGANALYSIS_ERROR_NOTSUPPORTED_BITRATE"},
    {SONGANALYSIS_ERROR_NOTSUPPORTED_SAMPLERATE, "SONGANALYSIS_ERROR_NOTSUPPORTED_SAMPLERATE"},
    {SONGANALYSIS_ERROR_NOTSUPPORTED_FILEFORMAT, "SONGANALYSIS_ERROR_NOTSUPPORTED_FILEFORMAT"},
    {SONGANALYSIS_ERROR_NOTSUPPORTED_CODECS, "SONGANALYSIS_ERROR_NOTSUPPORTED_CODECS"},
    {SONGANALYSIS_ERROR_FILECORRUPTED, "SONGANALYSIS_ERROR_FILECORRUPTED"},
    {SONGANALYSIS_ERROR_FILEFORMAT, "SONGANALYSIS_ERROR_FILEFORMAT"},
    {SONGANALYSIS_ERROR_INCOMPATIBLEVERSION, "SONGANALYSIS_ERROR_INCOMPATIBLEVERSION"},
    {SONGANALYSIS_ERROR_FILEERROR, "SONGANALYSIS_ERROR_FILEERROR"},
    {SONGANALYSIS_ERROR_MODE, "SONGANALYSIS_ERROR_MODE"},
    {SONGANALYSIS_ERROR_NOTSUPPORTED, "SONGANALYSIS_ERROR_NOTSUPPORTED"},
    {SONGANALYSIS_ERROR_OUTOFMEMORY, "SONGANALYSIS_ERROR_OUTOFMEMORY"},
    {SONGANALYSIS_ERROR_ALREADYOPENED, "SONGANALYSIS_ERROR_ALREADYOPENED"},
    {SONGANALYSIS_ERROR_NOTOPENED, "SONGANALYSIS_ERROR_NOTOPENED"},
};

// The largest exit status an analysis error maps to (that of SONGANALYSIS_ERROR_ERROR cut).
constexpr int kMaxErrorStatus = 113;

int digit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : -1;
}

// The number of `count` digits at text, or -1 when one of them is no digit (a blank counts
// as 0, as in the compiler's padded day of the month).
int number(const char *text, int count, bool blankIsZero) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        int d = digit(text[i]);
        if (d < 0 && blankIsZero && text[i] == ' ') d = 0;
        if (d < 0) return -1;
        value = value * 10 + d;
    }
    return value;
}

void printErrorCodes(std::FILE *out) {
    std::fputs("\nError Code\n", out);
    for (const ErrorName &e : kErrorNames)
        std::fprintf(out, " %3d - %s\n", trackscan_exitStatus(e.error), e.name);
}

} // namespace

int trackscan_exitStatus(int analysisResult) {
    if (analysisResult >= 0) return analysisResult;
    return std::min(64 - analysisResult, kMaxErrorStatus);
}

int trackscan_buildDate(const char *date) {
    if (std::strlen(date) != 11 || date[3] != ' ' || date[6] != ' ') return 0;
    const auto month = std::find_if(std::begin(months), std::end(months),
                                    [&](const char *m) { return std::strncmp(m, date, 3) == 0; });
    const int day = number(date + 4, 2, true);
    const int year = number(date + 7, 4, false);
    if (month == std::end(months) || day < 0 || year < 0) return 0;
    return year * 10000 + static_cast<int>(month - std::begin(months) + 1) * 100 + day;
}

int trackscan_buildTime(const char *time) {
    if (std::strlen(time) != 8 || time[2] != ':' || time[5] != ':') return 0;
    const int hour = number(time, 2, false);
    const int minute = number(time + 3, 2, false);
    const int second = number(time + 6, 2, false);
    if (hour < 0 || minute < 0 || second < 0) return 0;
    return hour * 10000 + minute * 100 + second;
}

bool trackscan_answerSwitch(const char *arg, std::FILE *out) {
    if (std::strcmp(arg, "--version") == 0) {
        std::fprintf(out, "%.8x", static_cast<unsigned>(SONGANALYSIS_VERSION));
    } else if (std::strcmp(arg, "--buildtime") == 0) {
        std::fprintf(out, "%d-%d", trackscan_buildDate(__DATE__), trackscan_buildTime(__TIME__));
    } else if (std::strcmp(arg, "--supports-hash") == 0) {
        std::fputs("2\n", out);
    } else if (std::strcmp(arg, "--error-code") == 0) {
        printErrorCodes(out);
    } else if (std::strcmp(arg, "--sizeof") == 0) {
        std::fprintf(out, "size of wfv = %d, size of sa = %d\n",
                     static_cast<int>(sizeof(songanalysis_wfv_struct)),
                     static_cast<int>(sizeof(songanalysis_struct)));
    } else if (std::strcmp(arg, "--help") == 0) {
        std::fputs(TRACKSCAN_USAGE_LONG, out);
    } else {
        return false;
    }
    return true;
}

void trackscan_printShortUsage(std::FILE *err) {
    std::fputs(TRACKSCAN_USAGE_SHORT, err);
}
