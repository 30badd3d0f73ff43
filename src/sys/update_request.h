// What the update watcher reads and remembers: the announcement an updater writes into the
// update pipe, and the update files offered to the user, each under a number that the pop-up
// carries and its answer brings back (a message's 32-bit field never holds a pointer).
#pragma once

#include "orvsys/orvint.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// One read of the pipe takes at most this many bytes.
inline constexpr std::size_t SYS_UPDATE_READ_MAX = 256;

// Needs: chunk is what one read of the pipe gave (at most SYS_UPDATE_READ_MAX bytes).
// Returns: true with *path set to the update file's path: the text after the first "update:"
// up to the first line end, or to the end of the read when it has none; the text ends at a
// NUL byte. False when chunk has no "update:", when the path is empty, or when a read that
// filled the whole buffer has no line end after "update:" (the path would be cut short).
bool sys_update_parse(std::string_view chunk, std::string *path);

// The update files offered and not yet answered. Numbers start at 1 and are never 0; when
// more files are pending than the table holds, the oldest is forgotten.
class sys_update_offers {
  public:
    static constexpr std::size_t kSlots = 8;

    // Returns: the number the path is offered under.
    u32 add(const std::string &path);

    // Returns: true with *path set, and the offer forgotten, for a pending number; false for
    // any other number (answered already, forgotten, never given).
    bool take(u32 number, std::string *path);

  private:
    struct Offer {
        u32 number = 0; // 0: free
        std::string path;
    };
    std::array<Offer, kSlots> offers_{};
    u32 next_ = 1;
};
