// aacframes: decodes an ADTS or ADIF AAC file frame by frame to raw interleaved 16-bit
// little-endian PCM, the way a file reader drives the decoder: on an error it skips one
// byte and searches for the next frame.
//
//   aacframes [-m] [-q] INPUT OUTPUT.raw
//     -m  forced mono (takes effect in the desktop configuration only)
//     -q  no summary line
#include "codecs/aacdec/aacdec.h"
#include "orvsys/lebytes.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

struct Options {
    bool forceMono = false;
    bool quiet = false;
    const char *in = nullptr;
    const char *out = nullptr;
};

bool parseArgs(int argc, char **argv, Options &opt) {
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "-m")) {
            opt.forceMono = true;
        } else if (!std::strcmp(argv[i], "-q")) {
            opt.quiet = true;
        } else if (!opt.in) {
            opt.in = argv[i];
        } else if (!opt.out) {
            opt.out = argv[i];
        } else {
            return false;
        }
    }
    return opt.in && opt.out;
}

bool readWholeFile(const char *path, std::vector<unsigned char> &data) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamsize size = in.tellg();
    if (size < 0 || size > 0x7FFFFFFF) return false;
    data.resize(static_cast<size_t>(size));
    in.seekg(0);
    return static_cast<bool>(in.read(reinterpret_cast<char *>(data.data()), size));
}

struct Counts {
    long frames = 0;
    long errors = 0;
    long samples = 0;
    long pnsFrames = 0;
    long tnsFrames = 0;
    int nChans = 0;
    int sampleRate = 0;
    bool writeFailed = false;
};

// Decodes everything in data, writing little-endian samples to out.
Counts decodeAll(std::vector<unsigned char> &data, bool forceMono, std::FILE *pcm) {
    Counts c;
    HAACDecoder dec = AACInitDecoder();
    if (!dec) return c;
    std::vector<short> out(AAC_MAX_NCHANS * AAC_MAX_NSAMPS);
    std::vector<unsigned char> bytes(2 * out.size());
    unsigned char *p = data.data();
    int left = static_cast<int>(data.size());
    while (left > 0) {
        const int err = AACDecode(dec, &p, &left, out.data(), 0, forceMono);
        if (err == ERR_AAC_INDATA_UNDERFLOW && AACFindSyncWord(p, left) < 0) break;
        if (err) {
            c.errors++;
            p++;
            left--;
            continue;
        }
        AACFrameInfo info{};
        AACGetLastFrameInfo(dec, &info);
        c.frames++;
        c.samples += info.outputSamps;
        c.pnsFrames += info.pnsUsed != 0;
        c.tnsFrames += info.tnsUsed != 0;
        c.nChans = info.nChans;
        c.sampleRate = info.sampRateOut;
        for (int i = 0; i < info.outputSamps; i++)
            orv::putLE16(bytes.data() + 2 * i, static_cast<u16>(out[static_cast<size_t>(i)]));
        if (std::fwrite(bytes.data(), 2, static_cast<size_t>(info.outputSamps), pcm) !=
            static_cast<size_t>(info.outputSamps)) {
            c.writeFailed = true;
            break;
        }
    }
    AACFreeDecoder(dec);
    return c;
}

} // namespace

int main(int argc, char **argv) {
    Options opt;
    if (!parseArgs(argc, argv, opt)) {
        std::fprintf(stderr, "usage: aacframes [-m] [-q] INPUT OUTPUT.raw\n");
        return 2;
    }
    std::vector<unsigned char> data;
    if (!readWholeFile(opt.in, data)) {
        std::fprintf(stderr, "aacframes: cannot read %s\n", opt.in);
        return 1;
    }
    std::FILE *out = std::fopen(opt.out, "wb");
    if (!out) {
        std::fprintf(stderr, "aacframes: cannot write %s\n", opt.out);
        return 1;
    }
    const Counts c = decodeAll(data, opt.forceMono, out);
    if (std::fclose(out) != 0 || c.writeFailed) {
        std::fprintf(stderr, "aacframes: cannot write %s\n", opt.out);
        return 1;
    }
    if (!opt.quiet)
        std::printf("frames %ld errors %ld samples %ld channels %d rate %d pns %ld tns %ld\n", c.frames,
                    c.errors, c.samples, c.nChans, c.sampleRate, c.pnsFrames, c.tnsFrames);
    return c.frames > 0 ? 0 : 1;
}
