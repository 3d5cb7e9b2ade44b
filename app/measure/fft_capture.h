#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/device/device_context.h"
#include "app/measure/capture_fetch.h"
#include "app/measure/capture_samples.h"
#include "app/measure/evm_component.h"
#include "app/measure/spectrum.h"

namespace kqa::measure {

enum class Domain { Frequency, Time };

// BBP R65/R66 as the frequency domain sets them: the gain frozen at 76 dB.
inline constexpr std::uint8_t kFftR65 = 0xBD;
inline constexpr std::uint8_t kFftR66 = 0x1C;

// The FFT page's controls as its capture run uses them.
struct FftCaptureSettings {
  Domain domain = Domain::Frequency;
  bool manualTrigger = false;           // "Manual" (time domain); the frequency domain always triggers at once
  int spanMHz = 20;                     // "BW": 20 or 40
  std::uint32_t triggerOffset = 0x200;  // "Trigger Offset", used when 1..0x3FFF
  int pauseSteps = 0;                   // the slider, 0..5: pause of steps x 200 ms between captures
  bool oneRxPath = true;
  int maxCaptures = 0;                  // 0: until stopped (the page); the command line gives a count
  // The command line: a capture that does not finish (no frame triggered it
  // within 10 s, or the fetch failed) is reported without samples and
  // counts towards maxCaptures, so that a quiet channel cannot keep it
  // waiting for ever. The page skips such captures.
  bool reportUnfinished = false;
  std::size_t fetchBlockBytes = kLargeFetchBlock;
};

// "Trigger Offset" as the page takes it: hexadecimal. A text that is not
// hexadecimal is refused (`problem` names the field; nothing is sent).
std::optional<std::uint32_t> ParseTriggerOffset(const std::string& text, std::string& problem);

// One capture, processed: the sample stores and, by domain, the spectrum or
// the EVM text (empty without a component).
struct FftCaptureResult {
  const SampleStore* samples = nullptr;  // valid during the callback; null: the capture did not finish
  const Spectrum* spectrum = nullptr;    // frequency domain
  std::string evmText;                   // time domain with a component
};

// Writes BBP R65 := 0xBD and R66 := 0x1C and reads both back (the channel
// change and the start of a frequency-domain run).
std::pair<std::uint8_t, std::uint8_t> WriteFftGain(device::DeviceContext& device);
// Writes the saved values back and reads both back.
std::pair<std::uint8_t, std::uint8_t> RestoreGain(device::DeviceContext& device, std::uint8_t r65,
                                                  std::uint8_t r66);

// The capture worker's loop: until `running` is cleared (or maxCaptures
// captures were made), arm, trigger and wait for a capture, fetch both
// banks, unpack them into `store` and process them by domain, calling
// `onCapture` on the calling thread after each; then give the capture memory
// back and pause. A capture that does not finish within 1000 polls is
// skipped (or reported, see reportUnfinished); clearing `running` while one
// waits for its trigger abandons it.
// `evm` (may be null) measures time-domain captures. Returns how many
// captures were processed. The caller stops the TX/RX activities before and,
// in the frequency domain, writes the gain before (WriteFftGain) and
// restores it after.
int RunFftCaptures(device::DeviceContext& device, const FftCaptureSettings& settings,
                   std::atomic<bool>& running, SampleStore& store, const EvmComponent* evm,
                   const std::function<void(const FftCaptureResult&)>& onCapture);

}  // namespace kqa::measure
