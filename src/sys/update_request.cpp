#include "sys/update_request.h"

#include <cstdint>

namespace {

constexpr std::string_view kTag = "update:";

} // namespace

bool sys_update_parse(std::string_view chunk, std::string *path) {
    chunk = chunk.substr(0, chunk.find('\0'));
    const std::size_t tag = chunk.find(kTag);
    if (tag == std::string_view::npos) return false;
    std::string_view rest = chunk.substr(tag + kTag.size());
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos && chunk.size() >= SYS_UPDATE_READ_MAX) return false;
    rest = rest.substr(0, end);
    if (rest.empty()) return false;
    path->assign(rest);
    return true;
}

u32 sys_update_offers::add(const std::string &path) {
    Offer *slot = &offers_[0];
    for (Offer &offer : offers_) {
        if (offer.number == 0) {
            slot = &offer;
            break;
        }
        // The oldest offer lies furthest behind the next number (counted modulo 2^32).
        if (offer.number - next_ < slot->number - next_) slot = &offer;
    }
    slot->number = next_;
    slot->path = path;
    next_ = next_ == UINT32_MAX ? 1 : next_ + 1;
    return slot->number;
}

bool sys_update_offers::take(u32 number, std::string *path) {
    if (number == 0) return false;
    for (Offer &offer : offers_) {
        if (offer.number != number) continue;
        *path = std::move(offer.path);
        offer = Offer{};
        return true;
    }
    return false;
}
