// Converts a raw file of interleaved 16-bit little-endian samples with the sample-rate
// converter, streaming block by block as sox does, for timing against it on the same input
// (bench/srconv_vs_sox.py).
//   srconv_file in.raw out.raw inRate outRate channels quality(0..2)
#include "orvsys/lebytes.h"
#include "srconv/srconv.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr u32 kBlock = 2048;

int fail(const char *what) {
    std::fprintf(stderr, "srconv_file: %s\n", what);
    return 1;
}

struct CloseFile {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

} // namespace

int main(int argc, char **argv) {
    if (argc != 7) return fail("usage: srconv_file in.raw out.raw inRate outRate channels quality");
    const u32 inRate = static_cast<u32>(std::strtoul(argv[3], nullptr, 10));
    const u32 outRate = static_cast<u32>(std::strtoul(argv[4], nullptr, 10));
    const u32 channels = static_cast<u32>(std::strtoul(argv[5], nullptr, 10));
    const auto quality = static_cast<srconv_quality>(std::strtol(argv[6], nullptr, 10));
    std::unique_ptr<srconv_struct, void (*)(srconv_struct *)> s(
        srconv_new(inRate, outRate, channels, kBlock, quality), srconv_destroy);
    if (!s) return fail("unsupported conversion");
    File in(std::fopen(argv[1], "rb"));
    File out(std::fopen(argv[2], "wb"));
    if (!in || !out) return fail("cannot open the files");

    const size_t frameBytes = size_t{2} * channels;
    std::vector<u8> inBytes(size_t{s->maxInputBlockSize} * frameBytes);
    std::vector<audio16> outFrames(size_t{kBlock} * channels);
    std::vector<u8> outBytes(outFrames.size() * 2);
    for (;;) {
        const size_t wanted = srconv_getInSize(s.get(), kBlock);
        const size_t got = std::fread(inBytes.data(), frameBytes, wanted, in.get());
        if (got == 0) break;
        for (size_t i = 0; i < got * channels; ++i)
            s->tempBuffer[i] = static_cast<audio16>(orv::getLE16(&inBytes[2 * i]));
        u32 outSize = kBlock;
        if (srconv_process(s.get(), s->tempBuffer, static_cast<s32>(got), outFrames.data(), &outSize) !=
            SRCONV_ERROR_NOERROR)
            return fail("conversion failed");
        for (size_t i = 0; i < size_t{outSize} * channels; ++i)
            orv::putLE16(&outBytes[2 * i], static_cast<u16>(outFrames[i]));
        if (std::fwrite(outBytes.data(), frameBytes, outSize, out.get()) != outSize)
            return fail("cannot write");
    }
    return 0;
}
