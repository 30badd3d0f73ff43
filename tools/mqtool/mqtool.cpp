// mqtool: makes, fills, empties and removes a POSIX message queue, for checking from a script
// what a program posts on a queue.
//
//   mqtool create NAME MAXMSG MSGSIZE   a fresh queue (an old one of that name is removed), mode 0664
//   mqtool fill NAME COUNT              COUNT messages of the queue's size, all bytes 0xA5, never waiting
//   mqtool drain NAME                   every waiting message, raw, to standard output, never waiting
//   mqtool unlink NAME                  removes the queue; no queue is no error
//
// Exit status 0 on success, 1 with a line on standard error otherwise, 2 for a bad command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mqueue.h>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr mqd_t kNoQueue = static_cast<mqd_t>(-1);

int failed(const char *what, const char *name) {
    std::fprintf(stderr, "mqtool: %s %s: %s\n", what, name, std::strerror(errno));
    return 1;
}

bool readCount(const char *text, long *value) {
    char *end = nullptr;
    errno = 0;
    *value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && *value >= 0;
}

int create(const char *name, long maxmsg, long msgsize) {
    if (mq_unlink(name) != 0 && errno != ENOENT) return failed("cannot remove", name);
    mq_attr attr{};
    attr.mq_maxmsg = maxmsg;
    attr.mq_msgsize = msgsize;
    umask(0);
    const mqd_t q = mq_open(name, O_RDWR | O_CREAT | O_EXCL, 0664, &attr);
    if (q == kNoQueue) return failed("cannot create", name);
    mq_close(q);
    return 0;
}

int fill(const char *name, long count) {
    const mqd_t q = mq_open(name, O_WRONLY | O_NONBLOCK);
    if (q == kNoQueue) return failed("cannot open", name);
    mq_attr attr{};
    mq_getattr(q, &attr);
    const std::vector<char> message(static_cast<std::size_t>(attr.mq_msgsize), static_cast<char>(0xA5));
    for (long i = 0; i < count; ++i) {
        if (mq_send(q, message.data(), message.size(), 0) != 0) {
            mq_close(q);
            return failed("cannot send to", name);
        }
    }
    mq_close(q);
    return 0;
}

int drain(const char *name) {
    const mqd_t q = mq_open(name, O_RDONLY | O_NONBLOCK);
    if (q == kNoQueue) return failed("cannot open", name);
    mq_attr attr{};
    mq_getattr(q, &attr);
    std::vector<char> message(static_cast<std::size_t>(attr.mq_msgsize));
    for (;;) {
        const ssize_t n = mq_receive(q, message.data(), message.size(), nullptr);
        if (n < 0) break;
        std::fwrite(message.data(), 1, static_cast<std::size_t>(n), stdout);
    }
    const int error = errno;
    mq_close(q);
    if (error != EAGAIN) {
        errno = error;
        return failed("cannot receive from", name);
    }
    return 0;
}

int unlinkQueue(const char *name) {
    if (mq_unlink(name) != 0 && errno != ENOENT) return failed("cannot remove", name);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    const char *command = argc > 2 ? argv[1] : "";
    long a = 0;
    long b = 0;
    if (std::strcmp(command, "create") == 0 && argc == 5 && readCount(argv[3], &a) && readCount(argv[4], &b))
        return create(argv[2], a, b);
    if (std::strcmp(command, "fill") == 0 && argc == 4 && readCount(argv[3], &a)) return fill(argv[2], a);
    if (std::strcmp(command, "drain") == 0 && argc == 3) return drain(argv[2]);
    if (std::strcmp(command, "unlink") == 0 && argc == 3) return unlinkQueue(argv[2]);
    std::fputs("usage: mqtool create NAME MAXMSG MSGSIZE | fill NAME COUNT | drain NAME | unlink NAME\n",
               stderr);
    return 2;
}
