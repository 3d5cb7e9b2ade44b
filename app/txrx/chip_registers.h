#pragma once

#include <cstdint>

#include "app/device/device_context.h"
#include "app/device/register_access.h"

namespace kqa::txrx {

// The register steps of the TX/RX bench in the notation they are written
// in: MAC 0x1004 |= 0x4 is update(0x1004, ~0u, 0x4), BBP R4 := (R4 & 0xF7)
// | 0x10 is updateBbp(4, 0xF7, 0x10). A read-modify-write whose read fails
// writes nothing (a failed read would put 0xFF... into the chip). Results
// are true when every access succeeded; failures have been shown by the
// device layer.
class ChipRegisters {
 public:
  explicit ChipRegisters(device::DeviceContext& device) : device_(device), access_(device) {}

  // A MAC register; 0xFFFFFFFF when it cannot be read.
  std::uint32_t mac(std::uint32_t offset);
  bool setMac(std::uint32_t offset, std::uint32_t value);
  bool updateMac(std::uint32_t offset, std::uint32_t keep, std::uint32_t set);
  bool sys(std::uint32_t offset, std::uint32_t& value);

  // A BBP register; 0xFF when it cannot be read.
  std::uint8_t bbp(std::uint8_t id);
  bool readBbp(std::uint8_t id, std::uint8_t& value);
  bool setBbp(std::uint8_t id, std::uint8_t value);
  bool updateBbp(std::uint8_t id, std::uint8_t keep, std::uint8_t set);
  // BBP R195 := index, then R196 := value.
  bool setBbpIndirect(std::uint8_t index, std::uint8_t value);
  // Read R21, set bit 0, write, wait 1 ms, read, clear bit 0, write.
  bool pulseBbpR21();

  std::uint8_t rf(std::uint8_t bank, std::uint8_t reg);
  bool setRf(std::uint8_t bank, std::uint8_t reg, std::uint8_t value);
  bool updateRf(std::uint8_t bank, std::uint8_t reg, std::uint8_t keep, std::uint8_t set);

  device::DeviceContext& device() { return device_; }

 private:
  device::DeviceContext& device_;
  device::RegisterAccess access_;
};

}  // namespace kqa::txrx
