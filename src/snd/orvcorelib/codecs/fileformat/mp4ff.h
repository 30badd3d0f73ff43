// The MP4 atom reader: parses the atom tree of an ISO base media file into per-track sample
// tables and reads single samples (access units) by index into a buffer the caller supplies.
// Only what playback needs is read: no metadata tags.
//
// Everything read comes from an untrusted file: every size, count and index is bounded by the
// atom that holds it and by the file, and a tree that cannot be walked is refused.
#pragma once

#include "orvsys/orvint.h"

inline constexpr s32 kMp4MaxTracks = 1024;

struct mp4ff_callback_t {
    u32 (*read)(void *user_data, void *buffer, u32 length); // bytes read
    u32 (*write)(void *user_data, void *buffer, u32 length);
    u32 (*seek)(void *user_data, u64 position); // 0 on success
    u32 (*truncate)(void *user_data);
    void *user_data;
};

enum mp4ff_track_type : s32 {
    MP4FF_TRACK_UNKNOWN = 0,
    MP4FF_TRACK_AUDIO = 1,     // "mp4a"
    MP4FF_TRACK_VIDEO = 2,     // "mp4v"
    MP4FF_TRACK_SYSTEM = 3,    // "mp4s"
    MP4FF_TRACK_PROTECTED = 99 // "drms"
};

struct mp4ff_track_t {
    s32 type; // mp4ff_track_type
    s32 channelCount;
    s32 sampleSize;
    u16 sampleRate;
    s32 audioType; // object type indication of the decoder configuration
    s32 stsd_entry_count;
    s32 stsz_sample_size; // the common sample size, or 0 when the table holds them
    s32 stsz_sample_count;
    s32 *stsz_table;
    s32 stts_entry_count;
    s32 *stts_sample_count;
    s32 *stts_sample_delta;
    s32 stsc_entry_count;
    s32 *stsc_first_chunk;
    s32 *stsc_samples_per_chunk;
    s32 *stsc_sample_desc_index;
    s32 stco_entry_count;
    s32 *stco_chunk_offset;
    s32 ctts_entry_count;
    s32 *ctts_sample_count;
    s32 *ctts_sample_offset;
    u8 *decoderConfig; // the decoder-specific information
    s32 decoderConfigLen;
    u32 maxBitrate;
    u32 avgBitrate;
    u32 timeScale; // from "mdhd"
    u64 duration;  // from "mdhd"; all ones when unknown
};

struct mp4ff_t {
    mp4ff_callback_t *stream;
    s64 current_position; // where the next read starts
    s32 moov_read;        // a "moov" atom was met
    u64 moov_offset;
    u64 moov_size;
    u8 last_atom; // the type of the last top-level atom
    u64 file_size;
    s32 time_scale; // from "mvhd"
    s32 duration;   // from "mvhd"
    s32 total_tracks;
    mp4ff_track_t *track[kMp4MaxTracks];
    void *tags; // never filled
    // Where the last sample positioned lies, so that reading on within its chunk does not add
    // up the sizes before it again.
    struct {
        s32 track = -1;
        u64 chunk = 0;
        u64 sample = 0;
        u64 position = 0;
    } lastSample;
};

// Parses the whole tree read through f (whose seek and read must work). Returns the parsed
// file, or null when a header, size or table cannot be read as the format says, or memory runs
// out. A top-level atom of size 0 runs to the end of the file.
mp4ff_t *mp4ff_open_read(mp4ff_callback_t *f);

// The same, passing over the sample tables.
mp4ff_t *mp4ff_open_read_metaonly(mp4ff_callback_t *f);

// Frees every track's tables and the object (null allowed).
void mp4ff_close(mp4ff_t *f);

// Track queries. A track number outside 0 .. total_tracks - 1 gives 0 (-1 where noted).
s32 mp4ff_total_tracks(const mp4ff_t *f);
s32 mp4ff_get_track_type(const mp4ff_t *f, s32 track);
s32 mp4ff_time_scale(const mp4ff_t *f, s32 track);
u32 mp4ff_get_avg_bitrate(const mp4ff_t *f, s32 track);
u32 mp4ff_get_max_bitrate(const mp4ff_t *f, s32 track);
u32 mp4ff_get_sample_rate(const mp4ff_t *f, s32 track);
u32 mp4ff_get_channel_count(const mp4ff_t *f, s32 track);
u32 mp4ff_get_audio_type(const mp4ff_t *f, s32 track);
// The "mdhd" duration (all ones when unknown), and the same less the first composition offset.
s64 mp4ff_get_track_duration(const mp4ff_t *f, s32 track);
s64 mp4ff_get_track_duration_use_offsets(const mp4ff_t *f, s32 track);
// The sum of the "stts" sample counts.
s32 mp4ff_num_samples(const mp4ff_t *f, s32 track);

// Copies the track's decoder configuration into a new buffer the caller frees with delete[].
// Returns 0 (null and 0 when the track has none), or 1 for a bad track or no memory.
s32 mp4ff_get_decoder_config(const mp4ff_t *f, s32 track, u8 **buffer, u32 *size);

// The size of a sample, 0 for a sample beyond the size table, -1 for a bad track.
s32 mp4ff_audio_frame_size(const mp4ff_t *f, s32 track, s32 sample);

// Positions the file at the sample's first byte; 0, or -1 for a bad track or sample index.
s32 mp4ff_set_sample_position(mp4ff_t *f, s32 track, s32 sample);
// The file offset of the sample, or -1.
s64 mp4ff_get_sample_position(const mp4ff_t *f, s32 track, s32 sample);
// The "stts" delta of the sample, or -1; with offsets, plus its composition offset.
s32 mp4ff_get_sample_duration(const mp4ff_t *f, s32 track, s32 sample);
s32 mp4ff_get_sample_duration_use_offsets(const mp4ff_t *f, s32 track, s32 sample);
// The sample that plays at `time` (track time scale), the first composition offset added;
// *toskip returns the time into it. -1 when no "stts" run holds the time.
s32 mp4ff_find_sample_use_offsets(const mp4ff_t *f, s32 track, s64 time, s32 *toskip);

// Needs: *buffer a buffer of *bytes bytes. Reads the sample into it and sets *bytes to its
// size. Returns the size, or 0 (with *bytes 0) when the sample has no size, is larger than the
// buffer, lies outside the tables or cannot be read whole.
u32 mp4ff_read_sample(mp4ff_t *f, s32 track, s32 sample, u8 **buffer, u32 *bytes);
// The same into a buffer of capacity bytes; returns the size read, or 0.
u32 mp4ff_read_sample_v2(mp4ff_t *f, s32 track, s32 sample, u8 *buffer, u32 capacity);
// The size of the sample, or 0.
u32 mp4ff_read_sample_getsize(mp4ff_t *f, s32 track, s32 sample);

// Big-endian readers at the current position, each moving it. A short read gives 0 for the
// missing bytes (the count read for mp4ff_read_data).
s32 mp4ff_read_data(mp4ff_t *f, u8 *data, u32 size);
u8 mp4ff_read_char(mp4ff_t *f);
u16 mp4ff_read_int16(mp4ff_t *f);
u32 mp4ff_read_int24(mp4ff_t *f);
u32 mp4ff_read_int32(mp4ff_t *f);
u64 mp4ff_read_int64(mp4ff_t *f);
// length bytes and a terminating zero, in a buffer the caller frees with delete[]; null without
// memory.
char *mp4ff_read_string(mp4ff_t *f, u32 length);
// A descriptor length: up to four bytes of seven bits each while the top bit is set.
u32 mp4ff_read_mp4_descr_length(mp4ff_t *f);
// Absolute positioning; 0 on success.
s32 mp4ff_set_position(mp4ff_t *f, s64 position);
s64 mp4ff_position(const mp4ff_t *f);

// Writers through the callbacks (nothing in the system writes MP4 files).
s32 mp4ff_write_data(mp4ff_t *f, u8 *data, u32 size);
s32 mp4ff_write_int32(mp4ff_t *f, u32 data);
s32 mp4ff_truncate(mp4ff_t *f);
