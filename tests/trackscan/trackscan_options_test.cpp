// The option part of trackscan's command line: integer values, ranges, lists, the edit-mode
// rule and the option text that goes into the result file's comment.
#include "trackscan_options.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace {

class OptionsTest : public testing::Test {
  protected:
    void SetUp() override { verbose_flag = 0; }
    void TearDown() override { verbose_flag = 0; }

    // Parses "songid <options>" and returns what was printed on standard output.
    std::string parse(const std::vector<std::string> &options, songanalysis_options_struct *o,
                      trackscan_parsed *parsed = nullptr) {
        std::vector<std::string> texts = {"0123456789abcdef0123456789abcdef"};
        texts.insert(texts.end(), options.begin(), options.end());
        std::vector<char *> args;
        for (std::string &t : texts) args.push_back(t.data());
        const std::vector<char *> before = args;
        *o = trackscan_initOptions();
        testing::internal::CaptureStdout();
        const trackscan_parsed p = trackscan_parseOptions(args, o);
        trackscan_applyMode(p, o);
        std::fflush(stdout);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(args, before) << "the caller's arguments were reordered";
        if (parsed != nullptr) *parsed = p;
        return out;
    }
};

struct IntCase {
    const char *text;
    const trackscan_range *range;
    int expected;
    const char *printed;
};

constexpr trackscan_range kResolution{1, 1000};
constexpr trackscan_range kScale{0, 127};

TEST_F(OptionsTest, IntegerValuesReadOnlyPlainDigitsThatFitAnInt) {
    const IntCase cases[] = {
        {"123", nullptr, 123, ""},
        {"0", nullptr, 0, ""},
        {"", nullptr, 0, ""},
        {"007", nullptr, 7, ""},
        {"-5", nullptr, -1, ""},
        {"+5", nullptr, -1, ""},
        {"12a", nullptr, -1, ""},
        {" 12", nullptr, -1, ""},
        {"2147483647", nullptr, INT_MAX, ""},
        {"2147483648", nullptr, -1, ""},
        {"99999999999999999999999", nullptr, -1, ""},
        {"0", &kResolution, 0, "ERROR: option x = 0 is out of range (1, 1000)\n"},
        {"1", &kResolution, 1, ""},
        {"1000", &kResolution, 1000, ""},
        {"1001", &kResolution, 0, "ERROR: option x = 1001 is out of range (1, 1000)\n"},
        {"abc", &kScale, 0, "ERROR: option x = -1 is out of range (0, 127)\n"},
        {"4294967297", &kScale, 0, "ERROR: option x = -1 is out of range (0, 127)\n"},
    };
    for (const IntCase &c : cases) {
        testing::internal::CaptureStdout();
        const int value = arg2opt_i("x", c.text, c.range);
        std::fflush(stdout);
        EXPECT_EQ(value, c.expected) << '"' << c.text << '"';
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed) << '"' << c.text << '"';
    }
}

TEST_F(OptionsTest, VerboseEchoesTheValueReadBeforeTheRangeTest) {
    verbose_flag = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(arg2opt_i("wfv-resolution", "0", &kResolution), 0);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "option wfv-resolution = 0\nERROR: option wfv-resolution = 0 is out of range (1, 1000)\n");
}

TEST_F(OptionsTest, StartValues) {
    const songanalysis_options_struct o = trackscan_initOptions();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(o.anchor[i], -1);
        EXPECT_EQ(o.beatsToAdd[i], -1);
        EXPECT_EQ(o.beatsToRemove[i], -1);
    }
    EXPECT_EQ(o.mode, 0u);
    EXPECT_EQ(o.product, 8);
    EXPECT_EQ(o.bpm, 0.0f);
    EXPECT_EQ(o.bpmMode, 0);
    EXPECT_EQ(o.gridMode, 0);
    EXPECT_EQ(o.fastMode, 0);
    EXPECT_EQ(o.wfvResolutionMs, 0u);
    EXPECT_EQ(o.wfvScale, 0u);
    EXPECT_EQ(o.wfpScale, 0u);
    EXPECT_EQ(o.wfpSize, 0u);
    EXPECT_EQ(o.printInfo, 0);
}

// One command line, the fields it must set and the lines it must print.
struct ParseCase {
    std::vector<std::string> args;
    void (*check)(const songanalysis_options_struct &o);
    std::string printed;
};

TEST_F(OptionsTest, OptionsFillTheRecord) {
    const ParseCase cases[] = {
        {{"-w", "0"},
         [](const auto &o) { EXPECT_EQ(o.wfvResolutionMs, 0u); },
         "ERROR: option wfv-resolution = 0 is out of range (1, 1000)\n"},
        {{"--wfv-resolution=20"}, [](const auto &o) { EXPECT_EQ(o.wfvResolutionMs, 20u); }, ""},
        {{"--wfv-scale=0"}, [](const auto &o) { EXPECT_EQ(o.wfvScale, 0u); }, ""},
        {{"--wfv-scale", "64"}, [](const auto &o) { EXPECT_EQ(o.wfvScale, 64u); }, ""},
        {{"--wfp-scale=128"},
         [](const auto &o) { EXPECT_EQ(o.wfpScale, 0u); },
         "ERROR: option wfp-scale = 128 is out of range (0, 127)\n"},
        {{"--wfp-length=1000"}, [](const auto &o) { EXPECT_EQ(o.wfpSize, 1000u); }, ""},
        {{"-m2"},
         [](const auto &o) { EXPECT_EQ(o.bpmMode, 0); },
         "ERROR: option bpm-mode = 2 is out of range (0, 1)\n"},
        {{"-m", "1"}, [](const auto &o) { EXPECT_EQ(o.bpmMode, 1); }, ""},
        {{"-g2"}, [](const auto &o) { EXPECT_EQ(o.gridMode, 2); }, ""},
        {{"--grid=1"}, [](const auto &o) { EXPECT_EQ(o.gridMode, 1); }, ""}, // abbreviated
        {{"-b20"},
         [](const auto &o) { EXPECT_EQ(o.bpm, 20.0f); },
         "ERROR: option bpm 20.000000 is out of range (40, 300)\n"},
        {{"--bpm=127.5"}, [](const auto &o) { EXPECT_EQ(o.bpm, 127.5f); }, ""},
        {{"-b", "nan"}, [](const auto &o) { EXPECT_NE(o.bpm, o.bpm); }, ""},
        {{"-n1x"}, [](const auto &o) { EXPECT_EQ(o.anchor[0], -1); }, ""},
        {{"-n", "250", "--anchor=750"},
         [](const auto &o) {
             EXPECT_EQ(o.anchor[0], 250);
             EXPECT_EQ(o.anchor[1], 750);
             EXPECT_EQ(o.anchor[2], -1);
         },
         ""},
        {{"-p6"}, [](const auto &o) { EXPECT_EQ(o.product, 6); }, ""},
        {{"-p", "99999999999"}, [](const auto &o) { EXPECT_EQ(o.product, -1); }, ""},
        {{"--product=4"}, [](const auto &o) { EXPECT_EQ(o.product, 4); }, ""},
        {{"-f"}, [](const auto &o) { EXPECT_EQ(o.fastMode, 1); }, ""},
        {{"--fast=3"}, [](const auto &o) { EXPECT_EQ(o.fastMode, 3); }, ""},
        {{"-i"}, [](const auto &o) { EXPECT_EQ(o.printInfo, 1); }, ""},
        {{"--info=whatever"}, [](const auto &o) { EXPECT_EQ(o.printInfo, 1); }, ""},
        {{"-x", "-g1"}, [](const auto &o) { EXPECT_EQ(o.gridMode, 1); }, "unknown option ?\n"},
        {{"-g"}, [](const auto &o) { EXPECT_EQ(o.gridMode, 0); }, "unknown option ?\n"},
        {{"--wf=1"}, [](const auto &o) { EXPECT_EQ(o.wfvScale, 0u); }, "unknown option ?\n"}, // ambiguous
        {{"--fast"}, [](const auto &o) { EXPECT_EQ(o.fastMode, 0); }, "unknown option ?\n"},
        {{"-g1", "stray", "-p4"},
         [](const auto &o) {
             EXPECT_EQ(o.gridMode, 1);
             EXPECT_EQ(o.product, 4);
         },
         ""},
        {{"--verbose", "-g1"}, [](const auto &o) { EXPECT_EQ(o.gridMode, 1); }, "option grid-mode = 1\n"},
        {{"-v", "--brief", "-g1"}, [](const auto &o) { EXPECT_EQ(o.gridMode, 1); }, ""},
        {{"-v", "-b", "120"}, [](const auto &o) { EXPECT_EQ(o.bpm, 120.0f); }, "option bpm = 120.000000\n"},
    };
    for (const ParseCase &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += " " + a;
        SCOPED_TRACE(line);
        verbose_flag = 0;
        songanalysis_options_struct o;
        const std::string printed = parse(c.args, &o);
        c.check(o);
        EXPECT_EQ(printed, c.printed);
    }
}

TEST_F(OptionsTest, ListsKeepTheirFirstSixteenEntries) {
    struct ListCase {
        const char *option;
        s32 (songanalysis_options_struct::*list)[16];
    };
    const ListCase cases[] = {
        {"-n", &songanalysis_options_struct::anchor},
        {"-a", &songanalysis_options_struct::beatsToAdd},
        {"-r", &songanalysis_options_struct::beatsToRemove},
    };
    for (const ListCase &c : cases) {
        SCOPED_TRACE(c.option);
        std::vector<std::string> args;
        for (int i = 1; i <= 20; ++i) {
            args.push_back(c.option);
            args.push_back(std::to_string(i * 100));
        }
        args.push_back("-g1"); // the parse goes on after a full list
        songanalysis_options_struct o;
        parse(args, &o);
        for (int i = 0; i < 16; ++i) EXPECT_EQ((o.*c.list)[i], (i + 1) * 100) << "entry " << i;
        // Nothing spills into the lists and fields after a full one.
        for (const ListCase &other : cases) {
            if (other.list == c.list) continue;
            for (int i = 0; i < 16; ++i) EXPECT_EQ((o.*other.list)[i], -1) << other.option << " entry " << i;
        }
        EXPECT_EQ(o.product, 8);
        EXPECT_EQ(o.gridMode, 1);
    }
}

TEST_F(OptionsTest, EditModeOnlyWithoutAnalysisOptions) {
    struct ModeCase {
        std::vector<std::string> args;
        u32 mode;
        bool warned;
    };
    const ModeCase cases[] = {
        {{}, 0, false},
        {{"-a", "500"}, 1, false},
        {{"-r", "500"}, 1, false},
        {{"--add-beat=500", "-i", "-v"}, 1, false},
        {{"-a", "500", "-g0"}, 0, true},
        {{"-r", "500", "-p4"}, 0, true},
        {{"-n", "10", "-a", "500"}, 0, true},
        {{"--wfp-length=10", "-r", "5"}, 0, true},
        {{"-g0", "-p4"}, 0, false},
    };
    for (const ModeCase &c : cases) {
        std::string line;
        for (const std::string &a : c.args) line += " " + a;
        SCOPED_TRACE(line);
        songanalysis_options_struct o;
        const std::string printed = parse(c.args, &o);
        EXPECT_EQ(o.mode, c.mode);
        EXPECT_EQ(printed.find("WARNING: edit mode ignored.\n") != std::string::npos, c.warned) << printed;
    }
}

TEST_F(OptionsTest, WaveformDefaultsReplaceOnlyZeros) {
    songanalysis_options_struct o = trackscan_initOptions();
    trackscan_applyWaveformDefaults(&o);
    EXPECT_EQ(o.wfvScale, 127u);
    EXPECT_EQ(o.wfvResolutionMs, 5u);
    EXPECT_EQ(o.wfpSize, 420u);
    EXPECT_EQ(o.wfpScale, 127u);
    o.wfvScale = 3;
    o.wfvResolutionMs = 7;
    o.wfpSize = 11;
    o.wfpScale = 13;
    trackscan_applyWaveformDefaults(&o);
    EXPECT_EQ(o.wfvScale, 3u);
    EXPECT_EQ(o.wfvResolutionMs, 7u);
    EXPECT_EQ(o.wfpSize, 11u);
    EXPECT_EQ(o.wfpScale, 13u);
}

std::string collect(const std::vector<std::string> &options, std::size_t capacity) {
    std::vector<std::string> texts = options;
    std::vector<char *> args;
    for (std::string &t : texts) args.push_back(t.data());
    // Guard bytes after the buffer show a write past its end.
    std::vector<char> buffer(capacity + 8, '#');
    trackscan_collectCommand(args, std::span<char>(buffer.data(), capacity));
    for (std::size_t i = capacity; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], '#') << "written past the end";
    return buffer.data();
}

TEST_F(OptionsTest, OptionTextIsCutAtTheBufferCapacity) {
    EXPECT_EQ(collect({"-g0", "-p4"}, TRACKSCAN_COMMAND_SIZE), " -g0 -p4");
    EXPECT_EQ(collect({}, TRACKSCAN_COMMAND_SIZE), "");
    EXPECT_EQ(collect({"-g0", "-p4"}, 6), " -g0 ");
    EXPECT_EQ(collect({"-g0", "-p4"}, 1), "");

    std::vector<std::string> many;
    std::string full;
    for (int i = 0; i < 100; ++i) {
        many.push_back("--anchor=" + std::to_string(1000 + i));
        full += " " + many.back();
    }
    ASSERT_GT(full.size(), TRACKSCAN_COMMAND_SIZE);
    const std::string cut = collect(many, TRACKSCAN_COMMAND_SIZE);
    EXPECT_EQ(cut, full.substr(0, TRACKSCAN_COMMAND_SIZE - 1));
    // Exactly filling the capacity keeps every character.
    const std::string exact(TRACKSCAN_COMMAND_SIZE - 2, 'x');
    EXPECT_EQ(collect({exact}, TRACKSCAN_COMMAND_SIZE), " " + exact);
}

} // namespace
