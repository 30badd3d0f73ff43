// The analysis record's stored layout, its enumerations, the genre presets and the default
// options.
#include "songanalysis/songanalysis.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

TEST(AnalysisRecord, SizeAndFieldOffsetsOfTheStoredLayout) {
    struct Field {
        const char *name;
        size_t offset, size;
    };
#define FIELD(f)                                                                                             \
    Field {                                                                                                  \
#f, offsetof(songanalysis_struct, f), sizeof(songanalysis_struct::f)                                 \
    }
    const Field fields[] = {
        FIELD(lastError),      FIELD(quality),         FIELD(mode),           FIELD(genre),
        FIELD(isOpened),       FIELD(isFinalized),     FIELD(globalFeatures), FIELD(songFeatures),
        FIELD(numChannels),    FIELD(inputSampleRate), FIELD(maxLengthInMs),  FIELD(sampleRate),
        FIELD(frameSize),      FIELD(fftSize),         FIELD(beatsPerMinute), FIELD(beatsScore),
        FIELD(downbeatsScore), FIELD(audioStart),      FIELD(audioEnd),       FIELD(musicStart),
        FIELD(gainStruct),     FIELD(bitRate),         FIELD(durationInMs),   FIELD(isNativelySeekable),
        FIELD(dirty),          FIELD(padding),         FIELD(private_),
    };
#undef FIELD
    // Each field starts where the previous one ended: no hidden padding anywhere.
    size_t expected = 0;
    for (const auto &f : fields) {
        EXPECT_EQ(f.offset, expected) << f.name;
        expected = f.offset + f.size;
    }
    EXPECT_EQ(expected, 112u);
    EXPECT_EQ(sizeof(songanalysis_struct), 112u);
    EXPECT_EQ(sizeof(songanalysis_struct::private_), 4u);
    EXPECT_EQ(offsetof(songanalysis_struct, gainStruct) + offsetof(songanalysis_gain_struct, audiophileGain),
              92u);
    EXPECT_EQ(sizeof(songanalysis_wfv_struct), 8u);
    EXPECT_EQ(sizeof(songanalysis_wfv_extra_struct), 8u);
    EXPECT_EQ(offsetof(songanalysis_wfv_extra_struct, res), 2u);
}

TEST(AnalysisRecord, EnumerationValues) {
    const std::pair<long, long> values[] = {
        {SONGANALYSIS_ERROR_NOERROR, 0},
        {SONGANALYSIS_ERROR_NOTOPENED, -1},
        {SONGANALYSIS_ERROR_ALREADYOPENED, -2},
        {SONGANALYSIS_ERROR_OUTOFMEMORY, -3},
        {SONGANALYSIS_ERROR_NOTSUPPORTED, -4},
        {SONGANALYSIS_ERROR_MODE, -5},
        {SONGANALYSIS_ERROR_FILEERROR, -10},
        {SONGANALYSIS_ERROR_INCOMPATIBLEVERSION, -11},
        {SONGANALYSIS_ERROR_FILEFORMAT, -12},
        {SONGANALYSIS_ERROR_FILECORRUPTED, -13},
        {SONGANALYSIS_ERROR_NOTSUPPORTED_CODECS, -14},
        {SONGANALYSIS_ERROR_NOTSUPPORTED_FILEFORMAT, -15},
        {SONGANALYSIS_ERROR_NOTSUPPORTED_SAMPLERATE, -16},
        {SONGANALYSIS_ERROR_NOTSUPPORTED_BITRATE, -17},
        {SONGANALYSIS_ERROR_NOTSUPPORTED_NUMCHANS, -18},
        {SONGANALYSIS_ERROR_OUTOFRANGE, -20},
        {SONGANALYSIS_ERROR_ERROR, -99},
        {SONGANALYSIS_MODE_ONLINE, 0},
        {SONGANALYSIS_MODE_OFFLINE, 1},
        {SONGANALYSIS_QUALITY_LOW, 0},
        {SONGANALYSIS_QUALITY_MID, 1},
        {SONGANALYSIS_QUALITY_HIGH, 2},
        {SONGANALYSIS_QUALITY_CUSTOM, 3},
        {SONGANALYSIS_GENRE_DEFAULT, 0},
        {SONGANALYSIS_GENRE_POP, 0},
        {SONGANALYSIS_GENRE_DANCE, 1},
        {SONGANALYSIS_GENRE_ROCK, 2},
        {SONGANALYSIS_GENRE_HIPHOP, 3},
        {SONGANALYSIS_GENRE_CUSTOM, 4},
        {SONGANALYSIS_USERINPUTMODE_IGNORE, 0},
        {SONGANALYSIS_USERINPUTMODE_GUIDE, 1},
        {SONGANALYSIS_USERINPUTMODE_OVERWRITE, 2},
    };
    for (size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(values[i].first, values[i].second) << "entry " << i;
    EXPECT_EQ(sizeof(songanalysis_error), 4u);
    EXPECT_EQ(sizeof(songanalysis_genre), 4u);
}

TEST(AnalysisRecord, GenrePresets) {
    struct Row {
        u32 lower, upper;
    };
    const Row rows[] = {{60, 240}, {100, 200}, {80, 160}, {60, 140}};
    for (int g = 0; g < 4; ++g) {
        EXPECT_EQ(GENRE_DATA[g].lowerBPM, rows[g].lower) << "genre " << g;
        EXPECT_EQ(GENRE_DATA[g].upperBPM, rows[g].upper) << "genre " << g;
        const s32 pattern[4] = {10, 5, 7, 5};
        for (int k = 0; k < 4; ++k) EXPECT_EQ(GENRE_DATA[g].beatPattern[k], pattern[k]) << "genre " << g;
    }
}

TEST(AnalysisRecord, DefaultOptions) {
    const songanalysis_options_struct o = songanalysis_defaultOptions();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(o.anchor[i], -1);
        EXPECT_EQ(o.beatsToAdd[i], -1);
        EXPECT_EQ(o.beatsToRemove[i], -1);
    }
    EXPECT_EQ(o.mode, 0u);
    EXPECT_EQ(o.product, 0);
    EXPECT_EQ(o.bpm, 0.0f);
    EXPECT_EQ(o.bpmMode, -1);
    EXPECT_EQ(o.gridMode, 0);
    EXPECT_EQ(o.fastMode, 0);
    EXPECT_EQ(o.wfvResolutionMs, 5u);
    EXPECT_EQ(o.wfvScale, 127u);
    EXPECT_EQ(o.wfpScale, 127u);
    EXPECT_EQ(o.wfpSize, 420u);
    EXPECT_EQ(o.commandLine, nullptr);
    EXPECT_EQ(o.printInfo, 0);
}

} // namespace
