#include "app/device/tests/fake_device.h"

#include <algorithm>

#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device::testing {
namespace {

using namespace kqa::ioctl;

std::uint32_t U32(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4 && at + i < bytes.size(); ++i) value |= std::uint32_t{bytes[at + i]} << (8 * i);
  return value;
}

ControlResult PutU32(std::span<std::uint8_t> output, std::uint32_t value) {
  for (std::size_t i = 0; i < 4 && i < output.size(); ++i) output[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return {ERROR_SUCCESS, static_cast<std::uint32_t>(std::min<std::size_t>(4, output.size()))};
}

class FakeHandle final : public DeviceHandle {
 public:
  explicit FakeHandle(FakeDevice& device) : device_(device) {}
  ControlResult control(std::uint32_t code, std::span<const std::uint8_t> input,
                        std::span<std::uint8_t> output) override {
    return device_.control(code, input, output);
  }

 private:
  FakeDevice& device_;
};

}  // namespace

DeviceInterfaceProvider::OpenResult FakeDevice::open(std::string_view interfaceClass,
                                                     std::uint32_t instance) {
  OpenResult result;
  if (interfaceClass != kQaInterfaceClass) {
    result.failure = OpenFailure::UnknownClass;
    return result;
  }
  if (!present || instance != 0) {
    result.failure = OpenFailure::NoInstance;
    return result;
  }
  ++opens;
  result.path = "/fake/kestrel0";
  result.handle = std::make_unique<FakeHandle>(*this);
  return result;
}

ControlResult FakeDevice::control(std::uint32_t code, std::span<const std::uint8_t> input,
                                  std::span<std::uint8_t> output) {
  std::lock_guard lock(mutex_);
  calls_.push_back({code, {input.begin(), input.end()}, output.size()});
  if (!connected) return {ERROR_DEVICE_NOT_CONNECTED, 0};
  if (auto it = scripted_.find(code); it != scripted_.end() && !it->second.empty()) {
    Reply reply = std::move(it->second.front());
    it->second.pop_front();
    const std::size_t n = std::min(reply.output.size(), output.size());
    std::copy_n(reply.output.begin(), n, output.begin());
    return {reply.error, reply.bytesReturned.value_or(static_cast<std::uint32_t>(n))};
  }
  if (auto it = failing_.find(code); it != failing_.end()) return {it->second, 0};
  return Model(code, input, output);
}

std::uint32_t FakeDevice::MacRead(std::uint32_t offset) {
  std::uint32_t& value = mac[offset];
  if ((offset == 0x101C || offset == 0x500) && busyLeft_ > 0) {
    --busyLeft_;
    return value | (offset == 0x101C ? 0x20000u : 0x80000000u);
  }
  return value;
}

void FakeDevice::MacWrite(std::uint32_t offset, std::uint32_t value) {
  if (offset == 0x101C) {
    const std::uint8_t id = static_cast<std::uint8_t>(value >> 8);
    if ((value & 0xF0000) == 0xA0000) bbp[id] = static_cast<std::uint8_t>(value);
    mac[offset] = (value & ~0x200FFu) | bbp[id];
    busyLeft_ = commandBusyReads;
    return;
  }
  if (offset == 0x500) {
    const unsigned bank = (value >> 14) & 0xF;
    const unsigned reg = (value >> 8) & 0x3F;
    if (value & 0x40000000u) rf[bank][reg] = static_cast<std::uint8_t>(value);
    mac[offset] = (value & 0x7FFFFF00u) | rf[bank][reg];
    busyLeft_ = commandBusyReads;
    return;
  }
  mac[offset] = value;
}

ControlResult FakeDevice::Model(std::uint32_t code, std::span<const std::uint8_t> input,
                                std::span<std::uint8_t> output) {
  switch (code) {
    case VQ_OID_USB_VENDOR_MAC_READ:
      if (failingMacReads.count(U32(input, 0))) return {ERROR_GEN_FAILURE, 0};
      return PutU32(output, MacRead(U32(input, 0)));
    case VQ_OID_USB_VENDOR_MAC_WRITE:
    case VQ_OID_USB_VENDOR_WRITE_HALVES: MacWrite(U32(input, 0), U32(input, 4)); return {};
    case VQ_OID_USB_VENDOR_SYS_READ: return PutU32(output, sys[U32(input, 0)]);
    case VQ_OID_USB_VENDOR_SYS_WRITE: sys[U32(input, 0)] = U32(input, 4); return {};
    case VQ_OID_USB_VENDOR_BASE0_READ: return PutU32(output, abs[U32(input, 0)]);
    case VQ_OID_USB_VENDOR_BASE0_WRITE: abs[U32(input, 0)] = U32(input, 4); return {};
    case VQ_OID_USB_VENDOR_EEPROM_READ: {
      const std::uint16_t offset = GetLe16(input, 0);
      const std::uint32_t count = (GetLe16(input, 2) + 1u) & ~1u;
      for (std::uint32_t i = 0; i < count && i < output.size(); ++i) output[i] = eeprom[(offset + i) % eeprom.size()];
      return {ERROR_SUCCESS, count};
    }
    case VQ_OID_USB_VENDOR_EEPROM_WRITE: {
      const std::uint16_t offset = GetLe16(input, 0);
      const std::uint16_t count = GetLe16(input, 2);
      for (std::uint32_t i = 0; i < count; i += 2) {
        // Past the input would be a read beyond the caller's record.
        if (4 + i + 1 >= input.size()) return {ERROR_INVALID_PARAMETER, 0};
        eeprom[(offset + i) % eeprom.size()] = input[4 + i];
        eeprom[(offset + i + 1) % eeprom.size()] = input[4 + i + 1];
      }
      return {};
    }
    case VQ_OID_USB_QUERY_FIRMWARE_MODE: return PutU32(output, firmwareMode);
    case VQ_OID_USB_GET_FIRMWARE_VERSION: return PutU32(output, firmwareVersion);
    default: return {ERROR_INVALID_FUNCTION, 0};
  }
}

std::vector<FakeDevice::Call> FakeDevice::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<FakeDevice::Call> FakeDevice::callsOf(std::uint32_t code) const {
  std::vector<Call> matching;
  for (const Call& call : calls())
    if (call.code == code) matching.push_back(call);
  return matching;
}

std::vector<std::uint32_t> FakeDevice::macWrites(std::uint32_t offset) const {
  std::vector<std::uint32_t> values;
  for (const Call& call : calls())
    if ((call.code == VQ_OID_USB_VENDOR_MAC_WRITE || call.code == VQ_OID_USB_VENDOR_WRITE_HALVES) &&
        U32(call.input, 0) == offset)
      values.push_back(U32(call.input, 4));
  return values;
}

void FakeDevice::clearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

}  // namespace kqa::device::testing
