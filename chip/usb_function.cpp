#include "chip/usb_function.h"

#include <algorithm>
#include <vector>

namespace kqa::chip {

namespace {

using usb::TransferResult;
using usb::TransferStatus;

constexpr std::uint8_t kRecipientDevice = 0;
constexpr std::uint8_t kRecipientInterface = 1;
constexpr std::uint8_t kRecipientEndpoint = 2;
constexpr std::uint16_t kEndpointHalt = 0;

TransferResult Stall() { return {TransferStatus::Stall, 0}; }
TransferResult Done(std::size_t length = 0) { return {TransferStatus::Completed, length}; }

TransferResult Send(const std::vector<std::uint8_t>& bytes, std::span<std::uint8_t> data) {
  const std::size_t length = std::min(bytes.size(), data.size());
  std::copy_n(bytes.begin(), length, data.begin());
  return Done(length);
}

}  // namespace

void UsbFunction::attach(UsbIdentity identity) {
  identity_ = std::move(identity);
  address_ = 0;
  configuration_ = 0;
  bulk_.clearHalts();
  bulk_.setLink(BulkEngine::Link::Unconfigured);
}

TransferResult UsbFunction::handle(const usb::SetupPacket& setup, std::span<std::uint8_t> data) {
  const bool in = setup.isDeviceToHost();
  const std::uint8_t type = (setup.bmRequestType >> 5) & 3;
  const std::uint8_t recipient = setup.bmRequestType & 0x1F;
  if (type != 0) return Stall();

  switch (setup.bRequest) {
    case usb::kGetStatus:
      return in ? getStatus(setup, data) : Stall();
    case usb::kClearFeature:
    case usb::kSetFeature:
      if (in || recipient != kRecipientEndpoint || setup.wValue != kEndpointHalt || setup.wLength != 0) return Stall();
      return setEndpointHalt(setup, setup.bRequest == usb::kSetFeature);
    case usb::kSetAddress:
      if (in || recipient != kRecipientDevice || setup.wValue > 127 || setup.wIndex != 0 || setup.wLength != 0)
        return Stall();
      address_ = static_cast<std::uint8_t>(setup.wValue);
      return Done();
    case usb::kGetDescriptor:
      return in && recipient == kRecipientDevice ? getDescriptor(setup, data) : Stall();
    case usb::kGetConfiguration:
      if (!in || recipient != kRecipientDevice || setup.wLength != 1) return Stall();
      data[0] = configuration_;
      return Done(1);
    case usb::kSetConfiguration:
      if (in || recipient != kRecipientDevice || setup.wLength != 0) return Stall();
      return setConfiguration(setup);
    case usb::kGetInterface:
      if (!in || recipient != kRecipientInterface || configuration_ == 0 || setup.wIndex != 0 || setup.wLength != 1)
        return Stall();
      data[0] = 0;  // the one alternate setting
      return Done(1);
    case usb::kSetInterface:
      if (in || recipient != kRecipientInterface || configuration_ == 0 || setup.wIndex != 0 ||
          setup.wValue != 0 || setup.wLength != 0)
        return Stall();
      bulk_.clearHalts();
      return Done();
    default:
      return Stall();
  }
}

TransferResult UsbFunction::getDescriptor(const usb::SetupPacket& setup, std::span<std::uint8_t> data) {
  const std::uint8_t type = static_cast<std::uint8_t>(setup.wValue >> 8);
  const std::uint8_t index = static_cast<std::uint8_t>(setup.wValue);
  switch (type) {
    case usb::kDeviceDescriptor:
      return index == 0 ? Send(DeviceDescriptor(identity_), data) : Stall();
    case usb::kConfigurationDescriptor:
      return index == 0 ? Send(ConfigurationDescriptor(), data) : Stall();
    case usb::kStringDescriptor:
      if (index >= identity_.strings.size() || identity_.strings[index].empty()) return Stall();
      return Send(identity_.strings[index], data);
    default:
      return Stall();  // no device qualifier: the chip answers as a high-speed-only device
  }
}

TransferResult UsbFunction::getStatus(const usb::SetupPacket& setup, std::span<std::uint8_t> data) {
  if (setup.wLength != 2 || setup.wValue != 0) return Stall();
  std::uint16_t status = 0;
  switch (setup.bmRequestType & 0x1F) {
    case kRecipientDevice:
      status = 0;  // bus powered, no remote wake-up
      break;
    case kRecipientInterface:
      if (configuration_ == 0 || setup.wIndex != 0) return Stall();
      break;
    case kRecipientEndpoint:
      if ((setup.wIndex & 0x7F) == 0) break;  // endpoint 0
      if (!isConfiguredEndpoint(setup.wIndex)) return Stall();
      status = bulk_.halted(static_cast<std::uint8_t>(setup.wIndex)) ? 1 : 0;
      break;
    default:
      return Stall();
  }
  data[0] = static_cast<std::uint8_t>(status);
  data[1] = static_cast<std::uint8_t>(status >> 8);
  return Done(2);
}

TransferResult UsbFunction::setEndpointHalt(const usb::SetupPacket& setup, bool halted) {
  if ((setup.wIndex & 0x7F) == 0) return Done();  // endpoint 0 clears itself
  if (!isConfiguredEndpoint(setup.wIndex)) return Stall();
  bulk_.setHalted(static_cast<std::uint8_t>(setup.wIndex), halted);
  return Done();
}

TransferResult UsbFunction::setConfiguration(const usb::SetupPacket& setup) {
  if (setup.wValue != 0 && setup.wValue != kConfigurationValue) return Stall();
  configuration_ = static_cast<std::uint8_t>(setup.wValue);
  bulk_.clearHalts();
  bulk_.setLink(configuration_ != 0 ? BulkEngine::Link::Configured : BulkEngine::Link::Unconfigured);
  return Done();
}

bool UsbFunction::isConfiguredEndpoint(std::uint16_t index) const {
  return configuration_ != 0 && index <= 0xFF && IsBulkEndpoint(static_cast<std::uint8_t>(index));
}

}  // namespace kqa::chip
