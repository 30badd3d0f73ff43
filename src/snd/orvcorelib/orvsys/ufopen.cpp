#include "orvsys/ufopen.h"

#include <cerrno>
#include <cstring>

FILE *ufopen(const char *filename, const char *mode) {
    if (filename == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    // glibc's "e" flag opens with O_CLOEXEC; a mode too long to extend is passed as it is.
    char withCloexec[16];
    const size_t len = std::strlen(mode);
    if (std::strchr(mode, 'e') == nullptr && len + 1 < sizeof withCloexec) {
        std::memcpy(withCloexec, mode, len);
        withCloexec[len] = 'e';
        withCloexec[len + 1] = '\0';
        return std::fopen(filename, withCloexec);
    }
    return std::fopen(filename, mode);
}
