// The MP4 atom reader on its own, reading from memory: the tree parse, every track query, the
// time-to-sample lookup and the reading of every sample into a buffer of fixed size.
#include "codecs/fileformat/mp4ff.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Memory {
    const uint8_t *data;
    size_t size;
    u64 position;
};

u32 readMemory(void *user, void *buffer, u32 length) {
    auto *m = static_cast<Memory *>(user);
    const u64 left = m->position < m->size ? m->size - m->position : 0;
    const u32 n = static_cast<u32>(std::min<u64>(length, left));
    if (n > 0) std::memcpy(buffer, m->data + m->position, n);
    m->position += n;
    return n;
}

u32 seekMemory(void *user, u64 position) {
    static_cast<Memory *>(user)->position = position;
    return 0;
}

void exerciseTrack(mp4ff_t *f, s32 track) {
    mp4ff_get_track_type(f, track);
    mp4ff_time_scale(f, track);
    mp4ff_get_avg_bitrate(f, track);
    mp4ff_get_sample_rate(f, track);
    mp4ff_get_channel_count(f, track);
    mp4ff_get_audio_type(f, track);
    mp4ff_get_track_duration(f, track);
    const s64 duration = mp4ff_get_track_duration_use_offsets(f, track);
    u8 *config = nullptr;
    u32 configSize = 0;
    if (mp4ff_get_decoder_config(f, track, &config, &configSize) == 0) delete[] config;
    const s32 samples = std::min(mp4ff_num_samples(f, track), 4096);
    std::vector<u8> buffer(12288);
    for (s32 i = 0; i < samples; ++i) {
        u8 *p = buffer.data();
        u32 bytes = static_cast<u32>(buffer.size());
        if (mp4ff_read_sample(f, track, i, &p, &bytes) > buffer.size()) std::abort();
        mp4ff_get_sample_duration_use_offsets(f, track, i);
    }
    for (s64 time : {s64{0}, duration / 2, duration - 1, duration}) {
        s32 toskip = 0;
        mp4ff_find_sample_use_offsets(f, track, time, &toskip);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Memory memory{data, size, 0};
    mp4ff_callback_t callbacks{readMemory, nullptr, seekMemory, nullptr, &memory};
    mp4ff_t *f = mp4ff_open_read(&callbacks);
    if (f != nullptr) {
        if (f->total_tracks < 0 || f->total_tracks > kMp4MaxTracks) std::abort();
        for (s32 t = 0; t < std::min(f->total_tracks, 8); ++t) exerciseTrack(f, t);
        mp4ff_close(f);
    }
    memory.position = 0;
    mp4ff_close(mp4ff_open_read_metaonly(&callbacks));
    return 0;
}
