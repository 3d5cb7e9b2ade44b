#include "app/sniffer/capture_filter.h"

#include <algorithm>

#include "app/device/text_parsing.h"

namespace kqa::sniffer {

namespace {

// The MAC edit's text without the blanks around it.
std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

bool CaptureFilter::keeps(const PacketRow& row) const {
  if (!beacon && row.isBeacon()) return false;
  if (!crcError && row.has(PacketRow::kCrcError)) return false;
  if (std::all_of(address.begin(), address.end(), [](std::uint8_t b) { return b == 0; }))
    return true;
  for (std::size_t n = 0; n < 3; ++n) {
    const MacAddress* candidate = row.address(n);
    if (candidate != nullptr && *candidate == address) return true;
  }
  return false;
}

std::optional<MacAddress> ParseMacFilter(std::string_view text) {
  text = Trim(text);
  MacAddress address{};
  if (text.size() != 2 * address.size() || !device::HexToBytes(address, text)) return std::nullopt;
  return address;
}

std::string MacFilterProblem(std::string_view text) {
  return "MAC address filter: \"" + std::string(Trim(text)) +
         "\" is not 12 hexadecimal digits.\nEnter 12 hexadecimal digits (0-9, A-F), for example "
         "024B51000001; 000000000000 lists every address.";
}

bool ApplyFrameKinds(CaptureFilter& filter, std::string_view list, std::string& problem) {
  bool beacon = false;
  bool crcError = false;
  if (Trim(list) != "none") {
    while (true) {
      const std::size_t comma = list.find(',');
      const std::string_view name = Trim(list.substr(0, comma));
      if (name == "beacon") {
        beacon = true;
      } else if (name == "crc-error") {
        crcError = true;
      } else {
        problem =
            "unknown frame kind \"" + std::string(name) + "\" (use beacon, crc-error or none)";
        return false;
      }
      if (comma == std::string_view::npos) break;
      list.remove_prefix(comma + 1);
    }
  }
  filter.beacon = beacon;
  filter.crcError = crcError;
  return true;
}

}  // namespace kqa::sniffer
