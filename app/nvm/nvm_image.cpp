#include "app/nvm/nvm_image.h"

#include "app/device/text_format.h"
#include "app/device/text_parsing.h"

namespace kqa::nvm {
namespace {

constexpr ByteRange kKept[] = {{0x04, 0x09}, {0x3A, 0x3A}, {0x52, 0x6D}, {0x78, 0x9B}, {0xA6, 0xC9}};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<MacAddress> ParseMacText(std::string_view text) {
  text = Trim(text);
  MacAddress mac{};
  if (text.size() != 2 * mac.size() || !device::HexToBytes(mac, text)) return std::nullopt;
  return mac;
}

std::string FormatMac(const MacAddress& mac) {
  return device::Format("%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}

std::span<const ByteRange> KeptByTxPower() {
  return kKept;
}

void KeepCurrentTxPower(std::span<std::uint8_t> target, std::span<const std::uint8_t> current) {
  for (const ByteRange& range : kKept)
    for (std::size_t at = range.first; at <= range.last; ++at) target[at] = current[at];
}

}  // namespace kqa::nvm
