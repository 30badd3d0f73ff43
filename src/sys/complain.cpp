#include "sys/complain.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void xcp_complain_fn(const char *callerfn, int errnum, const char *fmt, ...) {
    // One lock around the block, so that complaints from several threads never interleave.
    flockfile(stderr);
    std::fputs("----------\n", stderr);
    std::fprintf(stderr, "Complaint from %s():\n", callerfn);
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stderr, fmt, args);
    va_end(args);
    std::fputc('\n', stderr);
    if (errnum != 0) {
        const int positive = std::abs(errnum);
        // strerrordesc_np is thread-safe, unlike strerror.
        const char *described = strerrordesc_np(positive);
        std::fprintf(stderr, "System errno: %i -- %s\n", positive, described ? described : "Unknown error");
    }
    std::fputs("----------\n", stderr);
    std::fflush(stderr);
    funlockfile(stderr);
}
