// Creating, opening and closing decoders, and the operations that act on an open file as a
// whole (seek-table loading, quality, the shared file operations).
#include "codecs/decoder/decoder.h"

#include "codecs/decoder/decoder_readers.h"
#include "orvsys/debugmsg.h"
#include "orvsys/orvconfig.h"
#include "srconv/srconv.h"

#include <cstring>
#include <new>

namespace {

struct Extension {
    const char *text;
    fileformat_type type;
};

// Compared in this order; ".aif" and ".aiff" are told apart by the whole text.
constexpr Extension kExtensions[] = {
    {".raw", FILEFORMAT_TYPE_RAW},   {".pcm", FILEFORMAT_TYPE_PCM},   {".wav", FILEFORMAT_TYPE_WAV},
    {".mp3", FILEFORMAT_TYPE_MP3},   {".aac", FILEFORMAT_TYPE_AAC},   {".mp4", FILEFORMAT_TYPE_MP4},
    {".ogg", FILEFORMAT_TYPE_OGG},   {".m4a", FILEFORMAT_TYPE_M4A},   {".aif", FILEFORMAT_TYPE_AIF},
    {".aiff", FILEFORMAT_TYPE_AIFF}, {".flac", FILEFORMAT_TYPE_FLAC},
};

constexpr s32 kOutputRates[] = {44100, 24000, 22050, 11025};

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(const char *a, const char *b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (asciiLower(*a) != asciiLower(*b)) return false;
    return *a == *b;
}

// The format named by the text from the last "." of the name.
fileformat_type formatOfName(const char *fileName) {
    const char *dot = std::strrchr(fileName, '.');
    if (dot == nullptr) return FILEFORMAT_TYPE_NOTSUPPORTED;
    for (const Extension &e : kExtensions)
        if (equalsIgnoringCase(dot, e.text)) return e.type;
    return FILEFORMAT_TYPE_NOTSUPPORTED;
}

// Aliases share a reader.
fileformat_type readerFormat(fileformat_type type) {
    switch (type) {
    case FILEFORMAT_TYPE_PCM:
        return FILEFORMAT_TYPE_RAW;
    case FILEFORMAT_TYPE_M4A:
        return FILEFORMAT_TYPE_MP4;
    case FILEFORMAT_TYPE_AIFF:
        return FILEFORMAT_TYPE_AIF;
    default:
        return type;
    }
}

// Every field that describes one file starts afresh, so nothing of the previous song (a
// quality, a pending seek, a length, a handle) carries over to the next. Only what the decoder
// was created with stays.
void resetFileFields(decoder_struct *d) {
    decoder_struct fresh{};
    fresh.maxFrameSize = d->maxFrameSize;
    fresh.outputSampleRate = d->outputSampleRate;
    fresh.forceStereo = d->forceStereo;
    fresh.isOpened = d->isOpened;
    fresh.decoderQuality = DECODER_QUALITY_FULL;
    fresh.srcQuality = SRC_QUALITY_LOW;
    fresh.fileFormatType = FILEFORMAT_TYPE_UNDEFINED;
    fresh.codecType = CODEC_TYPE_UNDEFINED;
    fresh.seekStatus = DECODER_SEEK_UNKNOWN;
    *d = fresh;
}

// For a stereo MP3 stream at two or four times the output rate, the frame decoder may
// synthesise at a half or a quarter of the rate. Returns the rate divisor in use.
s32 chooseReducedRate(decoder_struct *d) {
    if (d->fileFormatType != FILEFORMAT_TYPE_MP3 || d->codecType != CODEC_TYPE_MP3 || d->numChannels != 2)
        return 1;
    const s64 rate = d->sampleRate;
    const s64 out = d->outputSampleRate;
    decoder_quality quality;
    s32 divisor;
    if (rate >= 4 * out && srconv_isSupported(static_cast<u32>(rate / 4), static_cast<u32>(out))) {
        quality = DECODER_QUALITY_QUATER;
        divisor = 4;
    } else if (rate >= 2 * out && srconv_isSupported(static_cast<u32>(rate / 2), static_cast<u32>(out))) {
        quality = DECODER_QUALITY_HALF;
        divisor = 2;
    } else {
        return 1;
    }
    if (decoder_setQuality(d, quality) == DECODER_ERROR_NOERROR) return divisor;
    d->lastError = DECODER_ERROR_NOERROR; // a refusal only means full-rate decoding
    return 1;
}

// The checks after the reader opened: channels, a rate the converter serves, the converter.
decoder_error prepareOutput(decoder_struct *d, s32 divisor) {
    if (d->numChannels < 1 || d->numChannels > 2) return DECODER_ERROR_NOTSUPPORTED_NUMCHANS;
    const s32 sourceRate = d->sampleRate / divisor;
    if (sourceRate < 1 ||
        srconv_isSupported(static_cast<u32>(sourceRate), static_cast<u32>(d->outputSampleRate)) == 0)
        return DECODER_ERROR_NOTSUPPORTED_SAMPLERATE;
    if (sourceRate == d->outputSampleRate) return DECODER_ERROR_NOERROR;
    d->srconvHandle = srconv_new(static_cast<u32>(sourceRate), static_cast<u32>(d->outputSampleRate),
                                 static_cast<u32>(d->numChannels), d->maxFrameSize,
                                 static_cast<srconv_quality>(d->srcQuality));
    return d->srconvHandle == nullptr ? DECODER_ERROR_ERROR : DECODER_ERROR_NOERROR;
}

} // namespace

decoder_struct *decoder_new(s32 outputSampleRate, s32 forceStereo, u32 maxFrameSize) {
    bool rateKnown = false;
    for (s32 rate : kOutputRates) rateKnown = rateKnown || rate == outputSampleRate;
    if (!rateKnown || maxFrameSize == 0 || maxFrameSize > kDecoderMaxFrameSize) return nullptr;
    auto *d = new (std::nothrow) decoder_struct{};
    if (d == nullptr) return nullptr;
    d->maxFrameSize = maxFrameSize;
    d->outputSampleRate = outputSampleRate;
    d->forceStereo = forceStereo != 0 ? 1 : 0;
    resetFileFields(d);
    return d;
}

decoder_struct *decoder_destroy(decoder_struct *d) {
    if (d != nullptr) {
        decoder_close(d);
        delete d;
    }
    return nullptr;
}

decoder_error decoder_open(decoder_struct *d, const char *fileName, u32 mode, const char *seektableFileName,
                           s8 rebuildSeektable, src_quality srcQuality) {
    if (d->isOpened != 0) return DECODER_ERROR_ALREADYOPENED;
    resetFileFields(d);
    if (fileName == nullptr) return d->lastError = DECODER_ERROR_OPENFILEFAILED;
    const fileformat_type type = formatOfName(fileName);
    if (type == FILEFORMAT_TYPE_NOTSUPPORTED) return d->lastError = DECODER_ERROR_NOTSUPPORTED_FILEFORMAT;
    d->fileFormatType = readerFormat(type);
    d->rebuildSeektable = rebuildSeektable;
    d->mode = mode;
    d->srcQuality = srcQuality;

    decoder_error e = type == FILEFORMAT_TYPE_OGG ? DECODER_ERROR_NOTSUPPORTED
                                                  : orv::readers::open(d, fileName, seektableFileName);
    d->lastError = e;
    if (e != DECODER_ERROR_NOERROR) return e;

    e = prepareOutput(d, chooseReducedRate(d));
    if (e != DECODER_ERROR_NOERROR) {
        orv::readers::close(d);
        return e;
    }
    d->isOpened = 1;
    debugmsg("\ndecoder_open() succeeded %s\n", fileName);
    return DECODER_ERROR_NOERROR;
}

void decoder_close(decoder_struct *d) {
    if (d->isOpened == 0) return;
    orv::readers::close(d);
    srconv_destroy(d->srconvHandle);
    d->srconvHandle = nullptr;
    if (d->seekFile != nullptr) {
        fileCallback.close(d->seekFile);
        d->seekFile = nullptr;
    }
    d->isOpened = 0;
    debugmsg("\ndecoder_close() succeeded\n");
}

decoder_error decoder_loadSeektableFile(decoder_struct *d, const char *seektableFileName) {
    decoder_error e;
    if (d->isOpened == 0) {
        e = DECODER_ERROR_NOTOPENED;
    } else if (d->seekStatus == DECODER_SEEK_NATIVELY_SEEKABLE) {
        e = DECODER_ERROR_SEEKTABLE_NOT_NEEDED;
    } else if (d->seekStatus == DECODER_SEEK_SEEKABLE) {
        e = DECODER_ERROR_SEEKTABLE_ALREADY_LOADED;
    } else if (d->fileFormatType == FILEFORMAT_TYPE_MP3 || d->fileFormatType == FILEFORMAT_TYPE_AAC) {
        e = orv::readers::loadSeektableFile(d, seektableFileName);
    } else if (d->fileFormatType == FILEFORMAT_TYPE_FLAC) {
        return d->lastError;
    } else {
        e = DECODER_ERROR_NOERROR;
    }
    return d->lastError = e;
}

decoder_error decoder_setQuality(decoder_struct *d, decoder_quality quality) {
    if (d->lastError != DECODER_ERROR_NOERROR) return DECODER_ERROR_ERROR;
    if constexpr (orv::kDeviceConfig) {
        // The unit always decodes at the full rate.
        return d->lastError = DECODER_ERROR_NOTSUPPORTED;
    }
    const bool streamReader = (d->fileFormatType == FILEFORMAT_TYPE_MP4 && d->codecType == CODEC_TYPE_AAC) ||
                              (d->fileFormatType == FILEFORMAT_TYPE_AAC && d->codecType == CODEC_TYPE_AAC) ||
                              (d->fileFormatType == FILEFORMAT_TYPE_MP3 && d->codecType == CODEC_TYPE_MP3);
    return d->lastError = streamReader ? orv::readers::setQuality(d, quality) : DECODER_ERROR_NOTSUPPORTED;
}

void decoder_setFileCallback(const file_callback *callbacks) {
    if (callbacks == nullptr || callbacks->open == nullptr || callbacks->read == nullptr ||
        callbacks->write == nullptr || callbacks->seek == nullptr || callbacks->tell == nullptr ||
        callbacks->close == nullptr)
        return;
    fileCallback = *callbacks;
}
