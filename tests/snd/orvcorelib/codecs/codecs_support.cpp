#include "codecs_support.h"

#include "support/runtool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace codectest {

int runTool(const std::vector<std::string> &argv) {
    return orvtest::runTool(argv);
}

namespace {

std::string joined(const std::vector<std::string> &argv) {
    std::string s;
    for (const std::string &a : argv) s += a + " ";
    return s;
}

void mustRun(const std::vector<std::string> &argv) {
    ASSERT_EQ(runTool(argv), 0) << "failed: " << joined(argv);
}

std::vector<s32> readRaw(const std::string &file, int bytesPerSample) {
    const std::vector<unsigned char> bytes = orvtest::readFileBytes(file);
    std::vector<s32> samples(bytes.size() / bytesPerSample);
    for (size_t i = 0; i < samples.size(); ++i) {
        u32 v = 0;
        for (int b = 0; b < bytesPerSample; ++b)
            v |= static_cast<u32>(bytes[i * bytesPerSample + b]) << (8 * b);
        const int shift = 32 - 8 * bytesPerSample;
        samples[i] = static_cast<s32>(v << shift) >> shift;
    }
    return samples;
}

void reverseBytes(unsigned char *p, size_t n) {
    std::reverse(p, p + n);
}

u32 be32At(const std::vector<unsigned char> &b, size_t at) {
    return (u32{b[at]} << 24) | (u32{b[at + 1]} << 16) | (u32{b[at + 2]} << 8) | b[at + 3];
}

} // namespace

void sox(const std::vector<std::string> &args) {
    std::vector<std::string> argv{"sox", "-R", "-D"};
    argv.insert(argv.end(), args.begin(), args.end());
    mustRun(argv);
}

void flacEncode(const std::string &in, const std::string &out, const std::vector<std::string> &extra) {
    std::vector<std::string> argv{"flac", "-s", "-f", "--no-padding"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.insert(argv.end(), {"-o", out, in});
    mustRun(argv);
}

std::vector<s32> soxReference(const std::string &file) {
    const std::string raw = file + ".ref32.raw";
    sox({file, "-t", "raw", "-e", "signed-integer", "-b", "32", "-L", raw});
    return readRaw(raw, 4);
}

std::vector<s32> flacReference(const std::string &file, int bits) {
    const std::string raw = file + ".ref.raw";
    mustRun({"flac", "-d", "-s", "-f", "--force-raw-format", "--endian=little", "--sign=signed", "-o", raw,
             file});
    return readRaw(raw, (bits + 7) / 8);
}

std::vector<audio16> highBytes(const std::vector<s32> &samples) {
    std::vector<audio16> out(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) out[i] = static_cast<audio16>(samples[i] >> 16);
    return out;
}

std::vector<audio16> scaledTo16(const std::vector<s32> &samples, int bits) {
    std::vector<audio16> out(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        out[i] =
            static_cast<audio16>(bits > 16 ? samples[i] >> (bits - 16) : samples[i] * (1 << (16 - bits)));
    return out;
}

Decoder makeDecoder(s32 outputRate, bool forceStereo, u32 maxFrames) {
    return Decoder(decoder_new(outputRate, forceStereo ? 1 : 0, maxFrames));
}

Decoder openBytes(const orvtest::TempDir &dir, const std::string &name,
                  const std::vector<unsigned char> &bytes, u32 maxFrames, s32 outputRate) {
    orvtest::writeFileBytes(dir.file(name), bytes);
    Decoder d = makeDecoder(outputRate, false, maxFrames);
    EXPECT_EQ(decoder_open(d.get(), dir.file(name).c_str(), DECODER_MODE_DECODE, nullptr, 0, SRC_QUALITY_LOW),
              DECODER_ERROR_NOERROR)
        << name;
    return d;
}

decoder_error tryReader(decoder_error (*open)(decoder_struct *, const char *),
                        decoder_error (*close)(decoder_struct *), const std::string &path,
                        const std::vector<unsigned char> &bytes, bool *heldRecord) {
    orvtest::writeFileBytes(path, bytes);
    Decoder d = makeDecoder(44100, true);
    const decoder_error result = open(d.get(), path.c_str());
    *heldRecord = d->fileformatHandle != nullptr;
    if (*heldRecord) close(d.get());
    return result;
}

int outputChannels(const decoder_struct *d) {
    return d->forceStereo != 0 ? 2 : d->numChannels;
}

Decoded readFrames(decoder_struct *d, long long frames, s32 block) {
    Decoded out;
    const int channels = outputChannels(d);
    std::vector<audio16> buffer(static_cast<size_t>(block) * channels);
    while (frames != 0) {
        const s32 asked = static_cast<s32>(frames < 0 ? block : std::min<long long>(frames, block));
        s32 n = asked;
        out.last = decoder_getSample(d, buffer.data(), &n);
        out.samples.insert(out.samples.end(), buffer.begin(),
                           buffer.begin() + static_cast<long>(n) * channels);
        if (n > 0 && n < asked) out.shortReads += 1;
        if (out.last != DECODER_ERROR_NOERROR || n <= 0) break;
        if (frames > 0) frames -= n;
    }
    return out;
}

Chunks operator+(Chunks a, const Chunks &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes &Bytes::text(const char *s) {
    data.insert(data.end(), s, s + std::strlen(s));
    return *this;
}
Bytes &Bytes::le16(u32 v) {
    data.push_back(static_cast<unsigned char>(v));
    data.push_back(static_cast<unsigned char>(v >> 8));
    return *this;
}
Bytes &Bytes::le32(u32 v) {
    return le16(v & 0xFFFF).le16(v >> 16);
}
Bytes &Bytes::be16(u32 v) {
    data.push_back(static_cast<unsigned char>(v >> 8));
    data.push_back(static_cast<unsigned char>(v));
    return *this;
}
Bytes &Bytes::be32(u32 v) {
    return be16(v >> 16).be16(v & 0xFFFF);
}
Bytes &Bytes::raw(const std::vector<unsigned char> &b) {
    data.insert(data.end(), b.begin(), b.end());
    return *this;
}
Bytes &Bytes::fill(size_t count, unsigned char value) {
    data.insert(data.end(), count, value);
    return *this;
}

std::vector<unsigned char> riffFile(const std::vector<unsigned char> &chunks, u32 riffSize) {
    const u32 size = riffSize != 0 ? riffSize : static_cast<u32>(4 + chunks.size());
    return Bytes().text("RIFF").le32(size).text("WAVE").raw(chunks).data;
}

std::vector<unsigned char> fmtChunk(u16 tag, u16 channels, u32 rate, u16 bits) {
    const u32 blockAlign = channels * (bits / 8u);
    return Bytes()
        .text("fmt ")
        .le32(16)
        .le16(tag)
        .le16(channels)
        .le32(rate)
        .le32(rate * blockAlign)
        .le16(blockAlign)
        .le16(bits)
        .data;
}

std::vector<unsigned char> chunk(const char *id, const std::vector<unsigned char> &body, long long sizeWord) {
    const u32 size = sizeWord < 0 ? static_cast<u32>(body.size()) : static_cast<u32>(sizeWord);
    Bytes b;
    b.text(id).le32(size).raw(body);
    if (body.size() % 2 == 1) b.fill(1, 0);
    return b.data;
}

std::vector<unsigned char> reverseAiff(const std::vector<unsigned char> &aiff) {
    std::vector<unsigned char> out = aiff;
    reverseBytes(&out[0], 4);
    reverseBytes(&out[4], 4);
    reverseBytes(&out[8], 4);
    int sampleBytes = 2;
    size_t at = 12;
    while (at + 8 <= aiff.size()) {
        const std::string id(aiff.begin() + static_cast<long>(at), aiff.begin() + static_cast<long>(at) + 4);
        const u32 size = be32At(aiff, at + 4);
        reverseBytes(&out[at], 4);
        reverseBytes(&out[at + 4], 4);
        const size_t body = at + 8;
        if (id == "COMM") {
            sampleBytes = ((aiff[body + 6] << 8) | aiff[body + 7]) / 8;
            reverseBytes(&out[body], 2);
            reverseBytes(&out[body + 2], 4);
            reverseBytes(&out[body + 6], 2);
            reverseBytes(&out[body + 8], 10);
        } else if (id == "SSND") {
            reverseBytes(&out[body], 4);
            reverseBytes(&out[body + 4], 4);
            for (size_t s = body + 8; s + sampleBytes <= body + size && s + sampleBytes <= out.size();
                 s += sampleBytes)
                reverseBytes(&out[s], static_cast<size_t>(sampleBytes));
        }
        at = body + size + (size & 1);
    }
    return out;
}

std::vector<audio16> wavSamples(const std::string &file) {
    const std::vector<unsigned char> bytes = orvtest::readFileBytes(file);
    std::vector<audio16> samples;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2)
        samples.push_back(static_cast<audio16>(bytes[i] | (bytes[i + 1] << 8)));
    return samples;
}

} // namespace codectest
