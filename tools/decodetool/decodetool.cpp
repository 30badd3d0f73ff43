// decodetool: a developer's window on the decoder front end. It decodes a file (whole, or in
// spans after seeks) into a 16-bit WAV file, builds or loads seek-table files, describes the
// open file in one line and runs the file conversion. Its exit status is the magnitude of the
// decoder error that stopped it.
#include "codecs/decoder/decoder.h"
#include "codecs/decoder/decoder_convert.h"
#include "codecs/encoder/encoder.h"
#include "decodetool_options.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace {

using decodetool::Options;

constexpr int kUsageExit = 64;

struct DecoderDeleter {
    void operator()(decoder_struct *d) const { decoder_destroy(d); }
};
struct EncoderDeleter {
    void operator()(encoder_struct *e) const { encoder_destroy(e); }
};
using Decoder = std::unique_ptr<decoder_struct, DecoderDeleter>;
using Encoder = std::unique_ptr<encoder_struct, EncoderDeleter>;

int exitCodeOf(int error) {
    return error < 0 ? -error : 0;
}

const char *formatName(fileformat_type t) {
    switch (t) {
    case FILEFORMAT_TYPE_RAW:
        return "RAW";
    case FILEFORMAT_TYPE_PCM:
        return "PCM";
    case FILEFORMAT_TYPE_WAV:
        return "WAV";
    case FILEFORMAT_TYPE_MP3:
        return "MP3";
    case FILEFORMAT_TYPE_AAC:
        return "AAC";
    case FILEFORMAT_TYPE_MP4:
        return "MP4";
    case FILEFORMAT_TYPE_OGG:
        return "OGG";
    case FILEFORMAT_TYPE_M4A:
        return "M4A";
    case FILEFORMAT_TYPE_AIF:
        return "AIF";
    case FILEFORMAT_TYPE_AIFF:
        return "AIFF";
    case FILEFORMAT_TYPE_FLAC:
        return "FLAC";
    case FILEFORMAT_TYPE_NOTSUPPORTED:
        return "NOTSUPPORTED";
    default:
        return "UNDEFINED";
    }
}

const char *codecName(codec_type t) {
    switch (t) {
    case CODEC_TYPE_PCM:
        return "PCM";
    case CODEC_TYPE_MP3:
        return "MP3";
    case CODEC_TYPE_AAC:
        return "AAC";
    case CODEC_TYPE_FLAC:
        return "FLAC";
    case CODEC_TYPE_NOTSUPPORTED:
        return "NOTSUPPORTED";
    default:
        return "UNDEFINED";
    }
}

const char *seekName(decoder_seek_status s) {
    switch (s) {
    case DECODER_SEEK_NOTSEEKABLE:
        return "NOTSEEKABLE";
    case DECODER_SEEK_BACKWARD_SEEKABLE:
        return "BACKWARD_SEEKABLE";
    case DECODER_SEEK_PARTIAL_SEEKABLE:
        return "PARTIAL_SEEKABLE";
    case DECODER_SEEK_SEEKABLE:
        return "SEEKABLE";
    case DECODER_SEEK_NATIVELY_SEEKABLE:
        return "NATIVELY_SEEKABLE";
    default:
        return "UNKNOWN";
    }
}

const char *qualityName(decoder_quality q) {
    switch (q) {
    case DECODER_QUALITY_HALF:
        return "HALF";
    case DECODER_QUALITY_QUATER:
        return "QUATER";
    case DECODER_QUALITY_MONO:
        return "MONO";
    default:
        return "FULL";
    }
}

const char *srcName(src_quality q) {
    switch (q) {
    case SRC_QUALITY_MID:
        return "MID";
    case SRC_QUALITY_HIGH:
        return "HIGH";
    default:
        return "LOW";
    }
}

void printInfo(const decoder_struct *d) {
    std::printf(
        "format=%s codec=%s rate=%d channels=%d output=%d seek=%s samples=%llu ms=%u exact_samples=%llu "
        "exact_ms=%u bitrate=%d avg_bitrate=%.0f quality=%s src=%s converter=%s\n",
        formatName(d->fileFormatType), codecName(d->codecType), d->sampleRate, d->numChannels,
        d->outputSampleRate, seekName(d->seekStatus), static_cast<unsigned long long>(d->durationInSamples),
        d->durationInMs, static_cast<unsigned long long>(d->durationInSamplesExact), d->durationInMsExact,
        d->bitRate, static_cast<double>(d->averageBitRate), qualityName(d->decoderQuality),
        srcName(d->srcQuality), d->srconvHandle != nullptr ? "yes" : "no");
    std::fflush(stdout);
}

// Reads up to `frames` frames (all when negative) in requests of `block` frames and hands them
// to the writer (when there is one). Returns 0 at the end of the file or the span, else the
// error that stopped it.
int decodeSpan(decoder_struct *d, encoder_struct *e, u32 block, long long frames) {
    const u32 channels = d->forceStereo != 0 ? 2 : static_cast<u32>(d->numChannels);
    std::vector<audio16> buffer(static_cast<size_t>(block) * channels);
    int emptyReads = 0;
    while (frames != 0) {
        s32 n = static_cast<s32>(frames < 0 ? block : std::min<long long>(frames, block));
        const decoder_error result = decoder_getSample(d, buffer.data(), &n);
        if (n > 0 && e != nullptr) {
            const encoder_error written = encoder_addSamples(e, buffer.data(), static_cast<u32>(n));
            if (written != ENCODER_ERROR_NOERROR) return written;
        }
        if (result == DECODER_ERROR_ENDOFFILE) return 0;
        if (result != DECODER_ERROR_NOERROR) return result;
        // A reader with nothing to give (a scan that delivers no samples) ends the run.
        emptyReads = n > 0 ? 0 : emptyReads + 1;
        if (emptyReads >= 2) return 0;
        if (frames > 0) frames -= n;
    }
    return 0;
}

// A build-seek-table pass. The stream readers scan one frame per call and deliver nothing, so
// they are read until they report the end; the others deliver nothing at all in this mode.
int scanForSeektable(decoder_struct *d, u32 block) {
    const bool framewise = d->fileFormatType == FILEFORMAT_TYPE_MP3 ||
                           d->fileFormatType == FILEFORMAT_TYPE_AAC ||
                           d->fileFormatType == FILEFORMAT_TYPE_MP4;
    if (!framewise) return decodeSpan(d, nullptr, block, -1);
    std::vector<audio16> buffer(static_cast<size_t>(block) * 2);
    for (;;) {
        s32 n = static_cast<s32>(block);
        const decoder_error result = decoder_getSample(d, buffer.data(), &n);
        if (result == DECODER_ERROR_ENDOFFILE) return 0;
        if (result != DECODER_ERROR_NOERROR) return result;
    }
}

int writeDecoded(decoder_struct *d, const Options &o) {
    Encoder e;
    const u32 block = o.block != 0 ? o.block : o.maxFrames;
    if (!o.output.empty()) {
        const u32 channels = o.forceStereo ? 2 : static_cast<u32>(d->numChannels);
        e.reset(encoder_new(ENCODER_SAMPLE_FORMAT_INT16, block * channels));
        if (e == nullptr) return DECODER_ERROR_OUTOFMEMORY;
        const encoder_error opened =
            encoder_open(e.get(), o.output.c_str(), static_cast<u32>(d->outputSampleRate),
                         ENCODER_SAMPLE_FORMAT_INT16, channels);
        if (opened != ENCODER_ERROR_NOERROR) {
            std::fprintf(stderr, "decodetool: cannot write %s: error %d\n", o.output.c_str(), opened);
            return opened;
        }
    }
    if (o.seeks.empty()) return decodeSpan(d, e.get(), block, -1);
    for (const decodetool::Span &span : o.seeks) {
        const decoder_error sought =
            span.first < 0 ? DECODER_ERROR_NOERROR : decoder_setSampleOffset(d, span.first);
        if (sought != DECODER_ERROR_NOERROR) return sought;
        const int result = decodeSpan(d, e.get(), block, span.count);
        if (result != 0) return result;
    }
    return 0;
}

int run(const Options &o) {
    const char *seektable = o.seektable.empty() ? nullptr : o.seektable.c_str();
    if (o.convert) {
        const decoder_error e =
            decoder_convertToWaveFile(o.input.c_str(), o.output.c_str(), seektable,
                                      static_cast<s32>(o.convert->first), static_cast<s32>(o.convert->count));
        return exitCodeOf(e);
    }
    Decoder d(decoder_new(o.rate, o.forceStereo ? 1 : 0, o.maxFrames));
    if (d == nullptr) {
        std::fprintf(stderr, "decodetool: no decoder for output rate %d and %u frames\n", o.rate,
                     o.maxFrames);
        return kUsageExit;
    }
    const u32 mode = o.buildSeektable ? DECODER_MODE_BUILDSEEK : DECODER_MODE_DECODE;
    const decoder_error opened =
        decoder_open(d.get(), o.input.c_str(), mode, seektable, o.buildSeektable ? 1 : 0, o.quality);
    if (opened != DECODER_ERROR_NOERROR) {
        std::fprintf(stderr, "decodetool: cannot open %s: error %d\n", o.input.c_str(), opened);
        return exitCodeOf(opened);
    }
    if (seektable != nullptr && !o.buildSeektable) {
        const decoder_error loaded = decoder_loadSeektableFile(d.get(), seektable);
        if (loaded != DECODER_ERROR_NOERROR)
            std::fprintf(stderr, "decodetool: seek table: error %d\n", loaded);
    }
    if (o.decoderQuality) {
        const decoder_error set = decoder_setQuality(d.get(), *o.decoderQuality);
        if (set != DECODER_ERROR_NOERROR) std::fprintf(stderr, "decodetool: quality: error %d\n", set);
    }
    if (o.info) printInfo(d.get());
    int result = 0;
    if (o.buildSeektable) {
        result = scanForSeektable(d.get(), o.maxFrames);
    } else if (!o.output.empty() || !o.seeks.empty() || !o.info) {
        result = writeDecoded(d.get(), o);
    }
    decoder_close(d.get());
    if (result != 0) std::fprintf(stderr, "decodetool: %s: error %d\n", o.input.c_str(), result);
    return exitCodeOf(result);
}

} // namespace

int main(int argc, char **argv) {
    const std::optional<Options> options = decodetool::parse(argc, argv);
    if (!options) {
        decodetool::printUsage();
        return kUsageExit;
    }
    return run(*options);
}
