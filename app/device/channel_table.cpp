#include "app/device/channel_table.h"

#include <array>

namespace kqa::device {
namespace {

constexpr ChannelParams Row(std::uint32_t channel, int mhz, std::uint8_t r20, std::uint8_t r17,
                            std::uint8_t r18, std::uint8_t r19) {
  return {channel, mhz / 1000.0, mhz * 4.0 / 3.0, r20, 0, 1.0, 0, 0, r17, r18, r19};
}

constexpr std::array<ChannelParams, kChannelCount> kParams = {
    Row(1, 2412, 0x50, 0x99, 0x99, 0x01),  Row(2, 2417, 0x50, 0x46, 0x44, 0x02),
    Row(3, 2422, 0x50, 0xEC, 0xEE, 0x02),  Row(4, 2427, 0x50, 0x99, 0x99, 0x03),
    Row(5, 2432, 0x51, 0x46, 0x44, 0x00),  Row(6, 2437, 0x51, 0xEC, 0xEE, 0x00),
    Row(7, 2442, 0x51, 0x99, 0x99, 0x01),  Row(8, 2447, 0x51, 0x46, 0x44, 0x02),
    Row(9, 2452, 0x51, 0xEC, 0xEE, 0x02),  Row(10, 2457, 0x51, 0x99, 0x99, 0x03),
    Row(11, 2462, 0x52, 0x46, 0x44, 0x00), Row(12, 2467, 0x52, 0xEC, 0xEE, 0x00),
    Row(13, 2472, 0x52, 0x99, 0x99, 0x01), Row(14, 2484, 0x52, 0x33, 0x33, 0x03),
};

constexpr std::array<std::string_view, kChannelCount> kNames = {
    "    1  2412-MHz", "    2  2417-MHz", "    3  2422-MHz", "    4  2427-MHz",
    "    5  2432-MHz", "    6  2437-MHz", "    7  2442-MHz", "    8  2447-MHz",
    "    9  2452-MHz", "  10  2457-MHz",   "  11  2462-MHz",   "  12  2467-MHz",
    "  13  2472-MHz",  "  14  2484-MHz",
};

constexpr std::array<std::uint16_t, kChannelCount> kList = {1, 2,  3,  4,  5,  6,  7,
                                                            8, 9, 10, 11, 12, 13, 14};

}  // namespace

std::span<const ChannelParams> ChannelParamTable() { return kParams; }
std::span<const std::string_view> ChannelNames() { return kNames; }
std::span<const std::uint16_t> ChannelList() { return kList; }

}  // namespace kqa::device
