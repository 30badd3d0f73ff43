// The hot-plug listener's thread: it waits for the user interface, reports the drives and
// players present, then follows the device manager's events until the shutdown command.
#include "sys/hotplug.h"

#include "sys/hotplug_internal.h"
#include "sys/systhread.h"
#include "sys/verbose.h"

#include <csignal>
#include <cstdio>
#include <iterator>

namespace {

constexpr std::size_t kThreadStack = 512 * 1024;
constexpr int kMsgCount = static_cast<int>(std::size(udev_msgs));

struct Listener {
    msgq *queue = nullptr;
    pthread_t thread{};
    bool running = false;
};

Listener listener;

// Returns: true once the user interface has announced itself, false on the shutdown command.
bool waitForInterface(msgq *queue) {
    msg m{};
    for (;;) {
        if (q_get(queue, &m, nullptr, Q_WAIT_FOREVER) < 0) continue;
        const u16 name = msg_get_name(&m);
        if (name == mShutdownCmd) return false;
        if (name == mModuleInit && m.sysex.id == MODULE_LCD) return true;
    }
}

void reportDrivesPresent(platform_block_events &events) {
    for (const platform_block_device &device : events.enumerate()) udev_handle_block(device);
    if (!udev_table().empty()) return;
    if (verbose) std::printf("UDEV: No devices attached, sending mAllDevicesLoaded\n");
    msg m{};
    msg_stuff_sysex0(&m, mAllDevicesLoaded);
    q_put(nullptr, &m, Q_PRIORITY, Q_WAIT_FOREVER);
}

void playerEvent(int event, const platform_player &player, void *) {
    udev_player_event(event, player);
}

void followPlayers(platform_player_events &players) {
    std::vector<platform_player> present;
    const int count = players.list(&present);
    std::printf("UDEV: Usbmuxd: %d devices detected.\n", count);
    for (const platform_player &player : present) udev_player_event(PLATFORM_PLAYER_ADD, player);
    const int rc = players.subscribe(playerEvent, nullptr);
    if (rc != 0) std::printf("UDEV: Error registering usbmuxd callback: %d\n", rc);
}

void handleEvents(platform_block_events &events) {
    platform_block_device device;
    while (events.receive(&device)) {
        std::printf("   Node: %s\n", device.devnode.c_str());
        std::printf("   Subsystem: %s\n", device.subsystem.c_str());
        std::printf("   Devtype: %s\n", device.devtype.c_str());
        std::printf("   Action: %s\n", device.action.c_str());
        udev_handle_block(device);
    }
}

// Follows the events until the shutdown command.
void listen(msgq *queue, platform_block_events &events) {
    for (;;) {
        const int fd = events.fd();
        int changed = -1;
        switch (q_poll_array(queue, 1, &fd, Q_WAIT_FOREVER, &changed)) {
        case Q_POLL_MSG_READY: {
            msg m{};
            if (q_get(queue, &m, nullptr, Q_WAIT_FOREVER) > 0 && msg_get_name(&m) == mShutdownCmd) return;
            break;
        }
        case Q_POLL_FILE_READY:
            handleEvents(events);
            break;
        default:
            std::fprintf(stderr, "UDEV: Unexpected poll result\n");
            raise(SIGABRT);
            return;
        }
    }
}

void run(msgq *queue) {
    std::unique_ptr<platform_block_events> events = platform_block_events_open();
    if (events == nullptr) {
        std::fprintf(stderr, "Can't create udev\n");
        raise(SIGABRT);
        return;
    }
    udev_set_stopping(false);
    reportDrivesPresent(*events);
    std::unique_ptr<platform_player_events> players = platform_player_events_open();
    followPlayers(*players);
    listen(queue, *events);
    // The multiplexer's thread must be done with the table before it goes.
    udev_set_stopping(true);
    players->unsubscribe();
    udev_table().clear();
}

void *listenerThread(void *arg) {
    auto *queue = static_cast<msgq *>(arg);
    if (waitForInterface(queue)) run(queue);
    q_unregister(queue, udev_msgs, kMsgCount);
    q_destroy(queue);
    return nullptr;
}

} // namespace

udev_device_table &udev_table() {
    static udev_device_table table;
    return table;
}

void udev_broadcast_block(u16 name, usb_block_info *info) {
    msg m{};
    msg_stuff_block(&m, name, info);
    q_put(nullptr, &m, Q_PRIORITY, Q_WAIT_FOREVER);
}

void udev_listener_init() {
    listener.queue = q_create(UDEV_QUEUE_NAME, Q_TYPE_POLLABLE, UDEV_QUEUE_DEPTH);
    q_register(listener.queue, udev_msgs, kMsgCount);
    listener.thread =
        sys_thread_start({"udev", kThreadStack, SCHED_OTHER, 0}, listenerThread, listener.queue);
    listener.running = true;
}

void udev_listener_destroy() {
    if (!listener.running) return;
    pthread_join(listener.thread, nullptr);
    listener.running = false;
    listener.queue = nullptr;
}
