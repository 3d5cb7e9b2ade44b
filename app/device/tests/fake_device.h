#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "app/device/channel_state.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "platform/clock/virtual_clock.h"
#include "platform/ioctl/device_interface.h"
#include "platform/prompt/scripted_prompt.h"

namespace kqa::device::testing {

// A test double of the driver's device interface: it records every control
// code with its input, answers scripted replies first, and otherwise serves
// a small model of the chip (MAC/SYS/ABS registers, the BBP and RF command
// registers, the EEPROM, the firmware mode and version). The eFuse and the
// firmware channel are left to the emulated chip (emulated_rig.h).
class FakeDevice final : public ioctl::DeviceInterfaceProvider {
 public:
  struct Call {
    std::uint32_t code;
    std::vector<std::uint8_t> input;
    std::size_t outputSize;
  };
  struct Reply {
    Win32Error error = ERROR_SUCCESS;
    std::vector<std::uint8_t> output;
    std::optional<std::uint32_t> bytesReturned;  // default: output.size()
  };

  OpenResult open(std::string_view interfaceClass, std::uint32_t instance) override;
  ioctl::ControlResult control(std::uint32_t code, std::span<const std::uint8_t> input,
                               std::span<std::uint8_t> output);

  // Answers the next call of `code` with `reply` instead of the model.
  void script(std::uint32_t code, Win32Error error, std::vector<std::uint8_t> output = {},
              std::optional<std::uint32_t> bytesReturned = std::nullopt) {
    scripted_[code].push_back({error, std::move(output), bytesReturned});
  }
  // Every later call of `code` fails with `error`.
  void failAlways(std::uint32_t code, Win32Error error) { failing_[code] = error; }

  // Recorded traffic.
  std::vector<Call> calls() const;
  std::vector<Call> callsOf(std::uint32_t code) const;
  // Values written to a MAC register through 0x223484 or 0x2234DC, in order.
  std::vector<std::uint32_t> macWrites(std::uint32_t offset) const;
  void clearCalls();

  // Presence: `present` decides whether open() finds instance 0;
  // `connected` whether calls on open handles reach the chip (1167 if not).
  bool present = true;
  bool connected = true;
  int opens = 0;

  // The model.
  std::map<std::uint32_t, std::uint32_t> mac;
  std::map<std::uint32_t, std::uint32_t> sys;
  std::map<std::uint32_t, std::uint32_t> abs;
  std::array<std::uint8_t, 256> bbp{};
  std::array<std::array<std::uint8_t, 64>, 16> rf{};
  std::array<std::uint8_t, 1024> eeprom{};
  std::uint32_t firmwareMode = 0;
  std::uint32_t firmwareVersion = 0;
  std::set<std::uint32_t> failingMacReads;  // these MAC reads fail (error 31)
  int commandBusyReads = 0;  // BBP/RF command register reads that still show busy

 private:
  ioctl::ControlResult Model(std::uint32_t code, std::span<const std::uint8_t> input,
                             std::span<std::uint8_t> output);
  std::uint32_t MacRead(std::uint32_t offset);
  void MacWrite(std::uint32_t offset, std::uint32_t value);

  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::map<std::uint32_t, std::deque<Reply>> scripted_;
  std::map<std::uint32_t, Win32Error> failing_;
  int busyLeft_ = 0;
};

// A context on a fake device, a scripted prompt and virtual time, with the
// traces collected, and the state start-up fills (not started).
struct TestBed {
  FakeDevice chip;
  ScriptedPrompt prompt;
  VirtualClock clock;
  DeviceContext device{chip, prompt, clock};
  ConfigMemoryMode memoryMode;
  ChannelState channels;
  std::string traces;

  ConfigMemory configMemory() { return {device, memoryMode}; }

  TestBed() {
    device.trace = [this](std::string_view text) { traces += text; };
  }
};

}  // namespace kqa::device::testing
