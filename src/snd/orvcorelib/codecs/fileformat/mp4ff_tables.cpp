// The MP4 atom reader's leaf atoms: the movie and media headers, the sample description with
// its decoder configuration, and the sample tables.
#include "codecs/fileformat/mp4ff_parse.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

using orv::mp4ff::Atom;
using orv::mp4ff::Leaf;

// Decoder configurations are a few bytes; anything far larger is not one.
constexpr u32 kMaxDecoderConfig = 1 << 16;

// A column of values that grows as records are read, so that a count in the file allocates
// no more than the records the file really holds.
struct Column {
    s32 *data = nullptr;
    s32 size = 0;
    s32 capacity = 0;
};

bool append(Column &c, s32 value) {
    if (c.size == c.capacity) {
        const s32 grown = c.capacity == 0 ? 256 : (c.capacity > (INT32_MAX / 2) ? INT32_MAX : 2 * c.capacity);
        if (grown == c.capacity) return false;
        auto *data = new (std::nothrow) s32[static_cast<size_t>(grown)];
        if (data == nullptr) return false;
        if (c.size > 0) std::memcpy(data, c.data, static_cast<size_t>(c.size) * sizeof(s32));
        delete[] c.data;
        c.data = data;
        c.capacity = grown;
    }
    c.data[c.size++] = value;
    return true;
}

// Reads up to count records of `fields` big-endian 32-bit values into the columns, stopping at
// the atom's end or a short read. False only when memory runs out (the columns are then freed).
bool readRecords(mp4ff_t *f, s64 end, u32 count, int fields, Column *columns) {
    const s64 recordBytes = 4 * fields;
    const s64 room = (end - mp4ff_position(f)) / recordBytes;
    const s64 n = std::min<s64>({static_cast<s64>(count), std::max<s64>(room, 0), INT32_MAX});
    u8 record[12];
    for (s64 i = 0; i < n; ++i) {
        if (mp4ff_read_data(f, record, static_cast<u32>(recordBytes)) != recordBytes) break;
        for (int k = 0; k < fields; ++k) {
            if (!append(columns[k], static_cast<s32>(orv::getBE32(record + 4 * k)))) {
                for (int j = 0; j < fields; ++j) delete[] columns[j].data;
                return false;
            }
        }
    }
    return true;
}

s32 clampToS32(u64 v) {
    return static_cast<s32>(std::min<u64>(v, INT32_MAX));
}

// Version byte and 24 flag bits; returns the version.
u8 readVersionAndFlags(mp4ff_t *f) {
    const u8 version = mp4ff_read_char(f);
    mp4ff_read_int24(f);
    return version;
}

void skipBytes(mp4ff_t *f, s64 n) {
    mp4ff_set_position(f, mp4ff_position(f) + n);
}

void readMvhd(mp4ff_t *f) {
    const u8 version = readVersionAndFlags(f);
    skipBytes(f, version == 1 ? 16 : 8); // creation and modification times
    f->time_scale = clampToS32(mp4ff_read_int32(f));
    f->duration = clampToS32(version == 1 ? mp4ff_read_int64(f) : mp4ff_read_int32(f));
}

void readMdhd(mp4ff_t *f, mp4ff_track_t *t) {
    const u8 version = readVersionAndFlags(f);
    skipBytes(f, version == 1 ? 16 : 8);
    t->timeScale = mp4ff_read_int32(f);
    if (version == 1) {
        t->duration = mp4ff_read_int64(f);
    } else {
        const u32 duration = mp4ff_read_int32(f);
        t->duration = duration == 0xFFFFFFFF ? std::numeric_limits<u64>::max() : duration;
    }
}

// The ES descriptor's head: id, flags and what the flags announce.
bool readEsDescriptorHead(mp4ff_t *f) {
    if (mp4ff_read_char(f) != 3) {
        mp4ff_read_int16(f);
        return true;
    }
    if (mp4ff_read_mp4_descr_length(f) < 20) return false;
    mp4ff_read_int16(f); // ES id
    const u8 flags = mp4ff_read_char(f);
    if ((flags & 0x80) != 0) mp4ff_read_int16(f); // the stream it depends on
    if ((flags & 0x40) != 0) skipBytes(f, mp4ff_read_char(f));
    if ((flags & 0x20) != 0) mp4ff_read_int16(f); // OCR stream
    return true;
}

Leaf readEsds(mp4ff_t *f, mp4ff_track_t *t, s64 end) {
    readVersionAndFlags(f);
    if (!readEsDescriptorHead(f)) return Leaf::ok;
    if (mp4ff_read_char(f) != 4 || mp4ff_read_mp4_descr_length(f) <= 12) return Leaf::ok;
    t->audioType = mp4ff_read_char(f);
    mp4ff_read_int32(f); // stream type and buffer size
    t->maxBitrate = mp4ff_read_int32(f);
    t->avgBitrate = mp4ff_read_int32(f);
    if (mp4ff_read_char(f) != 5) return Leaf::ok;
    const s64 room = std::max<s64>(end - mp4ff_position(f), 0);
    const u32 length =
        static_cast<u32>(std::min<s64>({mp4ff_read_mp4_descr_length(f), room, kMaxDecoderConfig}));
    delete[] t->decoderConfig;
    t->decoderConfig = nullptr;
    t->decoderConfigLen = 0;
    if (length == 0) return Leaf::ok;
    t->decoderConfig = new (std::nothrow) u8[length];
    if (t->decoderConfig == nullptr) return Leaf::noMemory;
    t->decoderConfigLen = std::max(mp4ff_read_data(f, t->decoderConfig, length), 0);
    return Leaf::ok;
}

// An "mp4a" sample entry: the audio fields, then its child atoms, of which "esds" is read.
Leaf readAudioEntry(mp4ff_t *f, mp4ff_track_t *t, s64 end) {
    skipBytes(f, 6 + 2 + 8); // reserved, data reference index, reserved
    t->channelCount = mp4ff_read_int16(f);
    t->sampleSize = mp4ff_read_int16(f);
    mp4ff_read_int32(f);
    t->sampleRate = static_cast<u16>(mp4ff_read_int32(f) >> 16);
    while (end - mp4ff_position(f) >= 8) {
        const s64 start = mp4ff_position(f);
        const u32 size = mp4ff_read_int32(f);
        const u32 type = mp4ff_read_int32(f);
        if (size < 8) break;
        const s64 childEnd = std::min<s64>(start + size, end);
        if (type == orv::fourccBE("esds")) return readEsds(f, t, childEnd);
        if (mp4ff_set_position(f, childEnd) != 0) break;
    }
    return Leaf::ok;
}

s32 trackTypeOf(u32 entryType) {
    if (entryType == orv::fourccBE("mp4a")) return MP4FF_TRACK_AUDIO;
    if (entryType == orv::fourccBE("mp4v")) return MP4FF_TRACK_VIDEO;
    if (entryType == orv::fourccBE("mp4s")) return MP4FF_TRACK_SYSTEM;
    if (entryType == orv::fourccBE("drms")) return MP4FF_TRACK_PROTECTED;
    return MP4FF_TRACK_UNKNOWN;
}

Leaf readStsd(mp4ff_t *f, mp4ff_track_t *t, s64 end) {
    readVersionAndFlags(f);
    const u32 count = mp4ff_read_int32(f);
    t->stsd_entry_count = clampToS32(count);
    for (u32 i = 0; i < count && end - mp4ff_position(f) >= 8; ++i) {
        const s64 start = mp4ff_position(f);
        u8 head[8];
        if (mp4ff_read_data(f, head, 8) != 8) break;
        const u32 size = orv::getBE32(head);
        if (size < 8) break;
        const s64 entryEnd = std::min<s64>(start + size, end);
        t->type = trackTypeOf(orv::getBE32(head + 4));
        if (t->type == MP4FF_TRACK_AUDIO && readAudioEntry(f, t, entryEnd) == Leaf::noMemory)
            return Leaf::noMemory;
        if (mp4ff_set_position(f, entryEnd) != 0) break;
    }
    return Leaf::ok;
}

// Reads a table of count records into the given arrays, replacing what an earlier atom of
// the same kind left.
Leaf readTable(mp4ff_t *f, s64 end, int fields, s32 *entryCount, s32 **arrays[]) {
    readVersionAndFlags(f);
    const u32 count = mp4ff_read_int32(f);
    Column columns[3];
    if (!readRecords(f, end, count, fields, columns)) return Leaf::noMemory;
    for (int k = 0; k < fields; ++k) {
        delete[] * arrays[k];
        *arrays[k] = columns[k].data;
    }
    *entryCount = columns[0].size;
    return Leaf::ok;
}

Leaf readStsz(mp4ff_t *f, mp4ff_track_t *t, s64 end) {
    readVersionAndFlags(f);
    t->stsz_sample_size = clampToS32(mp4ff_read_int32(f));
    const u32 count = mp4ff_read_int32(f);
    delete[] t->stsz_table;
    t->stsz_table = nullptr;
    if (t->stsz_sample_size != 0) {
        t->stsz_sample_count = clampToS32(count);
        return Leaf::ok;
    }
    Column sizes;
    if (!readRecords(f, end, count, 1, &sizes)) return Leaf::noMemory;
    t->stsz_table = sizes.data;
    t->stsz_sample_count = sizes.size;
    return Leaf::ok;
}

Leaf readSampleTable(mp4ff_t *f, mp4ff_track_t *t, const Atom &atom) {
    if (atom.type == orv::fourccBE("stsz")) return readStsz(f, t, atom.end);
    if (atom.type == orv::fourccBE("stts")) {
        s32 **arrays[] = {&t->stts_sample_count, &t->stts_sample_delta};
        return readTable(f, atom.end, 2, &t->stts_entry_count, arrays);
    }
    if (atom.type == orv::fourccBE("ctts")) {
        s32 **arrays[] = {&t->ctts_sample_count, &t->ctts_sample_offset};
        return readTable(f, atom.end, 2, &t->ctts_entry_count, arrays);
    }
    if (atom.type == orv::fourccBE("stsc")) {
        s32 **arrays[] = {&t->stsc_first_chunk, &t->stsc_samples_per_chunk, &t->stsc_sample_desc_index};
        return readTable(f, atom.end, 3, &t->stsc_entry_count, arrays);
    }
    if (atom.type == orv::fourccBE("stco")) {
        s32 **arrays[] = {&t->stco_chunk_offset};
        return readTable(f, atom.end, 1, &t->stco_entry_count, arrays);
    }
    return Leaf::ok;
}

} // namespace

namespace orv::mp4ff {

Leaf readLeaf(mp4ff_t *f, mp4ff_track_t *track, const Atom &atom, bool tablesToo) {
    if (atom.type == fourccBE("mvhd")) {
        readMvhd(f);
        return Leaf::ok;
    }
    if (track == nullptr) return Leaf::ok;
    if (atom.type == fourccBE("mdhd")) {
        readMdhd(f, track);
        return Leaf::ok;
    }
    if (atom.type == fourccBE("stsd")) return readStsd(f, track, atom.end);
    return tablesToo ? readSampleTable(f, track, atom) : Leaf::ok;
}

void freeTrack(mp4ff_track_t *t) {
    if (t == nullptr) return;
    for (s32 *table : {t->stsz_table, t->stts_sample_count, t->stts_sample_delta, t->stsc_first_chunk,
                       t->stsc_samples_per_chunk, t->stsc_sample_desc_index, t->stco_chunk_offset,
                       t->ctts_sample_count, t->ctts_sample_offset})
        delete[] table;
    delete[] t->decoderConfig;
    delete t;
}

} // namespace orv::mp4ff
