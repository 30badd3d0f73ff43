// Replacing the first occurrence of a text in a path, into one process-wide buffer.
#include "songanalysis/songanalysis.h"

#include <array>
#include <cstring>

namespace {
std::array<char, 4096> g_strrepBuffer{};
}

const char *strrep(const char *str, const char *orig, const char *rep) {
    if (str == nullptr || orig == nullptr || rep == nullptr || *orig == '\0') return str;
    const char *at = std::strstr(str, orig);
    if (at == nullptr) return str;
    const size_t before = static_cast<size_t>(at - str);
    const size_t origLen = std::strlen(orig);
    const size_t repLen = std::strlen(rep);
    const size_t afterLen = std::strlen(at + origLen);
    // A result that does not fit would be cut; the caller gets its own text back instead.
    if (before + repLen + afterLen + 1 > g_strrepBuffer.size()) return str;
    // str may be the buffer itself (the result of an earlier call): build aside, then copy.
    std::array<char, 4096> built{};
    std::memcpy(built.data(), str, before);
    std::memcpy(built.data() + before, rep, repLen);
    std::memcpy(built.data() + before + repLen, at + origLen, afterLen + 1);
    g_strrepBuffer = built;
    return g_strrepBuffer.data();
}
