// The choice between the unit's portable-player multiplexer and the host's named pipe.
#include "platform/player_events.h"

#include <cstdlib>

std::unique_ptr<platform_player_events> platform_player_events_open() {
    const char *events = std::getenv("DECKHOST_USBMUX_EVENTS");
    if (events == nullptr || *events == '\0') return platform_player_events_open_usbmuxd();
    return platform_player_events_open_fifo(events, std::getenv("DECKHOST_USBMUX_DEVICES"));
}
