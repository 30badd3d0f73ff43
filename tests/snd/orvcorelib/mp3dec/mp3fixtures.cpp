#include "mp3fixtures.h"

#include "support/tempdir.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace mp3test {

int run(const std::vector<std::string> &argv, const std::string &outPath) {
    std::vector<char *> args;
    for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!outPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool haveTools(const std::vector<std::string> &names) {
    const char *path = std::getenv("PATH");
    if (!path) return false;
    for (const auto &name : names) {
        bool found = false;
        std::string dirs = path;
        size_t start = 0;
        while (start <= dirs.size() && !found) {
            const size_t end = dirs.find(':', start);
            const std::string dir =
                dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
            found = access((dir + "/" + name).c_str(), X_OK) == 0;
            if (end == std::string::npos) break;
            start = end + 1;
        }
        if (!found) return false;
    }
    return true;
}

std::string makeMp3(const std::string &dir, const Fixture &fx) {
    const std::string wav = dir + "/" + fx.name + ".wav";
    const std::string mp3 = dir + "/" + fx.name + ".mp3";
    // -R: the same noise on every run, so a fixture's bytes never change between runs.
    std::vector<std::string> sox = {
        "sox", "-R", "-n", "-r",   std::to_string(fx.rate), "-c", std::to_string(fx.channels),
        "-b",  "16", wav,  "synth"};
    sox.insert(sox.end(), fx.synth.begin(), fx.synth.end());
    if (run(sox) != 0) return {};
    std::vector<std::string> lame = {"lame", "-S", "-t", "--resample", std::to_string(fx.rate / 1000.0)};
    lame.insert(lame.end(), fx.lameArgs.begin(), fx.lameArgs.end());
    lame.push_back(wav);
    lame.push_back(mp3);
    if (run(lame) != 0) return {};
    return mp3;
}

std::vector<float> referenceDecode(const std::string &mp3Path, const std::string &dir) {
    const std::string out = dir + "/reference.f32";
    if (run({"mpg123", "-q", "--no-gapless", "-e", "f32", "-s", mp3Path}, out) != 0) return {};
    const std::vector<unsigned char> bytes = orvtest::readFileBytes(out);
    std::vector<float> samples(bytes.size() / sizeof(float));
    std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

Decoded decodeStream(std::vector<unsigned char> bytes, int factor) {
    Decoded result;
    HMP3Decoder dec = MP3InitDecoder();
    if (!dec) return result;
    std::vector<short> pcm(2 * 1152);
    unsigned char *ptr = bytes.data();
    int left = static_cast<int>(bytes.size());
    while (left > 0) {
        const int sync = MP3FindSyncWord(ptr, left);
        if (sync < 0) break;
        ptr += sync;
        left -= sync;
        MP3FrameInfo info;
        if (left < 6 || MP3GetNextFrameInfo(dec, &info, ptr) != ERR_MP3_NONE) {
            ++ptr;
            --left;
            continue;
        }
        const int f = info.nChans == 2 ? factor : 1;
        const int err = MP3Decode(dec, &ptr, &left, pcm.data(), 0, 0, f);
        if (err == ERR_MP3_INDATA_UNDERFLOW) break;
        if (err <= ERR_MP3_INVALID_FRAMEHEADER && err >= ERR_MP3_INVALID_HUFFCODES) {
            ++ptr;
            --left;
            continue;
        }
        if (err != ERR_MP3_NONE) ++result.errors;
        if (err != ERR_MP3_NONE && err != ERR_MP3_MAINDATA_UNDERFLOW) continue;
        MP3GetLastFrameInfo(dec, &result.info);
        result.pcm.insert(result.pcm.end(), pcm.begin(), pcm.begin() + info.outputSamps / f);
        ++result.frames;
    }
    MP3FreeDecoder(dec);
    return result;
}

namespace {

Comparison measure(const std::vector<short> &ours, const std::vector<float> &ref, int channels, long n,
                   int lag) {
    Comparison c{lag, 0, 0, 0};
    double sum = 0;
    for (long i = std::max(0L, static_cast<long>(lag)); i < std::min(n, n + lag); ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            const double d = ours[i * channels + ch] - 32768.0 * ref[(i - lag) * channels + ch];
            sum += d * d;
            c.maxLsb = std::max(c.maxLsb, std::fabs(d));
            ++c.compared;
        }
    }
    c.rmsLsb = c.compared ? std::sqrt(sum / static_cast<double>(c.compared)) : 1e30;
    return c;
}

} // namespace

Comparison compare(const std::vector<short> &ours, const std::vector<float> &ref, int channels, int maxLag) {
    const long n = static_cast<long>(std::min(ours.size(), ref.size())) / channels;
    Comparison best = measure(ours, ref, channels, n, 0);
    if (best.rmsLsb < 1.0) return best; // aligned: the error is down to rounding
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        const Comparison c = measure(ours, ref, channels, n, lag);
        if (c.rmsLsb < best.rmsLsb) best = c;
    }
    return best;
}

double rmsOf(const std::vector<short> &pcm) {
    double sum = 0;
    for (short s : pcm) sum += static_cast<double>(s) * s;
    return pcm.empty() ? 0 : std::sqrt(sum / static_cast<double>(pcm.size()));
}

} // namespace mp3test
