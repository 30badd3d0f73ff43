// Golden output: the decoder's exact output on fixed input, recorded as 64-bit FNV-1a hashes,
// so that reworking any stage for speed cannot change a single output bit unnoticed. Two
// sources of input: whole streams made with sox and lame (repeatable noise, every version,
// rate, channel mode, block type and down-sample factor), decoded through the public calls;
// and random granules driven straight through dequantisation, stereo tools, inverse transform
// and synthesis, with loud inputs that leave few guard bits (the scaled paths that streams
// seldom reach). The hashes cover return codes, every sample of the output buffer and the
// intermediate work areas; they differ between the builds only where the builds differ.
//
// A failure naming the fixture's input hash means sox or lame made different bytes (another
// version of those tools), not that the decoder changed.
#include "codecs/mp3dec/mp3common.h"
#include "mp3fixtures.h"
#include "orvsys/orvconfig.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>

namespace {

struct Fnv64 {
    u64 h = 0xCBF29CE484222325ull;
    void byte(u8 b) {
        h ^= b;
        h *= 0x100000001B3ull;
    }
    // Little-endian bytes, whatever the host.
    void add(u32 v) {
        for (int i = 0; i < 4; ++i) byte(static_cast<u8>(v >> (8 * i)));
    }
    void add(s32 v) { add(static_cast<u32>(v)); }
    void add(short v) {
        byte(static_cast<u8>(static_cast<u16>(v)));
        byte(static_cast<u8>(static_cast<u16>(v) >> 8));
    }
    template <typename T>
    void addAll(const T *p, size_t n) {
        for (size_t i = 0; i < n; ++i) add(p[i]);
    }
};

u64 hashBytes(const std::vector<unsigned char> &bytes) {
    Fnv64 f;
    for (unsigned char b : bytes) f.byte(b);
    return f.h;
}

constexpr short kUnwritten = 0x5A5A;
constexpr size_t kPcmSamples = 2 * 1152;

// Decodes a whole stream at the factor (mono streams too: their granules then overlap in the
// buffer) and hashes each frame's return code and the whole output buffer after it.
u64 decodeHash(std::vector<unsigned char> bytes, int factor) {
    Fnv64 f;
    HMP3Decoder dec = MP3InitDecoder();
    std::vector<short> pcm(kPcmSamples, kUnwritten);
    unsigned char *ptr = bytes.data();
    int left = static_cast<int>(bytes.size());
    while (left > 0) {
        const int sync = MP3FindSyncWord(ptr, left);
        if (sync < 0) break;
        ptr += sync;
        left -= sync;
        MP3FrameInfo info;
        if (left < 6 || MP3GetNextFrameInfo(dec, &info, ptr) != ERR_MP3_NONE) {
            ++ptr;
            --left;
            continue;
        }
        const int err = MP3Decode(dec, &ptr, &left, pcm.data(), 0, 0, factor);
        f.add(static_cast<s32>(err));
        if (err == ERR_MP3_INDATA_UNDERFLOW) break;
        if (err <= ERR_MP3_INVALID_FRAMEHEADER && err >= ERR_MP3_INVALID_HUFFCODES) {
            ++ptr;
            --left;
            continue;
        }
        f.addAll(pcm.data(), pcm.size());
    }
    MP3FreeDecoder(dec);
    return f.h;
}

const std::vector<std::string> kNoise = {"1", "pinknoise", "vol", "-6dB"};
const std::vector<std::string> kTransients = {"0.1",  "pinknoise", "fade", "q",   "0.002", "0.1",
                                              "0.08", "repeat",    "9",    "vol", "-3dB"};

struct StreamCase {
    mp3test::Fixture fixture;
    u64 input;      // hash of the MP3 bytes sox and lame make
    u64 device[3];  // output hashes at factors 1, 2 and 4 in the unit's build
    u64 desktop[3]; // and in the desktop build
};

const std::vector<StreamCase> &streamCases() {
    static const std::vector<StreamCase> cases = {
        {{"joint_44k_128", 44100, 2, kNoise, {"-b", "128"}},
         0xA6725CE40F443A40ull,
         {0x8A461909031DC1D1ull, 0xCD0EDC1DA7EE3FA5ull, 0xCD0EDC1DA7EE3FA5ull},
         {0x8A461909031DC1D1ull, 0xD30DC63A9AD4BB87ull, 0x4D6486396EFF22B7ull}},
        {{"joint_44k_320", 44100, 2, kNoise, {"-b", "320"}},
         0x27BA377D5622AD0Full,
         {0x9D5EF064DEDD7BC0ull, 0xCD0EDC1DA7EE3FA5ull, 0xCD0EDC1DA7EE3FA5ull},
         {0x9D5EF064DEDD7BC0ull, 0x881CC4B10F8249DFull, 0x8F352A3AA1E9C611ull}},
        {{"vbr_44k", 44100, 2, kNoise, {"-V", "2"}},
         0x8BD79F2247AB287Dull,
         {0x963197BE94FC1CF4ull, 0xCD0EDC1DA7EE3FA5ull, 0xCD0EDC1DA7EE3FA5ull},
         {0x963197BE94FC1CF4ull, 0x3B9C2725EA8296AFull, 0x5EEC851EC817518Cull}},
        {{"free_44k_400", 44100, 2, kNoise, {"--freeformat", "-b", "400"}},
         0x7B783CB9EBD9A26Cull,
         {0xCE7662CA5623F7D4ull, 0xCD0EDC1DA7EE3FA5ull, 0xCD0EDC1DA7EE3FA5ull},
         {0xCE7662CA5623F7D4ull, 0xBFBE67F5286A88D3ull, 0xDE33359497FE03E4ull}},
        {{"plain_44k_192", 44100, 2, kNoise, {"-m", "s", "-b", "192"}},
         0x538066DCDCB3ED56ull,
         {0x9D40980417560969ull, 0xCD0EDC1DA7EE3FA5ull, 0xCD0EDC1DA7EE3FA5ull},
         {0x9D40980417560969ull, 0xFBA56F5FBF04BC2Aull, 0x223817BBADDA1AF7ull}},
        {{"mid_side_44k_192", 44100, 2, kNoise, {"-m", "f", "-b", "192"}},
         0xA471797950A42D4Aull,
         {0x2B903CC914855C0Dull, 0xCD0EDC1DA7EE3FA5ull, 0xCD0EDC1DA7EE3FA5ull},
         {0x2B903CC914855C0Dull, 0x1061F94C689EA6EAull, 0xD302C99CAB0E048Aull}},
        {{"mono_44k_64", 44100, 1, kNoise, {"-m", "m", "-b", "64"}},
         0x5F3E95FAC236B40Eull,
         {0x5A8036BA2C23F4C3ull, 0xD4870AB3A2DC3DC6ull, 0x944F78FC2E093274ull},
         {0x5A8036BA2C23F4C3ull, 0xD4870AB3A2DC3DC6ull, 0x944F78FC2E093274ull}},
        {{"joint_32k_96", 32000, 2, kNoise, {"-b", "96"}},
         0x681BA737F1FA9343ull,
         {0xA06F5883BFAB2E4Aull, 0xDF8795CE33C108B5ull, 0xDF8795CE33C108B5ull},
         {0xA06F5883BFAB2E4Aull, 0xF160BB8FD8FA082Cull, 0x9898D9C9FD4E6F3Aull}},
        {{"joint_48k_160", 48000, 2, kNoise, {"-b", "160"}},
         0x2056120047CDBF63ull,
         {0x0B2AB51084C29161ull, 0x198DB8929B46E915ull, 0x198DB8929B46E915ull},
         {0x0B2AB51084C29161ull, 0x43B9F3BEC3CDCEEFull, 0xF5566847A8C759DEull}},
        {{"mpeg2_22k_64", 22050, 2, kNoise, {"-b", "64"}},
         0x191B77ED75C3B2BAull,
         {0x0BDADB3F941EFEECull, 0x8A69E1A9D2CDA875ull, 0x8A69E1A9D2CDA875ull},
         {0x0BDADB3F941EFEECull, 0x8EAA8EE37295974Eull, 0x8B6B6A9590E1BF63ull}},
        {{"mpeg2_24k_48", 24000, 2, kNoise, {"-b", "48"}},
         0x7FDE2CFCA7C51308ull,
         {0x8BAEED7412FF51F2ull, 0x6BF8F3EB4EA160E5ull, 0x6BF8F3EB4EA160E5ull},
         {0x8BAEED7412FF51F2ull, 0x416D4C7CC9B20DCEull, 0xD753010EA5F3823Cull}},
        {{"mpeg2_16k_mono_32", 16000, 1, kNoise, {"-m", "m", "-b", "32"}},
         0x2479F334F8C15FD9ull,
         {0xE11BDC617D6895F8ull, 0xE11BDC617D6895F8ull, 0xE11BDC617D6895F8ull},
         {0xE11BDC617D6895F8ull, 0xE11BDC617D6895F8ull, 0xE11BDC617D6895F8ull}},
        {{"mpeg25_11k_32", 11025, 2, kNoise, {"-b", "32"}},
         0xB9299CD2CF5950FDull,
         {0xCD296D32E78D8EBDull, 0x29EAD28348570805ull, 0x29EAD28348570805ull},
         {0xCD296D32E78D8EBDull, 0x8539AC55AEAA9969ull, 0x7C4B0A042F434AEAull}},
        {{"mpeg25_12k_24", 12000, 2, kNoise, {"-b", "24"}},
         0xA1AC2EC880A960C3ull,
         {0xDA0AB3CFD2284D5Eull, 0x2BC5E97F2CBCA6D5ull, 0x2BC5E97F2CBCA6D5ull},
         {0xDA0AB3CFD2284D5Eull, 0x23218CBEFB47D4FBull, 0x2DDF87C80C0817F9ull}},
        {{"mpeg25_8k_mono_16", 8000, 1, kNoise, {"-m", "m", "-b", "16"}},
         0x5CF3B0CA007DEDB3ull,
         {0x81B4CEC1E389CA97ull, 0x81B4CEC1E389CA97ull, 0x81B4CEC1E389CA97ull},
         {0x81B4CEC1E389CA97ull, 0x81B4CEC1E389CA97ull, 0x81B4CEC1E389CA97ull}},
        {{"short_44k_128", 44100, 2, kTransients, {"-b", "128"}},
         0xFB20C4198C95A723ull,
         {0x6906360BFDDB9965ull, 0xCD0EDC1DA7EE3FA5ull, 0xCD0EDC1DA7EE3FA5ull},
         {0x6906360BFDDB9965ull, 0xFF981662048E6C03ull, 0x1E5F568C44409621ull}},
        {{"short_mono_22k_48", 22050, 1, kTransients, {"-m", "m", "-b", "48"}},
         0x5B079428E2DD8141ull,
         {0x95E4266C391417F3ull, 0x95E4266C391417F3ull, 0x95E4266C391417F3ull},
         {0x95E4266C391417F3ull, 0x95E4266C391417F3ull, 0x95E4266C391417F3ull}},
        {{"short_mpeg25_11k_32", 11025, 2, kTransients, {"-b", "32"}},
         0x8686A29BB6404FAFull,
         {0xA63502C82DE1E39Eull, 0x29EAD28348570805ull, 0x29EAD28348570805ull},
         {0xA63502C82DE1E39Eull, 0xCFF49DAED6B80011ull, 0xA57C9996E83147EBull}},
        {{"clipped_44k_320", 44100, 2, {"1", "pinknoise", "vol", "12dB"}, {"-b", "320"}},
         0x76EB6EA67AAEEBFDull,
         {0x6784D0A4098339F7ull, 0xCD0EDC1DA7EE3FA5ull, 0xCD0EDC1DA7EE3FA5ull},
         {0x6784D0A4098339F7ull, 0xD8FCC42B7AC8EFDFull, 0xB4B3595242AF0939ull}},
        {{"sweep_44k_128", 44100, 2, {"1", "sine", "20-16000", "vol", "-20dB"}, {"-b", "128"}},
         0x4B63E9B2318E2A2Cull,
         {0xABDCE97B98B091EEull, 0xCD0EDC1DA7EE3FA5ull, 0xCD0EDC1DA7EE3FA5ull},
         {0xABDCE97B98B091EEull, 0xD83377A8651006F8ull, 0xA6A449897D1F8528ull}},
    };
    return cases;
}

TEST(Mp3DecGolden, StreamsDecodeToTheRecordedSamples) {
    ASSERT_TRUE(mp3test::haveTools({"sox", "lame"})) << "sox and lame are needed (scripts/setup)";
    orvtest::TempDir dir;
    const int factors[3] = {1, 2, 4};
    for (const StreamCase &c : streamCases()) {
        SCOPED_TRACE(c.fixture.name);
        const std::string mp3 = mp3test::makeMp3(dir.path().string(), c.fixture);
        ASSERT_FALSE(mp3.empty()) << "fixture not made";
        const std::vector<unsigned char> bytes = orvtest::readFileBytes(mp3);
        const u64 input = hashBytes(bytes);
        EXPECT_EQ(input, c.input) << "input hash: sox or lame made other bytes than the recorded ones";
        if (input != c.input) continue;
        const u64 *expected = orv::kDeviceConfig ? c.device : c.desktop;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(decodeHash(bytes, factors[i]), expected[i]) << "factor " << factors[i];
    }
}

struct DecoderDeleter {
    void operator()(MP3DecInfo *d) const { MP3FreeDecoder(d); }
};
using Decoder = std::unique_ptr<MP3DecInfo, DecoderDeleter>;

u32 below(std::mt19937 &rng, u32 n) {
    return rng() % n;
}

// Random side information and scale factors of granule 0 for both channels.
void randomSideInfo(MP3DecInfo *d, std::mt19937 &rng) {
    const int blockType = static_cast<int>(below(rng, 4));
    const int mixed = blockType == 2 ? static_cast<int>(below(rng, 2)) : 0;
    for (int ch = 0; ch < 2; ++ch) {
        SideInfoSub &sis = d->SideInfoPS->sis[0][ch];
        sis.globalGain = 100 + static_cast<int>(below(rng, 120));
        sis.sfactScale = static_cast<int>(below(rng, 2));
        sis.preFlag = static_cast<int>(below(rng, 2));
        sis.blockType = blockType;
        sis.winSwitchFlag = blockType != 0;
        sis.mixedBlock = mixed;
        for (int w = 0; w < 3; ++w) sis.subBlockGain[w] = static_cast<int>(below(rng, 8));
        ScaleFactorInfoSub &sf = d->ScaleFactorInfoPS->sfis[0][ch];
        for (auto &v : sf.l) v = static_cast<u8>(below(rng, 16));
        for (auto &band : sf.s)
            for (auto &v : band) v = static_cast<u8>(below(rng, 16));
    }
    ScaleFactorJS &js = d->ScaleFactorInfoPS->sfjs;
    js.intensityScale = static_cast<int>(below(rng, 2));
    for (int p = 0; p < 4; ++p) {
        js.slen[p] = static_cast<int>(below(rng, 6));
        js.nr[p] = static_cast<int>(below(rng, 19));
    }
}

// Huffman-stage values (sign and magnitude) below a random bound.
void randomQuantised(HuffmanInfo *hi, int ch, std::mt19937 &rng) {
    const int nz = static_cast<int>(below(rng, 577));
    for (int i = 0; i < 576; ++i) {
        const u32 mag = i < nz ? (below(rng, 4) == 0 ? below(rng, 8207) : below(rng, 16)) : 0;
        const u32 sign = mag ? (rng() & 1) : 0;
        hi->huffDecBuf[ch][i] = static_cast<s32>(mag | (sign << 31));
    }
    hi->nonZeroBound[ch] = nz;
}

// Two's-complement values of a random size up to full scale, with their guard bits.
void randomLoud(s32 *x, int n, int nz, std::mt19937 &rng, int *gb) {
    const int bits = 1 + static_cast<int>(below(rng, 32));
    u32 magOr = 0;
    for (int i = 0; i < n; ++i) {
        s32 v = 0;
        if (i < nz) {
            const u32 r = rng();
            v = static_cast<s32>(r) >> (32 - bits);
            if (v == INT32_MIN) v = -INT32_MAX;
        }
        x[i] = v;
        magOr |= lmp3_Magnitude(v);
    }
    *gb = lmp3_GuardBits(magOr);
}

void hashImdct(Fnv64 &f, const IMDCTInfo *mi) {
    f.addAll(&mi->outBuf[0][0][0], sizeof mi->outBuf / sizeof(s32));
    f.addAll(&mi->overBuf[0][0], sizeof mi->overBuf / sizeof(s32));
    for (int ch = 0; ch < 2; ++ch) {
        f.add(static_cast<s32>(mi->gb[ch]));
        f.add(static_cast<s32>(mi->numPrevIMDCT[ch]));
    }
}

// Runs random granules through every stage of one decoder (its state carries over): MPEG-1,
// MPEG-2 and MPEG-2.5 headers, every stereo mode extension, every block type, Huffman-stage input or
// loud input straight into the inverse transform or the synthesis, every factor.
u64 stagesHash(unsigned seed, int granules) {
    std::mt19937 rng(seed);
    Decoder d(MP3InitDecoder());
    Fnv64 f;
    short pcm[kPcmSamples];
    for (int g = 0; g < granules; ++g) {
        const unsigned char versions[3] = {0xFB, 0xF3, 0xE3}; // MPEG-1, MPEG-2, MPEG-2.5
        const unsigned char header[4] = {0xFF, versions[below(rng, 3)],
                                         static_cast<unsigned char>(0x90 | (below(rng, 3) << 2)),
                                         static_cast<unsigned char>((Joint << 6) | (below(rng, 4) << 4))};
        if (lmp3_UnpackFrameHeader(d.get(), header) != 4) return 0;
        d->nChans = 2;
        randomSideInfo(d.get(), rng);
        HuffmanInfo *hi = d->HuffmanInfoPS;
        IMDCTInfo *mi = d->IMDCTInfoPS;
        const u32 route = below(rng, 3);
        if (route == 0) {
            for (int ch = 0; ch < 2; ++ch) randomQuantised(hi, ch, rng);
            if (lmp3_Dequantize(d.get(), 0) != 0) return 0;
        } else {
            for (int ch = 0; ch < 2; ++ch) {
                const int nz = static_cast<int>(below(rng, 577));
                randomLoud(hi->huffDecBuf[ch], 576, nz, rng, &hi->gb[ch]);
                hi->nonZeroBound[ch] = nz;
            }
        }
        f.addAll(&hi->huffDecBuf[0][0], sizeof hi->huffDecBuf / sizeof(s32));
        for (int ch = 0; ch < 2; ++ch) {
            f.add(static_cast<s32>(hi->gb[ch]));
            f.add(static_cast<s32>(hi->nonZeroBound[ch]));
        }
        for (int ch = 0; ch < 2; ++ch)
            if (lmp3_IMDCT(d.get(), 0, ch) != 0) return 0;
        hashImdct(f, mi);
        if (route == 2)
            for (int ch = 0; ch < 2; ++ch) {
                const int bands = 1 + static_cast<int>(below(rng, 32));
                randomLoud(&mi->outBuf[ch][0][0], 576, 576, rng, &mi->gb[ch]);
                for (int i = 0; i < 18; ++i)
                    for (int sb = bands; sb < 32; ++sb) mi->outBuf[ch][i][sb] = 0;
            }
        const int factor = 1 << below(rng, 3);
        d->nChans = below(rng, 4) == 0 ? 1 : 2;
        for (short &s : pcm) s = kUnwritten;
        if (lmp3_Subband(d.get(), pcm, factor) != 0) return 0;
        f.addAll(pcm, kPcmSamples);
        f.addAll(d->SubbandInfoPS->vbuf, 2 * VBUF_LENGTH);
        f.add(static_cast<s32>(d->SubbandInfoPS->vindex));
    }
    return f.h;
}

TEST(Mp3DecGolden, RandomGranulesThroughEveryStageGiveTheRecordedResults) {
    const u64 device = 0x0E850F6FBA3852D3ull, desktop = 0xABEB0F1CA9397E07ull;
    EXPECT_EQ(stagesHash(7, 600), orv::kDeviceConfig ? device : desktop);
}

} // namespace
