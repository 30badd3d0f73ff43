// The program's folder, and the start-up picture in the resource folder beside it.
#include "bgn/bgn_startup.h"

#include "platform/platform.h"

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

// The folder part of a path, as dirname gives it.
std::string folderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

} // namespace

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

std::string bgn_startup_picture_path(const std::string &program_folder) {
    return program_folder + "/../resources/GrayRed480x272/gtk-2.0/quilofour_startup_screen.rgb565";
}

void bgn_show_startup_picture(const std::string &program_folder) {
    const std::string input = "if=" + bgn_startup_picture_path(program_folder);
    const std::string output = std::string("of=") + platform_path(PLATFORM_FB_DEVICE);
    const char *const args[] = {"dd", input.c_str(), output.c_str(), "bs=960", "count=272", nullptr};
    platform_run_detached(PLATFORM_TOOL_DD, args);
}
