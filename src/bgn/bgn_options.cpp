// The command line of deckhost.
#include "bgn/bgn_startup.h"

#include "sys/globals.h"

#include <cstdio>
#include <unistd.h>

namespace {

void printUsage() {
    std::printf("  -m\tenable message tracing %s\n", "(NOT AVAILABLE IN THIS BUILD)");
    std::printf("  -q\tprint all database queries\n");
    std::printf("  -v\tverbose message output\n");
    std::printf("  -s\tswap hp and main outputs\n");
}

} // namespace

bool bgn_parse_options(int argc, char **argv) {
    optind = 0; // a full restart of getopt's scan
    for (int opt; (opt = getopt(argc, argv, "mqvs?")) != -1;) {
        switch (opt) {
        case 'q':
            print_queries = true;
            break;
        case 'v':
            verbose = true;
            break;
        case 's':
            swap_hp_main = true;
            break;
        case 'm':
            std::printf("Argument '-m' ignored because message tracing is not available in this build.\n");
            break;
        default:
            printUsage();
            return false;
        }
    }
    return true;
}
