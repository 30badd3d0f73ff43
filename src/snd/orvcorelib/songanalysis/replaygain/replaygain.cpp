#include "songanalysis/replaygain/replaygain.h"

#include "orvmath/orvmath.h"

#include <array>
#include <cstdlib>

namespace {

struct Run {
    u16 first, last;
    s16 value;
};

// The equal-loudness weights are a step function over the bins of a 2048-point spectrum.
constexpr Run kLoudnessRuns[] = {
    {0, 0, 104},       {1, 1, 734},       {2, 2, 2320},      {3, 3, 3677},      {4, 4, 5827},
    {5, 6, 13045},     {7, 25, 16422},    {26, 30, 14636},   {31, 34, 13045},   {35, 39, 10976},
    {40, 44, 10362},   {45, 58, 11626},   {59, 81, 14636},   {82, 104, 20675},  {105, 127, 27570},
    {128, 155, 32767}, {156, 178, 30934}, {179, 208, 20675}, {209, 255, 11626}, {256, 301, 6538},
    {302, 394, 5193},  {395, 441, 5827},  {442, 510, 1843},  {511, 626, 328},   {627, 812, 58},
    {813, 1023, 10},
};

constexpr std::array<s16, 1024> makeTable() {
    std::array<s16, 1024> t{};
    for (const Run &run : kLoudnessRuns)
        for (u32 i = run.first; i <= run.last; ++i) t[i] = run.value;
    return t;
}

// Bins 1 to 5 always count; from bin 6 on, the first weight below this ends the sum.
constexpr u32 kAlwaysSummedBins = 5;
constexpr s32 kMinimumWeight = 256;

// The 95th percentile of n values (sorted in place): index n * 95 / 100.
s32 percentile95(s32 *values, u32 n) {
    orvmath_sort_int32(values, 0, static_cast<s32>(n));
    return values[static_cast<u64>(n) * 95 / 100];
}

} // namespace

extern const std::array<s16, 1024> EQUAL_LOUDNESS_TABLE = makeTable();

replaygain_struct *replaygain_new() {
    auto *rpg = static_cast<replaygain_struct *>(std::calloc(1, sizeof(replaygain_struct)));
    if (rpg != nullptr) rpg->refGain = 700;
    return rpg;
}

s32 replaygain_newSong(replaygain_struct *rpg, u32 numFrames, u32 frameSize, u32 /*fs*/) {
    std::free(rpg->rms);
    rpg->rms = nullptr;
    rpg->rmsSize = 0;
    rpg->rmsCnt = 0;
    rpg->radioGain = 0;
    rpg->frameOffset = 0;
    rpg->elTable = EQUAL_LOUDNESS_TABLE.data();
    // Spectra longer than the table's read its first weight everywhere (factor 0), which
    // still stays inside the table; a size of 0 would divide by zero.
    if (frameSize == 0) {
        rpg->frameSize = 0;
        rpg->frameFactor = 0;
        return 0;
    }
    rpg->frameSize = frameSize;
    rpg->frameFactor = RPG_FRAMESIZE / frameSize;
    // One spare zeroed value, so that a song without frames reads a 0 at index 0.
    rpg->rms = static_cast<s32 *>(std::calloc(static_cast<size_t>(numFrames) + 1, sizeof(s32)));
    if (rpg->rms == nullptr) return 0;
    rpg->rmsSize = numFrames;
    return 1;
}

void replaygain_process(replaygain_struct *rpg, const s16 *pInFFT) {
    if (rpg->rms == nullptr || rpg->rmsCnt >= rpg->rmsSize) return;
    u32 sum = 0; // wraps, as the stored statistic always has
    for (u32 j = 1; 2 * j < rpg->frameSize; ++j) {
        const s32 w = rpg->elTable[j * rpg->frameFactor];
        if (j > kAlwaysSummedBins && w < kMinimumWeight) break;
        const s64 re = pInFFT[2 * j];
        const s64 im = pInFFT[2 * j + 1];
        const u32 energy = static_cast<u32>((re * re + im * im) >> 9); // at most 2^22
        sum += static_cast<u32>((w * w) >> 21) * energy;
    }
    rpg->rms[rpg->rmsCnt++] = static_cast<s32>(sum);
}

void replaygain_songEnd(replaygain_struct *rpg) {
    const u32 value =
        rpg->rms != nullptr ? orvmath_sqrt_uint32(static_cast<u32>(percentile95(rpg->rms, rpg->rmsCnt))) : 0;
    rpg->radioGain = value;
    rpg->audioGain = value;
    if (rpg->albumGain != nullptr && rpg->albumCnt < rpg->albumSize)
        rpg->albumGain[rpg->albumCnt++] = static_cast<s32>(value);
    std::free(rpg->rms);
    rpg->rms = nullptr;
    rpg->rmsSize = 0;
    rpg->rmsCnt = 0;
}

s32 replaygain_newAlbum(replaygain_struct *rpg, u32 numSongs) {
    std::free(rpg->albumGain);
    rpg->albumCnt = 0;
    rpg->albumSize = 0;
    // One spare zeroed value, as for the songs.
    rpg->albumGain = static_cast<s32 *>(std::calloc(static_cast<size_t>(numSongs) + 1, sizeof(s32)));
    if (rpg->albumGain != nullptr) rpg->albumSize = numSongs;
    return 0;
}

void replaygain_albumEnd(replaygain_struct *rpg) {
    if (rpg->albumGain != nullptr)
        rpg->audioGain = static_cast<u32>(percentile95(rpg->albumGain, rpg->albumCnt));
    std::free(rpg->albumGain);
    rpg->albumGain = nullptr;
    rpg->albumSize = 0;
    rpg->albumCnt = 0;
}

void replaygain_destroy(replaygain_struct *rpg) {
    if (rpg == nullptr) return;
    std::free(rpg->rms);
    std::free(rpg->albumGain);
    std::free(rpg);
}
