#include "codecs/fileformat/flac.h"

#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/pcmfile.h"
#include "orvsys/debugmsg.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr s32 kFlacAudioFrameSize = 36864;

bool startsWithMarker(FILE *f) {
    char head[4] = {};
    return orv::readExactly(f, head, sizeof head) && std::memcmp(head, "fLaC", 4) == 0;
}

void finishAndDelete(FLAC__StreamDecoder *decoder) {
    if (decoder == nullptr) return;
    if (FLAC__stream_decoder_get_state(decoder) != FLAC__STREAM_DECODER_UNINITIALIZED &&
        !FLAC__stream_decoder_finish(decoder))
        die_s_("FLAC__stream_decoder_finish() FAILED", decoder);
    FLAC__stream_decoder_delete(decoder);
}

void release(flacfileformat_t *c) {
    if (c == nullptr) return;
    finishAndDelete(c->decoder);
    pcmbuffer_destory(c->pcm);
    delete c;
}

// Runs libFLAC over the stream information; the record's client data receives it.
decoder_error startDecoder(flacfileformat_t *c, const char *fileName) {
    c->decoder = FLAC__stream_decoder_new();
    if (c->decoder == nullptr) {
        std::printf("ERROR: %s\n", "FLAC__stream_decoder_new() FAILED, returned NULL\n");
        return DECODER_ERROR_OUTOFMEMORY;
    }
    if (FLAC__stream_decoder_init_file(c->decoder, fileName, write_callback_, metadata_callback_,
                                       error_callback_, &c->dcd) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        die_s_("FLAC__stream_decoder_init_file() FAILED", c->decoder);
        return DECODER_ERROR_READERROR;
    }
    if (!FLAC__stream_decoder_process_until_end_of_metadata(c->decoder)) {
        die_s_("FLAC__stream_decoder_process_until_end_of_metadata() FAILED", c->decoder);
        return DECODER_ERROR_CORRUPT;
    }
    if (!c->dcd.got_data || c->dcd.error_occurred) return DECODER_ERROR_CORRUPT;
    if (c->dcd.channels < 1 || c->dcd.channels > 2) return DECODER_ERROR_NOTSUPPORTED_NUMCHANS;
    if (c->dcd.sample_rate < 1) return DECODER_ERROR_NOTSUPPORTED_SAMPLERATE;
    if (c->dcd.max_blocksize < 1) return DECODER_ERROR_CORRUPT;
    return DECODER_ERROR_NOERROR;
}

// Fills the decoder fields from the stream information. A stream that does not know its length
// (total 0) has unknown durations and bit rate.
void describe(decoder_struct *d, const flacfileformat_t *c) {
    const DecoderClientData &info = c->dcd;
    d->codecType = CODEC_TYPE_FLAC;
    d->seekStatus = DECODER_SEEK_NATIVELY_SEEKABLE;
    d->sampleRate = static_cast<s32>(info.sample_rate);
    d->numChannels = static_cast<s32>(info.channels);
    d->audioFrameSize = kFlacAudioFrameSize;
    d->durationInSamples = d->durationInSamplesExact = info.total_samples;
    if (info.total_samples == 0) return;
    const float bitRate = static_cast<float>(c->fileSize) * 8.0f * static_cast<float>(info.sample_rate) /
                          static_cast<float>(info.total_samples);
    d->bitRate = bitRate < static_cast<float>(std::numeric_limits<s32>::max())
                     ? static_cast<s32>(bitRate)
                     : std::numeric_limits<s32>::max();
    d->averageBitRate = static_cast<float>(d->bitRate);
    const u64 ms = info.total_samples / info.sample_rate * 1000 +
                   info.total_samples % info.sample_rate * 1000 / info.sample_rate;
    d->durationInMs = d->durationInMsExact =
        static_cast<u32>(std::min<u64>(ms, std::numeric_limits<u32>::max()));
}

// The ring holds the largest request plus one block, the largest the stream announces: the
// decode loop stops once a request is covered, so one more block always fits.
decoder_error makeRing(decoder_struct *d, flacfileformat_t *c) {
    c->maxOutSize = orv::pcmfile::bufferFrames(d, c->dcd.sample_rate);
    const s64 samples = (static_cast<s64>(c->maxOutSize) + c->dcd.max_blocksize) * c->dcd.channels;
    c->pcm = pcmbuffer_new(static_cast<s32>(samples));
    c->dcd.pcm = c->pcm;
    return c->pcm == nullptr ? DECODER_ERROR_OUTOFMEMORY : DECODER_ERROR_NOERROR;
}

decoder_error openStream(decoder_struct *d, const char *fileName, flacfileformat_t **record) {
    FILE *f = fileCallback.open(fileName, "rb");
    if (f == nullptr) return DECODER_ERROR_OPENFILEFAILED;
    const bool isFlac = startsWithMarker(f);
    const s64 fileSize = orv::fileLength(f);
    fileCallback.close(f); // libFLAC opens the file by its name
    if (!isFlac) return DECODER_ERROR_NOTSUPPORTED_CODECS;
    auto *c = new (std::nothrow) flacfileformat_t{};
    if (c == nullptr) return DECODER_ERROR_OUTOFMEMORY;
    *record = c;
    c->fileSize = static_cast<u64>(std::max<s64>(fileSize, 0));
    decoder_error e = startDecoder(c, fileName);
    if (e == DECODER_ERROR_NOERROR) e = makeRing(d, c);
    return e;
}

// Carries out a pending seek. A target past the end is refused with the position kept; a seek
// libFLAC cannot carry out leaves the ring empty. The end itself is reached through its last
// frame, whose samples are then dropped.
decoder_error seekPending(decoder_struct *d, flacfileformat_t *c) {
    const u64 target = static_cast<u64>(d->seekPosition);
    d->seekPosition = -1;
    const u64 total = c->dcd.total_samples;
    if (total != 0 && target > total) return DECODER_ERROR_OUTOFRANGE;
    const bool toTheEnd = total != 0 && target == total;
    // A decoder stopped by an earlier error must be running again before it can seek.
    if (FLAC__stream_decoder_get_state(c->decoder) == FLAC__STREAM_DECODER_ABORTED)
        FLAC__stream_decoder_flush(c->decoder);
    pcmbuffer_reset(c->pcm, toTheEnd ? static_cast<s32>(c->dcd.channels) : 0);
    c->dcd.error_occurred = false;
    if (!FLAC__stream_decoder_seek_absolute(c->decoder, toTheEnd ? target - 1 : target)) {
        die_s_("FLAC__stream_decoder_seek_absolute() FAILED", c->decoder);
        if (FLAC__stream_decoder_get_state(c->decoder) == FLAC__STREAM_DECODER_SEEK_ERROR)
            FLAC__stream_decoder_flush(c->decoder);
        pcmbuffer_reset(c->pcm, 0);
        // Where libFLAC stopped is unknown: reading goes on only after another seek.
        c->dcd.error_occurred = true;
        return DECODER_ERROR_OUTOFRANGE;
    }
    d->lastError = DECODER_ERROR_NOERROR;
    return DECODER_ERROR_NOERROR;
}

// Decodes blocks until the ring covers `samples` or the stream ends.
decoder_error fill(flacfileformat_t *c, s32 samples) {
    while (pcmbuffer_getNumSamples(c->pcm) < samples) {
        const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(c->decoder);
        if (state == FLAC__STREAM_DECODER_END_OF_STREAM) break;
        if (!FLAC__stream_decoder_process_single(c->decoder) || c->dcd.error_occurred) {
            debugmsg("flacDecode err = %d", static_cast<int>(FLAC__stream_decoder_get_state(c->decoder)));
            return DECODER_ERROR_ERROR;
        }
    }
    return DECODER_ERROR_NOERROR;
}

} // namespace

decoder_error flac_Open(decoder_struct *d, const char *fileName) {
    flacfileformat_t *c = nullptr;
    const decoder_error e = openStream(d, fileName, &c);
    if (e != DECODER_ERROR_NOERROR) {
        release(c);
        d->lastError = e;
        return e;
    }
    describe(d, c);
    d->fileformatHandle = c;
    return DECODER_ERROR_NOERROR;
}

decoder_error flac_Decode(decoder_struct *d, audio16 *out, s32 *outSize) {
    auto *c = static_cast<flacfileformat_t *>(d->fileformatHandle);
    const s32 wanted = std::clamp<s32>(*outSize, 0, c->maxOutSize);
    *outSize = 0;
    decoder_error result = DECODER_ERROR_NOERROR;
    if (d->seekPosition >= 0) {
        result = seekPending(d, c);
        if (result != DECODER_ERROR_NOERROR) d->lastError = result;
        if (result != DECODER_ERROR_NOERROR && c->dcd.error_occurred) return result;
    }
    if (d->mode == DECODER_MODE_BUILDSEEK) return result;
    const s32 channels = static_cast<s32>(c->dcd.channels);
    const decoder_error e = fill(c, wanted * channels);
    if (e == DECODER_ERROR_NOERROR && pcmbuffer_getNumSamples(c->pcm) <= 0 &&
        FLAC__stream_decoder_get_state(c->decoder) == FLAC__STREAM_DECODER_END_OF_STREAM)
        return DECODER_ERROR_ENDOFFILE;
    // What was decoded before a stream error is still delivered with it.
    *outSize = pcmbuffer_read(c->pcm, out, wanted, channels);
    return e != DECODER_ERROR_NOERROR ? e : result;
}

decoder_error flac_Close(decoder_struct *d) {
    release(static_cast<flacfileformat_t *>(d->fileformatHandle));
    d->fileformatHandle = nullptr;
    return DECODER_ERROR_NOERROR;
}

decoder_error flac_GetSampleOffset(decoder_struct *d, s32 *position) {
    const auto *c = static_cast<const flacfileformat_t *>(d->fileformatHandle);
    *position = static_cast<s32>(std::min<u64>(c->dcd.current_sample, INT32_MAX));
    return DECODER_ERROR_NOERROR;
}
