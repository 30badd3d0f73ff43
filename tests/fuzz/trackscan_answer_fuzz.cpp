// Feeds the analysis program's answers, as any bytes, to the readers of the start-up
// handshake. Whatever a broken or foreign program prints, reading it stays within the text,
// and a version read back from its own hexadecimal form is the same version.
#include "bgn/bgn_startup.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    u32 version = 0;
    if (bgn_parse_hex_version(text.c_str(), &version)) {
        char again[16];
        std::snprintf(again, sizeof again, "%x", version);
        u32 reread = 0;
        if (!bgn_parse_hex_version(again, &reread) || reread != version) std::abort();
    }
    const bool ok = bgn_hash_answer_ok(text);
    if (ok != (size > 0 && data[0] == '2')) std::abort();
    return 0;
}
