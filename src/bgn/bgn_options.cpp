// The command line of deckhost.
#include "bgn/bgn_startup.h"

#include "sys/globals.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

void printUsage() {
    std::printf("  -m\tenable message tracing %s\n", "(NOT AVAILABLE IN THIS BUILD)");
    std::printf("  -q\tprint all database queries\n");
    std::printf("  -v\tverbose message output\n");
    std::printf("  -s\tswap hp and main outputs\n");
}

// The folder part of a path, as dirname gives it.
std::string folderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
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

std::string bgn_link_folder(const char *link) {
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = readlink(link, buf.data(), buf.size());
        if (n < 0) {
            std::perror("readlink");
            return ".";
        }
        // A target that fills the buffer may have been cut: read it again with more room.
        if (static_cast<std::size_t>(n) < buf.size())
            return folderOf(std::string(buf.data(), static_cast<std::size_t>(n)));
        buf.resize(buf.size() * 2);
    }
}
