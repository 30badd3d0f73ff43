#include "orvsys/orverr.h"

#include <cstring>

namespace {

constexpr size_t kMaxFunction = 256;
constexpr size_t kMaxMessage = 512;
// Function name, ": ", message and the terminating NUL always fit.
char s_lastError[kMaxFunction + 2 + kMaxMessage + 1];

size_t appendBounded(size_t at, const char *text, size_t limit) {
    const size_t n = text ? strnlen(text, limit) : 0;
    std::memcpy(s_lastError + at, text ? text : "", n);
    return at + n;
}

} // namespace

void orverr_setError(const char *functionName, const char *message) {
    size_t at = appendBounded(0, functionName, kMaxFunction);
    at = appendBounded(at, ": ", 2);
    at = appendBounded(at, message, kMaxMessage);
    s_lastError[at] = '\0';
}

const char *orverr_getLastError() {
    return s_lastError;
}
