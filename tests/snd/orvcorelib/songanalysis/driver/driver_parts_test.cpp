// The whole-file driver's pieces on their own: decoder failures as analysis errors, the
// options' anchors and beat edits, the block feed against scripted readers, and the comment.
#include "snd/orvcorelib/songanalysis/analysis/analysis_support.h"

#include "songanalysis/songanalysis_driver.h"
#include "songanalysis/songanalysis_handle.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace satest;

TEST(DriverParts, DecoderOpenFailuresBecomeAnalysisErrors) {
    struct Case {
        decoder_error in;
        bool firstOpen;
        songanalysis_error out;
    };
    const Case cases[] = {
        {DECODER_ERROR_NOTSUPPORTED_NUMCHANS, true, SONGANALYSIS_ERROR_NOTSUPPORTED_NUMCHANS},
        {DECODER_ERROR_NOTSUPPORTED_BITRATE, false, SONGANALYSIS_ERROR_NOTSUPPORTED_BITRATE},
        {DECODER_ERROR_NOTSUPPORTED_SAMPLERATE, true, SONGANALYSIS_ERROR_NOTSUPPORTED_SAMPLERATE},
        {DECODER_ERROR_NOTSUPPORTED_FILEFORMAT, false, SONGANALYSIS_ERROR_NOTSUPPORTED_FILEFORMAT},
        {DECODER_ERROR_NOTSUPPORTED_CODECS, true, SONGANALYSIS_ERROR_NOTSUPPORTED_CODECS},
        {DECODER_ERROR_CORRUPT, true, SONGANALYSIS_ERROR_FILECORRUPTED},
        {DECODER_ERROR_CORRUPT, false, SONGANALYSIS_ERROR_FILEERROR},
        {DECODER_ERROR_NOTSUPPORTED, true, SONGANALYSIS_ERROR_FILEFORMAT}, // -11, the range's top
        {static_cast<decoder_error>(-20), false, SONGANALYSIS_ERROR_FILEFORMAT},
        {DECODER_ERROR_NOTSEEKABLE, true, SONGANALYSIS_ERROR_FILEERROR}, // -21, just outside
        {static_cast<decoder_error>(-10), true, SONGANALYSIS_ERROR_FILEERROR},
        {DECODER_ERROR_OPENFILEFAILED, true, SONGANALYSIS_ERROR_FILEERROR},
        {DECODER_ERROR_READERROR, false, SONGANALYSIS_ERROR_FILEERROR},
        {DECODER_ERROR_OUTOFMEMORY, true, SONGANALYSIS_ERROR_FILEERROR},
        {DECODER_ERROR_ERROR, false, SONGANALYSIS_ERROR_FILEERROR},
    };
    for (const Case &c : cases)
        EXPECT_EQ(songanalysis_decoderOpenError(c.in, c.firstOpen), c.out)
            << c.in << " first " << c.firstOpen;
}

songanalysis_options_struct optionsWithAnchors(const std::vector<s32> &anchors) {
    songanalysis_options_struct o = songanalysis_defaultOptions();
    std::copy(anchors.begin(), anchors.end(), o.anchor);
    return o;
}

TEST(DriverParts, AnchorsBecomeSortedFramesUpToTheFirstNegativeEntry) {
    // At 11025 Hz and 256-sample frames one frame lasts 23.22 ms.
    struct Case {
        const char *name;
        std::vector<s32> anchors;
        std::vector<s32> frames;
    };
    const Case cases[] = {
        {"empty list", {}, {}},
        {"one at the start", {0}, {0}},
        {"rounded to the nearest frame", {500, 1000, 1010, 1011}, {22, 43, 43, 44}},
        {"sorted", {3000, 1000, 2000}, {43, 86, 129}},
        {"the list ends at the first negative entry", {1000, 2000, -1, 500}, {43, 86}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::array<s32, 16> frames{};
        const s32 n = songanalysis_anchorFrames(optionsWithAnchors(c.anchors), 11025, 256, frames);
        EXPECT_EQ(std::vector<s32>(frames.begin(), frames.begin() + n), c.frames);
    }
}

TEST(DriverParts, SixteenAnchorsAreAllTakenAndNothingBehindThem) {
    songanalysis_options_struct o = songanalysis_defaultOptions();
    for (s32 i = 0; i < 16; ++i) o.anchor[i] = 1000 * (16 - i);
    // The entry right behind the anchors: read as a 17th anchor it would sort first.
    o.beatsToAdd[0] = 100;
    std::array<s32, 16> frames{};
    ASSERT_EQ(songanalysis_anchorFrames(o, 11025, 256, frames), 16);
    EXPECT_EQ(frames[0], 43);
    EXPECT_EQ(frames[15], 689);
    EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));
}

// A record of loaded results whose beat grid holds the given positions in ms.
Record recordWithBeats(const std::vector<u32> &beatsMs) {
    auto sa = makeRecord();
    EXPECT_EQ(songanalysis_openForResults(sa.get(), SONGANALYSIS_FEATURE_BEATS, orv::kAnalysisSampleRate,
                                          300000, 2, 120.0f, SONGANALYSIS_GENRE_DEFAULT, nullptr),
              SONGANALYSIS_ERROR_NOERROR);
    songanalysis_setBeats(sa.get(), beatsMs.data(), static_cast<u32>(beatsMs.size()));
    sa->beatsPerMinute = 120.0f;
    return sa;
}

std::vector<u32> beatsMs(const songanalysis_struct *sa) {
    std::vector<u32> out(songanalysis_getNumberOfBeats(sa));
    songanalysis_getBeats(sa, out.data(), 0, static_cast<u32>(out.size()));
    return out;
}

TEST(DriverParts, BeatEditsTakeEachListUpToItsFirstEntryBelowOne) {
    struct Case {
        const char *name;
        std::vector<s32> add, remove;
        std::vector<u32> expected; // in whole grid steps of 500 ms, given as ms
    };
    const Case cases[] = {
        {"none", {}, {}, {500, 1000, 1500, 2000}},
        {"add one", {750}, {}, {500, 750, 1000, 1500, 2000}},
        {"remove one", {}, {1500}, {500, 1000, 2000}},
        {"add and remove", {2500}, {500}, {1000, 1500, 2000, 2500}},
        {"0 ends the added list", {750, 0, 1250}, {}, {500, 750, 1000, 1500, 2000}},
        {"a negative entry ends the removed list", {}, {1000, -1, 2000}, {500, 1500, 2000}},
        {"removing what is not there changes nothing", {}, {1234}, {500, 1000, 1500, 2000}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto sa = recordWithBeats({500, 1000, 1500, 2000});
        songanalysis_options_struct o = songanalysis_defaultOptions();
        std::copy(c.add.begin(), c.add.end(), o.beatsToAdd);
        std::copy(c.remove.begin(), c.remove.end(), o.beatsToRemove);
        songanalysis_applyBeatEdits(sa.get(), o);
        std::vector<u32> expectedFrames;
        for (u32 m : c.expected) expectedFrames.push_back(songanalysis_msToFrame(sa.get(), m));
        std::vector<u32> gotFrames;
        for (u32 m : beatsMs(sa.get())) gotFrames.push_back(songanalysis_msToFrame(sa.get(), m));
        EXPECT_EQ(gotFrames, expectedFrames);
    }
}

TEST(DriverParts, SixteenAddedBeatsAndNotTheEntryBehindThem) {
    auto sa = recordWithBeats({});
    songanalysis_options_struct o = songanalysis_defaultOptions();
    for (s32 i = 0; i < 16; ++i) o.beatsToAdd[i] = 1000 + 500 * i;
    // Read as a 17th beat to add, this would add a beat instead of removing nothing.
    o.beatsToRemove[0] = 20000;
    songanalysis_applyBeatEdits(sa.get(), o);
    EXPECT_EQ(songanalysis_getNumberOfBeats(sa.get()), 16u);
}

// ---------------------------------------------------------------------------------------
// The block feed

// One read of a scripted reader: `frames` frames of `value` written, `error` returned.
struct Read {
    s32 frames;
    s16 value;
    decoder_error error;
};

// What one block handed to the sink must hold: `frames` frames of `value`, then silence.
struct Block {
    s32 frames;
    s16 value;
};

struct FeedCase {
    const char *name;
    u32 channels;
    std::vector<Read> script;
    u32 quitAfterBlocks; // 0: never
    songanalysis_feedEnd end;
    decoder_error lastError;
    std::vector<Block> blocks;
};

constexpr u32 kBlock = 8;
// Returned once the script is used up: a feed that read on past its end is told by this.
constexpr decoder_error kPastTheScript = DECODER_ERROR_NOTIMPLEMENTED;

void runFeedCase(const FeedCase &c) {
    SCOPED_TRACE(c.name);
    size_t next = 0;
    const songanalysis_blockReader read = [&](s16 *out, s32 *frames) {
        EXPECT_EQ(*frames, static_cast<s32>(kBlock));
        if (next == c.script.size()) {
            *frames = 0;
            return kPastTheScript;
        }
        const Read &r = c.script[next++];
        const s32 written = std::clamp<s32>(r.frames, 0, kBlock);
        std::fill(out, out + static_cast<ptrdiff_t>(written) * c.channels, r.value);
        *frames = r.frames; // may claim more than asked, or a negative count
        return r.error;
    };
    std::vector<std::vector<s16>> seen;
    volatile int quit = 0;
    const songanalysis_blockSink sink = [&](const s16 *block) {
        seen.emplace_back(block, block + kBlock * c.channels);
        if (seen.size() == c.quitAfterBlocks) quit = 1;
    };
    const songanalysis_feedResult r = songanalysis_feedBlocks(read, sink, kBlock, c.channels, &quit);
    EXPECT_EQ(r.end, c.end);
    EXPECT_EQ(r.lastError, c.lastError);
    EXPECT_EQ(r.blocks, c.blocks.size());
    ASSERT_EQ(seen.size(), c.blocks.size());
    for (size_t b = 0; b < seen.size(); ++b) {
        std::vector<s16> expected(kBlock * c.channels, 0);
        std::fill_n(expected.begin(), c.blocks[b].frames * c.channels, c.blocks[b].value);
        EXPECT_EQ(seen[b], expected) << "block " << b;
    }
}

TEST(DriverFeed, ScriptedReaders) {
    constexpr auto kOk = DECODER_ERROR_NOERROR;
    constexpr auto kEnd = DECODER_ERROR_ENDOFFILE;
    using End = songanalysis_feedEnd;
    // clang-format off
    const FeedCase cases[] = {
        {"whole blocks then the end", 2, {{8, 1, kOk}, {8, 2, kOk}, {0, 3, kEnd}},
         0, End::endOfFile, kEnd, {{8, 1}, {8, 2}}},
        {"a short last block is silent past its frames", 2, {{8, 1, kOk}, {3, 2, kEnd}},
         0, End::endOfFile, kEnd, {{8, 1}, {3, 2}}},
        {"mono", 1, {{8, 1, kOk}, {5, 2, kEnd}},
         0, End::endOfFile, kEnd, {{8, 1}, {5, 2}}},
        {"a short block without an error goes on", 2, {{2, 1, kOk}, {8, 2, kOk}, {1, 3, kEnd}},
         0, End::endOfFile, kEnd, {{2, 1}, {8, 2}, {1, 3}}},
        {"a reader that delivers nothing and reports nothing", 2, {{8, 1, kOk}, {0, 2, kOk}, {8, 3, kOk}},
         0, End::stalled, kOk, {{8, 1}}},
        {"another error ends the feed after its frames", 2, {{8, 1, kOk}, {4, 2, DECODER_ERROR_CORRUPT}},
         0, End::error, DECODER_ERROR_CORRUPT, {{8, 1}, {4, 2}}},
        {"quit after a block", 2, {{8, 1, kOk}, {8, 2, kOk}, {8, 3, kOk}},
         2, End::quit, kOk, {{8, 1}, {8, 2}}},
        {"quit on the last block wins over the end", 2, {{8, 1, kOk}, {3, 2, kEnd}},
         2, End::quit, kEnd, {{8, 1}, {3, 2}}},
        {"a claim of more frames than asked is cut to the block", 2, {{1000, 1, kOk}, {0, 0, kEnd}},
         0, End::endOfFile, kEnd, {{8, 1}}},
        {"a negative count is nothing", 2, {{8, 1, kOk}, {-5, 2, kEnd}},
         0, End::endOfFile, kEnd, {{8, 1}}},
    };
    // clang-format on
    for (const FeedCase &c : cases) runFeedCase(c);
}

TEST(DriverFeed, BlocksLargerThanTheDecoderDeliversAreRefused) {
    u32 reads = 0;
    const songanalysis_blockReader read = [&](s16 *, s32 *frames) {
        ++reads;
        *frames = 0;
        return DECODER_ERROR_ENDOFFILE;
    };
    const songanalysis_feedResult r = songanalysis_feedBlocks(
        read, [](const s16 *) {}, kDecoderMaxFrameSize + 1, 2, nullptr);
    EXPECT_EQ(r.end, songanalysis_feedEnd::error);
    EXPECT_EQ(reads, 0u);
}

// ---------------------------------------------------------------------------------------
// The comment of a save

TEST(DriverParts, CommentLayout) {
    struct Case {
        const char *prefix, *os, *commandLine;
        const char *start, *end;
    };
    const Case cases[] = {
        {"", "MAC", " -q 1 song.mp3", "time = ", ", os = MAC, options = -q 1 song.mp3"},
        {"edited ", "Linux", nullptr, "edited time = ", ", os = Linux, options ="},
    };
    for (const Case &c : cases) {
        std::array<char, SONGANALYSIS_COMMENT_SIZE> comment;
        comment.fill('x');
        songanalysis_makeComment(comment, c.prefix, c.os, c.commandLine);
        const std::string text(comment.data());
        SCOPED_TRACE(text);
        EXPECT_EQ(text.rfind(c.start, 0), 0u);
        ASSERT_GE(text.size(), std::strlen(c.end));
        EXPECT_EQ(text.substr(text.size() - std::strlen(c.end)), c.end);
        // The time as asctime writes it, "Www Mmm dd hh:mm:ss yyyy\n".
        const std::string time = text.substr(std::strlen(c.start), 25);
        EXPECT_EQ(time.size(), 25u);
        EXPECT_EQ(time.back(), '\n');
        EXPECT_EQ(time[13], ':');
        EXPECT_TRUE(std::all_of(comment.begin() + static_cast<ptrdiff_t>(text.size()), comment.end(),
                                [](char ch) { return ch == '\0'; }));
    }
}

TEST(DriverParts, ALongCommandLineIsCutToTheCommentBuffer) {
    const std::string longLine(3000, 'a');
    std::array<char, SONGANALYSIS_COMMENT_SIZE> comment;
    songanalysis_makeComment(comment, "", "Linux", longLine.c_str());
    EXPECT_EQ(comment.back(), '\0');
    EXPECT_EQ(std::strlen(comment.data()), SONGANALYSIS_COMMENT_SIZE - 1);
}

TEST(DriverParts, SystemNameOfThisBuild) {
    EXPECT_STREQ(songanalysis_commentOs(), orv::kDeviceConfig ? "Linux" : "MAC");
}

} // namespace
