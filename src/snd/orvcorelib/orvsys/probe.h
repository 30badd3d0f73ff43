// Signal probes: buffers that collect intermediate signals and dump them as WAV files with
// a private "orv " chunk describing the frame layout. A development aid; nothing in the
// system calls them. Not thread-safe.
#pragma once

#include "orvsys/orvint.h"
#include "orvsys/wavformat.h"

#include <cstddef>

struct probe_header {
    u32 elem_count;      // capacity in elements
    u32 elem_size_bytes; // bytes per element
    u32 frame_size;      // elements per channel and frame
    u32 sample_rate;     // frames per second times frame_size
    char probe_name[40]; // NUL-terminated, at most 39 characters
    u32 dsp_scale;
};

struct probe {
    probe_header header;
    void *data;   // elem_count elements, owned
    u32 idx;      // elements written
    s32 ts_numer; // the time step of one frame is ts_numer / ts_denom seconds
    s32 ts_denom;
    u8 num_channels;
    u8 enabled;
    u8 save_orvchunk; // write the "orv " chunk into the WAV file
};

enum wav_orv_datatype {
    SS_DOUBLE = 0,
    SS_SINGLE = 1,
    SS_INT8 = 2,
    SS_UINT8 = 3,
    SS_INT16 = 4,
    SS_UINT16 = 5,
    SS_INT32 = 6,
    SS_UINT32 = 7,
    SS_BOOLEAN = 8,
};

// The private chunk as it lies in the file: 420 bytes, little-endian (the last two are the
// padding of the record). probe_encode_orvchunk writes it byte by byte.
struct wav_orvchunk {
    wav_chunkhdr hdr; // "orv ", 412
    char name[40];
    char desc[320];
    s32 ts_numer;
    s32 ts_denom;
    u16 dsp_scale;
    u16 num_dims; // 1 for one channel, 2 for more
    u16 dims[9];  // frame size, then the channel count when num_dims is 2
    u16 frame_status;
    u16 data_type; // wav_orv_datatype
    u16 reserved[8];
};
inline constexpr u32 kWavOrvChunkBytes = 420;
inline constexpr u32 kWavOrvChunkBodyBytes = 412;
static_assert(sizeof(wav_orvchunk) == kWavOrvChunkBytes);
static_assert(offsetof(wav_orvchunk, ts_numer) == 368 && offsetof(wav_orvchunk, dsp_scale) == 376);
static_assert(offsetof(wav_orvchunk, dims) == 380 && offsetof(wav_orvchunk, data_type) == 400);
static_assert(offsetof(wav_orvchunk, reserved) == 402);

// A probe holding num_frames frames of frame_size elements per channel, enabled; null on
// bad sizes (zero, a capacity beyond what a WAV file holds, a time step with ts_numer 0) or
// exhausted memory.
probe *probe_create(const char *name, u32 frame_size, u8 num_channels, u32 num_frames, u32 elem_size_bytes,
                    s32 ts_numer, s32 ts_denom, u32 dsp_scale, u8 save_orvchunk);

// Returns null; accepts null.
probe *probe_destroy(probe *p);

void probe_enable(probe *p, int enable);
int probe_is_enabled(const probe *p);
// Non-zero once idx has reached the capacity.
int probe_is_full(const probe *p);

// Writes the probe's idx elements as a WAV file (mode 0666). 0, or -errno.
int probe_wav_write(const probe *p, const char *filename);

// Creates dirname (mode 0777; an existing folder is fine) and writes each probe to
// "<dirname>/<probe name>.wav", stopping at the first failure. 0, or -errno; -EINVAL when
// the array holds a null entry before count.
int probe_write_array(const char *dirname, probe *const *probes, int count);

// probe_write_array over a null-terminated argument list of at most 15 probes; -1 for more.
int probe_write_set(const char *dirname, probe *first, ...);

// The 420 bytes of the "orv " chunk (header included) that probe_wav_write writes for p.
void probe_encode_orvchunk(const probe *p, u8 *out);
