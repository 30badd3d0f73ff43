// The waveform file: written from the in-memory points of an analysis, read back in slices
// by the user interface through a loaded record.
#include "songanalysis/songanalysis_handle.h"
#include "songanalysis/songanalysis_waveform.h"

#include "orvsys/debugmsg.h"
#include "orvsys/lebytes.h"
#include "orvsys/orvconfig.h"
#include "orvsys/ufopen.h"
#include "orvsys/uniquefile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <new>

namespace {

constexpr u32 kMinChunk = 512;
// The chunk only sets how much is written at once; a larger one changes nothing in the file.
constexpr u32 kMaxChunk = 65536;
constexpr u32 kMaxResolutionMs = 32767; // the header stores it in 16 bits
constexpr u32 kHeadBytes = 12;          // version word and header record
constexpr u32 kVersionLow = 0x03010000;
constexpr u32 kVersionHigh = 0x0301FFFF;

// Analysis frames per second of this build.
constexpr float kFramesPerSecond =
    static_cast<float>(orv::kAnalysisSampleRate) / static_cast<float>(orv::kAnalysisFrameSize);

using File = orv::UniqueFile;

u32 chunkSize(u32 wfpSize) {
    u32 b = kMinChunk;
    while (b < wfpSize && b < kMaxChunk) b *= 2;
    return b;
}

bool writeHead(FILE *f, u32 resolutionMs) {
    std::array<u8, kHeadBytes> head{};
    orv::putLE32(head.data(), SONGANALYSIS_VERSION);
    head[4] = 0xFF; // xp = -1
    head[5] = 0xFF; // xn = -1: the header record
    orv::putLE16(head.data() + 6, static_cast<u16>(resolutionMs));
    head[8] = head[9] = head[10] = head[11] = 0xFF;
    return std::fwrite(head.data(), 1, head.size(), f) == head.size();
}

// Rises are followed almost at once, falls decay by 8 % of the difference per point.
struct PeakSmoother {
    s32 previous = 0;
    s32 next(s32 value) {
        const float prev = static_cast<float>(previous);
        const float v = static_cast<float>(value);
        if (value > previous) {
            previous = static_cast<s32>(prev * (1.0f - 0.99f) + v * 0.99f);
        } else {
            previous = static_cast<s32>(prev * 0.92f + v * (1.0f - 0.92f));
        }
        return previous;
    }
};

struct Smoothing {
    PeakSmoother positive, negative; // the trough is smoothed on its negated values
    void apply(std::span<songanalysis_wfv_struct> chunk) {
        for (songanalysis_wfv_struct &pt : chunk) {
            pt.xp = static_cast<s8>(positive.next(pt.xp));
            pt.xn = static_cast<s8>(-negative.next(-s32{pt.xn}));
        }
    }
};

} // namespace

songanalysis_error songanalysis_writeWaveformFile(std::span<const songanalysis_wfv_struct> points,
                                                  const char *path, u32 resolutionMs, u32 scale,
                                                  u32 wfpSize) {
    // A resolution of 0 would never advance through the points.
    if (resolutionMs == 0 || resolutionMs > kMaxResolutionMs) return SONGANALYSIS_ERROR_OUTOFRANGE;
    if (path == nullptr) return SONGANALYSIS_ERROR_FILEERROR;
    const float step = static_cast<float>(resolutionMs) * kFramesPerSecond / 1000.0f;
    File f(ufopen(path, "wb+"));
    if (!f) {
        debugmsg("ERROR: sa unable to open %s for write", path);
        return SONGANALYSIS_ERROR_FILEERROR;
    }
    const u32 b = chunkSize(wfpSize);
    std::unique_ptr<songanalysis_wfv_struct[]> chunk(new (std::nothrow) songanalysis_wfv_struct[b]);
    if (!chunk) return SONGANALYSIS_ERROR_OUTOFMEMORY;
    if (!writeHead(f.get(), resolutionMs)) return SONGANALYSIS_ERROR_FILEERROR;
    Smoothing smoothing;
    float p = 0.0f;
    for (;;) {
        const std::span<songanalysis_wfv_struct> room(chunk.get(), b);
        const u32 n = songanalysis_resamplePoints(points, step, scale, &p, room);
        if (n == 0) break;
        smoothing.apply(room.first(n));
        if (std::fwrite(chunk.get(), sizeof(songanalysis_wfv_struct), n, f.get()) != n)
            return SONGANALYSIS_ERROR_FILEERROR;
    }
    return std::fclose(f.release()) == 0 ? SONGANALYSIS_ERROR_NOERROR : SONGANALYSIS_ERROR_FILEERROR;
}

u32 songanalysis_makeProfile(std::span<const songanalysis_wfv_struct> points, u32 wfpSize, u32 wfpScale,
                             std::span<songanalysis_wfv_struct> out) {
    const size_t count = std::min<size_t>(wfpSize, out.size());
    if (count == 0) return 0;
    const std::span<songanalysis_wfv_struct> profile = out.first(count);
    const float step = static_cast<float>(points.size()) / static_cast<float>(wfpSize);
    float p = 0.0f;
    const u32 produced = step > 0.0f ? songanalysis_resamplePoints(points, step, wfpScale, &p, profile) : 0;
    for (size_t i = produced; i < count; ++i) profile[i] = songanalysis_wfv_struct{};
    return static_cast<u32>(count);
}

songanalysis_error songanalysis_openWaveformFile(songanalysis_struct *sa, const char *wfvFileName) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr) return SONGANALYSIS_ERROR_ERROR;
    if (h->wfvFile != nullptr) std::fclose(h->wfvFile);
    h->wfvFile = nullptr;
    h->wfvSize = 0;
    h->wfvResolution = SONGANALYSIS_WFV_DEFAULT_RESOLUTION_MS;
    h->wfvHaveExtraInfo = 0;
    h->wfvHeaderSize = 4;
    if (wfvFileName == nullptr) return SONGANALYSIS_ERROR_FILEERROR;
    File f(ufopen(wfvFileName, "rb"));
    if (!f) return SONGANALYSIS_ERROR_FILEERROR;
    std::array<u8, kHeadBytes> head{};
    if (std::fread(head.data(), 1, head.size(), f.get()) != head.size()) return SONGANALYSIS_ERROR_FILEERROR;

    // A first record with both peaks at -1 is the header record, whatever follows.
    s32 resolution = SONGANALYSIS_WFV_DEFAULT_RESOLUTION_MS;
    const bool extra = head[4] == 0xFF && head[5] == 0xFF;
    if (extra) {
        resolution = static_cast<s16>(orv::getLE16(head.data() + 6));
        debugmsg("WFV: extra information found res=%d\n", resolution);
        if (resolution <= 0) return SONGANALYSIS_ERROR_FILEFORMAT;
    }
    const u32 version = orv::getLE32(head.data());
    if (version < kVersionLow || version > kVersionHigh)
        std::printf("WARNING: SA-APP=%08x SA-FILE=%08x\n", SONGANALYSIS_VERSION, version);

    const s32 headerSize = extra ? 12 : 4;
    if (std::fseek(f.get(), 0, SEEK_END) != 0) return SONGANALYSIS_ERROR_FILEERROR;
    const long size = std::ftell(f.get());
    if (size < static_cast<long>(kHeadBytes) || std::fseek(f.get(), headerSize, SEEK_SET) != 0)
        return SONGANALYSIS_ERROR_FILEERROR;
    h->wfvSize = static_cast<s32>(std::min<long>((size - headerSize) / 8, 0x7FFFFFFF));
    h->wfvResolution = resolution;
    h->wfvHaveExtraInfo = extra ? 1 : 0;
    h->wfvHeaderSize = headerSize;
    h->wfvFile = f.release();
    return SONGANALYSIS_ERROR_NOERROR;
}

songanalysis_error songanalysis_readWaveform(songanalysis_struct *sa, songanalysis_wfv_struct *waveform,
                                             u32 offset_msecs, u32 *read_size) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr || h->wfvFile == nullptr || h->wfvSamples != nullptr) return SONGANALYSIS_ERROR_MODE;
    if (read_size == nullptr || (waveform == nullptr && *read_size > 0)) return SONGANALYSIS_ERROR_ERROR;
    const long position =
        h->wfvHeaderSize + static_cast<long>(offset_msecs / static_cast<u32>(h->wfvResolution)) * 8;
    if (std::fseek(h->wfvFile, position, SEEK_SET) != 0) return SONGANALYSIS_ERROR_FILEERROR;
    const size_t wanted = *read_size;
    const size_t got = std::fread(waveform, sizeof(songanalysis_wfv_struct), wanted, h->wfvFile);
    *read_size = static_cast<u32>(got);
    if (got == wanted) return SONGANALYSIS_ERROR_NOERROR;
    if (std::feof(h->wfvFile) != 0) {
        std::clearerr(h->wfvFile);
        return SONGANALYSIS_ERROR_NOERROR;
    }
    return SONGANALYSIS_ERROR_FILEERROR;
}

songanalysis_error songanalysis_getWaveform(songanalysis_struct *sa, songanalysis_wfv_struct **ppWaveform,
                                            u32 *pWaveformSize, u32 *pWaveformSampleRate) {
    songanalysis_handle *h = songanalysis_getHandle(sa);
    if (h == nullptr || h->wfvFile != nullptr || h->wfvSamples == nullptr) return SONGANALYSIS_ERROR_MODE;
    if (ppWaveform != nullptr) *ppWaveform = h->wfvSamples;
    if (pWaveformSize != nullptr) *pWaveformSize = static_cast<u32>(h->wfvCnt);
    if (pWaveformSampleRate != nullptr)
        *pWaveformSampleRate = sa->frameSize != 0 ? sa->inputSampleRate / sa->frameSize : 0;
    return SONGANALYSIS_ERROR_NOERROR;
}
