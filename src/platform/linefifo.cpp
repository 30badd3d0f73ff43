#include "platform/linefifo.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

platform_line_fifo::~platform_line_fifo() {
    close_all();
}

void platform_line_fifo::close_all() {
    if (read_fd_ >= 0) close(read_fd_);
    if (write_fd_ >= 0) close(write_fd_);
    read_fd_ = write_fd_ = -1;
    pending_.clear();
    dropping_ = false;
}

bool platform_line_fifo::open(const char *path) {
    close_all();
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) {
        close(fd);
        errno = ENODEV;
        return false;
    }
    // With a writer always present, a test's writer closing its end is no hang-up here.
    const int keep = ::open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (keep < 0) {
        const int err = errno;
        close(fd);
        errno = err;
        return false;
    }
    read_fd_ = fd;
    write_fd_ = keep;
    return true;
}

bool platform_line_fifo::takeBufferedLine(std::string *line) {
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end == std::string::npos) {
            if (pending_.size() > kMaxLine) {
                pending_.clear();
                dropping_ = true;
            }
            return false;
        }
        const bool dropped = dropping_ || end > kMaxLine;
        dropping_ = false;
        if (!dropped) line->assign(pending_, 0, end);
        pending_.erase(0, end + 1);
        if (!dropped) return true;
    }
}

bool platform_line_fifo::next_line(std::string *line) {
    if (read_fd_ < 0) return false;
    for (;;) {
        if (takeBufferedLine(line)) return true;
        char buf[1024];
        const ssize_t n = read(read_fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        pending_.append(buf, static_cast<std::size_t>(n));
    }
}

std::vector<std::string> platform_read_lines(const char *path, std::size_t max_lines) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (lines.size() < max_lines && std::getline(in, line)) {
        if (line.size() <= platform_line_fifo::kMaxLine) lines.push_back(line);
    }
    return lines;
}
