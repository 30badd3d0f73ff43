// The MP4 atom reader's byte readers and writers: big-endian numbers at the current position.
#include "codecs/fileformat/mp4ff.h"
#include "orvsys/lebytes.h"

#include <cstring>
#include <new>

namespace {

// Reads `size` bytes; the ones a short read leaves are zero.
void readZeroFilled(mp4ff_t *f, u8 *data, u32 size) {
    const s32 got = mp4ff_read_data(f, data, size);
    if (got < static_cast<s32>(size)) std::memset(data + (got > 0 ? got : 0), 0, size - (got > 0 ? got : 0));
}

} // namespace

s32 mp4ff_read_data(mp4ff_t *f, u8 *data, u32 size) {
    if (size == 0) return 0;
    const u32 got = f->stream->read(f->stream->user_data, data, size);
    const u32 read = got > size ? size : got;
    f->current_position += read;
    return static_cast<s32>(read);
}

u8 mp4ff_read_char(mp4ff_t *f) {
    u8 b = 0;
    readZeroFilled(f, &b, 1);
    return b;
}

u16 mp4ff_read_int16(mp4ff_t *f) {
    u8 b[2];
    readZeroFilled(f, b, 2);
    return orv::getBE16(b);
}

u32 mp4ff_read_int24(mp4ff_t *f) {
    u8 b[3];
    readZeroFilled(f, b, 3);
    return (static_cast<u32>(b[0]) << 16) | (static_cast<u32>(b[1]) << 8) | b[2];
}

u32 mp4ff_read_int32(mp4ff_t *f) {
    u8 b[4];
    readZeroFilled(f, b, 4);
    return orv::getBE32(b);
}

u64 mp4ff_read_int64(mp4ff_t *f) {
    u8 b[8];
    readZeroFilled(f, b, 8);
    return orv::getBE64(b);
}

char *mp4ff_read_string(mp4ff_t *f, u32 length) {
    auto *s = new (std::nothrow) char[static_cast<u64>(length) + 1];
    if (s == nullptr) return nullptr;
    readZeroFilled(f, reinterpret_cast<u8 *>(s), length);
    s[length] = '\0';
    return s;
}

u32 mp4ff_read_mp4_descr_length(mp4ff_t *f) {
    u32 length = 0;
    for (int i = 0; i < 4; ++i) {
        const u8 b = mp4ff_read_char(f);
        length = (length << 7) | (b & 0x7F);
        if ((b & 0x80) == 0) break;
    }
    return length;
}

s32 mp4ff_set_position(mp4ff_t *f, s64 position) {
    if (position < 0) return -1;
    if (f->stream->seek(f->stream->user_data, static_cast<u64>(position)) != 0) return -1;
    f->current_position = position;
    return 0;
}

s64 mp4ff_position(const mp4ff_t *f) {
    return f->current_position;
}

s32 mp4ff_write_data(mp4ff_t *f, u8 *data, u32 size) {
    if (f->stream->write == nullptr) return -1;
    const u32 written = f->stream->write(f->stream->user_data, data, size);
    f->current_position += written;
    return static_cast<s32>(written);
}

s32 mp4ff_write_int32(mp4ff_t *f, u32 data) {
    u8 b[4] = {static_cast<u8>(data >> 24), static_cast<u8>(data >> 16), static_cast<u8>(data >> 8),
               static_cast<u8>(data)};
    return mp4ff_write_data(f, b, 4);
}

s32 mp4ff_truncate(mp4ff_t *f) {
    if (f->stream->truncate == nullptr) return -1;
    return static_cast<s32>(f->stream->truncate(f->stream->user_data));
}
