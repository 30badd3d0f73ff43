// Portable players from libusbmuxd, which calls back on its own thread.
#include "platform/player_events.h"

#include <algorithm>
#include <cstring>
#include <usbmuxd.h>

namespace {

platform_player describe(const usbmuxd_device_info_t &info) {
    platform_player p;
    p.handle = info.handle;
    p.product_id = info.product_id;
    p.uuid.assign(info.udid, strnlen(info.udid, std::min(sizeof info.udid, PLATFORM_PLAYER_UUID_MAX)));
    return p;
}

class UsbmuxdEvents final : public platform_player_events {
  public:
    UsbmuxdEvents() = default;
    UsbmuxdEvents(const UsbmuxdEvents &) = delete;
    UsbmuxdEvents &operator=(const UsbmuxdEvents &) = delete;
    ~UsbmuxdEvents() override { unsubscribe(); }

    int list(std::vector<platform_player> *players) override {
        players->clear();
        usbmuxd_device_info_t *devices = nullptr;
        const int count = usbmuxd_get_device_list(&devices);
        if (count < 0) return count;
        for (int i = 0; i < count; ++i) players->push_back(describe(devices[i]));
        usbmuxd_device_list_free(&devices);
        return count;
    }

    int subscribe(platform_player_callback callback, void *user) override {
        callback_ = callback;
        user_ = user;
        const int rc = usbmuxd_events_subscribe(&context_, relay, this);
        if (rc != 0) context_ = nullptr;
        return rc;
    }

    void unsubscribe() override {
        if (context_ == nullptr) return;
        usbmuxd_events_unsubscribe(context_);
        context_ = nullptr;
    }

  private:
    static void relay(const usbmuxd_event_t *event, void *self) {
        auto *source = static_cast<UsbmuxdEvents *>(self);
        source->callback_(event->event, describe(event->device), source->user_);
    }

    usbmuxd_subscription_context_t context_ = nullptr;
    platform_player_callback callback_ = nullptr;
    void *user_ = nullptr;
};

} // namespace

std::unique_ptr<platform_player_events> platform_player_events_open_usbmuxd() {
    return std::make_unique<UsbmuxdEvents>();
}
