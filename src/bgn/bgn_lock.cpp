// One deckhost at a time: a write lock on the first byte of the lock file.
#include "bgn/bgn_startup.h"

#include "sys/systime.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr u32 kRetryMs = 10000;
}

int bgn_lock_try(const char *path) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    if (fcntl(fd, F_SETLK, &lock) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int bgn_lock_wait(const char *path) {
    for (;;) {
        const int fd = bgn_lock_try(path);
        if (fd >= 0) return fd;
        std::puts("\nAnother instance is running.  Waiting for it to finish.\n");
        std::puts("Press Ctrl+C to abort.\n");
        std::fflush(stdout);
        sys_sleep(kRetryMs);
    }
}
