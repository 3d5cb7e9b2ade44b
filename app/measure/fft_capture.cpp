#include "app/measure/fft_capture.h"

#include "app/device/register_access.h"
#include "app/measure/capture_sequence.h"
#include "app/registers/hex_field.h"

namespace kqa::measure {
namespace {

constexpr int kPauseStepMs = 200;
constexpr int kPauseSliceMs = 10;

std::pair<std::uint8_t, std::uint8_t> WriteGain(device::DeviceContext& device, std::uint8_t r65,
                                                std::uint8_t r66) {
  device::RegisterAccess access(device);
  access.AccessBbpRegister(device::kRegisterWrite, 65, r65);
  access.AccessBbpRegister(device::kRegisterWrite, 66, r66);
  std::uint8_t back65 = 0;
  std::uint8_t back66 = 0;
  access.AccessBbpRegister(device::kRegisterRead, 65, back65);
  access.AccessBbpRegister(device::kRegisterRead, 66, back66);
  return {back65, back66};
}

// The pause between captures, in slices so that a stop is heard within 10 ms.
void Pause(Clock& clock, int milliseconds, const std::atomic<bool>& running) {
  for (int waited = 0; waited < milliseconds && running.load(); waited += kPauseSliceMs)
    clock.sleepMs(std::min(kPauseSliceMs, milliseconds - waited));
}

}  // namespace

std::optional<std::uint32_t> ParseTriggerOffset(const std::string& text, std::string& problem) {
  const auto value = registers::ParseHexField(text);
  if (!value) problem = registers::HexFieldProblem("Trigger Offset", text);
  return value;
}

std::pair<std::uint8_t, std::uint8_t> WriteFftGain(device::DeviceContext& device) {
  return WriteGain(device, kFftR65, kFftR66);
}

std::pair<std::uint8_t, std::uint8_t> RestoreGain(device::DeviceContext& device, std::uint8_t r65,
                                                  std::uint8_t r66) {
  return WriteGain(device, r65, r66);
}

int RunFftCaptures(device::DeviceContext& device, const FftCaptureSettings& settings,
                   std::atomic<bool>& running, SampleStore& store, const EvmComponent* evm,
                   const std::function<void(const FftCaptureResult&)>& onCapture) {
  const bool frequency = settings.domain == Domain::Frequency;
  CaptureRecipe recipe;
  recipe.stopOffset = settings.triggerOffset;
  recipe.manualTrigger = frequency || settings.manualTrigger;
  recipe.waitBeforeTrigger = !frequency;
  SpectrumAnalyzer analyzer;
  Spectrum spectrum;
  CaptureBanks banks;
  int processed = 0;
  while (running.load() && (settings.maxCaptures == 0 || processed < settings.maxCaptures)) {
    const CaptureOutcome outcome = RunCapture(device, recipe, [&running] { return !running.load(); });
    if (outcome.completed && FetchCaptureBanks(device, outcome.endPointer, settings.fetchBlockBytes, banks)) {
      UnpackSamples(banks, store);
      FftCaptureResult result;
      result.samples = &store;
      if (frequency) {
        analyzer.compute(store.s0, settings.spanMHz, spectrum);
        result.spectrum = &spectrum;
      } else if (evm != nullptr) {
        const auto e0 = evm->measure(store.i0, store.q0);
        result.evmText = settings.oneRxPath ? FormatEvmText(e0) : FormatEvmText(e0, evm->measure(store.i1, store.q1));
      }
      ++processed;
      if (onCapture) onCapture(result);
    } else if (settings.reportUnfinished && !outcome.stopped) {
      ++processed;
      if (onCapture) onCapture(FftCaptureResult{});
    }
    RestoreAfterCapture(device);
    if (outcome.stopped) break;
    Pause(device.clock, settings.pauseSteps * kPauseStepMs, running);
  }
  return processed;
}

}  // namespace kqa::measure
