#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "app/device/device_context.h"

namespace kqa::measure {

// MAC registers of the chip's baseband capture engine and its memory.
inline constexpr std::uint32_t kCaptureControl = 0x0C00;  // bit 0 enable, bit 8 arm, bit 9 stop
inline constexpr std::uint32_t kCaptureStatus = 0x0C04;   // bit 16 busy, bits 0-13 end pointer
inline constexpr std::uint32_t kCaptureConfig = 0x0C08;   // bits 0-13 stop offset, 17 FEQ, 20 manual
inline constexpr std::uint32_t kCaptureBusy = 1u << 16;
inline constexpr std::uint32_t kMaxStopOffset = 0x3FFF;

// How one capture is armed and triggered: the capture-mode dump and the FFT
// page's worker differ only in these.
struct CaptureRecipe {
  bool feq = false;         // MAC 0x0C08 bit 17: equalized subcarriers instead of ADC samples
  bool sixBit = false;      // BBP R252 := 4 at arming and BBP R47 := 0x88 (the "ADC6" format)
  std::uint32_t stopOffset = 0;  // bytes of ring after the trigger; used when 1..0x3FFF
  bool manualTrigger = true;     // trigger at once (MAC 0x0C08 bit 20) instead of on a frame
  bool waitBeforeTrigger = true; // the 10 ms settling wait before a manual trigger
};

// What became of one capture.
struct CaptureOutcome {
  bool completed = false;        // bit 16 of MAC 0x0C04 cleared within the 1000 polls
  bool stopped = false;          // the stop flag was raised while waiting for the trigger
  std::uint32_t endPointer = 0;  // the ring's byte offset of the oldest sample (0..0x3FFF)
};

// Arms the capture engine, triggers it and waits for it: receiver off, the
// capture memory and engine set up, receiver on, arm, trigger, then up to
// 1000 polls of MAC 0x0C04 with 10 ms sleeps on the context's clock until
// bit 16 clears; then receiver off and the engine stopped. When
// `stopRequested` says so the wait ends at the next poll (the capture is
// abandoned: nothing was recorded yet). Leaves the registers for
// RestoreAfterCapture.
CaptureOutcome RunCapture(device::DeviceContext& device, const CaptureRecipe& recipe,
                          const std::function<bool()>& stopRequested = {});

// Gives the packet buffer back to the MAC after a capture: MAC 0x0400 bit 3
// pulsed for 10 ms, MAC 0x0404 back to its normal value.
void RestoreAfterCapture(device::DeviceContext& device);

}  // namespace kqa::measure
