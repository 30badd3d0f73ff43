// Decode throughput of the front end at 44100 Hz, 2048 frames a request, for a 16-bit stereo WAV
// file and the same audio as FLAC (and the FLAC at 48000 Hz, converted). The files are made once
// per run: the WAV by the WAV writer, the FLAC by libFLAC's encoder.
#include "codecs/decoder/decoder.h"
#include "codecs/encoder/encoder.h"

#include <FLAC/stream_encoder.h>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kSeconds = 20;

// A tone over a little noise: FLAC compresses it about as well as music.
std::vector<audio16> music(int rate) {
    std::vector<audio16> samples(static_cast<size_t>(rate) * kSeconds * 2);
    u32 noise = 12345;
    for (size_t i = 0; i < samples.size() / 2; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double tone = 12000.0 * std::sin(2.0 * M_PI * 440.0 * static_cast<double>(i) / rate);
        const double hiss = static_cast<double>(static_cast<s32>(noise >> 16) - 32768) / 16.0;
        samples[2 * i] = static_cast<audio16>(tone + hiss);
        samples[2 * i + 1] = static_cast<audio16>(tone * 0.8 - hiss);
    }
    return samples;
}

void writeWav(const std::string &path, const std::vector<audio16> &samples, int rate) {
    encoder_struct *e = encoder_new(ENCODER_SAMPLE_FORMAT_INT16, 8192);
    if (encoder_open(e, path.c_str(), static_cast<u32>(rate), ENCODER_SAMPLE_FORMAT_INT16, 2) !=
        ENCODER_ERROR_NOERROR)
        std::abort();
    encoder_addSamples(e, samples.data(), static_cast<u32>(samples.size() / 2));
    encoder_destroy(e);
}

void writeFlac(const std::string &path, const std::vector<audio16> &samples, int rate) {
    FLAC__StreamEncoder *e = FLAC__stream_encoder_new();
    FLAC__stream_encoder_set_channels(e, 2);
    FLAC__stream_encoder_set_bits_per_sample(e, 16);
    FLAC__stream_encoder_set_sample_rate(e, static_cast<unsigned>(rate));
    FLAC__stream_encoder_set_compression_level(e, 5);
    if (FLAC__stream_encoder_init_file(e, path.c_str(), nullptr, nullptr) !=
        FLAC__STREAM_ENCODER_INIT_STATUS_OK)
        std::abort();
    const std::vector<FLAC__int32> wide(samples.begin(), samples.end());
    FLAC__stream_encoder_process_interleaved(e, wide.data(), static_cast<unsigned>(samples.size() / 2));
    FLAC__stream_encoder_finish(e);
    FLAC__stream_encoder_delete(e);
}

// The files, made at the first use and removed at exit.
struct Files {
    std::filesystem::path folder;
    Files() {
        std::string pattern = (std::filesystem::temp_directory_path() / "bench-codec1-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        folder = pattern;
        const std::vector<audio16> at44 = music(44100);
        writeWav(file("song.wav"), at44, 44100);
        writeFlac(file("song.flac"), at44, 44100);
        writeFlac(file("song48.flac"), music(48000), 48000);
    }
    ~Files() { std::filesystem::remove_all(folder); }
    std::string file(const char *name) const { return (folder / name).string(); }
};

const Files &files() {
    static const Files f;
    return f;
}

void decodeFile(benchmark::State &state, const char *name) {
    const std::string path = files().file(name);
    decoder_struct *d = decoder_new(44100, 1, 2048);
    std::vector<audio16> out(2 * 2048);
    s64 frames = 0;
    for (auto _ : state) {
        if (decoder_open(d, path.c_str(), DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_MID) !=
            DECODER_ERROR_NOERROR)
            std::abort();
        for (;;) {
            s32 n = 2048;
            const decoder_error e = decoder_getSample(d, out.data(), &n);
            frames += n;
            if (e != DECODER_ERROR_NOERROR) break;
        }
        benchmark::DoNotOptimize(out.data());
        decoder_close(d);
    }
    decoder_destroy(d);
    state.SetItemsProcessed(frames);
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(frames) / 44100.0, benchmark::Counter::kIsRate);
}

void BM_DecodeWav16(benchmark::State &state) {
    decodeFile(state, "song.wav");
}
void BM_DecodeFlac16(benchmark::State &state) {
    decodeFile(state, "song.flac");
}
void BM_DecodeFlac48kConverted(benchmark::State &state) {
    decodeFile(state, "song48.flac");
}

BENCHMARK(BM_DecodeWav16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFlac16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFlac48kConverted)->Unit(benchmark::kMillisecond);

} // namespace
