#include "orvsys/debugmsg.h"

#include "orvsys/orvconfig.h"

#include <cstdarg>
#include <cstdio>

void debugmsg(const char *fmt, ...) {
    if constexpr (orv::kDeviceConfig) {
        va_list args;
        va_start(args, fmt);
        std::vfprintf(stdout, fmt, args);
        va_end(args);
    }
}
