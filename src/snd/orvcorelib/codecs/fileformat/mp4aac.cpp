#include "codecs/fileformat/mp4aac.h"

#include "codecs/aacdec/aacdec.h"
#include "codecs/fileformat/fileops.h"
#include "codecs/fileformat/pcmfile.h"
#include "codecs/fileformat/streamreader.h"
#include "orvsys/debugmsg.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr s32 kAacObjectTypeLc = 2;
constexpr s32 kAacProfileLc = 1;
constexpr s32 kSamplingFrequencies[] = {96000, 88200, 64000, 48000, 44100, 32000,
                                        24000, 22050, 16000, 12000, 11025, 8000};

u32 readFile(void *userData, void *buffer, u32 length) {
    return read_callback(static_cast<FILE *>(userData), static_cast<char *>(buffer), length);
}

u32 seekFile(void *userData, u64 position) {
    return seek_callback(static_cast<FILE *>(userData), position) == 0 ? 0 : 1;
}

bool startsWithFtyp(FILE *f) {
    u8 head[8] = {};
    return orv::readExactly(f, head, sizeof head) && std::memcmp(head + 4, "ftyp", 4) == 0;
}

// The AAC-LC track the reader plays: its index, rate and channel count.
struct Choice {
    s32 track = -1;
    s32 sampleRate = 0;
    s32 channels = 0;
};

// A track qualifies by its decoder configuration: object type LC, a table rate, at most two
// channels. Returns 0 with the first that does; else -12 when the last track examined is of a
// known kind, -3 otherwise.
decoder_error chooseTrack(const mp4ff_t *file, Choice *choice) {
    const s32 tracks = mp4ff_total_tracks(file);
    bool lastKnown = false;
    for (s32 i = 0; i < tracks; ++i) {
        lastKnown = mp4ff_get_track_type(file, i) != MP4FF_TRACK_UNKNOWN;
        const mp4ff_track_t *t = file->track[i];
        if (t->decoderConfig == nullptr || t->decoderConfigLen < 2) continue;
        const u8 *cfg = t->decoderConfig;
        const s32 objectType = cfg[0] >> 3;
        const s32 rateIndex = ((cfg[0] & 7) << 1) | (cfg[1] >> 7);
        const s32 channels = (cfg[1] >> 3) & 15;
        if (objectType != kAacObjectTypeLc || rateIndex > 11 || channels > 2) continue;
        if (channels == 0) return DECODER_ERROR_NOTSUPPORTED_NUMCHANS;
        *choice = {i, kSamplingFrequencies[rateIndex], channels};
        return DECODER_ERROR_NOERROR;
    }
    return lastKnown ? DECODER_ERROR_NOTSUPPORTED_CODECS : DECODER_ERROR_CORRUPT;
}

// Samples the track can play: those with a duration, and a size where sizes are tabled.
s32 playableSamples(const mp4ff_t *file, s32 track) {
    const s32 timed = mp4ff_num_samples(file, track);
    const mp4ff_track_t *t = file->track[track];
    return t->stsz_sample_size != 0 ? timed : std::min(timed, t->stsz_sample_count);
}

// The track's time scale; where it is missing the rate stands in for it.
u64 timeScaleOf(const decoder_struct *d, const mp4fileformat_t *c) {
    const s32 scale = mp4ff_time_scale(c->mp4file, c->mp4track);
    return static_cast<u64>(scale > 0 ? scale : d->sampleRate);
}

void describe(decoder_struct *d, mp4fileformat_t *c) {
    const mp4ff_t *file = c->mp4file;
    d->bitRate = static_cast<s32>(std::min<u32>(mp4ff_get_avg_bitrate(file, c->mp4track), INT32_MAX));
    d->averageBitRate = static_cast<float>(d->bitRate);
    c->numSamples = playableSamples(file, c->mp4track);
    c->sampleId = 0;
    const s64 duration = mp4ff_get_track_duration_use_offsets(file, c->mp4track);
    const s32 scale = mp4ff_time_scale(file, c->mp4track);
    const u64 ms = duration >= 0 && scale > 0 ? static_cast<u64>(duration) / static_cast<u64>(scale) * 1000 +
                                                    static_cast<u64>(duration) % static_cast<u64>(scale) *
                                                        1000 / static_cast<u64>(scale)
                                              : 0;
    c->m_length = static_cast<u32>(std::min<u64>(ms, std::numeric_limits<u32>::max()));
    d->durationInMs = d->durationInMsExact = c->m_length;
    d->durationInSamples = d->durationInSamplesExact = static_cast<u64>(c->numSamples) * AAC_MAX_NSAMPS;
    d->audioFrameSize = kMp4AudioFrameSize;
}

void release(decoder_struct *d, mp4fileformat_t *c) {
    if (c != nullptr) {
        pcmbuffer_destory(c->pcm);
        mp4ff_close(c->mp4file);
        delete[] c->sampleBuffer;
        delete c;
    }
    d->fileformatHandle = nullptr;
    AACFreeDecoder(d->decoderHandle);
    d->decoderHandle = nullptr;
    if (d->inFile != nullptr) fileCallback.close(d->inFile);
    d->inFile = nullptr;
}

// Parses the file, chooses the track and makes the frame decoder for its raw blocks.
decoder_error openTrack(decoder_struct *d, mp4fileformat_t *c) {
    c->mp4cb = {readFile, nullptr, seekFile, nullptr, d->inFile};
    c->mp4file = mp4ff_open_read(&c->mp4cb);
    if (c->mp4file == nullptr) return DECODER_ERROR_READERROR;
    if (mp4ff_total_tracks(c->mp4file) == 0) return DECODER_ERROR_CORRUPT;
    Choice choice;
    const decoder_error e = chooseTrack(c->mp4file, &choice);
    if (e != DECODER_ERROR_NOERROR) return e;
    c->mp4track = choice.track;
    d->numChannels = choice.channels;
    d->sampleRate = choice.sampleRate;
    d->decoderHandle = AACInitDecoder();
    if (d->decoderHandle == nullptr) return DECODER_ERROR_OUTOFMEMORY;
    AACFrameInfo info{};
    info.nChans = choice.channels;
    info.sampRateCore = choice.sampleRate;
    info.profile = kAacProfileLc;
    const int err = AACSetRawBlockParams(d->decoderHandle, 0, &info);
    if (err != ERR_AAC_NONE) {
        debugmsg("mp4aac_Open err = %d", err);
        return DECODER_ERROR_ERROR;
    }
    return DECODER_ERROR_NOERROR;
}

decoder_error makeBuffers(decoder_struct *d, mp4fileformat_t *c) {
    c->maxOutSize = orv::pcmfile::bufferFrames(d, static_cast<u32>(d->sampleRate));
    c->pcm = pcmbuffer_new(orv::stream::ringSamples(d->numChannels, AAC_MAX_NSAMPS, c->maxOutSize));
    c->sampleBuffer = new (std::nothrow) u8[kMp4SampleBufferSize];
    if (c->pcm == nullptr || c->sampleBuffer == nullptr) return DECODER_ERROR_OUTOFMEMORY;
    std::memset(c->sampleBuffer, 0xCD, kMp4SampleBufferSize);
    return DECODER_ERROR_NOERROR;
}

decoder_error openFile(decoder_struct *d, const char *fileName, mp4fileformat_t **record) {
    d->inFile = fileCallback.open(fileName, "rb");
    if (d->inFile == nullptr) return DECODER_ERROR_OPENFILEFAILED;
    if (!startsWithFtyp(d->inFile)) return DECODER_ERROR_NOTSUPPORTED;
    d->codecType = CODEC_TYPE_AAC;
    d->seekStatus = DECODER_SEEK_NATIVELY_SEEKABLE;
    auto *c = new (std::nothrow) mp4fileformat_t{};
    if (c == nullptr) return DECODER_ERROR_OUTOFMEMORY;
    *record = c;
    c->mp4track = -1;
    decoder_error e = openTrack(d, c);
    if (e == DECODER_ERROR_NOERROR) e = makeBuffers(d, c);
    if (e == DECODER_ERROR_NOERROR) describe(d, c);
    return e;
}

enum class Sample { decoded, end, error };

// Decodes sample `index` at the ring's write position; its samples join the ring when kept. A
// sample too short to decode, or too large to read, plays as one frame of silence; a sample
// the file does not hold whole ends the track.
Sample decodeSample(decoder_struct *d, mp4fileformat_t *c, s32 index, bool keep) {
    const s32 frame = d->numChannels * AAC_MAX_NSAMPS;
    audio16 *target = pcmbuffer_getBufferForWrite(c->pcm, frame);
    const s32 size = mp4ff_audio_frame_size(c->mp4file, c->mp4track, index);
    int err = ERR_AAC_INDATA_UNDERFLOW;
    if (size >= 0 && static_cast<u32>(size) <= kMp4SampleBufferSize) {
        u32 bytes = kMp4SampleBufferSize;
        mp4ff_read_sample(c->mp4file, c->mp4track, index, &c->sampleBuffer, &bytes);
        if (bytes == 0 && size > 0) return Sample::end;
        unsigned char *ptr = c->sampleBuffer;
        int left = static_cast<int>(bytes);
        err = AACDecode(d->decoderHandle, &ptr, &left, target, 0, c->lqdecMono);
    }
    if (err == ERR_AAC_INDATA_UNDERFLOW) {
        std::fill_n(target, frame, audio16{0});
    } else if (err != ERR_AAC_NONE) {
        debugmsg("mp4aac_Decode err = %d", err);
        return Sample::error;
    }
    if (keep) c->pcm->pcmBufferWrite += frame;
    return Sample::decoded;
}

// Positions the reader at output frame p of the file's rate: the sample holding it is found
// on the track's time line, the sample before it is decoded without output to fill the
// decoder's overlap, and the ring drops the frames before p within the sample. A position at
// the track's very end leaves nothing to read; one beyond it is refused.
decoder_error seekTo(decoder_struct *d, mp4fileformat_t *c, s32 p) {
    const u64 scale = timeScaleOf(d, c);
    const u64 rate = static_cast<u64>(d->sampleRate);
    const s64 time = static_cast<s64>(static_cast<u64>(p) * scale / rate);
    s32 toskip = 0;
    s32 sample = mp4ff_find_sample_use_offsets(c->mp4file, c->mp4track, time, &toskip);
    u64 skipFrames = static_cast<u64>(toskip) * rate / scale;
    const s64 lastStart = (static_cast<s64>(c->numSamples) - 1) * AAC_MAX_NSAMPS;
    const s64 end = lastStart + AAC_MAX_NSAMPS;
    if ((sample < 0 || sample >= c->numSamples) && p >= lastStart && p < end) {
        // Encoders shorten the last sample's duration to the audio it holds; its decoded frame
        // is whole all the same, and every frame of it can be reached.
        sample = c->numSamples - 1;
        skipFrames = static_cast<u64>(p - lastStart);
    }
    if (sample < 0 || sample >= c->numSamples) {
        if (p != end) return DECODER_ERROR_OUTOFRANGE;
        c->sampleId = c->numSamples;
        pcmbuffer_reset(c->pcm, 0);
        return DECODER_ERROR_NOERROR;
    }
    const u64 skipSamples = std::min<u64>(skipFrames * static_cast<u64>(d->numChannels), INT32_MAX / 2);
    AACFlushCodec(d->decoderHandle);
    pcmbuffer_reset(c->pcm, static_cast<s32>(skipSamples));
    c->sampleId = sample;
    if (sample > 0 && decodeSample(d, c, sample - 1, false) == Sample::end) c->sampleId = c->numSamples;
    return DECODER_ERROR_NOERROR;
}

} // namespace

decoder_error mp4aac_Open(decoder_struct *d, const char *fileName) {
    mp4fileformat_t *c = nullptr;
    const decoder_error e = openFile(d, fileName, &c);
    if (e != DECODER_ERROR_NOERROR) {
        release(d, c);
        return d->lastError = e;
    }
    d->fileformatHandle = c;
    return DECODER_ERROR_NOERROR;
}

decoder_error mp4aac_Decode(decoder_struct *d, audio16 *out, s32 *outSize) {
    auto *c = static_cast<mp4fileformat_t *>(d->fileformatHandle);
    const s32 wanted = std::clamp<s32>(*outSize, 0, c->maxOutSize);
    *outSize = 0;
    if (d->seekPosition >= 0) {
        const s32 p = d->seekPosition;
        d->seekPosition = -1;
        const decoder_error e = seekTo(d, c, p);
        if (e != DECODER_ERROR_NOERROR) return e;
    }
    if (c->qualityChanged != 0) {
        c->qualityChanged = 0;
        c->lqdecMono = d->decoderQuality == DECODER_QUALITY_MONO ? 1 : 0;
    }
    if (d->mode == DECODER_MODE_BUILDSEEK) {
        if (c->sampleId >= c->numSamples) return DECODER_ERROR_ENDOFFILE;
        u32 bytes = kMp4SampleBufferSize;
        mp4ff_read_sample(c->mp4file, c->mp4track, c->sampleId, &c->sampleBuffer, &bytes);
        c->sampleId += 1;
        return DECODER_ERROR_NOERROR;
    }
    const s32 channels = d->numChannels;
    while (pcmbuffer_getNumSamples(c->pcm) < wanted * channels && c->sampleId < c->numSamples) {
        const Sample s = decodeSample(d, c, c->sampleId, true);
        if (s == Sample::end) {
            c->numSamples = c->sampleId;
            break;
        }
        c->sampleId += 1;
        if (s == Sample::error) return DECODER_ERROR_ERROR;
    }
    *outSize = pcmbuffer_read(c->pcm, out, wanted, channels);
    const bool ended = c->sampleId >= c->numSamples;
    return ended && pcmbuffer_getNumSamples(c->pcm) < channels ? DECODER_ERROR_ENDOFFILE
                                                               : DECODER_ERROR_NOERROR;
}

decoder_error mp4aac_Close(decoder_struct *d) {
    release(d, static_cast<mp4fileformat_t *>(d->fileformatHandle));
    return DECODER_ERROR_NOERROR;
}

decoder_error mp4aac_GetSampleOffset(decoder_struct *d, s32 *position) {
    const auto *c = static_cast<const mp4fileformat_t *>(d->fileformatHandle);
    const s64 samples = static_cast<s64>(c->sampleId) * kMp4AudioFrameSize;
    *position = static_cast<s32>(std::min<s64>(samples, std::numeric_limits<s32>::max()));
    return DECODER_ERROR_NOERROR;
}

decoder_error mp4aac_SetQuality(decoder_struct *d, decoder_quality quality) {
    auto *c = static_cast<mp4fileformat_t *>(d->fileformatHandle);
    if (quality != DECODER_QUALITY_FULL && quality != DECODER_QUALITY_MONO) return DECODER_ERROR_NOTSUPPORTED;
    d->decoderQuality = quality;
    c->qualityChanged = 1;
    return DECODER_ERROR_NOERROR;
}
