// The update watcher's thread: it waits until the user interface can show pop-ups, then reads
// the update pipe and answers the user's choices until the shutdown command.
#include "sys/update.h"

#include "platform/platform.h"
#include "sys/dispatch.h"
#include "sys/systhread.h"
#include "sys/update_request.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *kQueueName = "/update";
constexpr long kQueueDepth = 16;
constexpr u16 kQueueMsgs[] = {mShutdownCmd, mReadyForPopups, mPopupResponse};
constexpr int kMsgCount = static_cast<int>(std::size(kQueueMsgs));
constexpr std::size_t kThreadStack = 128 * 1024;

struct Watcher {
    msgq *queue = nullptr;
    pthread_t thread{};
    bool running = false;
};

Watcher watcher;

void broadcast(const msg &m) {
    q_put(nullptr, &m, Q_PRIORITY, Q_WAIT_FOREVER);
}

// Returns: true once the user interface is ready for pop-ups, false on the shutdown command.
bool waitForPopups(msgq *queue) {
    msg m{};
    for (;;) {
        if (q_get(queue, &m, nullptr, Q_WAIT_FOREVER) < 0) continue;
        const u16 name = msg_get_name(&m);
        if (name == mShutdownCmd) return false;
        if (name == mReadyForPopups) return true;
    }
}

void printUnavailable(const char *fifo) {
    std::fprintf(stderr, "Warning: failed to create %s.  Updates not available.\n", fifo);
}

bool makeFifo(const char *fifo) {
    if (mkfifo(fifo, 0644) == 0 || errno == EEXIST) return true;
    printUnavailable(fifo);
    return false;
}

// Returns: the pipe opened for non-blocking reading, or -1. Something else than a pipe at its
// path would read as ever-ready and empty: it counts as a pipe that could not be made.
int openFifo(const char *fifo) {
    const int fd = open(fifo, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::perror("open");
        std::fprintf(stderr, "Failed to open %s.  Updates not available.\n", fifo);
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) {
        close(fd);
        printUnavailable(fifo);
        return -1;
    }
    return fd;
}

class Watch {
  public:
    Watch(msgq *queue, const char *fifo, const char *link)
        : queue_(queue), fifo_path_(fifo), link_path_(link) {}
    Watch(const Watch &) = delete;
    Watch &operator=(const Watch &) = delete;
    ~Watch() {
        if (fd_ >= 0) close(fd_);
    }

    bool open() {
        if (!makeFifo(fifo_path_)) return false;
        fd_ = openFifo(fifo_path_);
        if (fd_ < 0) return false;
        if (unlink(link_path_) != 0 && errno != ENOENT) std::perror("unlink");
        return true;
    }

    // Runs until the shutdown command or a pipe that cannot be opened again.
    void run() {
        for (;;) {
            int changed = -1;
            switch (q_poll_array(queue_, 1, &fd_, Q_WAIT_FOREVER, &changed)) {
            case Q_POLL_MSG_READY:
                if (!takeMessage()) return;
                break;
            case Q_POLL_FILE_READY:
                readPipe();
                break;
            case Q_POLL_FILE_ERROR:
                // The writer has closed its end: wait for the next one.
                close(fd_);
                fd_ = openFifo(fifo_path_);
                if (fd_ < 0) return;
                break;
            default:
                std::fprintf(stderr, "Update watcher: unexpected poll result\n");
                raise(SIGABRT);
                return;
            }
        }
    }

  private:
    // Returns: false on the shutdown command.
    bool takeMessage() {
        msg m{};
        if (q_get(queue_, &m, nullptr, Q_WAIT_FOREVER) < 0) return true;
        const u16 name = msg_get_name(&m);
        if (name == mShutdownCmd) return false;
        if (name == mPopupResponse && m.sysex.id == POPUP_ID_UPDATE_FILE_DETECTED) answer(m);
        return true;
    }

    void readPipe() {
        char buf[SYS_UPDATE_READ_MAX];
        ssize_t n;
        do {
            n = read(fd_, buf, sizeof buf);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            if (errno != EAGAIN) std::perror("read");
            return;
        }
        std::string path;
        if (!sys_update_parse(std::string_view(buf, static_cast<std::size_t>(n)), &path)) return;
        std::printf("Update file: %s\n", path.c_str());
        offer(path);
    }

    void offer(const std::string &path) {
        const u32 number = offers_.add(path);
        // The user interface frees the name once it has shown it.
        char *name = strdup(platform_base_name(path.c_str()));
        msg m{};
        msg_stuff_popup(&m, mDisplayPopupCmd, POPUP_ID_UPDATE_FILE_DETECTED, 0, number, name, 0, 0);
        broadcast(m);
    }

    void answer(const msg &m) {
        std::string path;
        if (!offers_.take(m.sysex.body.pop_up.data_id, &path)) return;
        if (m.sysex.body.pop_up.hl_row != 0) return;
        if (symlink(path.c_str(), link_path_) != 0) {
            std::perror("symlink");
            return;
        }
        msg request{};
        msg_stuff_sysex(&request, mShutdownReq, SHUTDOWN_ID_UPDATE);
        broadcast(request);
    }

    msgq *queue_;
    const char *fifo_path_;
    const char *link_path_;
    int fd_ = -1;
    sys_update_offers offers_;
};

void *watcherThread(void *arg) {
    auto *queue = static_cast<msgq *>(arg);
    if (waitForPopups(queue)) {
        Watch watch(queue, platform_path(PLATFORM_UPDATE_FIFO), platform_path(PLATFORM_UPDATE_LINK));
        if (watch.open()) watch.run();
    }
    q_unregister(queue, kQueueMsgs, kMsgCount);
    q_destroy(queue);
    return nullptr;
}

} // namespace

void sys_update_init() {
    watcher.queue = q_create(kQueueName, Q_TYPE_POLLABLE, kQueueDepth);
    q_register(watcher.queue, kQueueMsgs, kMsgCount);
    watcher.thread = sys_thread_start({"update", kThreadStack, SCHED_OTHER, 0}, watcherThread, watcher.queue);
    watcher.running = true;
}

void sys_update_destroy() {
    if (!watcher.running) return;
    pthread_join(watcher.thread, nullptr);
    watcher.running = false;
    watcher.queue = nullptr;
}
