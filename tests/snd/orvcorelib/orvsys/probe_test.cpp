#include "orvsys/lebytes.h"
#include "orvsys/probe.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace {

using orv::getLE16;
using orv::getLE32;

struct ProbeDeleter {
    void operator()(probe *p) const { probe_destroy(p); }
};
using Probe = std::unique_ptr<probe, ProbeDeleter>;

// A probe of 2 frames of 4 16-bit elements per channel, time step 256/44100 s.
Probe makeProbe(const char *name, u8 channels, u8 orvchunk) {
    return Probe(probe_create(name, 4, channels, 2, 2, 256, 44100, 3, orvchunk));
}

void fill(probe *p, u32 elements) {
    auto *data = static_cast<s16 *>(p->data);
    for (u32 i = 0; i < elements; ++i) data[i] = static_cast<s16>(i * 1000 - 3000);
    p->idx = elements;
}

mode_t modeOf(const std::string &path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(Probe, CreateSizesAndRate) {
    auto p = makeProbe("onset-flux-of-the-analysis-with-a-long-name", 2, 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->header.elem_count, 16u); // 2 frames x 4 x 2 channels
    EXPECT_EQ(p->header.elem_size_bytes, 2u);
    EXPECT_EQ(p->header.frame_size, 4u);
    EXPECT_EQ(p->header.sample_rate, 689u); // 44100 * 4 / 256 = 689.06, truncated
    EXPECT_EQ(std::string(p->header.probe_name),
              std::string("onset-flux-of-the-analysis-with-a-long-name", 39));
    EXPECT_EQ(p->enabled, 1);
    EXPECT_EQ(p->idx, 0u);
    EXPECT_FALSE(probe_is_full(p.get()));
    p->idx = 16;
    EXPECT_TRUE(probe_is_full(p.get()));
    probe_enable(p.get(), 0);
    EXPECT_FALSE(probe_is_enabled(p.get()));
    probe_enable(p.get(), 5);
    EXPECT_TRUE(probe_is_enabled(p.get()));
}

TEST(Probe, CreateRefusesBadSizes) {
    EXPECT_EQ(probe_create("x", 4, 1, 2, 2, 0, 44100, 1, 0), nullptr); // ts_numer 0
    EXPECT_EQ(probe_create("x", 0, 1, 2, 2, 1, 44100, 1, 0), nullptr);
    EXPECT_EQ(probe_create("x", 4, 0, 2, 2, 1, 44100, 1, 0), nullptr);
    EXPECT_EQ(probe_create("x", 65536, 255, 65536, 8, 1, 44100, 1, 0), nullptr); // beyond a WAV file
    EXPECT_EQ(probe_destroy(nullptr), nullptr);
}

TEST(Probe, WavWithPrivateChunk) {
    orvtest::TempDir dir;
    auto p = makeProbe("flux", 2, 1);
    fill(p.get(), 10);
    const std::string path = dir.file("flux.wav");
    ASSERT_EQ(probe_wav_write(p.get(), path.c_str()), 0);
    EXPECT_EQ(modeOf(path), 0666u);

    const auto b = orvtest::readFileBytes(path);
    const u32 data = 10 * 2;
    ASSERT_EQ(b.size(), 8 + 456 + data);
    EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
    EXPECT_EQ(getLE32(&b[4]), 456 + data);
    EXPECT_EQ(std::memcmp(&b[8], "WAVEfmt ", 8), 0);
    EXPECT_EQ(getLE32(&b[16]), 16u);
    EXPECT_EQ(getLE16(&b[20]), 1);        // PCM
    EXPECT_EQ(getLE16(&b[22]), 2);        // channels
    EXPECT_EQ(getLE32(&b[24]), 689u);     // rate
    EXPECT_EQ(getLE32(&b[28]), 689u * 4); // byte rate counts both channels
    EXPECT_EQ(getLE16(&b[32]), 4);        // block align counts both channels
    EXPECT_EQ(getLE16(&b[34]), 16);

    const u8 *orv = &b[36];
    EXPECT_EQ(std::memcmp(orv, "orv ", 4), 0);
    EXPECT_EQ(getLE32(orv + 4), 412u);
    EXPECT_STREQ(reinterpret_cast<const char *>(orv + 8), "flux");
    EXPECT_STREQ(reinterpret_cast<const char *>(orv + 48), "flux");
    EXPECT_EQ(orv[8 + 4], 0);
    EXPECT_EQ(getLE32(orv + 368), 256u);
    EXPECT_EQ(getLE32(orv + 372), 44100u);
    EXPECT_EQ(getLE16(orv + 376), 3);
    EXPECT_EQ(getLE16(orv + 378), 2); // num_dims
    EXPECT_EQ(getLE16(orv + 380), 4); // frame size
    EXPECT_EQ(getLE16(orv + 382), 2); // channels
    for (int i = 384; i < 398; i += 2) EXPECT_EQ(getLE16(orv + i), 0) << i;
    EXPECT_EQ(getLE16(orv + 398), 1); // frame_status
    EXPECT_EQ(getLE16(orv + 400), 0); // SS_DOUBLE
    for (int i = 402; i < 420; ++i) EXPECT_EQ(orv[i], 0) << i;

    const u8 *dataChunk = &b[36 + 420];
    EXPECT_EQ(std::memcmp(dataChunk, "data", 4), 0);
    EXPECT_EQ(getLE32(dataChunk + 4), data);
    EXPECT_EQ(static_cast<s16>(getLE16(dataChunk + 8)), -3000);
    EXPECT_EQ(static_cast<s16>(getLE16(dataChunk + 8 + 18)), 6000);
}

TEST(Probe, WavWithoutPrivateChunkAndOneChannel) {
    orvtest::TempDir dir;
    auto p = makeProbe("mono", 1, 0);
    fill(p.get(), 3);
    const std::string path = dir.file("mono.wav");
    ASSERT_EQ(probe_wav_write(p.get(), path.c_str()), 0);
    const auto b = orvtest::readFileBytes(path);
    ASSERT_EQ(b.size(), 44u + 6);
    EXPECT_EQ(getLE32(&b[4]), 36u + 6);
    EXPECT_EQ(getLE16(&b[32]), 2);
    EXPECT_EQ(std::memcmp(&b[36], "data", 4), 0);

    u8 chunk[kWavOrvChunkBytes];
    probe_encode_orvchunk(p.get(), chunk);
    EXPECT_EQ(getLE16(chunk + 378), 1); // one dimension
    EXPECT_EQ(getLE16(chunk + 382), 0);
}

TEST(Probe, WriteErrorsReturnMinusErrno) {
    auto p = makeProbe("x", 1, 0);
    EXPECT_EQ(probe_wav_write(p.get(), "/nonexistent-folder/x.wav"), -ENOENT);
}

TEST(Probe, WriteArrayCreatesTheFolderAndOneFilePerProbe) {
    orvtest::TempDir dir;
    auto a = makeProbe("alpha", 1, 1);
    auto b = makeProbe("beta", 2, 0);
    probe *probes[] = {a.get(), b.get()};
    const std::string folder = dir.file("probes");

    testing::internal::CaptureStdout();
    ASSERT_EQ(probe_write_array(folder.c_str(), probes, 2), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Creating probe: " + folder + "/alpha.wav\nCreating probe: " + folder + "/beta.wav\n");
    EXPECT_EQ(modeOf(folder), 0777u);
    EXPECT_EQ(orvtest::readFileBytes(folder + "/alpha.wav").size(), 8u + 456);
    EXPECT_EQ(orvtest::readFileBytes(folder + "/beta.wav").size(), 8u + 36);

    // An existing folder is fine; a trailing slash adds none.
    testing::internal::CaptureStdout();
    ASSERT_EQ(probe_write_array((folder + "/").c_str(), probes, 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Creating probe: " + folder + "/alpha.wav\n");
}

TEST(Probe, WriteArrayStopsAtANullEntry) {
    orvtest::TempDir dir;
    auto a = makeProbe("alpha", 1, 0);
    probe *probes[] = {a.get(), nullptr};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(probe_write_array(dir.file("p").c_str(), probes, 2), -EINVAL);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "probe_write_array(): num_probes > number of non-NULL probes available.\n");
    EXPECT_EQ(probe_write_array("/proc/no-such/folder", probes, 1), -ENOENT);
}

TEST(Probe, WriteSetTakesAtMostFifteen) {
    orvtest::TempDir dir;
    std::vector<Probe> owned;
    for (int i = 0; i < 16; ++i) owned.push_back(makeProbe(("p" + std::to_string(i)).c_str(), 1, 0));
    std::vector<probe *> ps;
    for (auto &p : owned) ps.push_back(p.get());
    const std::string folder = dir.file("set");

    testing::internal::CaptureStdout();
    EXPECT_EQ(probe_write_set(folder.c_str(), ps[0], ps[1], ps[2], ps[3], ps[4], ps[5], ps[6], ps[7], ps[8],
                              ps[9], ps[10], ps[11], ps[12], ps[13], ps[14], ps[15],
                              static_cast<probe *>(nullptr)),
              -1);
    EXPECT_EQ(probe_write_set(folder.c_str(), ps[0], ps[1], ps[2], ps[3], ps[4], ps[5], ps[6], ps[7], ps[8],
                              ps[9], ps[10], ps[11], ps[12], ps[13], ps[14], static_cast<probe *>(nullptr)),
              0);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(orvtest::readFileBytes(folder + "/p14.wav").size(), 44u);
    EXPECT_TRUE(orvtest::readFileBytes(folder + "/p15.wav").empty());
}

} // namespace
