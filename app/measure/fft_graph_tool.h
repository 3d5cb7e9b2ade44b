#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/device/device_context.h"
#include "app/measure/fft_capture.h"
#include "app/measure/time_curves.h"
#include "app/registers/register_fields.h"
#include "app/shell/page/outcome.h"

namespace kqa::measure {

// The graph's frame for a domain: title, axis labels and ranges.
struct GraphFrame {
  std::string title;
  std::string xLabel;
  std::string yLabel;
  double xMin = 0;
  double xMax = 0;
  double yMin = 0;
  double yMax = 0;
};

inline constexpr std::string_view kNoiseTitle = "The noise is larger than golden noise power by";

// Frequency domain: the noise title, "Frequency (MHz)" from -span to +span,
// "Power Spectrum Magnitude (dB)" from -20 to 60.
GraphFrame FrequencyGraph(int spanMHz);
// Time domain: no title, "Time (micro second)" from 0 to the time range,
// "Value of ADC" from -140 to 140.
GraphFrame TimeGraph(int timeRangeUs);
// The title with a capture's noise figure ("... by 3.141593 dB").
std::string NoiseTitle(double noiseFigure);

// "BW" entry 0 is a 20 MHz span, any other 40 MHz.
int SpanOfBandwidth(int bandwidthIndex);
// The time ranges (µs) a span offers: 40 MHz captures last 100 µs of the
// 8000 points, so "200 µs" is not offered there; a selected 200 becomes 100.
bool TimeRangeOffered(int timeRangeUs, int spanMHz);
int TimeRangeFor(int selectedUs, int spanMHz);

// The receive-path list of the FFT and TX/RX pages for `paths` receive paths
// (low nibble of EEPROM word 0x34): "RX 1" up to "RX n-1", then "RX 0".
std::vector<std::string> RxPathNames(int paths);
int ReceivePaths(const device::DeviceContext& device);

// One processed capture as the page draws and saves it: copies, so that the
// worker may go on to the next capture while the window draws this one.
struct FftFrame {
  std::uint64_t sequence = 0;  // 1, 2, ... within the page's life
  Domain domain = Domain::Frequency;
  int spanMHz = 20;
  bool oneRxPath = true;
  SampleStore samples;
  Spectrum spectrum;                                // frequency domain
  std::vector<std::vector<CurvePoint>> timeCurves;  // time domain (TimeCurves)
  std::string evmText;                              // time domain with the component
};
std::shared_ptr<FftFrame> MakeFftFrame(const FftCaptureResult& result,
                                       const FftCaptureSettings& settings);

// The FFT Graph page without its widgets: the settings of its controls, the
// gain it freezes and restores, the settings of a capture run, "Save ADC
// Data" and its register box. The capture run itself is RunFftCaptures on the
// page's worker thread.
class FftGraphTool {
 public:
  using Outcome = page::Outcome;

  explicit FftGraphTool(device::DeviceContext& device) : device_(device) {}

  // The controls.
  Domain domain = Domain::Frequency;
  bool manualTrigger = false;
  int timeRangeUs = 200;
  int bandwidthIndex = 0;
  std::string triggerOffsetText = "200";
  int pauseSteps = 0;
  bool oneRxPath = true;
  // The register box: "ID" (decimal BBP register) and "Value" (hexadecimal).
  registers::RegisterFields registerBox{"", "", registers::Direction::Read};

  int spanMHz() const { return SpanOfBandwidth(bandwidthIndex); }

  // BBP R65 and R66 as the page found them (restored after every
  // frequency-domain run), and as they read now ("%02X").
  std::uint8_t savedR65() const { return savedR65_; }
  std::uint8_t savedR66() const { return savedR66_; }
  const std::string& r65Text() const { return r65Text_; }
  const std::string& r66Text() const { return r66Text_; }

  // Page initialisation: reads R65 and R66 into the saved values.
  void initialise();
  // A channel change: the frequency domain's gain (R65 := 0xBD, R66 := 0x1C),
  // read back.
  void freezeGain();

  // "Start Capture": the run's settings from the controls. Refused, with the
  // message shown, when "Trigger Offset" is not hexadecimal (nothing is
  // sent); in the frequency domain the gain is frozen.
  Outcome prepareRun(FftCaptureSettings& settings);
  // After a run made with `settings`: in the frequency domain the saved gain
  // goes back.
  void finishRun(const FftCaptureSettings& settings);

  // "Save ADC Data": asks for the file and writes `samples`; Cancelled when
  // the dialog was cancelled, Failed (with a message) when the file cannot
  // be written.
  Outcome saveAdcData(const SampleStore& samples);

  // "R / W" of the register box (BBP): writes the value, or reads the
  // register into registerBox.valueText ("%02X"). Refused when the ID is not
  // a BBP register number or the value not a hexadecimal byte.
  Outcome registerReadWrite();

 private:
  void showGain(std::pair<std::uint8_t, std::uint8_t> values);

  device::DeviceContext& device_;
  std::uint8_t savedR65_ = 0;
  std::uint8_t savedR66_ = 0;
  std::string r65Text_;
  std::string r66Text_;
};

}  // namespace kqa::measure
