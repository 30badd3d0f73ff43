// The decoder front end: creation limits, choosing the reader by extension, starting every file
// afresh, force-stereo, request sizes, seek requests and their scaling, the position, seek-table
// loading, quality requests, the shared file operations and the 24000 Hz output.
#include "codecs/decoder/decoder.h"
#include "codecs/fileformat/fileops.h"
#include "codecs_support.h"
#include "orvsys/orvconfig.h"
#include "orvsys/ufopen.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

using namespace codectest;

namespace {

class FrontEnd : public ::testing::Test {
  protected:
    // A one-second sine file made by sox.
    std::string sine(const std::string &name, int rate, int channels, int bits = 16,
                     const char *seconds = "1") {
        const std::string path = dir.file(name);
        sox({"-n", "-r", std::to_string(rate), "-c", std::to_string(channels), "-b", std::to_string(bits),
             path, "synth", seconds, "sine", "440", "vol", "0.5"});
        return path;
    }
    decoder_error open(decoder_struct *d, const std::string &path, src_quality q = SRC_QUALITY_MID) {
        return decoder_open(d, path.c_str(), DECODER_MODE_DECODE, nullptr, 0, q);
    }
    orvtest::TempDir dir;
};

TEST_F(FrontEnd, NewAcceptsOnlyTheOutputRatesAndFrameSizesItServes) {
    const struct {
        s32 rate;
        u32 frames;
        bool made;
    } cases[] = {{44100, 2048, true},  {24000, 256, true}, {22050, 128, true}, {11025, 1, true},
                 {48000, 2048, false}, {0, 2048, false},   {44100, 0, false},  {44100, 2049, false}};
    for (const auto &c : cases) {
        Decoder d = makeDecoder(c.rate, true, c.frames);
        EXPECT_EQ(d != nullptr, c.made) << c.rate << " " << c.frames;
        if (d == nullptr) continue;
        EXPECT_EQ(d->isOpened, 0);
        EXPECT_EQ(d->decoderQuality, DECODER_QUALITY_FULL);
        EXPECT_EQ(d->srcQuality, SRC_QUALITY_LOW);
        EXPECT_EQ(d->fileFormatType, FILEFORMAT_TYPE_UNDEFINED);
        EXPECT_EQ(d->codecType, CODEC_TYPE_UNDEFINED);
        EXPECT_EQ(d->seekStatus, DECODER_SEEK_UNKNOWN);
        EXPECT_EQ(d->srconvHandle, nullptr);
        EXPECT_EQ(d->outputSampleRate, c.rate);
    }
    EXPECT_EQ(decoder_destroy(nullptr), nullptr);
}

TEST_F(FrontEnd, TheExtensionChoosesTheReader) {
    const std::string wav = sine("a.wav", 44100, 2);
    const std::vector<unsigned char> wavBytes = orvtest::readFileBytes(wav);
    const struct {
        const char *name;
        decoder_error expected;
        fileformat_type format;
    } cases[] = {
        {"song.wav", DECODER_ERROR_NOERROR, FILEFORMAT_TYPE_WAV},
        {"SONG.WAV", DECODER_ERROR_NOERROR, FILEFORMAT_TYPE_WAV},
        {"v1.2/song.Wav", DECODER_ERROR_NOERROR, FILEFORMAT_TYPE_WAV},
        {"song.raw", DECODER_ERROR_NOERROR, FILEFORMAT_TYPE_RAW},
        {"song.PCM", DECODER_ERROR_NOERROR, FILEFORMAT_TYPE_RAW},
        {"song.aif", DECODER_ERROR_NOTSUPPORTED_CODECS, FILEFORMAT_TYPE_AIF},
        {"song.AIFF", DECODER_ERROR_NOTSUPPORTED_CODECS, FILEFORMAT_TYPE_AIF},
        {"song.flac", DECODER_ERROR_NOTSUPPORTED_CODECS, FILEFORMAT_TYPE_FLAC},
        // WAV bytes hold no MPEG or ADTS frame, and no "ftyp" at bytes 4 to 7.
        {"song.mp3", DECODER_ERROR_CORRUPT, FILEFORMAT_TYPE_MP3},
        {"song.MP3", DECODER_ERROR_CORRUPT, FILEFORMAT_TYPE_MP3},
        {"song.Mp3", DECODER_ERROR_CORRUPT, FILEFORMAT_TYPE_MP3},
        {"song.aac", DECODER_ERROR_CORRUPT, FILEFORMAT_TYPE_AAC},
        {"song.m4a", DECODER_ERROR_NOTSUPPORTED, FILEFORMAT_TYPE_MP4},
        {"song.mp4", DECODER_ERROR_NOTSUPPORTED, FILEFORMAT_TYPE_MP4},
        {"song.ogg", DECODER_ERROR_NOTSUPPORTED, FILEFORMAT_TYPE_OGG},
        {"song.mp2", DECODER_ERROR_NOTSUPPORTED_FILEFORMAT, FILEFORMAT_TYPE_UNDEFINED},
        {"song", DECODER_ERROR_NOTSUPPORTED_FILEFORMAT, FILEFORMAT_TYPE_UNDEFINED},
        {"v1.2/song", DECODER_ERROR_NOTSUPPORTED_FILEFORMAT, FILEFORMAT_TYPE_UNDEFINED},
        {"song.wav.bak", DECODER_ERROR_NOTSUPPORTED_FILEFORMAT, FILEFORMAT_TYPE_UNDEFINED},
    };
    std::filesystem::create_directory(dir.path() / "v1.2");
    for (const auto &c : cases) {
        // Every name holds the same WAV bytes: the name alone picks the reader.
        orvtest::writeFileBytes(dir.file(c.name), wavBytes);
        Decoder d = makeDecoder(44100, true);
        EXPECT_EQ(open(d.get(), dir.file(c.name)), c.expected) << c.name;
        EXPECT_EQ(d->lastError, c.expected) << c.name;
        EXPECT_EQ(d->fileFormatType, c.format) << c.name;
        EXPECT_EQ(d->isOpened, c.expected == DECODER_ERROR_NOERROR ? 1 : 0) << c.name;
    }
}

TEST_F(FrontEnd, AnOpenDecoderRefusesASecondOpenWithoutRecordingIt) {
    Decoder d = makeDecoder(44100, true);
    ASSERT_EQ(open(d.get(), sine("a.wav", 44100, 2)), DECODER_ERROR_NOERROR);
    EXPECT_EQ(open(d.get(), dir.file("a.wav")), DECODER_ERROR_ALREADYOPENED);
    EXPECT_EQ(d->lastError, DECODER_ERROR_NOERROR);
    EXPECT_EQ(d->isOpened, 1);
}

TEST_F(FrontEnd, EveryOpenStartsAfresh) {
    Decoder d = makeDecoder(44100, true);
    ASSERT_EQ(open(d.get(), sine("hi.wav", 96000, 2)), DECODER_ERROR_NOERROR);
    EXPECT_NE(d->srconvHandle, nullptr);
    decoder_setSampleOffset(d.get(), 1000);
    d->decoderQuality = DECODER_QUALITY_MONO; // as a quality request would leave it
    decoder_close(d.get());
    EXPECT_EQ(d->srconvHandle, nullptr);

    // A failed open after a used object: its error, closed, and nothing of the old file.
    orvtest::writeFileBytes(dir.file("x.mp3"), {1, 2, 3});
    EXPECT_EQ(open(d.get(), dir.file("x.mp3")), DECODER_ERROR_CORRUPT);
    EXPECT_EQ(d->isOpened, 0);
    EXPECT_EQ(d->sampleRate, 0);
    EXPECT_EQ(d->durationInSamplesExact, 0u);
    EXPECT_EQ(d->decoderQuality, DECODER_QUALITY_FULL);
    EXPECT_EQ(d->seekStatus, DECODER_SEEK_UNKNOWN);
    EXPECT_EQ(d->fileformatHandle, nullptr);

    // The next song plays from its start at full quality.
    ASSERT_EQ(open(d.get(), sine("lo.wav", 44100, 2)), DECODER_ERROR_NOERROR);
    EXPECT_EQ(d->srconvHandle, nullptr);
    EXPECT_EQ(d->seekPosition, -1);
    EXPECT_EQ(d->srcQuality, SRC_QUALITY_MID);
    const Decoded first = readFrames(d.get(), 10, 10);
    const std::vector<audio16> expected = wavSamples(dir.file("lo.wav"));
    EXPECT_EQ(first.samples, std::vector<audio16>(expected.begin(), expected.begin() + 20));
}

TEST_F(FrontEnd, MonoIsSpreadToBothChannels) {
    Decoder d = makeDecoder(44100, true, 1000);
    ASSERT_EQ(open(d.get(), sine("m.wav", 22050, 1)), DECODER_ERROR_NOERROR);
    const Decoded all = readFrames(d.get(), 40000, 1000);
    EXPECT_EQ(all.shortReads, 0);
    ASSERT_EQ(all.samples.size(), 80000u);
    int loud = 0;
    for (size_t i = 0; i < all.samples.size(); i += 2) {
        ASSERT_EQ(all.samples[i], all.samples[i + 1]) << i;
        loud += all.samples[i] > 8000;
    }
    EXPECT_GT(loud, 1000);
}

TEST_F(FrontEnd, NativeChannelsStayAsTheyAre) {
    Decoder d = makeDecoder(44100, false, 512);
    ASSERT_EQ(open(d.get(), sine("m.wav", 44100, 1)), DECODER_ERROR_NOERROR);
    const Decoded all = readFrames(d.get(), -1, 512);
    EXPECT_EQ(all.samples, wavSamples(dir.file("m.wav")));
}

TEST_F(FrontEnd, RequestsAreCutToTheLargestFrameCount) {
    Decoder d = makeDecoder(44100, true, 256);
    ASSERT_EQ(open(d.get(), sine("a.wav", 44100, 2)), DECODER_ERROR_NOERROR);
    std::vector<audio16> out(2 * 5000, 0x7777);
    s32 n = 5000;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_NOERROR);
    EXPECT_EQ(n, 256);
    EXPECT_EQ(out[2 * 256], 0x7777);
    n = -3;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_NOERROR);
    EXPECT_EQ(n, 0);
}

TEST_F(FrontEnd, ConversionCreatesAConverterOnlyWhenTheRatesDiffer) {
    const struct {
        int fileRate;
        s32 outputRate;
        decoder_error expected;
        bool converter;
    } cases[] = {
        {96000, 44100, DECODER_ERROR_NOERROR, true},
        {44100, 44100, DECODER_ERROR_NOERROR, false},
        {48000, 22050, DECODER_ERROR_NOERROR, true},
        {44100, 11025, DECODER_ERROR_NOERROR, true},
        {24000, 24000, DECODER_ERROR_NOERROR, false},
        {44100, 24000, DECODER_ERROR_NOTSUPPORTED_SAMPLERATE, false},
        {12000, 44100, DECODER_ERROR_NOTSUPPORTED_SAMPLERATE, false},
    };
    for (const auto &c : cases) {
        Decoder d = makeDecoder(c.outputRate, true);
        const std::string path = sine("r" + std::to_string(c.fileRate) + ".wav", c.fileRate, 2, 16, "0.1");
        EXPECT_EQ(open(d.get(), path), c.expected) << c.fileRate << " to " << c.outputRate;
        EXPECT_EQ(d->srconvHandle != nullptr, c.converter) << c.fileRate << " to " << c.outputRate;
        EXPECT_EQ(d->lastError, DECODER_ERROR_NOERROR) << "the rate check is not recorded";
        if (c.expected != DECODER_ERROR_NOERROR) {
            EXPECT_EQ(d->isOpened, 0);
            EXPECT_EQ(d->fileformatHandle, nullptr) << "the reader is released";
        }
    }
}

TEST_F(FrontEnd, ConvertedSineKeepsItsLevelAndLength) {
    for (const auto &[rate, out] :
         std::vector<std::pair<int, s32>>{{48000, 44100}, {22050, 44100}, {44100, 11025}}) {
        Decoder d = makeDecoder(out, true, 2048);
        ASSERT_EQ(open(d.get(), sine("c" + std::to_string(rate) + ".wav", rate, 1)), DECODER_ERROR_NOERROR);
        const Decoded all = readFrames(d.get(), -1, 2048);
        EXPECT_EQ(all.last, DECODER_ERROR_ENDOFFILE);
        EXPECT_NEAR(all.samples.size() / 2.0, out, 40.0) << rate;
        int peak = 0;
        for (size_t i = 1000; i + 1000 < all.samples.size(); ++i) peak = std::max<int>(peak, all.samples[i]);
        EXPECT_NEAR(peak, 16384, 300) << rate;
    }
}

TEST_F(FrontEnd, SeekRequestsScaleToTheFileRate) {
    Decoder d = makeDecoder(44100, true);
    EXPECT_EQ(decoder_setSampleOffset(d.get(), 10), DECODER_ERROR_NOTOPENED);
    EXPECT_EQ(d->lastError, DECODER_ERROR_NOTOPENED);
    ASSERT_EQ(open(d.get(), sine("h.wav", 22050, 1, 16, "3")), DECODER_ERROR_NOERROR);
    EXPECT_EQ(decoder_setSampleOffset(d.get(), 44100), DECODER_ERROR_NOERROR);
    EXPECT_EQ(d->seekPosition, 22050);
    EXPECT_EQ(decoder_setSampleOffset(d.get(), -1), DECODER_ERROR_NOERROR);
    EXPECT_EQ(d->seekPosition, 22050);
    EXPECT_EQ(decoder_setSampleOffset(d.get(), s64{1} << 50), DECODER_ERROR_OUTOFRANGE);
    EXPECT_EQ(d->seekPosition, 22050);
    d->seekStatus = DECODER_SEEK_NOTSEEKABLE;
    EXPECT_EQ(decoder_setSampleOffset(d.get(), 5), DECODER_ERROR_NOTSEEKABLE);
    EXPECT_EQ(d->lastError, DECODER_ERROR_NOTSEEKABLE);
}

// Seeks with rate conversion land on the converter's time line: what follows a seek to output
// frame N is what a decode from the start delivers from frame N on, bit for bit, every request
// delivered whole.
TEST_F(FrontEnd, SeeksWithConversionMatchADecodeFromTheStart) {
    const struct {
        int fileRate;
        int channels;
        s32 outputRate;
        src_quality quality;
    } cases[] = {
        {48000, 2, 44100, SRC_QUALITY_MID}, {48000, 1, 44100, SRC_QUALITY_HIGH},
        {22050, 2, 44100, SRC_QUALITY_LOW}, {8000, 1, 44100, SRC_QUALITY_HIGH},
        {96000, 2, 11025, SRC_QUALITY_MID}, {44100, 1, 22050, SRC_QUALITY_HIGH},
        {24000, 2, 44100, SRC_QUALITY_LOW},
    };
    for (const auto &c : cases) {
        const std::string what = std::to_string(c.fileRate) + "/" + std::to_string(c.channels) + " to " +
                                 std::to_string(c.outputRate) + " q" + std::to_string(c.quality);
        const std::string path = dir.file("s.wav");
        sox({"-n", "-r", std::to_string(c.fileRate), "-c", std::to_string(c.channels), "-b", "16", path,
             "synth", "1", "sine", "300-3000", "vol", "0.6"});
        Decoder d = makeDecoder(c.outputRate, true, 1024);
        ASSERT_EQ(open(d.get(), path, c.quality), DECODER_ERROR_NOERROR) << what;
        const std::vector<audio16> linear = readFrames(d.get(), -1, 1000).samples;
        for (long long target : {0LL, 1LL, 7LL, 33LL, 1000LL, c.outputRate / 2LL + 3, c.outputRate - 900LL}) {
            ASSERT_EQ(decoder_setSampleOffset(d.get(), target), DECODER_ERROR_NOERROR) << what;
            const Decoded slice = readFrames(d.get(), 800, 333);
            ASSERT_EQ(slice.shortReads, 0) << what << " at " << target;
            ASSERT_EQ(slice.samples.size(), 1600u) << what << " at " << target;
            const std::vector<audio16> expected(linear.begin() + 2 * target,
                                                linear.begin() + 2 * target + 1600);
            EXPECT_EQ(slice.samples, expected) << what << " at " << target;
        }
    }
}

TEST_F(FrontEnd, ThePositionIsAskedOnlyWhereAReaderKeepsOne) {
    Decoder d = makeDecoder(44100, true);
    EXPECT_EQ(decoder_getSampleOffset(d.get()), -1);
    ASSERT_EQ(open(d.get(), sine("p.wav", 44100, 2)), DECODER_ERROR_NOERROR);
    readFrames(d.get(), 300, 100);
    EXPECT_EQ(decoder_getSampleOffset(d.get()), 300);
    decoder_close(d.get());

    sox({dir.file("p.wav"), dir.file("p.aiff")});
    ASSERT_EQ(open(d.get(), dir.file("p.aiff")), DECODER_ERROR_NOERROR);
    readFrames(d.get(), 300, 100);
    EXPECT_EQ(decoder_getSampleOffset(d.get()), 0);
    EXPECT_EQ(d->lastError, DECODER_ERROR_NOTSUPPORTED);
    EXPECT_EQ(decoder_getSampleOffset(d.get()), 0);
}

TEST_F(FrontEnd, SeekTablesAreNotNeededByNativelySeekableFiles) {
    Decoder d = makeDecoder(44100, true);
    EXPECT_EQ(decoder_loadSeektableFile(d.get(), "x.sek"), DECODER_ERROR_NOTOPENED);
    ASSERT_EQ(open(d.get(), sine("n.wav", 44100, 2)), DECODER_ERROR_NOERROR);
    EXPECT_EQ(decoder_loadSeektableFile(d.get(), "x.sek"), DECODER_ERROR_SEEKTABLE_NOT_NEEDED);
    EXPECT_EQ(d->lastError, DECODER_ERROR_SEEKTABLE_NOT_NEEDED);
    decoder_close(d.get());
    orvtest::writeFileBytes(dir.file("n.raw"), std::vector<unsigned char>(400, 0));
    ASSERT_EQ(open(d.get(), dir.file("n.raw")), DECODER_ERROR_NOERROR);
    EXPECT_EQ(decoder_loadSeektableFile(d.get(), "x.sek"), DECODER_ERROR_NOERROR);
}

TEST_F(FrontEnd, OnlyStreamReadersTakeQualityRequests) {
    Decoder d = makeDecoder(44100, true);
    ASSERT_EQ(open(d.get(), sine("q.wav", 44100, 2)), DECODER_ERROR_NOERROR);
    // The unit refuses every change; the desktop build passes requests to stream readers only.
    EXPECT_EQ(decoder_setQuality(d.get(), DECODER_QUALITY_HALF), DECODER_ERROR_NOTSUPPORTED);
    EXPECT_EQ(d->lastError, DECODER_ERROR_NOTSUPPORTED);
    EXPECT_EQ(decoder_setQuality(d.get(), DECODER_QUALITY_HALF), DECODER_ERROR_ERROR);
    EXPECT_EQ(d->decoderQuality, DECODER_QUALITY_FULL);
}

TEST_F(FrontEnd, RawFilesHaveAFixedFormatAndIgnoreSeeks) {
    Bytes b;
    for (int i = 0; i < 5; ++i) b.le16(static_cast<u16>(i * 1000));
    orvtest::writeFileBytes(dir.file("t.raw"), b.data);
    Decoder d = makeDecoder(44100, true);
    ASSERT_EQ(open(d.get(), dir.file("t.raw")), DECODER_ERROR_NOERROR);
    EXPECT_EQ(d->sampleRate, 44100);
    EXPECT_EQ(d->numChannels, 2);
    EXPECT_EQ(d->durationInSamples, 0u);
    EXPECT_EQ(decoder_setSampleOffset(d.get(), 1), DECODER_ERROR_NOERROR);
    std::vector<audio16> out(8);
    s32 n = 4;
    EXPECT_EQ(decoder_getSample(d.get(), out.data(), &n), DECODER_ERROR_ENDOFFILE);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(std::vector<audio16>(out.begin(), out.begin() + 4),
              (std::vector<audio16>{0, 1000, 2000, 3000}));
}

int openDescriptors() {
    int n = 0;
    DIR *fds = opendir("/proc/self/fd");
    while (readdir(fds) != nullptr) ++n;
    closedir(fds);
    return n;
}

TEST_F(FrontEnd, ClosingReleasesTheFileOfEveryFormat) {
    const std::string wav = sine("f.wav", 44100, 2);
    sox({wav, dir.file("f.aiff")});
    flacEncode(wav, dir.file("f.flac"));
    orvtest::writeFileBytes(dir.file("f.raw"), std::vector<unsigned char>(4000, 1));
    const int before = openDescriptors();
    for (const char *name : {"f.wav", "f.aiff", "f.flac", "f.raw"}) {
        Decoder d = makeDecoder(44100, true);
        ASSERT_EQ(open(d.get(), dir.file(name)), DECODER_ERROR_NOERROR) << name;
        readFrames(d.get(), 100, 100);
        decoder_close(d.get());
        EXPECT_EQ(openDescriptors(), before) << name;
    }
}

// Counts reads through the shared file operations.
int gReads = 0;
size_t countingRead(void *buffer, size_t size, size_t count, FILE *f) {
    ++gReads;
    return std::fread(buffer, size, count, f);
}

TEST_F(FrontEnd, TheSharedFileOperationsCanBeReplacedAndStayReplaced) {
    const file_callback standard = fileCallback;
    file_callback counting = standard;
    counting.read = countingRead;
    decoder_setFileCallback(&counting);
    // Creating a decoder leaves the table as it is.
    Decoder d = makeDecoder(44100, true);
    EXPECT_EQ(fileCallback.read, countingRead);
    ASSERT_EQ(open(d.get(), sine("c.wav", 44100, 2)), DECODER_ERROR_NOERROR);
    readFrames(d.get(), 100, 100);
    EXPECT_GT(gReads, 0);
    // An incomplete table is not taken.
    file_callback partial = standard;
    partial.seek = nullptr;
    decoder_setFileCallback(&partial);
    decoder_setFileCallback(nullptr);
    EXPECT_EQ(fileCallback.read, countingRead);
    decoder_setFileCallback(&standard);
    EXPECT_EQ(fileCallback.read, standard.read);
}

} // namespace
