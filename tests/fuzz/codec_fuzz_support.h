// What the codec fuzz targets share: the input written to a scratch file (the readers open files
// by name), and a run through the decoder front end with reads and seeks, checking that every
// read stays within what it was asked for.
#pragma once

#include "codecs/decoder/decoder.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace codecfuzz {

// A file named `name` in a scratch folder of this process, holding the input.
inline std::string scratchFile(const char *name, const uint8_t *data, size_t size) {
    static std::string folder = [] {
        // The readers' own lines would only slow the fuzzer down.
        if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
        std::string pattern = "/tmp/codecfuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }();
    const std::string path = folder + "/" + name;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return path;
}

inline void check(bool ok) {
    if (!ok) std::abort();
}

// Reads until the end, an error or `limit` reads; every delivery fits its request.
inline void readSome(decoder_struct *d, s32 block, int limit) {
    const int channels = d->forceStereo != 0 ? 2 : d->numChannels;
    std::vector<audio16> out(static_cast<size_t>(block) * channels);
    for (int i = 0; i < limit; ++i) {
        s32 n = block;
        const decoder_error e = decoder_getSample(d, out.data(), &n);
        check(n >= 0 && n <= block);
        if (e != DECODER_ERROR_NOERROR || n == 0) return;
    }
}

// Opens the file with one decoder set-up, reads it, and seeks around in it.
inline void exercise(const std::string &path, s32 outputRate, bool forceStereo, u32 maxFrames) {
    decoder_struct *d = decoder_new(outputRate, forceStereo ? 1 : 0, maxFrames);
    check(d != nullptr);
    if (decoder_open(d, path.c_str(), DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_MID) ==
        DECODER_ERROR_NOERROR) {
        check(d->numChannels == 1 || d->numChannels == 2);
        const s32 block = static_cast<s32>(maxFrames);
        readSome(d, block, 64);
        const s64 length =
            static_cast<s64>(d->durationInSamples) * outputRate / (d->sampleRate > 0 ? d->sampleRate : 1);
        for (s64 target : {length / 2, s64{0}, length - 1, length, length + 5, s64{1}}) {
            decoder_setSampleOffset(d, target);
            readSome(d, block, 3);
        }
        decoder_close(d);
    }
    decoder_destroy(d);
}

// For the stream formats: a scan in build-seek-table mode writes the file's seek table, then a
// decode with that table (and with a reduced quality when given) seeks around in the file.
inline void exerciseWithSeektable(const std::string &path, s32 outputRate, decoder_quality quality) {
    const std::string table = path + ".sek";
    decoder_struct *d = decoder_new(outputRate, 1, 2048);
    check(d != nullptr);
    if (decoder_open(d, path.c_str(), DECODER_MODE_BUILDSEEK, table.c_str(), 1, SRC_QUALITY_LOW) ==
        DECODER_ERROR_NOERROR) {
        // Each call scans a frame; the file's length bounds the calls. The reader delivers
        // nothing, though a converter may still hand out what it holds.
        std::vector<audio16> out(2 * 2048);
        for (int i = 0; i < (1 << 20); ++i) {
            s32 n = 2048;
            const decoder_error e = decoder_getSample(d, out.data(), &n);
            check(n >= 0 && n <= 2048);
            if (e != DECODER_ERROR_NOERROR) break;
        }
        decoder_close(d);
    }
    if (decoder_open(d, path.c_str(), DECODER_MODE_DECODE, table.c_str(), 0, SRC_QUALITY_MID) ==
        DECODER_ERROR_NOERROR) {
        decoder_setQuality(d, quality);
        decoder_loadSeektableFile(d, table.c_str());
        const s64 length = static_cast<s64>(d->durationInSamplesExact != 0 ? d->durationInSamplesExact
                                                                           : d->durationInSamples) *
                           outputRate / (d->sampleRate > 0 ? d->sampleRate : 1);
        for (s64 target : {length - 3000, s64{1}, length / 3, length}) {
            decoder_setSampleOffset(d, target);
            readSome(d, 1000, 2);
        }
        decoder_close(d);
    }
    decoder_destroy(d);
}

} // namespace codecfuzz
