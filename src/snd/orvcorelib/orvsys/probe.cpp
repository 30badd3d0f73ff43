#include "orvsys/probe.h"

#include "orvsys/lebytes.h"
#include "orvsys/wavformat.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxSetProbes = 15;
// Header bytes in front of the data: RIFF, fmt, orv chunk and data header.
constexpr u64 kMaxWavHeaderBytes = orv::kWavRiffBytes + 24 + kWavOrvChunkBytes + orv::kWavChunkHeaderBytes;

int writeAll(int fd, const void *buf, size_t len) {
    const auto *p = static_cast<const u8 *>(buf);
    while (len > 0) {
        const ssize_t n = write(fd, p, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -errno;
        }
        p += n;
        len -= static_cast<size_t>(n);
    }
    return 0;
}

u32 dataBytes(const probe *p) {
    return p->idx * p->header.elem_size_bytes;
}

int writeWav(int fd, const probe *p) {
    const u32 data = dataBytes(p);
    const u32 orvBytes = p->save_orvchunk ? kWavOrvChunkBytes : 0;
    const auto riff = orv::encodeRiff(4 + 24 + orvBytes + 8 + data);
    const u16 blockAlign = static_cast<u16>(p->header.elem_size_bytes * p->num_channels);
    const wav_waveform wave{orv::kWavFormatPcm,
                            p->num_channels,
                            p->header.sample_rate,
                            blockAlign * p->header.sample_rate,
                            blockAlign,
                            static_cast<u16>(8 * p->header.elem_size_bytes)};
    const auto fmt = orv::encodeFmt(wave);
    u8 dataHeader[orv::kWavChunkHeaderBytes];
    orv::encodeChunkHeader(dataHeader, {orv::fourccLE("data"), data});

    int rc = writeAll(fd, riff.data(), riff.size());
    if (rc == 0) rc = writeAll(fd, fmt.data(), fmt.size());
    if (rc == 0 && p->save_orvchunk) {
        u8 orvchunk[kWavOrvChunkBytes];
        probe_encode_orvchunk(p, orvchunk);
        rc = writeAll(fd, orvchunk, sizeof orvchunk);
    }
    if (rc == 0) rc = writeAll(fd, dataHeader, sizeof dataHeader);
    if (rc == 0 && data > 0) rc = writeAll(fd, p->data, data);
    return rc;
}

std::string probeFileName(const char *dirname, const probe *p) {
    std::string path(dirname);
    if (path.empty() || path.back() != '/') path += '/';
    path += p->header.probe_name;
    path += ".wav";
    return path;
}

} // namespace

probe *probe_create(const char *name, u32 frame_size, u8 num_channels, u32 num_frames, u32 elem_size_bytes,
                    s32 ts_numer, s32 ts_denom, u32 dsp_scale, u8 save_orvchunk) {
    if (ts_numer == 0 || frame_size == 0 || num_channels == 0 || num_frames == 0 || elem_size_bytes == 0)
        return nullptr;
    const u64 elems = u64{num_frames} * frame_size * num_channels;
    if (elems > 0xFFFFFFFFu || elems * elem_size_bytes > 0xFFFFFFFFu - kMaxWavHeaderBytes) return nullptr;

    auto *p = static_cast<probe *>(std::calloc(1, sizeof(probe)));
    if (p == nullptr) return nullptr;
    p->data = std::calloc(elems, elem_size_bytes);
    if (p->data == nullptr) {
        std::free(p);
        return nullptr;
    }
    p->header.elem_count = static_cast<u32>(elems);
    p->header.elem_size_bytes = elem_size_bytes;
    p->header.frame_size = frame_size;
    const float rate =
        static_cast<float>(ts_denom) * static_cast<float>(frame_size) / static_cast<float>(ts_numer);
    p->header.sample_rate = rate > 0.0f && rate < 4294967040.0f ? static_cast<u32>(rate) : 0;
    if (name != nullptr) std::strncpy(p->header.probe_name, name, sizeof p->header.probe_name - 1);
    p->header.dsp_scale = dsp_scale;
    p->ts_numer = ts_numer;
    p->ts_denom = ts_denom;
    p->num_channels = num_channels;
    p->enabled = 1;
    p->save_orvchunk = save_orvchunk;
    return p;
}

probe *probe_destroy(probe *p) {
    if (p != nullptr) {
        std::free(p->data);
        std::free(p);
    }
    return nullptr;
}

void probe_enable(probe *p, int enable) {
    p->enabled = enable ? 1 : 0;
}

int probe_is_enabled(const probe *p) {
    return p->enabled;
}

int probe_is_full(const probe *p) {
    return p->idx >= p->header.elem_count;
}

void probe_encode_orvchunk(const probe *p, u8 *out) {
    std::memset(out, 0, kWavOrvChunkBytes);
    orv::encodeChunkHeader(out, {orv::fourccLE("orv "), kWavOrvChunkBodyBytes});
    const size_t nameLen = strnlen(p->header.probe_name, sizeof p->header.probe_name);
    std::memcpy(out + 8, p->header.probe_name, nameLen);  // name, zero-padded
    std::memcpy(out + 48, p->header.probe_name, nameLen); // desc, zero-padded
    orv::putLE32(out + 368, static_cast<u32>(p->ts_numer));
    orv::putLE32(out + 372, static_cast<u32>(p->ts_denom));
    orv::putLE16(out + 376, static_cast<u16>(p->header.dsp_scale));
    const bool multichannel = p->num_channels > 1;
    orv::putLE16(out + 378, multichannel ? 2 : 1);
    orv::putLE16(out + 380, static_cast<u16>(p->header.frame_size));
    if (multichannel) orv::putLE16(out + 382, p->num_channels);
    orv::putLE16(out + 398, 1);         // frame_status
    orv::putLE16(out + 400, SS_DOUBLE); // data_type
}

int probe_wav_write(const probe *p, const char *filename) {
    const int fd = open(filename, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return -errno;
    fchmod(fd, 0666); // whatever the umask
    int rc = writeWav(fd, p);
    if (rc == 0 && fsync(fd) != 0 && errno != EINVAL) rc = -errno;
    if (close(fd) != 0 && rc == 0) rc = -errno;
    return rc;
}

int probe_write_array(const char *dirname, probe *const *probes, int count) {
    if (mkdir(dirname, 0777) != 0 && errno != EEXIST) return -errno;
    chmod(dirname, 0777);
    for (int i = 0; i < count; ++i) {
        if (probes[i] == nullptr) {
            std::fprintf(stderr, "probe_write_array(): num_probes > number of non-NULL probes available.\n");
            return -EINVAL;
        }
        const std::string path = probeFileName(dirname, probes[i]);
        std::printf("Creating probe: %s\n", path.c_str());
        const int rc = probe_wav_write(probes[i], path.c_str());
        if (rc != 0) return rc;
    }
    return 0;
}

int probe_write_set(const char *dirname, probe *first, ...) {
    probe *set[kMaxSetProbes];
    int count = 0;
    va_list args;
    va_start(args, first);
    for (probe *p = first; p != nullptr; p = va_arg(args, probe *)) {
        if (count == kMaxSetProbes) {
            va_end(args);
            return -1;
        }
        set[count++] = p;
    }
    va_end(args);
    return probe_write_array(dirname, set, count);
}
