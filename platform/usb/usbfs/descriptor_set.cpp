#include "platform/usb/usbfs/descriptor_set.h"

#include "platform/bytes/little_endian.h"

namespace kqa::usb::usbfs {
namespace {

constexpr std::size_t kDeviceLength = 18;
constexpr std::size_t kConfigurationLength = 9;

// GET_DESCRIPTOR of `type`/`index` for `length` bytes; the bytes the device
// sent, or nullopt when it failed.
std::optional<std::vector<std::uint8_t>> GetDescriptor(UsbDeviceModel& model, std::uint8_t type,
                                                       std::uint8_t index, std::uint16_t length) {
  std::vector<std::uint8_t> bytes(length);
  const SetupPacket setup{kStandardInDevice, kGetDescriptor, static_cast<std::uint16_t>(type << 8 | index), 0,
                          length};
  const TransferResult result = model.controlTransfer(setup, bytes);
  if (!result.ok()) return std::nullopt;
  bytes.resize(std::min<std::size_t>(result.length, length));
  return bytes;
}

// Calls `visit(type, descriptor)` for each descriptor after the header of a
// configuration set, stopping at a malformed length.
template <class Visit>
void ForEachDescriptor(std::span<const std::uint8_t> set, Visit visit) {
  std::size_t at = set.empty() ? 0 : set[0];
  while (at + 2 <= set.size()) {
    const std::uint8_t length = set[at];
    if (length < 2 || at + length > set.size()) return;
    visit(set[at + 1], set.subspan(at, length));
    at += length;
  }
}

}  // namespace

std::optional<DescriptorSet> DescriptorSet::Read(UsbDeviceModel& model, std::string& error) {
  auto device = GetDescriptor(model, kDeviceDescriptor, 0, kDeviceLength);
  if (!device || device->size() != kDeviceLength || (*device)[1] != kDeviceDescriptor) {
    error = "the device does not give its 18-byte device descriptor";
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes = *device;
  for (std::uint8_t index = 0; index < bytes[17]; ++index) {
    const auto header = GetDescriptor(model, kConfigurationDescriptor, index, kConfigurationLength);
    if (!header || header->size() != kConfigurationLength) {
      error = "the device does not give the header of configuration " + std::to_string(index);
      return std::nullopt;
    }
    const auto set = GetDescriptor(model, kConfigurationDescriptor, index, GetLe16(*header, 2));
    if (!set) {
      error = "the device does not give configuration " + std::to_string(index);
      return std::nullopt;
    }
    bytes.insert(bytes.end(), set->begin(), set->end());
  }
  auto parsed = Parse(std::move(bytes));
  if (!parsed) error = "the device's descriptors are malformed";
  return parsed;
}

std::optional<DescriptorSet> DescriptorSet::Parse(std::vector<std::uint8_t> bytes) {
  if (bytes.size() < kDeviceLength || bytes[0] != kDeviceLength || bytes[1] != kDeviceDescriptor)
    return std::nullopt;
  std::size_t at = kDeviceLength;
  for (std::uint8_t index = 0; index < bytes[17]; ++index) {
    if (at + kConfigurationLength > bytes.size() || bytes[at + 1] != kConfigurationDescriptor) return std::nullopt;
    const std::size_t total = GetLe16(bytes, at + 2);
    if (total < kConfigurationLength || at + total > bytes.size()) return std::nullopt;
    at += total;
  }
  return DescriptorSet(std::move(bytes));
}

std::uint16_t DescriptorSet::vendorId() const { return GetLe16(bytes_, 8); }
std::uint16_t DescriptorSet::productId() const { return GetLe16(bytes_, 10); }
std::uint16_t DescriptorSet::release() const { return GetLe16(bytes_, 12); }

std::span<const std::uint8_t> DescriptorSet::configuration(std::uint8_t value) const {
  std::size_t at = kDeviceLength;
  for (std::uint8_t index = 0; index < numConfigurations(); ++index) {
    const std::size_t total = GetLe16(bytes_, at + 2);
    if (bytes_[at + 5] == value) return std::span(bytes_).subspan(at, total);
    at += total;
  }
  return {};
}

bool DescriptorSet::hasConfiguration(std::uint8_t value) const { return !configuration(value).empty(); }

bool DescriptorSet::hasInterface(std::uint8_t configurationValue, std::uint8_t number,
                                 std::uint8_t alternate) const {
  bool found = false;
  ForEachDescriptor(configuration(configurationValue), [&](std::uint8_t type, auto descriptor) {
    found = found || (type == kInterfaceDescriptor && descriptor.size() >= 4 && descriptor[2] == number &&
                      descriptor[3] == alternate);
  });
  return found;
}

std::optional<std::uint8_t> DescriptorSet::endpointInterface(std::uint8_t configurationValue,
                                                             std::uint8_t address) const {
  std::optional<std::uint8_t> found;
  std::optional<std::uint8_t> interface;  // the alternate setting 0 being read, if any
  ForEachDescriptor(configuration(configurationValue), [&](std::uint8_t type, auto descriptor) {
    if (type == kInterfaceDescriptor && descriptor.size() >= 4)
      interface = descriptor[3] == 0 ? std::optional<std::uint8_t>(descriptor[2]) : std::nullopt;
    if (type == kEndpointDescriptor && descriptor.size() >= 3 && descriptor[2] == address && interface && !found)
      found = interface;
  });
  return found;
}

}  // namespace kqa::usb::usbfs
