// The RIFF/WAVE records shared by everything that reads or writes WAV files (the probes,
// the WAV reader and the WAV writer). On disk they are little-endian; the encode helpers
// write them byte by byte so that the layout never depends on the host.
#pragma once

#include "orvsys/lebytes.h"
#include "orvsys/orvint.h"

#include <array>

struct wav_chunkhdr {
    u32 id;   // four-character code, little-endian ("RIFF" = fourccLE("RIFF"))
    u32 size; // bytes of the chunk body
};

// "RIFF" <size> "WAVE"
struct wav_riff {
    wav_chunkhdr hdr;
    u32 format;
};

// The body of the "fmt " chunk.
struct wav_waveform {
    u16 wFormatTag;
    u16 nChannels;
    u32 nSamplesPerSec;
    u32 nAvgBytesPerSec;
    u16 nBlockAlign;
    u16 wBitsPerSample;
};

struct wav_fmt {
    wav_chunkhdr hdr; // "fmt ", 16
    wav_waveform waveform;
};

struct wav_data {
    wav_chunkhdr hdr; // "data", bytes of sample data
};

namespace orv {

inline constexpr u16 kWavFormatPcm = 1;
inline constexpr u16 kWavFormatFloat = 3;
inline constexpr u32 kWavRiffBytes = 12;
inline constexpr u32 kWavChunkHeaderBytes = 8;
inline constexpr u32 kWavFmtBodyBytes = 16;

constexpr void encodeChunkHeader(u8 *out, const wav_chunkhdr &h) {
    putLE32(out, h.id);
    putLE32(out + 4, h.size);
}

constexpr std::array<u8, kWavRiffBytes> encodeRiff(u32 riffSize) {
    std::array<u8, kWavRiffBytes> out{};
    encodeChunkHeader(out.data(), {fourccLE("RIFF"), riffSize});
    putLE32(out.data() + 8, fourccLE("WAVE"));
    return out;
}

// The "fmt " chunk with its header: 24 bytes.
constexpr std::array<u8, kWavChunkHeaderBytes + kWavFmtBodyBytes> encodeFmt(const wav_waveform &w) {
    std::array<u8, kWavChunkHeaderBytes + kWavFmtBodyBytes> out{};
    encodeChunkHeader(out.data(), {fourccLE("fmt "), kWavFmtBodyBytes});
    u8 *p = out.data() + kWavChunkHeaderBytes;
    putLE16(p, w.wFormatTag);
    putLE16(p + 2, w.nChannels);
    putLE32(p + 4, w.nSamplesPerSec);
    putLE32(p + 8, w.nAvgBytesPerSec);
    putLE16(p + 12, w.nBlockAlign);
    putLE16(p + 14, w.wBitsPerSample);
    return out;
}

constexpr wav_waveform decodeWaveform(const u8 *p) {
    return {getLE16(p), getLE16(p + 2), getLE32(p + 4), getLE32(p + 8), getLE16(p + 12), getLE16(p + 14)};
}

} // namespace orv
