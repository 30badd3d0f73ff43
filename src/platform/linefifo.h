// A named pipe read as lines, the way the host's stand-ins for device events take what a test
// writes. The reader also holds a write end of its own, so that writers may come and go
// without the pipe ever reporting a hang-up.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class platform_line_fifo {
  public:
    // Lines longer than this are dropped whole.
    static constexpr std::size_t kMaxLine = 4096;

    platform_line_fifo() = default;
    platform_line_fifo(const platform_line_fifo &) = delete;
    platform_line_fifo &operator=(const platform_line_fifo &) = delete;
    ~platform_line_fifo();

    // Needs: path names an existing named pipe.
    // Returns: true (after closing what was open before) once it is open for non-blocking reading; false
    // (errno set, ENODEV when path is something else than a named pipe) otherwise.
    bool open(const char *path);

    // Returns: the descriptor to poll for input, or -1 when not open.
    int fd() const { return read_fd_; }

    // Returns: true with *line set (without its line end) when a complete line is pending,
    // reading what the pipe holds now without waiting; false when none is.
    bool next_line(std::string *line);

  private:
    void close_all();
    bool takeBufferedLine(std::string *line);

    int read_fd_ = -1;
    int write_fd_ = -1;
    std::string pending_;
    bool dropping_ = false; // inside a line that grew too long
};

// Returns: the lines of the regular file at path (without line ends), at most max_lines of
// them; lines longer than platform_line_fifo::kMaxLine are left out. An unreadable file gives
// no lines.
std::vector<std::string> platform_read_lines(const char *path, std::size_t max_lines);
