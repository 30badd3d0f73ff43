// Apple portable players as their multiplexer reports them: the ones connected now, and
// events of players coming and going, delivered on a thread of the source's own. On the unit
// the source is libusbmuxd; on a host, DECKHOST_USBMUX_EVENTS names a named pipe that a test
// writes event lines into, one per event:
//   <event> <handle> <product id> <uuid>     (event: "add", "remove" or a number; hexadecimal
//                                             handle and product id)
// and DECKHOST_USBMUX_DEVICES a file of the players connected at start, one per line:
//   <handle> <product id> <uuid>
#pragma once

#include "orvsys/orvint.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The multiplexer's event kinds; others may come and are passed on as they are.
inline constexpr int PLATFORM_PLAYER_ADD = 1;
inline constexpr int PLATFORM_PLAYER_REMOVE = 2;
// A player's UUID is cut to this many characters.
inline constexpr std::size_t PLATFORM_PLAYER_UUID_MAX = 40;

struct platform_player {
    u32 handle = 0;
    u32 product_id = 0; // the USB product id: the player's model
    std::string uuid;
};

using platform_player_callback = void (*)(int event, const platform_player &player, void *user);

class platform_player_events {
  public:
    virtual ~platform_player_events() = default;

    // Returns: the number of players connected now, with *players set to them; a negative
    // error code (and no players) when the multiplexer cannot be asked.
    virtual int list(std::vector<platform_player> *players) = 0;

    // Needs: callback not null; at most one subscription at a time.
    // Returns: 0 once callback is called, on another thread, for each later event; a negative
    // error code otherwise.
    virtual int subscribe(platform_player_callback callback, void *user) = 0;

    // Guarantees: once it returns, the callback is not running and never called again.
    virtual void unsubscribe() = 0;
};

// Returns: the source of portable-player events (never null).
std::unique_ptr<platform_player_events> platform_player_events_open();

// The host's sources, for the chooser above.
std::unique_ptr<platform_player_events> platform_player_events_open_usbmuxd();
std::unique_ptr<platform_player_events> platform_player_events_open_fifo(const char *events_path,
                                                                         const char *devices_path);

// Needs: line is one line of the host's formats; with_event tells whether it starts with the
// event (an event line) or not (a player connected at start).
// Returns: true with *event (when with_event) and *player set; false for a line that does not
// hold the fields it needs.
bool platform_parse_player_line(std::string_view line, bool with_event, int *event, platform_player *player);
