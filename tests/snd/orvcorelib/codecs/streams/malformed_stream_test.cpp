// Damaged MP3, ADTS, ADIF and M4A files: truncated, with junk inserted, with corrupted or
// zeroed frames, and (M4A) with every atom's size set to 0, to less than its header or past the
// file. Every open ends with an error code or an open file; every open file reads, through any
// errors, to its end within a bounded number of calls, seeks included, and so does a scan in
// build-seek-table mode. The sanitizers watch every case.
#include "snd/orvcorelib/codecs/codecs_support.h"
#include "streams_support.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <functional>

using namespace streamtest;

namespace {

// Far more calls than any of these files needs, even with an error at every byte.
constexpr int kCallLimit = 200000;

struct Variant {
    std::string name;
    std::function<Bytes(const Bytes &)> make;
};

Bytes truncatedTo(const Bytes &b, size_t n) {
    return Bytes(b.begin(), b.begin() + static_cast<long>(std::min(n, b.size())));
}

std::vector<Variant> variants() {
    return {
        {"cut to a tenth", [](const Bytes &b) { return truncatedTo(b, b.size() / 10); }},
        {"cut in half", [](const Bytes &b) { return truncatedTo(b, b.size() / 2); }},
        {"last byte missing", [](const Bytes &b) { return truncatedTo(b, b.size() - 1); }},
        {"junk inserted",
         [](const Bytes &b) {
             Bytes out = b;
             Bytes junk(3000);
             u32 state = 99;
             for (unsigned char &c : junk) c = static_cast<unsigned char>((state = state * 69069u + 1) >> 24);
             out.insert(out.begin() + static_cast<long>(b.size() / 2), junk.begin(), junk.end());
             return out;
         }},
        {"frames corrupted",
         [](const Bytes &b) {
             Bytes out = b;
             for (size_t i = b.size() / 3; i < 2 * b.size() / 3; i += 61) out[i] ^= 0x5A;
             return out;
         }},
        {"frames zeroed",
         [](const Bytes &b) {
             Bytes out = b;
             std::fill(out.begin() + static_cast<long>(b.size() / 2),
                       out.begin() + static_cast<long>(std::min(b.size(), b.size() / 2 + 4000)), 0);
             return out;
         }},
        {"sync words everywhere",
         [](const Bytes &b) {
             Bytes out = b;
             for (size_t i = b.size() / 4; i + 1 < b.size() / 2; i += 2) {
                 out[i] = 0xFF;
                 out[i + 1] = 0xF1;
             }
             return out;
         }},
    };
}

// The atom sizes of an M4A file one by one set to 0, to 9 (within a header of 8 for most,
// but less than a full atom's fields), to 7 (less than a header) and past the file.
std::vector<Variant> atomVariants() {
    std::vector<Variant> out;
    for (const char *type : {"ftyp", "moov", "mvhd", "trak", "mdia", "mdhd", "hdlr", "minf", "smhd", "stbl",
                             "stsd", "mp4a", "esds", "stts", "stsc", "stsz", "stco", "mdat"}) {
        for (u32 size : {0u, 9u, 7u, 0xFFFFFFF0u}) {
            out.push_back(
                {std::string(type) + " of size " + std::to_string(size), [type, size](const Bytes &b) {
                     Bytes f = b;
                     const size_t at = findAtom(f, type);
                     if (at != std::string::npos) putBe32(f, at, size);
                     return f;
                 }});
        }
    }
    return out;
}

// Reads to the end through any errors; false when the call limit runs out first.
bool readsToTheEnd(decoder_struct *d, s32 block, int *calls) {
    std::vector<audio16> out(static_cast<size_t>(block) * 2);
    while (*calls < kCallLimit) {
        ++*calls;
        s32 n = block;
        const decoder_error e = decoder_getSample(d, out.data(), &n);
        if (n < 0 || n > block) return false;
        if (e == DECODER_ERROR_ENDOFFILE) return true;
    }
    return false;
}

void exercise(const std::string &path, s32 outputRate, bool forceStereo, u32 mode) {
    codectest::Decoder d = codectest::makeDecoder(outputRate, forceStereo);
    const std::string table = path + ".sek";
    const decoder_error opened = decoder_open(d.get(), path.c_str(), mode, table.c_str(),
                                              mode == DECODER_MODE_BUILDSEEK ? 1 : 0, SRC_QUALITY_LOW);
    if (opened != DECODER_ERROR_NOERROR) {
        EXPECT_LT(opened, 0);
        EXPECT_EQ(d->isOpened, 0);
        return;
    }
    int calls = 0;
    ASSERT_TRUE(readsToTheEnd(d.get(), 1000, &calls)) << "no end after " << calls << " calls";
    if (mode == DECODER_MODE_BUILDSEEK) return;
    const s64 length = static_cast<s64>(d->durationInSamples) * outputRate / std::max(d->sampleRate, 1);
    for (s64 target : {length / 2, s64{0}, length - 1, length + 5000}) {
        decoder_setSampleOffset(d.get(), target);
        ASSERT_TRUE(readsToTheEnd(d.get(), 777, &calls)) << "no end after a seek to " << target;
    }
}

class MalformedStream : public ::testing::TestWithParam<const char *> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(haveTools({"sox", "lame", "ffmpeg"})) << "scripts/setup installs them";
    }
    void run(const std::vector<Variant> &list) {
        const std::string name = GetParam();
        const Bytes source = orvtest::readFileBytes(fixturePath(name));
        ASSERT_FALSE(source.empty());
        for (const Variant &v : list) {
            SCOPED_TRACE(name + ": " + v.name);
            const std::string path = dir.file("damaged" + name.substr(name.rfind('.')));
            orvtest::writeFileBytes(path, v.make(source));
            exercise(path, 44100, true, DECODER_MODE_DECODE);
            exercise(path, 11025, false, DECODER_MODE_DECODE);
            exercise(path, 22050, false, DECODER_MODE_BUILDSEEK);
        }
    }
    orvtest::TempDir dir;
};

TEST_P(MalformedStream, EndsWithAnErrorOrTheEndOfTheFile) {
    run(variants());
}

INSTANTIATE_TEST_SUITE_P(Files, MalformedStream,
                         ::testing::Values("stereo44.mp3", "tagged.mp3", "mono22vbr.mp3", "stereo44.aac",
                                           "tagged.aac", "adif44.aac", "stereo44.m4a", "mono22.m4a"),
                         [](const ::testing::TestParamInfo<const char *> &param) {
                             std::string s = param.param;
                             for (char &c : s)
                                 if (c == '.') c = '_';
                             return s;
                         });

class MalformedAtoms : public MalformedStream {};

TEST_P(MalformedAtoms, EndWithAnErrorOrTheEndOfTheFile) {
    run(atomVariants());
}

INSTANTIATE_TEST_SUITE_P(Files, MalformedAtoms, ::testing::Values("stereo44.m4a"),
                         [](const ::testing::TestParamInfo<const char *> &) {
                             return std::string("stereo44_m4a");
                         });

} // namespace
