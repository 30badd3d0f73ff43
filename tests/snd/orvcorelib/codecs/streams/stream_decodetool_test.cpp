// MP3, ADTS, ADIF and M4A files decoded through decodetool (the one of the configuration under
// test) against mpg123, faad and ffmpeg; seek-table files built by a scan against ffprobe's
// frame count; and decodes after seeks, with the seek-table file and without it, against the
// same slices of a decode from the start. Among the fixtures are streams behind an ID3v2 tag
// with junk between frames and an ID3v1 tag at the end.
#include "codecs/fileformat/seektable.h"
#include "orvsys/orvconfig.h"
#include "snd/orvcorelib/codecs/codecs_support.h"
#include "streams_support.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

using namespace streamtest;

namespace {

enum class Reference { mpg123, faad, ffmpeg };

struct Fixture {
    const char *name; // the file's name; its extension picks the reader
    int rate;
    int channels;
    Reference reference;
    const char *source; // the fixture it was made from (its reference and frame count), or null
    bool seekTable;     // a stream whose seeks go through a seek table
};

const Fixture kFixtures[] = {
    {"stereo44.mp3", 44100, 2, Reference::mpg123, nullptr, true},
    {"tagged.mp3", 44100, 2, Reference::mpg123, "stereo44.mp3", true},
    {"mono22vbr.mp3", 22050, 1, Reference::mpg123, nullptr, true},
    {"stereo24.mp3", 24000, 2, Reference::mpg123, nullptr, true},
    {"stereo44.aac", 44100, 2, Reference::faad, nullptr, true},
    {"tagged.aac", 44100, 2, Reference::faad, "stereo44.aac", true},
    {"mono22.aac", 22050, 1, Reference::ffmpeg, nullptr, true},
    {"adif44.aac", 44100, 2, Reference::faad, nullptr, false},
    {"stereo44.m4a", 44100, 2, Reference::ffmpeg, nullptr, false},
    {"mono22.m4a", 22050, 1, Reference::ffmpeg, nullptr, false},
};

struct ToolRun {
    int exit = -1;
    std::vector<short> samples;
};

// decodetool with the arguments, the input and an output file; the samples it wrote.
ToolRun decodetoolRun(std::vector<std::string> args, const std::string &input) {
    const std::string out = fixturePath("out.wav");
    std::filesystem::remove(out);
    args.insert(args.begin(), decodetool());
    args.insert(args.end(), {input, out});
    ToolRun r;
    r.exit = run(args);
    if (std::filesystem::exists(out)) {
        const std::vector<audio16> s = codectest::wavSamples(out);
        r.samples.assign(s.begin(), s.end());
    }
    return r;
}

std::vector<std::string> nativeOutput(const Fixture &f) {
    return {"--native-channels", "--rate", std::to_string(f.rate)};
}

std::vector<short> referenceOf(const Fixture &f) {
    const std::string file = fixturePath(f.source != nullptr ? f.source : f.name);
    std::vector<short> ref;
    switch (f.reference) {
    case Reference::mpg123:
        ref = mpg123Decode(file, scratchDir());
        break;
    case Reference::faad:
        ref = faadDecode(file, scratchDir());
        break;
    case Reference::ffmpeg:
        ref = ffmpegDecode(file, scratchDir());
        break;
    }
    return ref;
}

class StreamThroughDecodetool : public ::testing::TestWithParam<Fixture> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(haveTools({"sox", "lame", "ffmpeg", "ffprobe", "mpg123", "faad"}))
            << "the codec tools are needed (scripts/setup)";
        ASSERT_FALSE(decodetool().empty()) << "decodetool's path is not in the environment";
        input = fixturePath(GetParam().name);
    }
    std::string input;
};

TEST_P(StreamThroughDecodetool, DecodesWithinTheAccuracyGate) {
    const Fixture &f = GetParam();
    const ToolRun ours = decodetoolRun(nativeOutput(f), input);
    ASSERT_EQ(ours.exit, 0);
    const std::vector<short> ref = referenceOf(f);
    ASSERT_FALSE(ref.empty());
    const Match m = alignAndCompare(ours.samples, ref, f.channels);
    std::printf("%-14s lag %5ld rms %6.3f max %2d compared %zu\n", f.name, m.lag, m.rms, m.maxDiff,
                m.compared);
    EXPECT_GT(m.compared, ref.size() * 9 / 10);
    EXPECT_LT(m.rms, kLimitedRms);
    EXPECT_LE(m.maxDiff, kMaxDiff);
}

// The header words of a seek-table file, or empty when it is shorter than its header.
std::vector<u32> headerOf(const std::string &path) {
    const Bytes b = orvtest::readFileBytes(path);
    std::vector<u32> words;
    for (size_t i = 0; i + 4 <= std::min<size_t>(b.size(), kSeektableHeaderBytes); i += 4)
        words.push_back(b[i] | (b[i + 1] << 8) | (b[i + 2] << 16) | (static_cast<u32>(b[i + 3]) << 24));
    return words;
}

TEST_P(StreamThroughDecodetool, AScanWritesASeekTableOfEveryFrame) {
    const Fixture &f = GetParam();
    if (std::string(f.name).ends_with(".m4a")) GTEST_SKIP() << "MP4 files seek through their own tables";
    const std::string table = fixturePath("scan.sek");
    std::filesystem::remove(table);
    ASSERT_EQ(run({decodetool(), "--build-seektable", table, input}), 0);
    if (!f.seekTable) {
        EXPECT_FALSE(std::filesystem::exists(table)) << "an ADIF stream has no seek table";
        return;
    }
    const std::vector<u32> header = headerOf(table);
    ASSERT_EQ(header.size(), 6u);
    EXPECT_EQ(header[0], kSeektableMagic);
    EXPECT_EQ(header[1], f.source != nullptr ? 4096u : 0u) << "first frame offset";
    const long frames = ffprobeFrames(fixturePath(f.source != nullptr ? f.source : f.name), scratchDir());
    EXPECT_EQ(static_cast<long>(header[2]), frames);
    EXPECT_EQ(header[4], 0u);
    EXPECT_EQ(header[5], 0u) << "a scan records the whole file";
    const size_t trunks =
        (header[2] / kSeektableBlockFrames + kSeektableTrunkBlocks - 1) / kSeektableTrunkBlocks;
    EXPECT_EQ(orvtest::readFileBytes(table).size(), kSeektableHeaderBytes + trunks * kSeektableTrunkBytes);
}

// Spans (first frame, count) to decode after seeks, around frame edges and the ends.
std::vector<std::pair<long, long>> spansFor(long frames) {
    return {{frames / 2 + 17, 3000},
            {0, 500},
            {1, 700},
            {1151, 100},
            {1152, 2000},
            {2303, 5},
            {1024, 1024},
            {frames - 100, 100},
            {20000, 1},
            {4608 * 3 + 1, 2500},
            {2, 9},
            {frames - 1, 1}};
}

// Decodes the spans in one run (after reading `readFirst` frames without a seek when not 0)
// and compares each with the same slice of the whole decode.
void expectSlicesOfTheWhole(const Fixture &f, const std::string &input,
                            const std::vector<std::string> &output, const std::vector<std::string> &extra,
                            long readFirst) {
    const ToolRun whole = decodetoolRun(output, input);
    ASSERT_EQ(whole.exit, 0);
    const int channels = output[0] == "--native-channels" ? f.channels : 2;
    const long frames = static_cast<long>(whole.samples.size()) / channels;
    std::vector<std::string> args = output;
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {"--block", "777"});
    if (readFirst > 0) args.insert(args.end(), {"--read", std::to_string(readFirst)});
    const auto spans = spansFor(frames);
    for (const auto &[first, count] : spans)
        args.insert(args.end(), {"--seek", std::to_string(first) + ":" + std::to_string(count)});
    const ToolRun pieces = decodetoolRun(args, input);
    ASSERT_EQ(pieces.exit, 0);
    size_t at = static_cast<size_t>(readFirst * channels);
    for (const auto &[first, count] : spans) {
        const auto from = whole.samples.begin() + first * channels;
        const size_t n = static_cast<size_t>(std::min(count, frames - first) * channels);
        ASSERT_LE(at + n, pieces.samples.size()) << "span at " << first;
        EXPECT_TRUE(
            std::equal(from, from + static_cast<long>(n), pieces.samples.begin() + static_cast<long>(at)))
            << "span at " << first << " of " << count;
        at += n;
    }
    EXPECT_EQ(at, pieces.samples.size());
}

TEST_P(StreamThroughDecodetool, SeeksGiveTheSlicesOfADecodeFromTheStart) {
    const Fixture &f = GetParam();
    if (!f.seekTable && !std::string(f.name).ends_with(".m4a")) {
        EXPECT_EQ(run({decodetool(), "--seek", "1000:10", input}), -DECODER_ERROR_NOTSEEKABLE);
        return;
    }
    if (!f.seekTable) {
        expectSlicesOfTheWhole(f, input, nativeOutput(f), {}, 0);
        return;
    }
    const std::string table = fixturePath(std::string(f.name) + ".sek");
    ASSERT_EQ(run({decodetool(), "--build-seektable", table, input}), 0);
    {
        SCOPED_TRACE("with the seek-table file");
        expectSlicesOfTheWhole(f, input, nativeOutput(f), {"--seektable", table}, 0);
    }
    {
        SCOPED_TRACE("with the table recorded while decoding");
        const ToolRun whole = decodetoolRun(nativeOutput(f), input);
        expectSlicesOfTheWhole(f, input, nativeOutput(f), {},
                               static_cast<long>(whole.samples.size()) / f.channels);
    }
    {
        SCOPED_TRACE("converted to 44100 Hz stereo with the seek-table file");
        expectSlicesOfTheWhole(f, input, {"--rate", "44100"}, {"--seektable", table}, 0);
    }
}

std::string fixtureName(const ::testing::TestParamInfo<Fixture> &info) {
    std::string name;
    for (const char *c = info.param.name; *c != '\0'; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Files, StreamThroughDecodetool, ::testing::ValuesIn(kFixtures), fixtureName);

// The information line's value for a key.
std::string infoValue(const std::string &input, const std::vector<std::string> &args,
                      const std::string &key) {
    const std::string out = fixturePath("info.txt");
    std::vector<std::string> argv{decodetool(), "--info"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(input);
    run(argv, out);
    const Bytes text = orvtest::readFileBytes(out);
    const std::string s(text.begin(), text.end());
    const size_t at = s.find(" " + key + "=");
    if (at == std::string::npos) return {};
    const size_t from = at + key.size() + 2;
    return s.substr(from, s.find_first_of(" \n", from) - from);
}

// MP3 streams at two or four times the output rate: the desktop build decodes them at half or
// quarter rate (with a converter where the reduced rate still differs), the unit at the full
// rate through the converter. Seeks land where a decode from the start stands either way.
TEST(StreamReducedRates, SeeksAtHalfAndQuarterRateGiveTheSlicesOfADecodeFromTheStart) {
    ASSERT_TRUE(haveTools({"sox", "lame"}));
    ASSERT_FALSE(decodetool().empty());
    const struct {
        const char *file;
        int rate;
        const char *desktopQuality;
        const char *converter;
    } cases[] = {
        {"stereo44.mp3", 22050, "HALF", "no"},  {"stereo44.mp3", 11025, "QUATER", "no"},
        {"stereo48.mp3", 22050, "HALF", "yes"}, {"stereo48.mp3", 11025, "QUATER", "yes"},
        {"tagged.mp3", 22050, "HALF", "no"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.rate));
        const std::string input = fixturePath(c.file);
        const std::vector<std::string> output{"--native-channels", "--rate", std::to_string(c.rate)};
        EXPECT_EQ(infoValue(input, output, "quality"), orv::kDeviceConfig ? "FULL" : c.desktopQuality);
        if constexpr (orv::kDesktopConfig) {
            EXPECT_EQ(infoValue(input, output, "converter"), c.converter);
        }
        const Fixture f{c.file, c.rate, 2, Reference::mpg123, nullptr, true};
        const std::string table = fixturePath("reduced.sek");
        ASSERT_EQ(run({decodetool(), "--build-seektable", table, input}), 0);
        expectSlicesOfTheWhole(f, input, output, {"--seektable", table}, 0);
    }
}

} // namespace
