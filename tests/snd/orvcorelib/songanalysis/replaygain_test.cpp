// Loudness from spectra: the weighting, the band cut-off, the percentile rule and albums.
#include "songanalysis/replaygain/replaygain.h"

#include "orvmath/orvmath.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct RpgDeleter {
    void operator()(replaygain_struct *r) const { replaygain_destroy(r); }
};
using Rpg = std::unique_ptr<replaygain_struct, RpgDeleter>;

// A spectrum of fftSize values (interleaved re, im) with one bin set.
std::vector<s16> toneSpectrum(u32 fftSize, u32 bin, s16 re, s16 im = 0) {
    std::vector<s16> s(fftSize, 0);
    s[2 * bin] = re;
    s[2 * bin + 1] = im;
    return s;
}

u32 frameValue(u32 fftSize, const std::vector<s16> &spectrum) {
    Rpg rpg(replaygain_new());
    replaygain_newSong(rpg.get(), 1, fftSize, 11025);
    replaygain_process(rpg.get(), spectrum.data());
    return static_cast<u32>(rpg->rms[0]);
}

TEST(Loudness, EqualLoudnessTableRuns) {
    const std::pair<int, s16> samples[] = {
        {0, 104},     {1, 734},     {2, 2320},    {3, 3677},   {4, 5827},    {5, 13045},
        {6, 13045},   {7, 16422},   {25, 16422},  {26, 14636}, {104, 20675}, {105, 27570},
        {128, 32767}, {155, 32767}, {156, 30934}, {441, 5827}, {442, 1843},  {510, 1843},
        {511, 328},   {812, 58},    {813, 10},    {1023, 10}};
    for (const auto &[index, value] : samples) EXPECT_EQ(EQUAL_LOUDNESS_TABLE[index], value) << index;
}

TEST(Loudness, NewSongAndFactors) {
    Rpg rpg(replaygain_new());
    ASSERT_NE(rpg, nullptr);
    EXPECT_EQ(rpg->refGain, 700u);
    EXPECT_EQ(replaygain_newSong(rpg.get(), 10, 512, 11025), 1);
    EXPECT_EQ(rpg->frameFactor, 4u);
    EXPECT_EQ(rpg->frameSize, 512u);
    EXPECT_EQ(rpg->rmsSize, 10u);
    EXPECT_EQ(replaygain_newSong(rpg.get(), 10, 0), 0); // would divide by zero
}

TEST(Loudness, WeightedBinEnergy) {
    struct Case {
        u32 fftSize, bin;
        s16 re, im;
        u32 expected;
    };
    // energy = (re^2 + im^2) >> 9, weighted by (w * w) >> 21 with w = table[bin * 2048 / fftSize].
    const Case cases[] = {
        {512, 10, 1000, 0, 51u * 1953u},       // w = table[40] = 10362
        {512, 32, 0, 1000, 511u * 1953u},      // w = table[128] = 32767
        {512, 5, 3000, 4000, 128u * 48828u},   // w = table[20] = 16422
        {512, 120, 1000, 0, 1u * 1953u},       // w = table[480] = 1843
        {512, 156, 10000, 0, 0u},              // w = table[624] = 328: too small to count
        {2048, 3, 20000, 0, 6u * 781250u},     // w = table[3] = 3677
        {2048, 1, 100, 0, 0u},                 // w = 734
        {512, 32, -32768, -32768, 511u << 22}, // the largest energy stays positive
    };
    for (const auto &c : cases)
        EXPECT_EQ(frameValue(c.fftSize, toneSpectrum(c.fftSize, c.bin, c.re, c.im)), c.expected)
            << c.fftSize << "-point spectrum, bin " << c.bin;
}

TEST(Loudness, BinZeroAndTheTopHalfAreNotRead) {
    std::vector<s16> s(512, 0);
    s[0] = 30000; // bin 0 (and the packed Nyquist value beside it) carry no loudness
    s[1] = 30000;
    EXPECT_EQ(frameValue(512, s), 0u);
}

TEST(Loudness, PercentileIndexRule) {
    struct Case {
        u32 frames;
        u32 index; // of the sorted values
    };
    const Case cases[] = {{1, 0}, {20, 19}, {100, 95}, {7, 6}};
    for (const auto &c : cases) {
        Rpg rpg(replaygain_new());
        replaygain_newSong(rpg.get(), c.frames, 512, 11025);
        // Frame k carries the energy that makes its value k * k at bin 32 (weight term 511):
        // values arrive in descending order, so the sort matters.
        std::vector<u32> values;
        for (u32 k = 0; k < c.frames; ++k) {
            const u32 frame = c.frames - k;
            const s16 re = static_cast<s16>(frame * 64); // energy (re^2) >> 9 = frame^2 * 8
            replaygain_process(rpg.get(), toneSpectrum(512, 32, re).data());
            values.push_back(511u * ((static_cast<u32>(re) * static_cast<u32>(re)) >> 9));
        }
        std::sort(values.begin(), values.end());
        replaygain_songEnd(rpg.get());
        EXPECT_EQ(rpg->radioGain, orvmath_sqrt_uint32(values[c.index])) << c.frames << " frames";
        EXPECT_EQ(rpg->audioGain, rpg->radioGain);
        EXPECT_EQ(rpg->rms, nullptr);
    }
}

TEST(Loudness, SilenceAndNoFrames) {
    Rpg rpg(replaygain_new());
    replaygain_newSong(rpg.get(), 50, 512, 11025);
    replaygain_songEnd(rpg.get()); // no frame: reads the zeroed room
    EXPECT_EQ(rpg->radioGain, 0u);

    replaygain_newSong(rpg.get(), 50, 512, 11025);
    const std::vector<s16> silence(512, 0);
    for (int i = 0; i < 50; ++i) replaygain_process(rpg.get(), silence.data());
    replaygain_songEnd(rpg.get());
    EXPECT_EQ(rpg->radioGain, 0u);

    // No room at all (the song was never started): gain 0, nothing read.
    Rpg fresh(replaygain_new());
    replaygain_process(fresh.get(), silence.data());
    replaygain_songEnd(fresh.get());
    EXPECT_EQ(fresh->radioGain, 0u);
}

TEST(Loudness, SteadyToneGivesItsOwnValue) {
    Rpg rpg(replaygain_new());
    replaygain_newSong(rpg.get(), 200, 512, 11025);
    const auto tone = toneSpectrum(512, 10, 1000);
    for (int i = 0; i < 200; ++i) replaygain_process(rpg.get(), tone.data());
    replaygain_songEnd(rpg.get());
    EXPECT_EQ(rpg->radioGain, orvmath_sqrt_uint32(51u * 1953u)); // 315
    EXPECT_EQ(rpg->radioGain, 315u);
    EXPECT_EQ(rpg->refGain, 700u);
}

TEST(Loudness, RoomIsNeverOverrun) {
    Rpg rpg(replaygain_new());
    replaygain_newSong(rpg.get(), 3, 512, 11025);
    const auto tone = toneSpectrum(512, 10, 1000);
    for (int i = 0; i < 10; ++i) replaygain_process(rpg.get(), tone.data());
    EXPECT_EQ(rpg->rmsCnt, 3u);
}

TEST(Loudness, AlbumTakesThePercentileOfItsSongs) {
    Rpg rpg(replaygain_new());
    EXPECT_EQ(replaygain_newAlbum(rpg.get(), 3), 0);
    const s16 levels[] = {1000, 3000, 2000};
    for (s16 level : levels) {
        replaygain_newSong(rpg.get(), 10, 512, 11025);
        for (int i = 0; i < 10; ++i) replaygain_process(rpg.get(), toneSpectrum(512, 10, level).data());
        replaygain_songEnd(rpg.get());
    }
    EXPECT_EQ(rpg->albumCnt, 3u);
    const u32 loudest = rpg->albumGain[1];
    replaygain_albumEnd(rpg.get());
    EXPECT_EQ(rpg->audioGain, loudest); // 3 * 95 / 100 = index 2: the largest of three
    EXPECT_EQ(rpg->albumGain, nullptr);

    // A fourth song beyond the album's room is not stored.
    replaygain_newAlbum(rpg.get(), 1);
    for (int song = 0; song < 2; ++song) {
        replaygain_newSong(rpg.get(), 1, 512, 11025);
        replaygain_songEnd(rpg.get());
    }
    EXPECT_EQ(rpg->albumCnt, 1u);
    replaygain_albumEnd(rpg.get());
}

} // namespace
