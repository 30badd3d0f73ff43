// The choice between the unit's source of block-device events and the host's named pipe.
#include "platform/block_events.h"

#include <cstdlib>

std::unique_ptr<platform_block_events> platform_block_events_open() {
    const char *events = std::getenv("DECKHOST_UDEV_EVENTS");
    if (events == nullptr || *events == '\0') return platform_block_events_open_udev();
    return platform_block_events_open_fifo(events, std::getenv("DECKHOST_UDEV_DEVICES"));
}
