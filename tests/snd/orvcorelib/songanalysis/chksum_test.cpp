// CRC-32 of memory and files: the published check values, file sealing and checking.
#include "songanalysis/chksum.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

namespace {

struct FileCloser {
    void operator()(FILE *f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Bit-at-a-time reference of the same CRC.
u32 referenceCrc(const std::vector<u8> &data) {
    u32 crc = 0xFFFFFFFFu;
    for (u8 byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

File writeFile(const std::string &path, const std::vector<u8> &bytes, const char *reopenMode = "rb") {
    orvtest::writeFileBytes(path, bytes);
    return File(std::fopen(path.c_str(), reopenMode));
}

TEST(Crc32, PublishedValues) {
    const u8 zeroes[4] = {};
    EXPECT_EQ(chksum_crc32(zeroes, 4), 0x2144DF1Cu);
    EXPECT_EQ(chksum_crc32(reinterpret_cast<const u8 *>("abc"), 3), 0x352441C2u);
    EXPECT_EQ(chksum_crc32(reinterpret_cast<const u8 *>("123456789"), 9), 0xCBF43926u);
    EXPECT_EQ(chksum_crc32(nullptr, 0), 0u);
}

TEST(Crc32, MatchesTheBitwiseReferenceAtEveryLength) {
    std::mt19937 rng(7);
    std::vector<u8> data(70000);
    for (auto &b : data) b = static_cast<u8>(rng());
    for (size_t len : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 1000u, 32767u, 32768u, 32769u, 70000u}) {
        std::vector<u8> slice(data.begin(), data.begin() + static_cast<long>(len));
        EXPECT_EQ(chksum_crc32(slice.data(), static_cast<u32>(len)), referenceCrc(slice)) << len;
    }
}

TEST(Crc32, FileFlags) {
    orvtest::TempDir dir;
    struct Case {
        std::vector<u8> bytes;
        int append4Zeroes, zeroLast4Bytes;
        u32 expected;
    };
    const std::vector<u8> abc{'a', 'b', 'c'};
    const std::vector<u8> abcd{'a', 'b', 'c', 'd', 'e', 'f', 'g'};
    const Case cases[] = {
        {{}, 0, 0, 0u},          // empty file
        {{}, 1, 0, 0x2144DF1Cu}, // empty file, then four zeroes
        {abc, 0, 0, 0x352441C2u},
        {abc, 0, 1, 0x2144DF1Cu}, // shorter than 4: no file data, only the zeroes
        {abc, 1, 0, referenceCrc({'a', 'b', 'c', 0, 0, 0, 0})},
        {abcd, 0, 1, referenceCrc({'a', 'b', 'c', 0, 0, 0, 0})}, // last four left out
        {abcd, 1, 1, referenceCrc({'a', 'b', 'c', 0, 0, 0, 0})}, // still only four zeroes
    };
    int i = 0;
    for (const auto &c : cases) {
        File f = writeFile(dir.file("f" + std::to_string(i++)), c.bytes);
        ASSERT_TRUE(f);
        EXPECT_EQ(calcCRC32(f.get(), c.append4Zeroes, c.zeroLast4Bytes), c.expected) << "case " << i - 1;
    }
}

TEST(Crc32, LargeFileAcrossReadBlocks) {
    orvtest::TempDir dir;
    std::vector<u8> data(100003);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<u8>(i * 31 + (i >> 9));
    File f = writeFile(dir.file("big"), data);
    EXPECT_EQ(calcCRC32(f.get(), 0, 0), referenceCrc(data));
}

TEST(Crc32, SealedFileChecksGoodAndEveryChangedByteFails) {
    orvtest::TempDir dir;
    const std::string path = dir.file("sealed");
    const std::vector<u8> content{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    {
        File f = writeFile(path, content, "rb+");
        const u32 crc = writeCRC32(f.get());
        std::vector<u8> withZeroes = content;
        withZeroes.insert(withZeroes.end(), 4, 0);
        EXPECT_EQ(crc, referenceCrc(withZeroes));
    }
    const auto sealed = orvtest::readFileBytes(path);
    ASSERT_EQ(sealed.size(), content.size() + 4);
    {
        File f(std::fopen(path.c_str(), "rb"));
        EXPECT_EQ(checkSelfCRC32(f.get()), 1);
        EXPECT_EQ(checkCRC32(f.get(), 1, calcCRC32(f.get(), 0, 1)), 1);
        EXPECT_EQ(checkCRC32(f.get(), 0, 0x12345678u), 0);
    }
    for (size_t i = 0; i < sealed.size(); ++i) { // the appended value included
        auto damaged = sealed;
        damaged[i] ^= 0x40;
        File f = writeFile(dir.file("damaged"), damaged);
        EXPECT_EQ(checkSelfCRC32(f.get()), 0) << "byte " << i;
    }
}

TEST(Crc32, UnusableFiles) {
    orvtest::TempDir dir;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    File pipeRead(fdopen(fds[0], "rb"));
    close(fds[1]);
    EXPECT_EQ(calcCRC32(pipeRead.get(), 0, 0), 0xFFFFFFFFu); // cannot seek
    EXPECT_EQ(checkSelfCRC32(pipeRead.get()), 0);

    File readOnly = writeFile(dir.file("ro"), {1, 2, 3}, "rb");
    EXPECT_EQ(writeCRC32(readOnly.get()), 0xFFFFFFFFu); // cannot write
    EXPECT_EQ(calcCRC32(nullptr, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(checkSelfCRC32(nullptr), 0);

    File tiny = writeFile(dir.file("tiny"), {1, 2}, "rb");
    EXPECT_EQ(checkSelfCRC32(tiny.get()), 0);
}

} // namespace
