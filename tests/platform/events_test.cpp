// The host's stand-ins for device events: the line formats, the named pipe read as lines, and
// the portable-player source calling back from its own thread.
#include "platform/block_events.h"
#include "platform/linefifo.h"
#include "platform/player_events.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

TEST(BlockLines, EventsAndDevicesPresent) {
    platform_block_device d;
    ASSERT_TRUE(platform_parse_block_line(
        "add /dev/sdb1 ID_FS_UUID=1234-ABCD ID_FS_LABEL=My\\040Songs idVendor=0781 idProduct=5567 "
        "manufacturer=San\\040Disk product=Cruzer serial=42 DEVTYPE=disk",
        true, &d));
    EXPECT_EQ(d.action, "add");
    EXPECT_TRUE(d.has_devnode);
    EXPECT_EQ(d.devnode, "/dev/sdb1");
    EXPECT_EQ(d.subsystem, "block");
    EXPECT_EQ(d.devtype, "disk");
    EXPECT_EQ(d.fs_uuid, "1234-ABCD");
    EXPECT_EQ(d.fs_label, "My Songs");
    EXPECT_TRUE(d.has_usb_parent);
    EXPECT_EQ(d.vendor_id, "0781");
    EXPECT_EQ(d.product_id, "5567");
    EXPECT_EQ(d.manufacturer, "San Disk");
    EXPECT_EQ(d.product, "Cruzer");
    EXPECT_EQ(d.serial, "42");

    ASSERT_TRUE(platform_parse_block_line("- USB=0", false, &d));
    EXPECT_EQ(d.action, "");
    EXPECT_FALSE(d.has_devnode);
    EXPECT_FALSE(d.has_usb_parent);
    EXPECT_EQ(d.devtype, "partition");
    EXPECT_EQ(d.fs_uuid, "");
}

TEST(BlockLines, BadLinesLeaveTheDeviceAlone) {
    const char *bad[] = {"", "add", "add /dev/sdb1 NOKEY", "add /dev/sdb1 COLOR=red", "   "};
    for (const char *line : bad) {
        platform_block_device d;
        d.devnode = "kept";
        EXPECT_FALSE(platform_parse_block_line(line, true, &d)) << line;
        EXPECT_EQ(d.devnode, "kept");
    }
    platform_block_device d;
    EXPECT_FALSE(platform_parse_block_line("", false, &d));
}

TEST(PlayerLines, EventsAndPlayersPresent) {
    struct Case {
        std::string line;
        bool with_event;
        bool ok;
        int event;
        u32 handle, product_id;
        std::string uuid;
    };
    const std::string uuid41(41, 'a');
    const Case cases[] = {
        {"add 5 1292 abc", true, true, PLATFORM_PLAYER_ADD, 5, 0x1292, "abc"},
        {"remove ff 12A3 abc", true, true, PLATFORM_PLAYER_REMOVE, 0xff, 0x12A3, "abc"},
        {"3 1 1290 x", true, true, 3, 1, 0x1290, "x"},
        {"1 1290 x", false, true, 0, 1, 0x1290, "x"},
        {"ffffffff 1290 x", false, true, 0, 0xffffffff, 0x1290, "x"},
        // The UUID is cut to 40 characters.
        {"add 1 1290 " + uuid41, true, true, PLATFORM_PLAYER_ADD, 1, 0x1290, std::string(40, 'a')},
        {"add 1 1290", true, false, 0, 0, 0, ""},
        {"add 1 1290 x y", true, false, 0, 0, 0, ""},
        {"plug 1 1290 x", true, false, 0, 0, 0, ""},
        {"add 100000000 1290 x", true, false, 0, 0, 0, ""},
        {"add -1 1290 x", true, false, 0, 0, 0, ""},
        {"add 1 0x1290 x", true, false, 0, 0, 0, ""},
        {"1 1290 x", true, false, 0, 0, 0, ""},
    };
    for (const Case &c : cases) {
        int event = -7;
        platform_player p;
        ASSERT_EQ(platform_parse_player_line(c.line, c.with_event, &event, &p), c.ok) << c.line;
        if (!c.ok) continue;
        if (c.with_event) {
            EXPECT_EQ(event, c.event) << c.line;
        }
        EXPECT_EQ(p.handle, c.handle) << c.line;
        EXPECT_EQ(p.product_id, c.product_id) << c.line;
        EXPECT_EQ(p.uuid, c.uuid) << c.line;
    }
}

// Writes text into the pipe at path with a writer of its own, which then closes its end.
void writeOnce(const std::string &path, const std::string &text) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
}

TEST(LineFifo, LinesAcrossWritesAndWriters) {
    orvtest::TempDir dir;
    const std::string path = dir.file("events");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    platform_line_fifo fifo;
    ASSERT_TRUE(fifo.open(path.c_str()));
    std::string line;
    EXPECT_FALSE(fifo.next_line(&line));
    writeOnce(path, "first\nsec");
    ASSERT_TRUE(fifo.next_line(&line));
    EXPECT_EQ(line, "first");
    EXPECT_FALSE(fifo.next_line(&line));
    // A writer that closed leaves no hang-up: the pipe is not readable until the next one writes.
    pollfd entry{fifo.fd(), POLLIN, 0};
    EXPECT_EQ(poll(&entry, 1, 0), 0);
    writeOnce(path, "ond\n\nthird\n");
    ASSERT_TRUE(fifo.next_line(&line));
    EXPECT_EQ(line, "second");
    ASSERT_TRUE(fifo.next_line(&line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(fifo.next_line(&line));
    EXPECT_EQ(line, "third");
    EXPECT_FALSE(fifo.next_line(&line));
}

TEST(LineFifo, OverLongLinesAreDroppedWhole) {
    orvtest::TempDir dir;
    const std::string path = dir.file("events");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    platform_line_fifo fifo;
    ASSERT_TRUE(fifo.open(path.c_str()));
    const std::string huge(3 * platform_line_fifo::kMaxLine, 'x');
    std::string line;
    writeOnce(path, huge.substr(0, 2 * platform_line_fifo::kMaxLine));
    EXPECT_FALSE(fifo.next_line(&line));
    writeOnce(path, huge + "\nafter\n" + std::string(platform_line_fifo::kMaxLine + 1, 'y') + "\nlast\n");
    ASSERT_TRUE(fifo.next_line(&line));
    EXPECT_EQ(line, "after");
    ASSERT_TRUE(fifo.next_line(&line));
    EXPECT_EQ(line, "last");
    writeOnce(path, std::string(platform_line_fifo::kMaxLine, 'z') + "\n");
    ASSERT_TRUE(fifo.next_line(&line));
    EXPECT_EQ(line.size(), platform_line_fifo::kMaxLine);
}

TEST(LineFifo, OnlyANamedPipeOpens) {
    orvtest::TempDir dir;
    std::ofstream(dir.file("plain")) << "add /dev/sdb1\n";
    platform_line_fifo fifo;
    errno = 0;
    EXPECT_FALSE(fifo.open(dir.file("plain").c_str()));
    EXPECT_EQ(errno, ENODEV);
    EXPECT_FALSE(fifo.open(dir.file("missing").c_str()));
    EXPECT_EQ(fifo.fd(), -1);
    EXPECT_EQ(platform_block_events_open_fifo(dir.file("plain").c_str(), nullptr), nullptr);
}

TEST(BlockFifo, DevicesPresentAndEvents) {
    orvtest::TempDir dir;
    const std::string events = dir.file("events");
    ASSERT_EQ(mkfifo(events.c_str(), 0600), 0);
    std::ofstream(dir.file("devices")) << "/dev/sda1 ID_FS_UUID=a\nnot=a line with=a device\n/dev/sdb1\n";
    auto source = platform_block_events_open_fifo(events.c_str(), dir.file("devices").c_str());
    ASSERT_NE(source, nullptr);
    const std::vector<platform_block_device> present = source->enumerate();
    ASSERT_EQ(present.size(), 2u);
    EXPECT_EQ(present[0].devnode, "/dev/sda1");
    EXPECT_EQ(present[0].action, "");
    EXPECT_EQ(present[1].devnode, "/dev/sdb1");
    writeOnce(events, "add /dev/sdc1\nadd /dev/sdd1 NOKEY\nremove /dev/sdc1\n");
    platform_block_device d;
    ASSERT_TRUE(source->receive(&d));
    EXPECT_EQ(d.action, "add");
    ASSERT_TRUE(source->receive(&d));
    EXPECT_EQ(d.action, "remove");
    EXPECT_FALSE(source->receive(&d));
    // Without a devices file, nothing is present.
    auto bare = platform_block_events_open_fifo(events.c_str(), nullptr);
    ASSERT_NE(bare, nullptr);
    EXPECT_TRUE(bare->enumerate().empty());
}

// What the player callback saw, and on which thread.
struct Seen {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<int, platform_player>> events;
    bool on_other_thread = true;
    pthread_t test_thread = pthread_self();
};

void record(int event, const platform_player &player, void *user) {
    auto *seen = static_cast<Seen *>(user);
    const std::lock_guard<std::mutex> hold(seen->lock);
    if (pthread_equal(pthread_self(), seen->test_thread)) seen->on_other_thread = false;
    seen->events.emplace_back(event, player);
    seen->changed.notify_all();
}

TEST(PlayerFifo, ListsAndCallsBackUntilUnsubscribed) {
    orvtest::TempDir dir;
    const std::string events = dir.file("events");
    ASSERT_EQ(mkfifo(events.c_str(), 0600), 0);
    std::ofstream(dir.file("players")) << "1 1290 first\nbad\n2 12a2 second\n";
    auto source = platform_player_events_open_fifo(events.c_str(), dir.file("players").c_str());
    std::vector<platform_player> players;
    ASSERT_EQ(source->list(&players), 2);
    EXPECT_EQ(players[1].product_id, 0x12A2u);
    EXPECT_EQ(players[1].uuid, "second");

    Seen seen;
    ASSERT_EQ(source->subscribe(record, &seen), 0);
    EXPECT_EQ(source->subscribe(record, &seen), -EBUSY);
    writeOnce(events, "add 5 1292 abc\nremove 5 1292 abc\n");
    {
        std::unique_lock<std::mutex> hold(seen.lock);
        seen.changed.wait(hold, [&] { return seen.events.size() >= 2; });
    }
    source->unsubscribe();
    writeOnce(events, "add 6 1292 def\n");
    source->unsubscribe();
    const std::lock_guard<std::mutex> hold(seen.lock);
    ASSERT_EQ(seen.events.size(), 2u);
    EXPECT_EQ(seen.events[0].first, PLATFORM_PLAYER_ADD);
    EXPECT_EQ(seen.events[0].second.handle, 5u);
    EXPECT_EQ(seen.events[1].first, PLATFORM_PLAYER_REMOVE);
    EXPECT_TRUE(seen.on_other_thread);
}

TEST(PlayerFifo, NoPipeNoSubscription) {
    orvtest::TempDir dir;
    auto source = platform_player_events_open_fifo(dir.file("missing").c_str(), nullptr);
    std::vector<platform_player> players;
    EXPECT_EQ(source->list(&players), 0);
    EXPECT_LT(source->subscribe(record, nullptr), 0);
    source->unsubscribe();
}

} // namespace
