#include "codecs/fileformat/aif.h"

#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/pcmfile.h"
#include "orvsys/lebytes.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

using orv::fourccBE;

constexpr u32 kCommBytes = 18;
constexpr u32 kSsndWordsBytes = 8;

// Numbers of the file in its own byte order.
struct ByteOrder {
    bool bigEndian;
    u16 get16(const u8 *p) const { return bigEndian ? orv::getBE16(p) : orv::getLE16(p); }
    u32 get32(const u8 *p) const { return bigEndian ? orv::getBE32(p) : orv::getLE32(p); }
};

// What the chunk walk found.
struct AifLayout {
    ByteOrder order;
    aif_comm comm;
    s64 dataStart;
    s64 dataSize;
};

aif_comm parseComm(const u8 *p, ByteOrder order) {
    aif_comm comm{};
    comm.numChannels = static_cast<s16>(order.get16(p));
    comm.numSampleFrames = order.get32(p + 2);
    comm.sampleSize = static_cast<s16>(order.get16(p + 6));
    for (int i = 0; i < 10; ++i) comm.sampleRate[i] = order.bigEndian ? p[8 + i] : p[17 - i];
    return comm;
}

// The rate as a whole number of Hz; 0 for anything outside what a reader can play.
u32 rateOf(const aif_comm &comm) {
    const double rate = ConvertFromIeeeExtended(comm.sampleRate);
    if (!(rate >= 1.0 && rate < orv::pcmfile::kMaxSampleRate + 1.0)) return 0;
    return static_cast<u32>(rate);
}

orv::pcmfile::Format formatOf(const aif_comm &comm) {
    return {static_cast<u32>(std::max<s16>(comm.numChannels, 0)), rateOf(comm),
            static_cast<u32>(std::max<s16>(comm.sampleSize, 0))};
}

decoder_error readComm(FILE *f, u32 size, ByteOrder order, aif_comm *comm) {
    u8 body[kCommBytes];
    if (size < kCommBytes) return DECODER_ERROR_CORRUPT;
    if (!orv::readExactly(f, body, sizeof body)) return DECODER_ERROR_READERROR;
    *comm = parseComm(body, order);
    const orv::pcmfile::Format format = formatOf(*comm);
    const decoder_error e = orv::pcmfile::check(format);
    if (e != DECODER_ERROR_NOERROR) return e;
    // Extended (AIFF-C style) fields and the pad byte are passed over.
    const s64 rest = static_cast<s64>(size) - kCommBytes + (size & 1);
    return fileCallback.seek(f, rest, SEEK_CUR) == 0 ? DECODER_ERROR_NOERROR : DECODER_ERROR_READERROR;
}

decoder_error readSoundHeader(FILE *f, u32 size, ByteOrder order, AifLayout *layout) {
    u8 words[kSsndWordsBytes];
    if (size < kSsndWordsBytes) return DECODER_ERROR_CORRUPT;
    if (!orv::readExactly(f, words, sizeof words)) return DECODER_ERROR_READERROR;
    if (order.get32(words) != 0 || order.get32(words + 4) != 0) return DECODER_ERROR_NOTSUPPORTED;
    layout->dataStart = fileCallback.tell(f);
    layout->dataSize = size - kSsndWordsBytes;
    return layout->dataStart < 0 ? DECODER_ERROR_READERROR : DECODER_ERROR_NOERROR;
}

// Walks the chunks until both "COMM" and "SSND" are known; the sound data ends with its chunk.
decoder_error walkChunks(FILE *f, AifLayout *layout) {
    u8 head[12];
    if (!orv::readExactly(f, head, sizeof head)) return DECODER_ERROR_READERROR;
    if (orv::getBE32(head) == fourccBE("FORM")) {
        layout->order.bigEndian = true;
    } else if (orv::getLE32(head) == fourccBE("FORM")) {
        layout->order.bigEndian = false;
    } else {
        return DECODER_ERROR_NOTSUPPORTED_CODECS;
    }
    const ByteOrder order = layout->order;
    if (order.get32(head + 8) != fourccBE("AIFF")) return DECODER_ERROR_NOTSUPPORTED_CODECS;
    const u32 formSize = order.get32(head + 4);
    bool haveComm = false;
    bool haveSound = false;
    while (!(haveComm && haveSound)) {
        u8 chunk[8];
        if (!orv::readExactly(f, chunk, sizeof chunk)) return DECODER_ERROR_READERROR;
        const u32 id = order.get32(chunk);
        const u32 size = order.get32(chunk + 4);
        decoder_error e = DECODER_ERROR_NOERROR;
        if (id == fourccBE("COMM")) {
            e = size > formSize ? DECODER_ERROR_CORRUPT : readComm(f, size, order, &layout->comm);
            haveComm = true;
        } else if (id == fourccBE("SSND")) {
            e = readSoundHeader(f, size, order, layout);
            haveSound = true;
            // Met before the format: pass over the samples and come back for them.
            if (e == DECODER_ERROR_NOERROR && !haveComm &&
                fileCallback.seek(f, layout->dataSize + (size & 1), SEEK_CUR) != 0)
                e = DECODER_ERROR_READERROR;
        } else if (size > formSize) {
            e = DECODER_ERROR_CORRUPT;
        } else if (fileCallback.seek(f, static_cast<s64>(size) + (size & 1), SEEK_CUR) != 0) {
            e = DECODER_ERROR_READERROR;
        }
        if (e != DECODER_ERROR_NOERROR) return e;
    }
    return fileCallback.seek(f, layout->dataStart, SEEK_SET) == 0 ? DECODER_ERROR_NOERROR
                                                                  : DECODER_ERROR_READERROR;
}

pcm_converter converterFor(u32 bits, bool bigEndian) {
    if (bits == 24) return bigEndian ? pcm_24to16_bigendian : pcm_24to16;
    if (bits == 16) return bigEndian ? pcm_16to16_bigendian : pcm_16to16;
    return pcm_8to16;
}

} // namespace

double ConvertFromIeeeExtended(const u8 *bytes) {
    const int exponent = ((bytes[0] & 0x7F) << 8) | bytes[1];
    const u32 hiMantissa = orv::getBE32(bytes + 2);
    const u32 loMantissa = orv::getBE32(bytes + 6);
    double value;
    if (exponent == 0 && hiMantissa == 0 && loMantissa == 0) {
        value = 0;
    } else if (exponent == 0x7FFF) {
        value = HUGE_VAL;
    } else {
        const int scale = exponent - 16383;
        value = std::ldexp(static_cast<double>(hiMantissa), scale - 31);
        value += std::ldexp(static_cast<double>(loMantissa), scale - 63);
    }
    return (bytes[0] & 0x80) != 0 ? -value : value;
}

decoder_error aif_Open(decoder_struct *d, const char *fileName) {
    AifLayout layout{};
    aif_container *c = nullptr;
    decoder_error e = orv::pcmfile::startOpen(fileName, walkChunks, &layout, &c);
    if (e != DECODER_ERROR_NOERROR) return e;

    const orv::pcmfile::Format format = formatOf(layout.comm);
    const u32 frameBytes = orv::pcmfile::bytesPerFrame(format);
    c->pcm_decoder = converterFor(format.bitsPerSample, layout.order.bigEndian);
    c->channels = static_cast<u16>(format.channels);
    c->samplerate = format.sampleRate;
    c->nbits = format.bitsPerSample;
    c->bitrate = format.sampleRate * format.bitsPerSample * format.channels;
    c->audioStartOffset = layout.dataStart;
    c->endian = layout.order.bigEndian ? 1 : 0;
    // The samples end with the sound chunk, the file, or the frame count, whichever comes first.
    const s64 available =
        std::min(layout.dataSize, std::max<s64>(static_cast<s64>(c->fileLength) - layout.dataStart, 0));
    c->samples = static_cast<u32>(std::min<s64>(layout.comm.numSampleFrames, available / frameBytes));
    c->audioLength = static_cast<s64>(c->samples) * frameBytes;
    return orv::pcmfile::finishOpen(d, c, c->bitrate);
}

decoder_error aif_Decode(decoder_struct *d, audio16 *out, s32 *outSize) {
    auto *c = static_cast<aif_container *>(d->fileformatHandle);
    return orv::pcmfile::decode(d, *c, out, outSize, false);
}

decoder_error aif_Close(decoder_struct *d) {
    return orv::pcmfile::close<aif_container>(d);
}

decoder_error aif_GetSampleOffset(decoder_struct *d, s32 *position) {
    return orv::pcmfile::position<aif_container>(d, position);
}
