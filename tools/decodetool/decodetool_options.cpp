#include "decodetool_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace decodetool {

namespace {

bool parseNumber(const char *text, long long *value) {
    char *end = nullptr;
    *value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0';
}

// "A:B" with two numbers.
bool parseSpan(const char *text, Span *span) {
    const char *colon = std::strchr(text, ':');
    if (colon == nullptr) return false;
    const std::string first(text, colon);
    return parseNumber(first.c_str(), &span->first) && parseNumber(colon + 1, &span->count) &&
           span->first >= 0 && span->count >= 0;
}

bool parseQuality(const char *text, src_quality *quality) {
    if (std::strcmp(text, "low") == 0)
        *quality = SRC_QUALITY_LOW;
    else if (std::strcmp(text, "mid") == 0)
        *quality = SRC_QUALITY_MID;
    else if (std::strcmp(text, "high") == 0)
        *quality = SRC_QUALITY_HIGH;
    else
        return false;
    return true;
}

bool parseDecoderQuality(const char *text, std::optional<decoder_quality> *quality) {
    if (std::strcmp(text, "full") == 0)
        *quality = DECODER_QUALITY_FULL;
    else if (std::strcmp(text, "half") == 0)
        *quality = DECODER_QUALITY_HALF;
    else if (std::strcmp(text, "quarter") == 0)
        *quality = DECODER_QUALITY_QUATER;
    else if (std::strcmp(text, "mono") == 0)
        *quality = DECODER_QUALITY_MONO;
    else
        return false;
    return true;
}

bool parseCount(const char *text, u32 *value) {
    long long n;
    if (!parseNumber(text, &n) || n < 1 || n > 1000000) return false;
    *value = static_cast<u32>(n);
    return true;
}

bool parseValue(const char *name, const char *value, Options *o) {
    long long n = 0;
    Span span{};
    if (std::strcmp(name, "--rate") == 0) {
        if (!parseNumber(value, &n)) return false;
        o->rate = static_cast<s32>(n);
    } else if (std::strcmp(name, "--quality") == 0) {
        return parseQuality(value, &o->quality);
    } else if (std::strcmp(name, "--max-frames") == 0) {
        return parseCount(value, &o->maxFrames);
    } else if (std::strcmp(name, "--block") == 0) {
        return parseCount(value, &o->block);
    } else if (std::strcmp(name, "--seek") == 0) {
        if (!parseSpan(value, &span)) return false;
        o->seeks.push_back(span);
    } else if (std::strcmp(name, "--read") == 0) {
        if (!parseNumber(value, &n) || n < 0) return false;
        o->seeks.push_back({-1, n});
    } else if (std::strcmp(name, "--seektable") == 0 || std::strcmp(name, "--build-seektable") == 0) {
        o->seektable = value;
        o->buildSeektable = std::strcmp(name, "--build-seektable") == 0;
    } else if (std::strcmp(name, "--decoder-quality") == 0) {
        return parseDecoderQuality(value, &o->decoderQuality);
    } else if (std::strcmp(name, "--convert") == 0) {
        if (!parseSpan(value, &span)) return false;
        o->convert = span;
    } else {
        return false;
    }
    return true;
}

// Takes the option at argv[*i] and its value; false when it is unknown or its value is bad.
bool parseOption(int argc, char **argv, int *i, Options *o) {
    const char *name = argv[*i];
    if (std::strcmp(name, "--info") == 0) {
        o->info = true;
        return true;
    }
    if (std::strcmp(name, "--native-channels") == 0) {
        o->forceStereo = false;
        return true;
    }
    if (*i + 1 >= argc) return false;
    *i += 1;
    return parseValue(name, argv[*i], o);
}

} // namespace

void printUsage() {
    std::fprintf(stderr,
                 "usage: decodetool [options] INPUT [OUTPUT.wav]\n"
                 "Decodes INPUT through the decoder front end into a 16-bit WAV file.\n"
                 "  --rate HZ                 output rate: 44100 (default), 24000, 22050 or 11025\n"
                 "  --quality low|mid|high    rate-conversion quality (default mid)\n"
                 "  --native-channels         keep the file's channel count (default: two channels)\n"
                 "  --max-frames N            the decoder's largest request, 1 to 2048 (default 2048)\n"
                 "  --block N                 frames asked per read (default: the largest request)\n"
                 "  --seek FRAME:COUNT        seek to FRAME (output rate) and decode COUNT frames;\n"
                 "                            repeatable, the pieces are written one after another\n"
                 "  --read COUNT              decode COUNT frames on from where the last piece ended,\n"
                 "                            without a seek (a piece like those of --seek)\n"
                 "  --seektable FILE          seek-table file given to the open and loaded after it\n"
                 "  --build-seektable FILE    scan the file in build-seek-table mode and write FILE\n"
                 "  --decoder-quality full|half|quarter|mono   ask for a decoding quality\n"
                 "  --info                    print one line describing the open file\n"
                 "  --convert START_MS:LEN_MS run the file conversion from INPUT into OUTPUT.wav\n"
                 "Exits with the magnitude of a decoder error, 0 on success, 64 for a bad command line.\n");
}

std::optional<Options> parse(int argc, char **argv) {
    Options o;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) != 0) {
            files.emplace_back(argv[i]);
        } else if (!parseOption(argc, argv, &i, &o)) {
            std::fprintf(stderr, "decodetool: bad option or value: %s\n", argv[i]);
            return std::nullopt;
        }
    }
    if (files.empty() || files.size() > 2 || (o.convert && files.size() != 2)) {
        std::fprintf(stderr, "decodetool: give an input file and at most one output file\n");
        return std::nullopt;
    }
    o.input = files[0];
    if (files.size() == 2) o.output = files[1];
    return o;
}

} // namespace decodetool
