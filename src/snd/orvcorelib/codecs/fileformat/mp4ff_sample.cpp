// The MP4 atom reader's track queries and sample access. The tables hold the file's unsigned
// 32-bit values (composition offsets are signed); every index is checked against its table.
#include "codecs/fileformat/mp4ff.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

const mp4ff_track_t *trackOf(const mp4ff_t *f, s32 track) {
    if (f == nullptr || track < 0 || track >= f->total_tracks) return nullptr;
    return f->track[track];
}

u64 unsignedOf(s32 v) {
    return static_cast<u32>(v);
}

s32 clampToS32(u64 v) {
    return static_cast<s32>(std::min<u64>(v, INT32_MAX));
}

// The first composition offset with a positive count: how far presentation lags decoding.
s64 firstCompositionOffset(const mp4ff_track_t *t) {
    for (s32 i = 0; i < t->ctts_entry_count; ++i)
        if (t->ctts_sample_count[i] > 0) return t->ctts_sample_offset[i];
    return 0;
}

// Where a sample's chunk starts and which sample opens that chunk, from the "stsc" runs.
struct ChunkOfSample {
    u64 chunk; // 1-based
    u64 firstSample;
};

bool findChunk(const mp4ff_track_t *t, u64 sample, ChunkOfSample *where) {
    u64 before = 0;
    for (s32 i = 0; i < t->stsc_entry_count; ++i) {
        const u64 first = unsignedOf(t->stsc_first_chunk[i]);
        const u64 perChunk = unsignedOf(t->stsc_samples_per_chunk[i]);
        const bool last = i + 1 == t->stsc_entry_count;
        if (!last) {
            const u64 next = unsignedOf(t->stsc_first_chunk[i + 1]);
            const u64 runSamples = perChunk * (next > first ? next - first : 0);
            if (sample >= before + runSamples) {
                before += runSamples;
                continue;
            }
        }
        if (perChunk == 0) return false;
        const u64 chunkInRun = (sample - before) / perChunk;
        where->chunk = first + chunkInRun;
        where->firstSample = before + chunkInRun * perChunk;
        return true;
    }
    return false;
}

u64 chunkOffset(const mp4ff_track_t *t, u64 chunk) {
    if (t->stco_entry_count <= 0) return 8;
    const u64 index = std::min<u64>(chunk > 0 ? chunk - 1 : 0, static_cast<u64>(t->stco_entry_count - 1));
    return unsignedOf(t->stco_chunk_offset[index]);
}

// The bytes of the samples first .. sample - 1; false when one lies beyond the size table.
bool bytesBefore(const mp4ff_track_t *t, u64 first, u64 sample, u64 *bytes) {
    if (t->stsz_sample_size != 0) {
        *bytes = unsignedOf(t->stsz_sample_size) * (sample - first);
        return true;
    }
    if (sample > static_cast<u64>(std::max(t->stsz_sample_count, 0))) return false;
    u64 sum = 0;
    for (u64 i = first; i < sample; ++i) sum += unsignedOf(t->stsz_table[i]);
    *bytes = sum;
    return true;
}

} // namespace

s32 mp4ff_total_tracks(const mp4ff_t *f) {
    return f == nullptr ? 0 : f->total_tracks;
}

s32 mp4ff_get_track_type(const mp4ff_t *f, s32 track) {
    const mp4ff_track_t *t = trackOf(f, track);
    return t == nullptr ? 0 : t->type;
}

s32 mp4ff_time_scale(const mp4ff_t *f, s32 track) {
    const mp4ff_track_t *t = trackOf(f, track);
    return t == nullptr ? 0 : clampToS32(t->timeScale);
}

u32 mp4ff_get_avg_bitrate(const mp4ff_t *f, s32 track) {
    const mp4ff_track_t *t = trackOf(f, track);
    return t == nullptr ? 0 : t->avgBitrate;
}

u32 mp4ff_get_max_bitrate(const mp4ff_t *f, s32 track) {
    const mp4ff_track_t *t = trackOf(f, track);
    return t == nullptr ? 0 : t->maxBitrate;
}

u32 mp4ff_get_sample_rate(const mp4ff_t *f, s32 track) {
    const mp4ff_track_t *t = trackOf(f, track);
    return t == nullptr ? 0 : t->sampleRate;
}

u32 mp4ff_get_channel_count(const mp4ff_t *f, s32 track) {
    const mp4ff_track_t *t = trackOf(f, track);
    return t == nullptr ? 0 : static_cast<u32>(std::max(t->channelCount, 0));
}

u32 mp4ff_get_audio_type(const mp4ff_t *f, s32 track) {
    const mp4ff_track_t *t = trackOf(f, track);
    return t == nullptr ? 0 : static_cast<u32>(std::max(t->audioType, 0));
}

s64 mp4ff_get_track_duration(const mp4ff_t *f, s32 track) {
    const mp4ff_track_t *t = trackOf(f, track);
    if (t == nullptr || t->duration > static_cast<u64>(std::numeric_limits<s64>::max())) return -1;
    return static_cast<s64>(t->duration);
}

s64 mp4ff_get_track_duration_use_offsets(const mp4ff_t *f, s32 track) {
    const s64 duration = mp4ff_get_track_duration(f, track);
    if (duration < 0) return -1;
    return std::max<s64>(duration - firstCompositionOffset(trackOf(f, track)), 0);
}

s32 mp4ff_num_samples(const mp4ff_t *f, s32 track) {
    const mp4ff_track_t *t = trackOf(f, track);
    if (t == nullptr) return 0;
    u64 total = 0;
    for (s32 i = 0; i < t->stts_entry_count; ++i) total += unsignedOf(t->stts_sample_count[i]);
    return clampToS32(total);
}

s32 mp4ff_get_decoder_config(const mp4ff_t *f, s32 track, u8 **buffer, u32 *size) {
    const mp4ff_track_t *t = trackOf(f, track);
    if (t == nullptr) return 1;
    *buffer = nullptr;
    *size = 0;
    if (t->decoderConfig == nullptr || t->decoderConfigLen <= 0) return 0;
    *buffer = new (std::nothrow) u8[static_cast<size_t>(t->decoderConfigLen)];
    if (*buffer == nullptr) return 1;
    std::memcpy(*buffer, t->decoderConfig, static_cast<size_t>(t->decoderConfigLen));
    *size = static_cast<u32>(t->decoderConfigLen);
    return 0;
}

s32 mp4ff_audio_frame_size(const mp4ff_t *f, s32 track, s32 sample) {
    const mp4ff_track_t *t = trackOf(f, track);
    if (t == nullptr) return -1;
    if (sample < 0) return 0;
    if (t->stsz_sample_size != 0) return t->stsz_sample_size;
    if (sample >= t->stsz_sample_count || t->stsz_table == nullptr) return 0;
    // A size beyond 31 bits is no sample a reader could hold.
    return t->stsz_table[sample] < 0 ? INT32_MAX : t->stsz_table[sample];
}

s64 mp4ff_get_sample_position(const mp4ff_t *f, s32 track, s32 sample) {
    const mp4ff_track_t *t = trackOf(f, track);
    ChunkOfSample where{};
    u64 skipped = 0;
    if (t == nullptr || sample < 0 || !findChunk(t, static_cast<u64>(sample), &where)) return -1;
    const auto &last = f->lastSample;
    u64 position = 0;
    if (last.track == track && last.chunk == where.chunk && last.sample <= static_cast<u64>(sample) &&
        last.sample >= where.firstSample) {
        // On from the last sample positioned in the same chunk.
        if (!bytesBefore(t, last.sample, static_cast<u64>(sample), &skipped)) return -1;
        position = last.position + skipped;
    } else {
        if (!bytesBefore(t, where.firstSample, static_cast<u64>(sample), &skipped)) return -1;
        position = chunkOffset(t, where.chunk) + skipped;
    }
    return position > static_cast<u64>(std::numeric_limits<s64>::max()) ? -1 : static_cast<s64>(position);
}

s32 mp4ff_set_sample_position(mp4ff_t *f, s32 track, s32 sample) {
    const s64 position = mp4ff_get_sample_position(f, track, sample);
    if (position < 0) return -1;
    ChunkOfSample where{};
    findChunk(trackOf(f, track), static_cast<u64>(sample), &where);
    f->lastSample = {track, where.chunk, static_cast<u64>(sample), static_cast<u64>(position)};
    return mp4ff_set_position(f, position);
}

s32 mp4ff_get_sample_duration(const mp4ff_t *f, s32 track, s32 sample) {
    const mp4ff_track_t *t = trackOf(f, track);
    if (t == nullptr || sample < 0) return -1;
    u64 before = 0;
    for (s32 i = 0; i < t->stts_entry_count; ++i) {
        before += unsignedOf(t->stts_sample_count[i]);
        if (static_cast<u64>(sample) < before) return t->stts_sample_delta[i];
    }
    return -1;
}

s32 mp4ff_get_sample_duration_use_offsets(const mp4ff_t *f, s32 track, s32 sample) {
    const s32 duration = mp4ff_get_sample_duration(f, track, sample);
    const mp4ff_track_t *t = trackOf(f, track);
    if (duration < 0 || t == nullptr) return duration;
    u64 before = 0;
    for (s32 i = 0; i < t->ctts_entry_count; ++i) {
        before += unsignedOf(t->ctts_sample_count[i]);
        if (static_cast<u64>(sample) < before)
            return clampToS32(static_cast<u64>(std::max<s64>(s64{duration} + t->ctts_sample_offset[i], 0)));
    }
    return duration;
}

s32 mp4ff_find_sample_use_offsets(const mp4ff_t *f, s32 track, s64 time, s32 *toskip) {
    const mp4ff_track_t *t = trackOf(f, track);
    if (t == nullptr) return -1;
    time += firstCompositionOffset(t);
    if (time < 0) return -1;
    u64 runStart = 0;
    u64 samplesBefore = 0;
    for (s32 i = 0; i < t->stts_entry_count; ++i) {
        const u64 count = unsignedOf(t->stts_sample_count[i]);
        const u64 delta = unsignedOf(t->stts_sample_delta[i]);
        const u64 within = static_cast<u64>(time) - runStart;
        if (delta != 0 && static_cast<u64>(time) >= runStart && within < count * delta) {
            const u64 sample = samplesBefore + within / delta;
            if (sample > INT32_MAX) return -1;
            *toskip = static_cast<s32>(within % delta);
            return static_cast<s32>(sample);
        }
        runStart += count * delta;
        samplesBefore += count;
    }
    return -1;
}

u32 mp4ff_read_sample_v2(mp4ff_t *f, s32 track, s32 sample, u8 *buffer, u32 capacity) {
    const s32 size = mp4ff_audio_frame_size(f, track, sample);
    if (size <= 0 || static_cast<u32>(size) > capacity) return 0;
    if (mp4ff_set_sample_position(f, track, sample) != 0) return 0;
    return mp4ff_read_data(f, buffer, static_cast<u32>(size)) == size ? static_cast<u32>(size) : 0;
}

u32 mp4ff_read_sample(mp4ff_t *f, s32 track, s32 sample, u8 **buffer, u32 *bytes) {
    const u32 capacity = *bytes;
    *bytes = buffer == nullptr || *buffer == nullptr
                 ? 0
                 : mp4ff_read_sample_v2(f, track, sample, *buffer, capacity);
    return *bytes;
}

u32 mp4ff_read_sample_getsize(mp4ff_t *f, s32 track, s32 sample) {
    const s32 size = mp4ff_audio_frame_size(f, track, sample);
    return size > 0 ? static_cast<u32>(size) : 0;
}
