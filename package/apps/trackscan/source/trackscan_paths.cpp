#include "trackscan_paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string analysisPath(const char *rootFolder, int product, const char *songId, const char *extension) {
    std::string path = rootFolder;
    path += '/';
    path += trackscan_analysisFolder(product);
    path += '/';
    path.append(songId, 2);
    path += '/';
    path += songId + 2;
    path += extension;
    path.shrink_to_fit();
    return path;
}

} // namespace

const char *trackscan_analysisFolder(int product) {
    return product == 4 ? "Quilo4_Database/analysis" : "Quilo8_Database/analysis";
}

bool trackscan_songIdUsable(const char *songId) {
    return std::strlen(songId) >= 3 && std::strchr(songId, '/') == nullptr &&
           std::strncmp(songId, "..", 2) != 0;
}

trackscan_paths::trackscan_paths(const char *rootFolder, int product, const char *songId,
                                 const char *audioFile, songanalysis_filenames_struct *filenames)
    : sar_(analysisPath(rootFolder, product, songId, ".sar")),
      sek_(analysisPath(rootFolder, product, songId, ".sek")),
      wfv_(analysisPath(rootFolder, product, songId, ".wfv")), filenames_(filenames) {
    filenames_->sar_path = sar_.c_str();
    filenames_->sek_path = sek_.c_str();
    filenames_->wfv_path = wfv_.c_str();
    filenames_->aud_path = audioFile;
}

trackscan_paths::~trackscan_paths() {
    *filenames_ = songanalysis_filenames_struct{};
}

std::string trackscan_paths::folder() const {
    return sar_.substr(0, sar_.rfind('/'));
}

trackscan_mkdir_result trackscan_makeFolder(const std::string &folder) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) return TRACKSCAN_MKDIR_NO_CHILD;
    if (pid == 0) {
        char mkdirName[] = "mkdir";
        char parents[] = "-p";
        char *const argv[] = {mkdirName, parents, const_cast<char *>(folder.c_str()), nullptr};
        execv("/bin/mkdir", argv);
        static const char kMessage[] = "Couldn't run /bin/mkdir ??\n";
        [[maybe_unused]] const ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        _exit(1);
    }
    int status = 0;
    pid_t ended;
    do {
        ended = waitpid(pid, &status, 0);
    } while (ended < 0 && errno == EINTR);
    if (ended < 0) {
        std::fputs("Couldn't execute child\n", stderr);
        return TRACKSCAN_MKDIR_WAIT_FAILED;
    }
    return TRACKSCAN_MKDIR_DONE;
}
