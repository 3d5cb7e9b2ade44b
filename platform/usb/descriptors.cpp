#include "platform/usb/descriptors.h"

#include <algorithm>

#include "platform/bytes/little_endian.h"

namespace kqa::usb {
namespace {

constexpr std::size_t kConfigurationLength = 9;
constexpr std::size_t kInterfaceLength = 9;
constexpr std::size_t kEndpointLength = 7;

}  // namespace

std::optional<ConfigurationHeader> ParseConfigurationHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kConfigurationLength || bytes[0] < kConfigurationLength ||
      bytes[1] != kConfigurationDescriptor)
    return std::nullopt;
  ConfigurationHeader header;
  header.totalLength = GetLe16(bytes, 2);
  header.numInterfaces = bytes[4];
  header.configurationValue = bytes[5];
  return header;
}

std::optional<InterfaceInformation> FindFirstInterface(std::span<const std::uint8_t> configuration) {
  const auto header = ParseConfigurationHeader(configuration);
  if (!header) return std::nullopt;
  const std::size_t end = std::min<std::size_t>(configuration.size(), header->totalLength);

  std::optional<InterfaceInformation> found;
  std::size_t offset = configuration[0];
  while (offset + 2 <= end) {
    const std::uint8_t length = configuration[offset];
    const std::uint8_t type = configuration[offset + 1];
    if (length < 2 || offset + length > end) break;  // malformed: stop reading
    const auto descriptor = configuration.subspan(offset, length);
    if (type == kInterfaceDescriptor && length >= kInterfaceLength) {
      if (found) break;  // the next interface begins: the first one is complete
      found = InterfaceInformation{descriptor[2], descriptor[3], {}};
    } else if (type == kEndpointDescriptor && length >= kEndpointLength && found) {
      PipeInformation pipe;
      pipe.endpointAddress = descriptor[2];
      pipe.pipeType = descriptor[3] & 0x03;
      pipe.maximumPacketSize = GetLe16(descriptor, 4);
      found->pipes.push_back(pipe);
    }
    offset += length;
  }
  return found;
}

}  // namespace kqa::usb
