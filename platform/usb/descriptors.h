#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/usb/usb_device.h"

namespace kqa::usb {

// Reading a configuration descriptor set (what USBD_ParseConfiguration-
// DescriptorEx does for a driver).

struct ConfigurationHeader {
  std::uint16_t totalLength = 0;  // wTotalLength
  std::uint8_t numInterfaces = 0;
  std::uint8_t configurationValue = 0;
};

struct InterfaceInformation {
  std::uint8_t interfaceNumber = 0;
  std::uint8_t alternateSetting = 0;
  // The interface's endpoints in descriptor order (handles not yet known).
  std::vector<PipeInformation> pipes;
};

// The header of a configuration descriptor; nullopt unless `bytes` starts with
// a well-formed one (bLength >= 9, type 2).
std::optional<ConfigurationHeader> ParseConfigurationHeader(std::span<const std::uint8_t> bytes);

// The first interface descriptor of the set with its endpoints, reading no
// further than the set's own lengths allow; nullopt when there is none.
std::optional<InterfaceInformation> FindFirstInterface(std::span<const std::uint8_t> configuration);

}  // namespace kqa::usb
