#include "app/measure/fft_graph_tool.h"

#include <algorithm>
#include <charconv>

#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "app/measure/adc_file.h"
#include "app/device/text_file.h"
#include "app/registers/hex_field.h"

namespace kqa::measure {

using device::TrimBlanks;

GraphFrame FrequencyGraph(int spanMHz) {
  const auto span = static_cast<double>(spanMHz);
  return {std::string(kNoiseTitle),
          "Frequency (MHz)",
          "Power Spectrum Magnitude (dB)",
          -span,
          span,
          -20,
          60};
}

GraphFrame TimeGraph(int timeRangeUs) {
  return {"", "Time (micro second)", "Value of ADC", 0, static_cast<double>(timeRangeUs), -140,
          140};
}

std::string NoiseTitle(double noiseFigure) {
  return std::string(kNoiseTitle) + device::Format(" %f dB", noiseFigure);
}

int SpanOfBandwidth(int bandwidthIndex) {
  return bandwidthIndex == 0 ? 20 : 40;
}

bool TimeRangeOffered(int timeRangeUs, int spanMHz) {
  return !(spanMHz == 40 && timeRangeUs == 200);
}

int TimeRangeFor(int selectedUs, int spanMHz) {
  return TimeRangeOffered(selectedUs, spanMHz) ? selectedUs : 100;
}

std::vector<std::string> RxPathNames(int paths) {
  std::vector<std::string> names;
  for (int path = 1; path < paths; ++path) names.push_back(device::Format("RX %d", path));
  names.emplace_back("RX 0");
  return names;
}

int ReceivePaths(const device::DeviceContext& device) {
  return std::max(1, device.eepromWord34 & 0xF);
}

std::shared_ptr<FftFrame> MakeFftFrame(const FftCaptureResult& result,
                                       const FftCaptureSettings& settings) {
  auto frame = std::make_shared<FftFrame>();
  frame->domain = settings.domain;
  frame->spanMHz = settings.spanMHz;
  frame->oneRxPath = settings.oneRxPath;
  if (result.samples != nullptr) frame->samples = *result.samples;
  if (result.spectrum != nullptr) frame->spectrum = *result.spectrum;
  if (settings.domain == Domain::Time)
    frame->timeCurves = TimeCurves(frame->samples, settings.spanMHz, settings.oneRxPath);
  frame->evmText = result.evmText;
  return frame;
}

void FftGraphTool::showGain(std::pair<std::uint8_t, std::uint8_t> values) {
  r65Text_ = device::Format("%02X", values.first);
  r66Text_ = device::Format("%02X", values.second);
}

void FftGraphTool::initialise() {
  device::RegisterAccess access(device_);
  access.AccessBbpRegister(device::kRegisterRead, 65, savedR65_);
  access.AccessBbpRegister(device::kRegisterRead, 66, savedR66_);
  showGain({savedR65_, savedR66_});
}

void FftGraphTool::freezeGain() {
  showGain(WriteFftGain(device_));
}

FftGraphTool::Outcome FftGraphTool::prepareRun(FftCaptureSettings& settings) {
  std::string problem;
  const auto offset = ParseTriggerOffset(triggerOffsetText, problem);
  if (!offset) {
    device_.prompt.showMessage(problem);
    return Outcome::Refused;
  }
  settings = {};
  settings.domain = domain;
  settings.manualTrigger = manualTrigger;
  settings.spanMHz = spanMHz();
  settings.triggerOffset = *offset;
  settings.pauseSteps = pauseSteps;
  settings.oneRxPath = oneRxPath;
  if (domain == Domain::Frequency) freezeGain();
  return Outcome::Done;
}

void FftGraphTool::finishRun(const FftCaptureSettings& settings) {
  if (settings.domain == Domain::Frequency) showGain(RestoreGain(device_, savedR65_, savedR66_));
}

FftGraphTool::Outcome FftGraphTool::saveAdcData(const SampleStore& samples) {
  const auto chosen = device_.prompt.chooseSaveFile(AdcFileDialog());
  if (!chosen) return Outcome::Cancelled;
  const std::string path = AdcFilePath(*chosen);
  std::string error;
  if (!SaveAdcFile(path, samples, oneRxPath, error)) {
    device_.prompt.showMessage("Cannot write " + path + ": " + error);
    return Outcome::Failed;
  }
  return Outcome::Done;
}

FftGraphTool::Outcome FftGraphTool::registerReadWrite() {
  const std::string_view idText = TrimBlanks(registerBox.offsetText);
  unsigned id = 0;
  const auto [end, error] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
  if (idText.empty() || error != std::errc() || end != idText.data() + idText.size() || id > 255) {
    device_.prompt.showMessage(
        "ID: \"" + std::string(idText) +
        "\" is not a BBP register number.\nEnter a decimal number from 0 to 255.");
    return Outcome::Refused;
  }
  device::RegisterAccess access(device_);
  std::uint8_t value = 0;
  if (registerBox.direction == registers::Direction::Write) {
    const auto typed = registers::ParseHexField(registerBox.valueText);
    if (!typed || *typed > 0xFF) {
      device_.prompt.showMessage(
          typed ? "Value: \"" + registerBox.valueText + "\" does not fit in a byte."
                : registers::HexFieldProblem("Value", registerBox.valueText));
      return Outcome::Refused;
    }
    value = static_cast<std::uint8_t>(*typed);
    return page::DoneIf(
        access.AccessBbpRegister(device::kRegisterWrite, static_cast<std::uint8_t>(id), value));
  }
  const bool ok =
      access.AccessBbpRegister(device::kRegisterRead, static_cast<std::uint8_t>(id), value);
  registerBox.valueText = device::Format("%02X", value);
  return page::DoneIf(ok);
}

}  // namespace kqa::measure
