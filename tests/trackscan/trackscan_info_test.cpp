// trackscan's informational switches, usage texts and exit statuses.
#include "trackscan_info.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// What trackscan_answerSwitch writes for arg, and whether it answered.
std::pair<bool, std::string> answer(const char *arg) {
    std::FILE *f = std::tmpfile();
    EXPECT_NE(f, nullptr);
    const bool answered = trackscan_answerSwitch(arg, f);
    std::string text;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    std::fclose(f);
    return {answered, text};
}

const char kErrorCodes[] = "\nError Code\n"
                           "  84 - SONGANALYSIS_ERROR_OUTOFRANGE\n"
                           "  82 - SONGANALYSIS_ERROR_NOTSUPPORTED_NUMCHANS\n"
                           "  81 - SONGANALYSIS_ERROR_NOTSUPPORTED_BITRATE\n"
                           "  80 - SONGANALYSIS_ERROR_NOTSUPPORTED_SAMPLERATE\n"
                           "  79 - SONGANALYSIS_ERROR_NOTSUPPORTED_FILEFORMAT\n"
                           "  78 - SONGANALYSIS_ERROR_NOTSUPPORTED_CODECS\n"
                           "  77 - SONGANALYSIS_ERROR_FILECORRUPTED\n"
                           "  76 - SONGANALYSIS_ERROR_FILEFORMAT\n"
                           "  75 - SONGANALYSIS_ERROR_INCOMPATIBLEVERSION\n"
                           "  74 - SONGANALYSIS_ERROR_FILEERROR\n"
                           "  69 - SONGANALYSIS_ERROR_MODE\n"
                           "  68 - SONGANALYSIS_ERROR_NOTSUPPORTED\n"
                           "  67 - SONGANALYSIS_ERROR_OUTOFMEMORY\n"
                           "  66 - SONGANALYSIS_ERROR_ALREADYOPENED\n"
                           "  65 - SONGANALYSIS_ERROR_NOTOPENED\n";

TEST(TrackscanInfo, SwitchesAnswerExactly) {
    struct Case {
        const char *arg;
        bool answered;
        std::string text;
    };
    const Case cases[] = {
        {"--version", true, "03010500"},
        {"--supports-hash", true, "2\n"},
        {"--sizeof", true, "size of wfv = 8, size of sa = 112\n"},
        {"--error-code", true, kErrorCodes},
        {"--help", true, TRACKSCAN_USAGE_LONG},
        {"--Version", false, ""},
        {"--versio", false, ""},
        {"--version ", false, ""},
        {"-version", false, ""},
        {"", false, ""},
    };
    for (const Case &c : cases) {
        const auto [answered, text] = answer(c.arg);
        EXPECT_EQ(answered, c.answered) << c.arg;
        EXPECT_EQ(text, c.text) << c.arg;
    }
}

TEST(TrackscanInfo, UsageTexts) {
    EXPECT_EQ(std::strlen(TRACKSCAN_USAGE_SHORT), 89u);
    EXPECT_EQ(std::strlen(TRACKSCAN_USAGE_LONG), 256u);
    EXPECT_EQ(std::string(TRACKSCAN_USAGE_SHORT),
              "usage: trackscan audioFileName rootFolder songId\n             or\n       trackscan --help\n");
    const std::string help = TRACKSCAN_USAGE_LONG;
    EXPECT_NE(
        help.find("example: trackscan \"e:\\audio.mp3\" \"e:\" \"FE66E7B1E7D1C4B8AAA2FD5BB8B71A39\"\n\n\n"),
        std::string::npos);
}

TEST(TrackscanInfo, BuildTimeIsTwoPlainNumbers) {
    const auto [answered, text] = answer("--buildtime");
    EXPECT_TRUE(answered);
    // yyyymmdd-hhmmss as plain numbers: no leading zero in the time, no line end.
    const std::size_t dash = text.find('-');
    ASSERT_EQ(dash, 8u) << text;
    const std::string date = text.substr(0, dash);
    const std::string time = text.substr(dash + 1);
    ASSERT_EQ(date.find_first_not_of("0123456789"), std::string::npos) << text;
    ASSERT_FALSE(time.empty());
    ASSERT_LE(time.size(), 6u);
    ASSERT_EQ(time.find_first_not_of("0123456789"), std::string::npos) << text;
    EXPECT_TRUE(time == "0" || time[0] != '0') << text;
    const int month = std::stoi(date.substr(4, 2));
    const int day = std::stoi(date.substr(6, 2));
    EXPECT_TRUE(month >= 1 && month <= 12) << text;
    EXPECT_TRUE(day >= 1 && day <= 31) << text;
    EXPECT_LT(std::stoi(time), 240000) << text;
}

TEST(TrackscanInfo, BuildDateAndTimeTexts) {
    struct DateCase {
        const char *text;
        int value;
    };
    const DateCase dates[] = {
        {"Jan  5 2024", 20240105}, {"Dec 31 1999", 19991231}, {"Sep 10 2030", 20300910},
        {"Foo  1 2000", 0},        {"Jan 5 2024", 0},         {"", 0},
    };
    for (const DateCase &c : dates) EXPECT_EQ(trackscan_buildDate(c.text), c.value) << c.text;
    const DateCase times[] = {
        {"09:05:03", 90503}, {"23:59:59", 235959}, {"00:00:07", 7}, {"9:05:03", 0}, {"ab:cd:ef", 0},
    };
    for (const DateCase &c : times) EXPECT_EQ(trackscan_buildTime(c.text), c.value) << c.text;
}

TEST(TrackscanInfo, ExitStatusOfAnAnalysisResult) {
    struct Case {
        int result;
        int status;
    };
    const Case cases[] = {
        {0, 0},    {3, 3},    {-1, 65},  {-10, 74},  {-12, 76},
        {-14, 78}, {-18, 82}, {-20, 84}, {-49, 113}, {-99, 113},
    };
    for (const Case &c : cases) EXPECT_EQ(trackscan_exitStatus(c.result), c.status) << c.result;
}

} // namespace
