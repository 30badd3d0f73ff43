#include "codecs/encoder/encoder.h"

#include "orvsys/lebytes.h"
#include "orvsys/ufopen.h"
#include "orvsys/wavformat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

// Samples are written from memory as they lie, which is the file's little-endian order.
static_assert(std::endian::native == std::endian::little, "the WAV writer writes samples in host order");

namespace {

constexpr u32 kHeaderChannels = 2; // more channels are stored without a header
constexpr u32 kRiffSizeOffset = 4;
constexpr u32 kDataSizeOffset = 40;
constexpr size_t kThroughChunk = 4096; // samples converted at a time when a block bypasses the buffer

bool endsInWav(const char *fileName) {
    const char *dot = fileName == nullptr ? nullptr : std::strrchr(fileName, '.');
    return dot != nullptr && std::strcmp(dot, ".wav") == 0;
}

std::array<u8, kEncoderHeaderBytes> header(u32 channels, u32 rate) {
    std::array<u8, kEncoderHeaderBytes> out{};
    const auto riff = orv::encodeRiff(0);
    const wav_waveform w{orv::kWavFormatPcm,  static_cast<u16>(channels),     rate,
                         channels * rate * 2, static_cast<u16>(channels * 2), 16};
    const auto fmt = orv::encodeFmt(w);
    std::copy(riff.begin(), riff.end(), out.begin());
    std::copy(fmt.begin(), fmt.end(), out.begin() + riff.size());
    orv::encodeChunkHeader(out.data() + riff.size() + fmt.size(), {orv::fourccLE("data"), 0});
    return out;
}

// A float sample times 32768, truncated toward zero and saturated (+1.0 gives 32767).
template <typename Float>
s16 fromFloat(Float v) {
    const Float scaled = v * static_cast<Float>(32768);
    if (!(scaled > static_cast<Float>(-32768))) return scaled == scaled ? -32768 : 0;
    if (scaled >= static_cast<Float>(32767)) return 32767;
    return static_cast<s16>(scaled);
}

void convert(sample_format format, const void *in, size_t first, size_t count, s16 *out) {
    switch (format) {
    case ENCODER_SAMPLE_FORMAT_FLOAT32:
        for (size_t i = 0; i < count; ++i) out[i] = fromFloat(static_cast<const float *>(in)[first + i]);
        break;
    case ENCODER_SAMPLE_FORMAT_FLOAT64:
        for (size_t i = 0; i < count; ++i) out[i] = fromFloat(static_cast<const double *>(in)[first + i]);
        break;
    default:
        std::memcpy(out, static_cast<const s16 *>(in) + first, count * sizeof(s16));
        break;
    }
}

bool writeSamples(encoder_struct *e, const s16 *samples, size_t count) {
    const size_t written = std::fwrite(samples, sizeof(s16), count, e->fileHandle);
    e->fileSize += written * sizeof(s16);
    return written == count;
}

bool flush(encoder_struct *e) {
    const bool ok = writeSamples(e, e->buffer, e->bufferOffset);
    e->bufferOffset = 0;
    return ok;
}

// A block larger than the buffer goes to the file in pieces, without passing through it.
bool writeThrough(encoder_struct *e, const void *in, size_t count) {
    std::array<s16, kThroughChunk> chunk;
    for (size_t first = 0; first < count; first += chunk.size()) {
        const size_t n = std::min(chunk.size(), count - first);
        convert(e->inputSampleFormat, in, first, n, chunk.data());
        if (!writeSamples(e, chunk.data(), n)) return false;
    }
    return true;
}

encoder_error failed(encoder_struct *e) {
    return e->lastError = ENCODER_ERROR_ERROR;
}

void patchSize(FILE *f, long offset, u64 value) {
    u8 bytes[4];
    orv::putLE32(bytes, static_cast<u32>(value));
    if (std::fseek(f, offset, SEEK_SET) == 0) std::fwrite(bytes, 1, sizeof bytes, f);
}

} // namespace

encoder_struct *encoder_new(sample_format inputSampleFormat, u32 maxBufferSize) {
    if (inputSampleFormat != ENCODER_SAMPLE_FORMAT_INT16 &&
        inputSampleFormat != ENCODER_SAMPLE_FORMAT_FLOAT32 &&
        inputSampleFormat != ENCODER_SAMPLE_FORMAT_FLOAT64)
        return nullptr;
    auto *e = new (std::nothrow) encoder_struct{};
    if (e == nullptr) return nullptr;
    e->buffer = new (std::nothrow) s16[std::max<u32>(maxBufferSize, 1)];
    if (e->buffer == nullptr) {
        delete e;
        return nullptr;
    }
    e->inputSampleFormat = inputSampleFormat;
    e->fileSampleFormat = ENCODER_SAMPLE_FORMAT_INT16;
    e->maxBufferSize = maxBufferSize;
    return e;
}

encoder_error encoder_open(encoder_struct *e, const char *fileName, u32 sampleRate,
                           sample_format fileSampleFormat, u32 numChannels) {
    if (!endsInWav(fileName)) return e->lastError = ENCODER_ERROR_NOTSUPPORTED_FILEFORMAT;
    if (fileSampleFormat != ENCODER_SAMPLE_FORMAT_INT16)
        return e->lastError = ENCODER_ERROR_NOTSUPPORTED_BITRATE;
    if (numChannels == 0) return e->lastError = ENCODER_ERROR_NOTSUPPORTED_NUMCHANS;
    if (sampleRate == 0) return e->lastError = ENCODER_ERROR_NOTSUPPORTED_SAMPLERATE;
    encoder_close(e);
    e->fileHandle = ufopen(fileName, "wb");
    if (e->fileHandle == nullptr) {
        std::printf(" *** Error opening input file %s ***\n", fileName);
        return ENCODER_ERROR_OPENFILEFAILED;
    }
    e->fileSampleFormat = fileSampleFormat;
    e->numChannels = numChannels;
    e->sampleRate = sampleRate;
    e->bufferOffset = 0;
    e->fileSize = 0;
    e->lastError = ENCODER_ERROR_NOERROR;
    if (numChannels <= kHeaderChannels) {
        const auto bytes = header(numChannels, sampleRate);
        e->fileSize = std::fwrite(bytes.data(), 1, bytes.size(), e->fileHandle);
        // Out at once, so that the file is a complete (empty) WAV file from the start.
        if (e->fileSize != bytes.size() || std::fflush(e->fileHandle) != 0) return failed(e);
    }
    return ENCODER_ERROR_NOERROR;
}

encoder_error encoder_addSamples(encoder_struct *e, const void *pIn, u32 inSize) {
    if (e->lastError != ENCODER_ERROR_NOERROR || e->fileHandle == nullptr || e->buffer == nullptr)
        return ENCODER_ERROR_ERROR;
    const u64 samples = static_cast<u64>(inSize) * e->numChannels;
    if (e->fileSize + (e->bufferOffset + samples) * sizeof(s16) > kEncoderMaxFileSize) {
        if (!flush(e)) return failed(e);
        return ENCODER_ERROR_FILE_EXCEED_MAX_SIZE;
    }
    if (e->bufferOffset + samples > e->maxBufferSize && !flush(e)) return failed(e);
    if (samples > e->maxBufferSize) {
        if (!writeThrough(e, pIn, static_cast<size_t>(samples))) return failed(e);
        return ENCODER_ERROR_NOERROR;
    }
    convert(e->inputSampleFormat, pIn, 0, static_cast<size_t>(samples), e->buffer + e->bufferOffset);
    e->bufferOffset += static_cast<u32>(samples);
    return ENCODER_ERROR_NOERROR;
}

void encoder_close(encoder_struct *e) {
    if (e->fileHandle == nullptr) return;
    flush(e);
    if (e->numChannels <= kHeaderChannels && e->fileSize >= kEncoderHeaderBytes) {
        patchSize(e->fileHandle, kRiffSizeOffset, e->fileSize - 8);
        patchSize(e->fileHandle, kDataSizeOffset, e->fileSize - kEncoderHeaderBytes);
    }
    std::fclose(e->fileHandle);
    e->fileHandle = nullptr;
}

void encoder_destroy(encoder_struct *e) {
    if (e == nullptr) return;
    encoder_close(e);
    delete[] e->buffer;
    delete e;
}
