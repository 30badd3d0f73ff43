#include "streams_support.h"

#include "snd/orvcorelib/codecs/aacdec/aac_test_support.h"

#include "orvsys/orvconfig.h"
#include "support/runtool.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace streamtest {

int run(const std::vector<std::string> &argv, const std::string &outPath) {
    return orvtest::runTool(argv, outPath);
}

bool haveTools(const std::vector<std::string> &names) {
    const char *path = std::getenv("PATH");
    if (path == nullptr) return false;
    for (const std::string &name : names) {
        bool found = false;
        std::string dirs = path;
        size_t start = 0;
        while (!found && start <= dirs.size()) {
            const size_t end = std::min(dirs.find(':', start), dirs.size());
            const std::filesystem::path candidate =
                std::filesystem::path(dirs.substr(start, end - start)) / name;
            found = access(candidate.c_str(), X_OK) == 0;
            start = end + 1;
        }
        if (!found) return false;
    }
    return true;
}

std::string decodetool() {
    const char *tool = std::getenv(orv::kDeviceConfig ? "ORV_DECODETOOL_DEVICE" : "ORV_DECODETOOL_DESKTOP");
    return tool == nullptr ? std::string() : std::string(tool);
}

void makeSignal(const std::string &wavPath, int rate, int channels, double seconds) {
    const std::string length = std::to_string(seconds);
    ASSERT_EQ(run({"sox",      "-R",
                   "-D",       "-n",
                   "-r",       std::to_string(rate),
                   "-c",       std::to_string(channels),
                   "-b",       "16",
                   wavPath,    "synth",
                   length,     "sine",
                   "150-7000", "sine",
                   "440",      "pinknoise",
                   "vol",      "0.4"}),
              0);
}

void lame(const std::string &wav, const std::string &mp3, const std::vector<std::string> &extra) {
    std::vector<std::string> argv{"lame", "--quiet", "-t"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.insert(argv.end(), {wav, mp3});
    ASSERT_EQ(run(argv), 0) << mp3;
}

void ffmpegAac(const std::string &wav, const std::string &out, const std::string &bitRate,
               const std::vector<std::string> &extra) {
    std::vector<std::string> argv{"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",       "-i", wav,
                                  "-c:a",   "aac",          "-b:a",      bitRate, "-aac_pns", "0"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(out);
    ASSERT_EQ(run(argv), 0) << out;
}

namespace {

constexpr int kBitRates[2][15] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}, // MPEG-1 Layer III
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},     // MPEG-2 and 2.5 Layer III
};
constexpr int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

// The length of the Layer III frame whose header is at p, or 0 when none is there.
size_t mp3FrameLength(const unsigned char *p) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0 || ((p[1] >> 1) & 3) != 1) return 0;
    const int versionBits = (p[1] >> 3) & 3;
    const int bitIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || bitIndex == 0 || bitIndex == 15 || rateIndex == 3) return 0;
    const bool mpeg1 = versionBits == 3;
    const int bitRate = kBitRates[mpeg1 ? 0 : 1][bitIndex] * 1000;
    const int rate = kRates[mpeg1 ? 0 : (versionBits == 2 ? 1 : 2)][rateIndex];
    return static_cast<size_t>((mpeg1 ? 144 : 72) * bitRate / rate + ((p[2] >> 1) & 1));
}

// Bytes from a fixed generator, never 0xFF, so they never form a sync word.
unsigned char junkByte(u32 &state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<unsigned char>((state >> 24) % 0xFF);
}

std::vector<short> rawSamples(const std::string &path) {
    const Bytes b = orvtest::readFileBytes(path);
    std::vector<short> s(b.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<short>(b[2 * i] | (b[2 * i + 1] << 8));
    return s;
}

} // namespace

std::vector<Frame> mp3Frames(const Bytes &stream) {
    std::vector<Frame> frames;
    size_t i = 0;
    while (i + 4 <= stream.size()) {
        const size_t length = mp3FrameLength(&stream[i]);
        if (length == 0) {
            ++i;
            continue;
        }
        frames.push_back({i, std::min(length, stream.size() - i)});
        i += length;
    }
    return frames;
}

std::vector<Frame> adtsFrameSpans(const Bytes &stream) {
    std::vector<Frame> frames;
    size_t i = 0;
    while (i + 7 <= stream.size() && stream[i] == 0xFF && (stream[i + 1] & 0xF0) == 0xF0) {
        const size_t length = ((stream[i + 3] & 3u) << 11) | (stream[i + 4] << 3) | (stream[i + 5] >> 5);
        if (length < 7) break;
        frames.push_back({i, std::min(length, stream.size() - i)});
        i += length;
    }
    return frames;
}

Bytes withTagsAndJunk(const Bytes &stream, const std::vector<Frame> &frames) {
    Bytes out = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x1F, 0x76}; // 4086 bytes follow the header
    out.resize(4096, 0);
    u32 state = 12345;
    for (size_t k = 0; k < frames.size(); ++k) {
        if (k % 5 == 3) {
            const size_t junk = 1 + junkByte(state) % 200;
            for (size_t j = 0; j < junk; ++j) out.push_back(junkByte(state));
        }
        out.insert(out.end(), stream.begin() + static_cast<long>(frames[k].offset),
                   stream.begin() + static_cast<long>(frames[k].offset + frames[k].length));
    }
    const char *tag = "TAGA title that the reader must not take for audio";
    out.insert(out.end(), tag, tag + std::strlen(tag));
    out.resize(out.size() + (128 - std::strlen(tag)), ' ');
    return out;
}

std::vector<short> mpg123Decode(const std::string &path, const std::string &scratchDir) {
    const std::string out = scratchDir + "/mpg123.raw";
    if (run({"mpg123", "-q", "--no-gapless", "-s", path}, out) != 0) return {};
    return rawSamples(out);
}

std::vector<short> faadDecode(const std::string &path, const std::string &scratchDir) {
    const std::string out = scratchDir + "/faad.raw";
    if (run({"faad", "-q", "-b", "1", "-f", "2", "-o", out, path}) != 0) return {};
    return rawSamples(out);
}

std::vector<short> ffmpegDecode(const std::string &path, const std::string &scratchDir) {
    const std::string out = scratchDir + "/ffmpeg.raw";
    if (run({"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-i", path, "-f", "s16le", out}) != 0)
        return {};
    return rawSamples(out);
}

long ffprobeFrames(const std::string &path, const std::string &scratchDir) {
    const std::string out = scratchDir + "/ffprobe.txt";
    if (run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "a:0", "-show_entries",
             "stream=nb_read_frames", "-of", "csv=p=0", path},
            out) != 0)
        return -1;
    std::ifstream in(out);
    long frames = -1;
    in >> frames;
    return frames;
}

Match alignAndCompare(const std::vector<short> &ours, const std::vector<short> &ref, int channels,
                      long maxLag) {
    const long oursFrames = static_cast<long>(ours.size()) / channels;
    const long refFrames = static_cast<long>(ref.size()) / channels;
    const long window = std::min<long>(4096, refFrames / 3);
    const long from = refFrames / 3;
    Match m;
    double best = std::numeric_limits<double>::max();
    for (long lag = -maxLag; lag <= maxLag; ++lag) {
        if (from + lag < 0 || from + window + lag > oursFrames) continue;
        double sse = 0;
        for (long i = from; i < from + window && sse < best; ++i) {
            const double d =
                ours[static_cast<size_t>((i + lag) * channels)] - ref[static_cast<size_t>(i * channels)];
            sse += d * d;
        }
        if (sse < best) {
            best = sse;
            m.lag = lag;
        }
    }
    double sum = 0;
    for (long i = 0; i < refFrames; ++i) {
        const long j = i + m.lag;
        if (j < 0 || j >= oursFrames) continue;
        for (int c = 0; c < channels; ++c) {
            const int d =
                ours[static_cast<size_t>(j * channels + c)] - ref[static_cast<size_t>(i * channels + c)];
            sum += static_cast<double>(d) * d;
            m.maxDiff = std::max(m.maxDiff, std::abs(d));
            ++m.compared;
        }
    }
    m.rms = m.compared > 0 ? std::sqrt(sum / static_cast<double>(m.compared)) : 1e9;
    return m;
}

namespace {

class Fixtures {
  public:
    static Fixtures &get() {
        static Fixtures f;
        return f;
    }
    std::string path(const std::string &name) const { return dir_.file(name); }
    std::string scratch() const { return dir_.path().string(); }

  private:
    Fixtures() {
        makeSignal(path("s44.wav"), 44100, 2, 2.0);
        makeSignal(path("m22.wav"), 22050, 1, 2.0);
        makeSignal(path("s24.wav"), 24000, 2, 2.0);
        makeSignal(path("s48.wav"), 48000, 2, 2.0);
        lame(path("s44.wav"), path("stereo44.mp3"), {"-b", "128"});
        lame(path("m22.wav"), path("mono22vbr.mp3"), {"-V", "4"});
        lame(path("s24.wav"), path("stereo24.mp3"), {"-b", "64"});
        lame(path("s48.wav"), path("stereo48.mp3"), {"-b", "192"});
        ffmpegAac(path("s44.wav"), path("stereo44.aac"), "128k", {"-f", "adts"});
        ffmpegAac(path("m22.wav"), path("mono22.aac"), "48k", {"-f", "adts"});
        ffmpegAac(path("s44.wav"), path("stereo44.m4a"), "128k");
        ffmpegAac(path("m22.wav"), path("mono22.m4a"), "48k");
        const Bytes mp3 = orvtest::readFileBytes(path("stereo44.mp3"));
        orvtest::writeFileBytes(path("tagged.mp3"), withTagsAndJunk(mp3, mp3Frames(mp3)));
        const Bytes adts = orvtest::readFileBytes(path("stereo44.aac"));
        orvtest::writeFileBytes(path("tagged.aac"), withTagsAndJunk(adts, adtsFrameSpans(adts)));
        orvtest::writeFileBytes(path("adif44.aac"), aactest::adtsToAdif(adts));
    }
    orvtest::TempDir dir_;
};

} // namespace

std::string fixturePath(const std::string &name) {
    return Fixtures::get().path(name);
}

std::string scratchDir() {
    return Fixtures::get().scratch();
}

Bytes be32(u32 v) {
    return {static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
            static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
}

Bytes be16(u32 v) {
    return {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes text(const char *s) {
    return Bytes(s, s + std::strlen(s));
}

Bytes atom(const char *type, const Bytes &body) {
    return cat({be32(static_cast<u32>(body.size() + 8)), text(type), body});
}

Bytes fullAtom(const char *type, u8 version, const Bytes &body) {
    return atom(type, cat({Bytes{version, 0, 0, 0}, body}));
}

Bytes audioSpecificConfig(int objectType, int rate, int channels) {
    constexpr int kTable[] = {96000, 88200, 64000, 48000, 44100, 32000,
                              24000, 22050, 16000, 12000, 11025, 8000};
    int index = 0;
    while (index < 12 && kTable[index] != rate) ++index;
    const u32 bits = (static_cast<u32>(objectType) << 11) | (static_cast<u32>(index) << 7) |
                     (static_cast<u32>(channels) << 3);
    return be16(bits);
}

namespace {

Bytes esds(const Bytes &config) {
    const auto n = static_cast<unsigned char>(config.size());
    const Bytes decoderSpecific = cat({Bytes{5, n}, config});
    const Bytes decoderConfig =
        cat({Bytes{4, static_cast<unsigned char>(13 + decoderSpecific.size()), 0x40, 0x15, 0, 0, 0},
             be32(160000), be32(128000), decoderSpecific});
    const Bytes es = cat({Bytes{3, static_cast<unsigned char>(3 + decoderConfig.size() + 3), 0, 1, 0},
                          decoderConfig, Bytes{6, 1, 2}});
    return fullAtom("esds", 0, es);
}

Bytes sampleEntry(const Mp4Track &t) {
    if (t.entry == "mp4v") return atom("mp4v", Bytes(78, 0));
    const Bytes config =
        t.decoderConfig.empty() ? audioSpecificConfig(2, t.rate, t.channels) : t.decoderConfig;
    const Bytes fields = cat({Bytes(6, 0), be16(1), Bytes(8, 0), be16(static_cast<u32>(t.channels)), be16(16),
                              be32(0), be32(static_cast<u32>(std::min(t.rate, 65535)) << 16)});
    return atom(t.entry.c_str(), cat({fields, esds(config)}));
}

Bytes sampleTables(const Mp4Track &t, u32 dataStart) {
    const u32 n = static_cast<u32>(t.samples.size());
    Bytes stts = t.lastDelta != 0 && n > 0
                     ? cat({be32(2), be32(n - 1), be32(t.delta), be32(1), be32(t.lastDelta)})
                     : cat({be32(1), be32(n), be32(t.delta)});
    Bytes stsz;
    if (t.commonSize) {
        stsz = cat({be32(n > 0 ? static_cast<u32>(t.samples[0].size()) : 0), be32(n)});
    } else {
        stsz = cat({be32(0), be32(n)});
        for (const Bytes &s : t.samples) stsz = cat({stsz, be32(static_cast<u32>(s.size()))});
    }
    std::vector<std::pair<u32, u32>> runs = t.chunkRuns;
    if (runs.empty()) runs.push_back({1, t.samplesPerChunk});
    Bytes stsc = be32(static_cast<u32>(runs.size()));
    for (const auto &[first, perChunk] : runs) stsc = cat({stsc, be32(first), be32(perChunk), be32(1)});
    // Chunk after chunk, each as long as its run says.
    Bytes offsets;
    u32 chunks = 0;
    u32 at = dataStart;
    for (u32 i = 0; i < n;) {
        ++chunks;
        u32 perChunk = runs.front().second;
        for (const auto &[first, count] : runs)
            if (first <= chunks) perChunk = count;
        offsets = cat({offsets, be32(at)});
        for (u32 k = 0; k < perChunk && i < n; ++k, ++i) at += static_cast<u32>(t.samples[i].size());
    }
    Bytes tables = cat({fullAtom("stsd", 0, cat({be32(1), sampleEntry(t)})), fullAtom("stts", 0, stts)});
    if (t.compositionOffset != 0)
        tables = cat({tables, fullAtom("ctts", 0, cat({be32(1), be32(n), be32(t.compositionOffset)}))});
    return atom("stbl", cat({tables, fullAtom("stsc", 0, stsc), fullAtom("stsz", 0, stsz),
                             fullAtom("stco", 0, cat({be32(chunks), offsets}))}));
}

u32 durationOf(const Mp4Track &t) {
    const u32 n = static_cast<u32>(t.samples.size());
    if (n == 0) return 0;
    return (n - 1) * t.delta + (t.lastDelta != 0 ? t.lastDelta : t.delta);
}

Bytes trak(const Mp4Track &t, u32 dataStart) {
    const Bytes mdhd =
        fullAtom("mdhd", 0, cat({be32(0), be32(0), be32(t.timeScale), be32(durationOf(t)), be32(0)}));
    const Bytes hdlr =
        fullAtom("hdlr", 0, cat({be32(0), text(t.entry == "mp4v" ? "vide" : "soun"), Bytes(13, 0)}));
    const Bytes minf = atom("minf", cat({fullAtom("smhd", 0, be32(0)), sampleTables(t, dataStart)}));
    return atom("trak", atom("mdia", cat({mdhd, hdlr, minf})));
}

Bytes moov(const std::vector<Mp4Track> &tracks, u32 dataStart) {
    Bytes traks;
    u32 at = dataStart;
    for (const Mp4Track &t : tracks) {
        traks = cat({traks, trak(t, at)});
        for (const Bytes &s : t.samples) at += static_cast<u32>(s.size());
    }
    const Bytes mvhd = fullAtom("mvhd", 0, cat({be32(0), be32(0), be32(1000), be32(0), Bytes(80, 0)}));
    return atom("moov", cat({mvhd, traks}));
}

} // namespace

Bytes buildMp4(const std::vector<Mp4Track> &tracks) {
    const Bytes ftyp = atom("ftyp", cat({text("M4A "), be32(0), text("M4A mp42isom")}));
    Bytes data;
    for (const Mp4Track &t : tracks)
        for (const Bytes &s : t.samples) data.insert(data.end(), s.begin(), s.end());
    // The sample tables point into the media data, which follows them: lay out twice.
    const size_t moovSize = moov(tracks, 0).size();
    const auto dataStart = static_cast<u32>(ftyp.size() + moovSize + 8);
    return cat({ftyp, moov(tracks, dataStart), atom("mdat", data)});
}

size_t findAtom(const Bytes &file, const char *type, size_t from) {
    for (size_t i = std::max<size_t>(from, 4); i + 4 <= file.size(); ++i)
        if (std::memcmp(&file[i], type, 4) == 0) return i - 4;
    return std::string::npos;
}

void putBe32(Bytes &b, size_t at, u32 v) {
    const Bytes bytes = be32(v);
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
}

std::vector<Bytes> rawBlocks(const Bytes &adts) {
    std::vector<Bytes> blocks;
    for (const Frame &f : adtsFrameSpans(adts)) {
        const size_t header = (adts[f.offset + 1] & 1) != 0 ? 7 : 9;
        blocks.emplace_back(adts.begin() + static_cast<long>(f.offset + header),
                            adts.begin() + static_cast<long>(f.offset + f.length));
    }
    return blocks;
}

} // namespace streamtest
