// CRC-32 throughput over memory and over a 200 MB file (bytes per second are reported).
#include "songanalysis/chksum.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kFileBytes = 200u << 20;

void BM_CrcMemory(benchmark::State &state) {
    std::vector<u8> data(static_cast<size_t>(state.range(0)));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<u8>(i * 131);
    for (auto _ : state) benchmark::DoNotOptimize(chksum_crc32(data.data(), static_cast<u32>(data.size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CrcMemory)->Arg(4096)->Arg(1 << 20);

// A 200 MB file in the temporary folder, made once (it stays in the page cache).
struct BigFile {
    std::string path;
    BigFile() {
        char name[] = "/tmp/orvcrc-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) std::abort();
        path = name;
        std::vector<u8> block(1 << 20);
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<u8>(i * 7 + 3);
        for (size_t done = 0; done < kFileBytes; done += block.size())
            if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) std::abort();
        close(fd);
    }
    ~BigFile() { unlink(path.c_str()); }
};

void BM_CrcFile200MB(benchmark::State &state) {
    static BigFile file;
    FILE *f = std::fopen(file.path.c_str(), "rb");
    for (auto _ : state) benchmark::DoNotOptimize(calcCRC32(f, 0, 0));
    std::fclose(f);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kFileBytes));
}
BENCHMARK(BM_CrcFile200MB)->Unit(benchmark::kMillisecond);

} // namespace
