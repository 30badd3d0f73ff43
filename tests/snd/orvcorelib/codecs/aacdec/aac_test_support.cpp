#include "aac_test_support.h"

#include "codecs/aacdec/aac_internal.h"
#include "support/tempdir.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

extern char **environ;

namespace aactest {

bool runTool(const std::vector<std::string> &argv) {
    if (argv.empty() || argv[0].empty()) return false;
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string toolPath(const char *envName) {
    const char *v = std::getenv(envName);
    return v && *v && std::string(v).find("NOTFOUND") == std::string::npos ? v : "";
}

Decoded decodeStream(const std::vector<unsigned char> &stream, bool forceMono) {
    Decoded d;
    HAACDecoder h = AACInitDecoder();
    if (!h) return d;
    const auto *dec = static_cast<const aacdec::AACDecInfo *>(h);
    std::vector<unsigned char> data = stream;
    std::vector<short> out(AAC_MAX_NCHANS * AAC_MAX_NSAMPS);
    unsigned char *p = data.data();
    int left = static_cast<int>(data.size());
    while (left > 0) {
        const int err = AACDecode(h, &p, &left, out.data(), 0, forceMono);
        if (err == ERR_AAC_INDATA_UNDERFLOW && AACFindSyncWord(p, left) < 0) break;
        if (err) {
            d.errors++;
            p++;
            left--;
            continue;
        }
        AACFrameInfo info{};
        AACGetLastFrameInfo(h, &info);
        d.frames++;
        d.nChans = info.nChans;
        d.sampleRate = info.sampRateOut;
        d.pnsFrames += info.pnsUsed != 0;
        d.tnsFrames += info.tnsUsed != 0;
        const aacdec::PSInfoBase &ps = *dec->psInfoBase;
        d.shortFrames += ps.icsInfo[0].winSequence == aacdec::kWinSeqEightShort;
        d.msFrames += ps.msMaskPresent != 0;
        d.intensityFrames += ps.intensityUsed[1] != 0;
        d.pcm.insert(d.pcm.end(), out.begin(), out.begin() + info.outputSamps);
    }
    AACFreeDecoder(h);
    return d;
}

std::vector<short> readRawPcm(const std::string &path) {
    const std::vector<unsigned char> bytes = orvtest::readFileBytes(path);
    std::vector<short> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); i++)
        pcm[i] = static_cast<short>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return pcm;
}

std::vector<short> channel(const std::vector<short> &pcm, int nChans, int ch) {
    std::vector<short> out;
    out.reserve(pcm.size() / static_cast<size_t>(nChans));
    for (size_t i = static_cast<size_t>(ch); i < pcm.size(); i += static_cast<size_t>(nChans))
        out.push_back(pcm[i]);
    return out;
}

namespace {

Comparison measure(const std::vector<short> &ours, const std::vector<short> &ref, long offset, long step) {
    Comparison c;
    c.offset = offset;
    double sum = 0;
    for (long i = 0; i < static_cast<long>(ref.size()); i += step) {
        const long j = i + offset;
        if (j < 0 || j >= static_cast<long>(ours.size())) continue;
        const int d = ours[static_cast<size_t>(j)] - ref[static_cast<size_t>(i)];
        sum += static_cast<double>(d) * d;
        c.maxDiff = std::max(c.maxDiff, std::abs(d));
        c.count++;
    }
    c.rms = c.count ? std::sqrt(sum / static_cast<double>(c.count)) : 1e9;
    return c;
}

} // namespace

Comparison compareAligned(const std::vector<short> &ours, const std::vector<short> &ref) {
    Comparison best;
    best.rms = 1e18;
    for (long offset = -2048; offset <= 2048; offset += 1024) {
        const Comparison c = measure(ours, ref, offset, 7);
        if (c.count > static_cast<long>(ref.size()) / 14 && c.rms < best.rms) best = c;
    }
    return measure(ours, ref, best.offset, 1);
}

std::vector<double> lowPass(const std::vector<short> &x, int sampleRate, double cutoff) {
    constexpr int kTaps = 255;
    constexpr double kPi = 3.14159265358979323846;
    const double fc = cutoff / sampleRate;
    std::vector<double> h(kTaps);
    for (int i = 0; i < kTaps; i++) {
        const double m = i - (kTaps - 1) / 2.0;
        const double sinc = m == 0 ? 2 * fc : std::sin(2 * kPi * fc * m) / (kPi * m);
        h[static_cast<size_t>(i)] = sinc * (0.42 - 0.5 * std::cos(2 * kPi * i / (kTaps - 1)) +
                                            0.08 * std::cos(4 * kPi * i / (kTaps - 1)));
    }
    std::vector<double> y(x.size());
    for (size_t n = 0; n < x.size(); n++) {
        double acc = 0;
        for (int k = 0; k < kTaps; k++) {
            const long j = static_cast<long>(n) - k + (kTaps - 1) / 2;
            if (j >= 0 && j < static_cast<long>(x.size()))
                acc += h[static_cast<size_t>(k)] * x[static_cast<size_t>(j)];
        }
        y[n] = acc;
    }
    return y;
}

void BitWriter::put(unsigned value, int bits) {
    for (int i = bits - 1; i >= 0; i--) {
        if (bitCount_ % 8 == 0) bytes_.push_back(0);
        if ((value >> i) & 1) bytes_.back() |= static_cast<unsigned char>(0x80 >> (bitCount_ % 8));
        bitCount_++;
    }
}

void BitWriter::align() {
    while (bitCount_ % 8) put(0, 1);
}

std::vector<AdtsFrame> adtsFrames(const std::vector<unsigned char> &adts) {
    std::vector<AdtsFrame> frames;
    size_t pos = 0;
    while (pos + 7 <= adts.size()) {
        const unsigned char *h = adts.data() + pos;
        if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0) break;
        const size_t headerLen = (h[1] & 1) ? 7 : 9;
        const size_t frameLen = static_cast<size_t>(((h[3] & 3) << 11) | (h[4] << 3) | (h[5] >> 5));
        if (frameLen < headerLen || pos + frameLen > adts.size()) break;
        frames.push_back({pos, frameLen, headerLen});
        pos += frameLen;
    }
    return frames;
}

std::vector<unsigned char> makeFixture(const std::string &exprs, int rate,
                                       const std::vector<std::string> &options) {
    const std::string ffmpeg = toolPath("ORV_FFMPEG");
    if (ffmpeg.empty()) return {};
    orvtest::TempDir dir;
    const std::string out = dir.file("fixture.aac");
    std::vector<std::string> argv = {
        ffmpeg,  "-hide_banner", "-loglevel",
        "error", "-y",           "-f",
        "lavfi", "-i",           "aevalsrc=exprs='" + exprs + "':s=" + std::to_string(rate) + ":d=1",
        "-c:a",  "aac"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"-f", "adts", out});
    if (!runTool(argv)) return {};
    return orvtest::readFileBytes(out);
}

std::vector<unsigned char> adtsToAdif(const std::vector<unsigned char> &adts) {
    if (adts.size() < 7 || adts[0] != 0xFF || (adts[1] & 0xF0) != 0xF0) return {};
    const int sampRateIdx = (adts[2] >> 2) & 0xF;
    const int channelConfig = ((adts[2] & 1) << 2) | (adts[3] >> 6);
    if (channelConfig < 1 || channelConfig > 2) return {};

    BitWriter w;
    for (char c : std::string("ADIF")) w.put(static_cast<unsigned char>(c), 8);
    w.put(0, 1);       // no copyright id
    w.put(0, 1);       // original_copy
    w.put(0, 1);       // home
    w.put(1, 1);       // variable rate: no buffer fullness
    w.put(128000, 23); // bit rate
    w.put(0, 4);       // one program config element
    w.put(0, 4);       // element tag
    w.put(1, 2);       // Low Complexity
    w.put(static_cast<unsigned>(sampRateIdx), 4);
    w.put(1, 4); // one front element
    w.put(0, 4); // side
    w.put(0, 4); // back
    w.put(0, 2); // lfe
    w.put(0, 3); // data
    w.put(0, 4); // coupling
    w.put(0, 3); // no mixdowns
    w.put(channelConfig == 2 ? 1 : 0, 1);
    w.put(0, 4); // its tag
    w.align();
    w.put(0, 8); // no comment
    w.align();
    std::vector<unsigned char> out = w.bytes();

    const std::vector<AdtsFrame> frames = adtsFrames(adts);
    if (frames.empty()) return {};
    for (const AdtsFrame &f : frames) {
        if ((adts[f.offset + 6] & 3) != 0) return {}; // one raw data block per frame only
        out.insert(out.end(), adts.begin() + static_cast<long>(f.offset + f.headerLength),
                   adts.begin() + static_cast<long>(f.offset + f.length));
    }
    return out;
}

} // namespace aactest
