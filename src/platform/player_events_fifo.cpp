// Portable players from a named pipe of event lines and a file of the players connected at
// start: the host's stand-in for the multiplexer, with a thread of its own that calls back as
// the multiplexer's does.
#include "platform/player_events.h"

#include "platform/linefifo.h"
#include "sys/systhread.h"
#include "sys/textfield.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxPlayers = 1000;
constexpr std::size_t kThreadStack = 64 * 1024;

// Returns: true with *value set for a hexadecimal number that fits 32 bits.
bool parseHex(std::string_view field, u32 *value) {
    if (field.empty() || field.size() > 8) return false;
    u32 v = 0;
    for (const char c : field) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        v = v << 4 | static_cast<u32>(digit);
    }
    *value = v;
    return true;
}

bool parseEvent(std::string_view field, int *event) {
    if (field == "add") {
        *event = PLATFORM_PLAYER_ADD;
        return true;
    }
    if (field == "remove") {
        *event = PLATFORM_PLAYER_REMOVE;
        return true;
    }
    u32 number = 0;
    if (field.size() > 4 || !parseHex(field, &number)) return false;
    *event = static_cast<int>(number);
    return true;
}

class FifoPlayers final : public platform_player_events {
  public:
    FifoPlayers(std::string events_path, std::string devices_path)
        : events_path_(std::move(events_path)), devices_path_(std::move(devices_path)) {}
    FifoPlayers(const FifoPlayers &) = delete;
    FifoPlayers &operator=(const FifoPlayers &) = delete;
    ~FifoPlayers() override { unsubscribe(); }

    int list(std::vector<platform_player> *players) override {
        players->clear();
        if (devices_path_.empty()) return 0;
        for (const std::string &line : platform_read_lines(devices_path_.c_str(), kMaxPlayers)) {
            platform_player p;
            if (platform_parse_player_line(line, false, nullptr, &p)) players->push_back(std::move(p));
        }
        return static_cast<int>(players->size());
    }

    int subscribe(platform_player_callback callback, void *user) override {
        if (running_) return -EBUSY;
        if (!fifo_.open(events_path_.c_str())) return -errno;
        if (pipe2(stop_, O_CLOEXEC) != 0) return -errno;
        callback_ = callback;
        user_ = user;
        thread_ = sys_thread_start({"usbmux stand-in", kThreadStack, SCHED_OTHER, 0}, run, this);
        running_ = true;
        return 0;
    }

    void unsubscribe() override {
        if (!running_) return;
        const char stop = 1;
        while (write(stop_[1], &stop, 1) < 0 && errno == EINTR) {
        }
        pthread_join(thread_, nullptr);
        close(stop_[0]);
        close(stop_[1]);
        running_ = false;
    }

  private:
    static void *run(void *self) {
        static_cast<FifoPlayers *>(self)->serve();
        return nullptr;
    }

    void serve() {
        for (;;) {
            pollfd entries[2] = {{stop_[0], POLLIN, 0}, {fifo_.fd(), POLLIN, 0}};
            if (poll(entries, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (entries[0].revents != 0) return;
            std::string line;
            while (fifo_.next_line(&line)) {
                int event = 0;
                platform_player p;
                if (platform_parse_player_line(line, true, &event, &p)) callback_(event, p, user_);
            }
        }
    }

    std::string events_path_;
    std::string devices_path_;
    platform_line_fifo fifo_;
    int stop_[2] = {-1, -1};
    pthread_t thread_{};
    bool running_ = false;
    platform_player_callback callback_ = nullptr;
    void *user_ = nullptr;
};

} // namespace

bool platform_parse_player_line(std::string_view line, bool with_event, int *event, platform_player *player) {
    const std::vector<std::string_view> fields = sys_split_fields(line, 5);
    const std::size_t first = with_event ? 1 : 0;
    if (fields.size() != first + 3) return false;
    int kind = 0;
    if (with_event && !parseEvent(fields[0], &kind)) return false;
    platform_player p;
    if (!parseHex(fields[first], &p.handle) || !parseHex(fields[first + 1], &p.product_id)) return false;
    p.uuid = sys_unescape_octal(fields[first + 2]);
    if (p.uuid.size() > PLATFORM_PLAYER_UUID_MAX) p.uuid.resize(PLATFORM_PLAYER_UUID_MAX);
    if (with_event) *event = kind;
    *player = std::move(p);
    return true;
}

std::unique_ptr<platform_player_events> platform_player_events_open_fifo(const char *events_path,
                                                                         const char *devices_path) {
    return std::make_unique<FifoPlayers>(events_path, devices_path != nullptr ? devices_path : "");
}
