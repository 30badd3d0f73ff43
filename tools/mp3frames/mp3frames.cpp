// mp3frames: syncs and decodes a whole MP3 file frame by frame through the decoder's public
// calls and writes the samples as raw signed 16-bit native-endian PCM (interleaved).
//
//   mp3frames [-d 1|2|4] [-q] input.mp3 output.raw
//
// Mono streams always decode at full rate. A summary (frames decoded, frames that failed, rate, channels,
// samples) goes to standard error unless -q. Exit code 0 on success, 1 on bad arguments or I/O errors.
#include "codecs/mp3dec/mp3dec.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

struct Options {
    int factor = 1;
    bool quiet = false;
    const char *input = nullptr;
    const char *output = nullptr;
};

bool parseArgs(int argc, char **argv, Options *opt) {
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "-q") == 0) {
            opt->quiet = true;
        } else if (std::strcmp(argv[i], "-d") == 0 && i + 1 < argc) {
            opt->factor = std::atoi(argv[++i]);
            if (opt->factor != 1 && opt->factor != 2 && opt->factor != 4) return false;
        } else {
            return false;
        }
    }
    if (argc - i != 2) return false;
    opt->input = argv[i];
    opt->output = argv[i + 1];
    return true;
}

// Reads the whole file. A regular file is read into storage of its size at once (growing the
// vector chunk by chunk copies a long file several times over); a pipe is read as it comes.
bool readFile(const char *path, std::vector<unsigned char> *bytes) {
    FILE *f = std::fopen(path, "rb");
    if (!f) return false;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > 0 && size < (size_t{1} << 31)) bytes->reserve(static_cast<size_t>(size));
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// Size of a leading ID3v2 tag (0 when there is none).
size_t id3v2Size(const std::vector<unsigned char> &b) {
    if (b.size() < 10 || b[0] != 'I' || b[1] != 'D' || b[2] != '3') return 0;
    const size_t size = (size_t{b[6] & 0x7Fu} << 21) | (size_t{b[7] & 0x7Fu} << 14) |
                        (size_t{b[8] & 0x7Fu} << 7) | size_t{b[9] & 0x7Fu};
    const size_t total = 10 + size + ((b[5] & 0x10) ? 10 : 0);
    return total <= b.size() ? total : b.size();
}

struct Counts {
    long frames = 0;
    long failed = 0;
    long samples = 0;
    MP3FrameInfo info{};
};

// Decodes every frame of data; writes the output of each frame that decoded.
bool decodeAll(HMP3Decoder dec, std::vector<unsigned char> &data, size_t start, int factor, FILE *out,
               Counts *counts) {
    std::vector<short> pcm(1152 * 2);
    unsigned char *ptr = data.data() + start;
    int left = static_cast<int>(data.size() - start);
    while (left > 0) {
        const int sync = MP3FindSyncWord(ptr, left);
        if (sync < 0) break;
        ptr += sync;
        left -= sync;
        MP3FrameInfo info;
        if (left < 6 || MP3GetNextFrameInfo(dec, &info, ptr) != ERR_MP3_NONE) {
            ++ptr;
            --left;
            continue;
        }
        // The reduced rates are for stereo streams; mono ones always decode at full rate.
        const int f = info.nChans == 2 ? factor : 1;
        const int err = MP3Decode(dec, &ptr, &left, pcm.data(), 0, 0, f);
        if (err == ERR_MP3_INDATA_UNDERFLOW) break;
        if (err <= ERR_MP3_INVALID_FRAMEHEADER && err >= ERR_MP3_INVALID_HUFFCODES) {
            // No valid frame starts here: look for the next one.
            ++ptr;
            --left;
            continue;
        }
        if (err != ERR_MP3_NONE) {
            ++counts->failed;
            if (err != ERR_MP3_MAINDATA_UNDERFLOW) continue;
        }
        MP3GetLastFrameInfo(dec, &counts->info);
        const int count = info.outputSamps / f;
        if (std::fwrite(pcm.data(), sizeof(short), static_cast<size_t>(count), out) !=
            static_cast<size_t>(count))
            return false;
        counts->samples += count;
        ++counts->frames;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    Options opt;
    if (!parseArgs(argc, argv, &opt)) {
        std::fprintf(stderr, "usage: mp3frames [-d 1|2|4] [-q] input.mp3 output.raw\n");
        return 1;
    }
    std::vector<unsigned char> data;
    if (!readFile(opt.input, &data)) {
        std::fprintf(stderr, "mp3frames: cannot read %s\n", opt.input);
        return 1;
    }
    FILE *out = std::fopen(opt.output, "wb");
    if (!out) {
        std::fprintf(stderr, "mp3frames: cannot write %s\n", opt.output);
        return 1;
    }
    HMP3Decoder dec = MP3InitDecoder();
    Counts counts;
    const bool ok = dec && decodeAll(dec, data, id3v2Size(data), opt.factor, out, &counts);
    MP3FreeDecoder(dec);
    if (std::fclose(out) != 0 || !ok) {
        std::fprintf(stderr, "mp3frames: decoding %s failed\n", opt.input);
        return 1;
    }
    if (!opt.quiet)
        std::fprintf(stderr, "%ld frames, %ld failed, %d Hz, %d channels, %ld samples\n", counts.frames,
                     counts.failed, counts.info.samprate, counts.info.nChans, counts.samples);
    return 0;
}
