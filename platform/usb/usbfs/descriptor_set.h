#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/usb/device_model/usb_device_model.h"

namespace kqa::usb::usbfs {

// A device's descriptors as sysfs shows them in "descriptors": the device
// descriptor, then each configuration's whole descriptor set, in index order.
class DescriptorSet {
 public:
  // Asks the device with GET_DESCRIPTOR, as the hub driver does at
  // enumeration; nullopt with a message when it does not answer sensibly.
  static std::optional<DescriptorSet> Read(UsbDeviceModel& model, std::string& error);
  // From bytes laid out as above; nullopt when they are not.
  static std::optional<DescriptorSet> Parse(std::vector<std::uint8_t> bytes);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  std::uint16_t vendorId() const;
  std::uint16_t productId() const;
  std::uint16_t release() const;  // bcdDevice
  std::uint8_t numConfigurations() const { return bytes_[17]; }

  // Whether configuration `value` has interface `number` with alternate
  // setting `alternate`, and endpoint `address`.
  bool hasConfiguration(std::uint8_t value) const;
  bool hasInterface(std::uint8_t configuration, std::uint8_t number, std::uint8_t alternate = 0) const;
  bool hasEndpoint(std::uint8_t configuration, std::uint8_t address) const {
    return endpointInterface(configuration, address).has_value();
  }
  // The interface whose (alternate setting 0) lists endpoint `address`.
  std::optional<std::uint8_t> endpointInterface(std::uint8_t configuration, std::uint8_t address) const;

 private:
  explicit DescriptorSet(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  // The descriptor set of configuration `value`; empty when there is none.
  std::span<const std::uint8_t> configuration(std::uint8_t value) const;

  std::vector<std::uint8_t> bytes_;
};

}  // namespace kqa::usb::usbfs
