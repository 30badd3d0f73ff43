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
#include <iterator>
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

struct Counts {
    long frames = 0;
    long errors = 0;
    long samples = 0;
    long pnsFrames = 0;
    long tnsFrames = 0;
    int nChans = 0;
    int sampleRate = 0;
};

// Decodes everything in data, appending little-endian samples to pcm.
Counts decodeAll(std::vector<unsigned char> &data, bool forceMono, std::vector<unsigned char> &pcm) {
    Counts c;
    HAACDecoder dec = AACInitDecoder();
    if (!dec) return c;
    std::vector<short> out(AAC_MAX_NCHANS * AAC_MAX_NSAMPS);
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
        for (int i = 0; i < info.outputSamps; i++) {
            unsigned char b[2];
            orv::putLE16(b, static_cast<u16>(out[i]));
            pcm.insert(pcm.end(), b, b + 2);
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
    std::ifstream in(opt.in, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "aacframes: cannot open %s\n", opt.in);
        return 1;
    }
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<unsigned char> pcm;
    const Counts c = decodeAll(data, opt.forceMono, pcm);
    std::FILE *out = std::fopen(opt.out, "wb");
    if (!out || std::fwrite(pcm.data(), 1, pcm.size(), out) != pcm.size()) {
        std::fprintf(stderr, "aacframes: cannot write %s\n", opt.out);
        if (out) std::fclose(out);
        return 1;
    }
    std::fclose(out);
    if (!opt.quiet)
        std::printf("frames %ld errors %ld samples %ld channels %d rate %d pns %ld tns %ld\n", c.frames,
                    c.errors, c.samples, c.nChans, c.sampleRate, c.pnsFrames, c.tnsFrames);
    return c.frames > 0 ? 0 : 1;
}
