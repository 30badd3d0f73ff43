#include "sys/driveid.h"

#include "platform/platform.h"
#include "sys/childproc.h"
#include "sys/hotplug_rules.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Enough for one UUID line and some.
constexpr std::size_t kGeneratorOutputMax = 128;

// An open descriptor, closed when it goes.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(-1); }
    void reset(int fd) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

// Returns: text up to its first line end (or NUL), at most UDEV_DRIVE_ID_MAX characters.
std::string firstLine(std::string_view text) {
    const std::size_t end = text.find_first_of(std::string_view("\n\r\0", 3));
    return std::string(text.substr(0, std::min(end, UDEV_DRIVE_ID_MAX)));
}

// Returns: a descriptor of the drive's database folder, made when create is set, or -1.
int openFolder(const std::string &mountpoint, bool create) {
    const Fd mount(open(mountpoint.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (mount.get() < 0) return -1;
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = openat(mount.get(), UDEV_DB_FOLDER, flags);
    if (fd < 0 && errno == ENOENT && create && mkdirat(mount.get(), UDEV_DB_FOLDER, 0775) == 0)
        fd = openat(mount.get(), UDEV_DB_FOLDER, flags);
    return fd;
}

bool readId(int folder, std::string *id) {
    const Fd file(openat(folder, UDEV_DRIVE_ID_FILE, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (file.get() < 0 || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    char buf[UDEV_DRIVE_ID_MAX];
    std::size_t have = 0;
    while (have < sizeof buf) {
        const ssize_t n = read(file.get(), buf + have, sizeof buf - have);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        have += static_cast<std::size_t>(n);
    }
    *id = firstLine(std::string_view(buf, have));
    return !id->empty();
}

bool writeId(int folder, const std::string &id) {
    // Only a regular file is written: a pipe or a device node in its place (a drive may hold
    // anything) is left alone, and never waited on.
    struct stat st {};
    if (fstatat(folder, UDEV_DRIVE_ID_FILE, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode))
        return false;
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    const Fd file(openat(folder, UDEV_DRIVE_ID_FILE, flags, 0666));
    if (file.get() < 0 || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const std::string line = id + "\n";
    return write(file.get(), line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

// Returns: the first line of the UUID generator's output, or empty.
std::string generateId() {
    const std::string tool = platform_tool_path(PLATFORM_TOOL_UUIDGEN);
    const char *const argv[] = {"uuidgen", nullptr};
    std::string out;
    if (!sys_run_read_output(tool.c_str(), argv, kGeneratorOutputMax, &out)) return "";
    return firstLine(out);
}

} // namespace

std::string udev_drive_id(const std::string &mountpoint) {
    Fd folder(openFolder(mountpoint, false));
    std::string id;
    if (folder.get() >= 0 && readId(folder.get(), &id)) return id;
    const std::string fresh = generateId();
    if (fresh.empty()) {
        std::printf("UDEV: Error: %s gave no id for %s/%s/%s\n",
                    platform_tool_path(PLATFORM_TOOL_UUIDGEN).c_str(), mountpoint.c_str(), UDEV_DB_FOLDER,
                    UDEV_DRIVE_ID_FILE);
        return "";
    }
    if (folder.get() < 0) folder.reset(openFolder(mountpoint, true));
    if (folder.get() >= 0 && writeId(folder.get(), fresh) && readId(folder.get(), &id)) return id;
    return "";
}
