#include "codecs/fileformat/wav.h"

#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/pcmfile.h"
#include "orvsys/lebytes.h"
#include "orvsys/wavformat.h"

#include <fcntl.h>

#include <algorithm>
#include <new>

namespace {

using orv::fourccLE;
using orv::getLE16;
using orv::getLE32;

// What the chunk walk found: the format and where the samples lie.
struct WavLayout {
    wav_waveform format;
    s64 dataStart;
    s64 dataSize;
};

// Reads the "fmt " body of bodySize bytes. The format must be integer PCM with a 16-byte body
// (or 18 bytes with an empty extension) and a format this reader can play.
decoder_error readFormat(FILE *f, u32 bodySize, wav_waveform *format) {
    if (bodySize < orv::kWavFmtBodyBytes) return DECODER_ERROR_NOTSUPPORTED;
    u8 body[18] = {};
    const size_t want = bodySize >= 18 ? 18 : orv::kWavFmtBodyBytes;
    if (!orv::readExactly(f, body, want)) return DECODER_ERROR_READERROR;
    *format = orv::decodeWaveform(body);
    if (format->wFormatTag != orv::kWavFormatPcm) return DECODER_ERROR_NOTSUPPORTED_CODECS;
    if (bodySize != 16 && !(bodySize == 18 && getLE16(body + 16) == 0)) return DECODER_ERROR_NOTSUPPORTED;
    return orv::pcmfile::check({format->nChannels, format->nSamplesPerSec, format->wBitsPerSample});
}

// Walks the chunks from the RIFF header to "data"; leaves the file just after the data header.
decoder_error walkChunks(FILE *f, WavLayout *layout) {
    u8 head[orv::kWavRiffBytes];
    if (!orv::readExactly(f, head, sizeof head)) return DECODER_ERROR_READERROR;
    if (getLE32(head) != fourccLE("RIFF") || getLE32(head + 8) != fourccLE("WAVE"))
        return DECODER_ERROR_NOTSUPPORTED_CODECS;
    const u32 riffSize = getLE32(head + 4);
    bool haveFormat = false;
    for (;;) {
        u8 chunk[orv::kWavChunkHeaderBytes];
        if (!orv::readExactly(f, chunk, sizeof chunk)) return DECODER_ERROR_READERROR;
        const u32 id = getLE32(chunk);
        const u32 size = getLE32(chunk + 4);
        if (id == fourccLE("fmt ")) {
            const decoder_error e = readFormat(f, size, &layout->format);
            if (e != DECODER_ERROR_NOERROR) return e;
            haveFormat = true;
        } else if (id == fourccLE("data")) {
            // Samples before their format cannot be framed.
            if (!haveFormat) return DECODER_ERROR_CORRUPT;
            layout->dataStart = fileCallback.tell(f);
            layout->dataSize = size;
            return layout->dataStart < 0 ? DECODER_ERROR_READERROR : DECODER_ERROR_NOERROR;
        } else {
            if (size > riffSize) return DECODER_ERROR_CORRUPT;
            // Chunks of odd size are followed by a pad byte.
            if (fileCallback.seek(f, static_cast<s64>(size) + (size & 1), SEEK_CUR) != 0)
                return DECODER_ERROR_READERROR;
        }
    }
}

pcm_converter converterFor(u32 bits) {
    if (bits == 24) return pcm_24to16;
    if (bits == 16) return pcm_16to16;
    return pcm_8to16_unsigned;
}

} // namespace

decoder_error wav_Open(decoder_struct *d, const char *fileName) {
    WavLayout layout{};
    wav_container *c = nullptr;
    decoder_error e = orv::pcmfile::startOpen(fileName, walkChunks, &layout, &c);
    if (e != DECODER_ERROR_NOERROR) return e;

    const wav_waveform &w = layout.format;
    c->pcm_decoder = converterFor(w.wBitsPerSample);
    c->channels = w.nChannels;
    c->samplerate = w.nSamplesPerSec;
    c->nbits = w.wBitsPerSample;
    c->bitrate = w.nAvgBytesPerSec;
    // A data chunk that claims more than the file holds ends where the file ends.
    c->audioLength =
        std::min(layout.dataSize, std::max<s64>(static_cast<s64>(c->fileLength) - layout.dataStart, 0));
    const orv::pcmfile::Format format{w.nChannels, w.nSamplesPerSec, w.wBitsPerSample};
    c->samples = static_cast<u32>(c->audioLength / orv::pcmfile::bytesPerFrame(format));
    c->audioStartOffset = layout.dataStart;
    e = orv::pcmfile::finishOpen(d, c, static_cast<s64>(w.nAvgBytesPerSec) * 8);
    // The file sits at the data start; tell the kernel the rest is read front to back.
    if (e == DECODER_ERROR_NOERROR) posix_fadvise(fileno(c->fd), 0, 0, POSIX_FADV_SEQUENTIAL);
    return e;
}

decoder_error wav_Decode(decoder_struct *d, audio16 *out, s32 *outSize) {
    auto *c = static_cast<wav_container *>(d->fileformatHandle);
    return orv::pcmfile::decode(d, *c, out, outSize, true);
}

decoder_error wav_Close(decoder_struct *d) {
    return orv::pcmfile::close<wav_container>(d);
}

decoder_error wav_GetSampleOffset(decoder_struct *d, s32 *position) {
    return orv::pcmfile::position<wav_container>(d, position);
}
