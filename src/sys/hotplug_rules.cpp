#include "sys/hotplug_rules.h"

#include <array>

namespace {

struct PlayerModel {
    u32 product_id;
    const char *name;
};

constexpr std::array<PlayerModel, 13> kPlayerModels{{
    {0x1290, "iPhone"},
    {0x1291, "iPod touch"},
    {0x1292, "iPhone 3G"},
    {0x1293, "iPod touch 2G"},
    {0x1294, "iPhone 3GS"},
    {0x1297, "iPhone 4 GSM"},
    {0x1299, "iPod touch 3G"},
    {0x129A, "iPad"},
    {0x129C, "iPhone 4 CDMA"},
    {0x129E, "iPod touch 4G"},
    {0x129F, "iPad 2 Wi-Fi"},
    {0x12A2, "iPad 2 GSM"},
    {0x12A3, "iPad 2 CDMA"},
}};

const char *modelName(u32 product_id) {
    for (const PlayerModel &model : kPlayerModels) {
        if (model.product_id == product_id) return model.name;
    }
    return "iPod";
}

} // namespace

std::string udev_fs_uuid(std::string_view uuid) {
    return std::string(uuid.substr(0, UDEV_FS_UUID_MAX));
}

bool udev_uuid_is_short(std::string_view uuid) {
    return uuid.size() < UDEV_FS_UUID_MIN;
}

std::string udev_friendly_name(std::string_view label) {
    return label.empty() ? "Unknown Device" : std::string(label);
}

std::string udev_player_name(u32 product_id, int number) {
    return std::string(modelName(product_id)) + " #" + std::to_string(number);
}

std::string udev_disk_name(std::string_view dev_path) {
    const std::size_t slash = dev_path.rfind('/');
    std::string_view name = slash == std::string_view::npos ? dev_path : dev_path.substr(slash + 1);
    const std::size_t digit = name.find_first_of("0123456789");
    if (digit != std::string_view::npos) name = name.substr(0, digit);
    return std::string(name.substr(0, UDEV_DISK_NAME_MAX));
}
