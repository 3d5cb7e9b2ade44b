#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/device/device_context.h"
#include "app/measure/capture_fetch.h"
#include "platform/prompt/file_dialog.h"

namespace kqa::measure {

inline constexpr std::string_view kCaptureFileNotOpenedText = "CaptureData File not opened!";
inline constexpr std::string_view kDumpCaptureFailedText = "Dump capture data failed!";
inline constexpr std::string_view kCaptureDoneText = "Capture data done!";

enum class SampleFormat { Adc8 = 0, Adc6 = 1 };

// The capture settings the capture-setting dialog edits and the TX/RX page's
// "Capture Mode" uses; the presets are what the dialog shows on opening.
struct CaptureSettings {
  int count = 1;                      // captures (and files) per press; 0: none
  int triggerMode = 1;                // 1 "ADC Mode": ADC samples; else "FEQ Mode" (MAC 0x0C08 bit 17)
  SampleFormat format = SampleFormat::Adc8;
  std::uint32_t stopOffset = 0x200;   // used when 1..0x3FFF
  int triggerSource = 1;              // 1 "Auto Trigger Mode": on a frame; 0 manual: at once
};

// "Start Capture" of the dialog: "Offset" as hexadecimal and "Times" as a
// decimal count into `settings`. A field that is not a number is refused
// (false, `problem` names it) and the settings keep their values.
bool ApplyCaptureDialogFields(std::string_view offsetText, std::string_view timesText,
                              CaptureSettings& settings, std::string& problem);

// The save dialog of "Capture Mode".
FileDialogOptions CaptureFileDialog();

// The file of capture `index` (1-based): the chosen name without its
// extension, "_%05d" with the index when more than one capture is made, and
// ".txt".
std::string CaptureFileName(const std::string& chosen, int index, int count);

// A capture text file (CR LF line ends) from both rings: 8192 words of each
// bank from the end pointer on, wrapping round the ring (so the file holds
// the ring twice, as the chip's tools have always written it). A sample is a
// signed decimal with "+" above zero, then a tab.
//   ADC8: the signed bytes 1 and 0 of a word on one line, bytes 3 and 2 on
//         the next; per word index bank A's two lines, then bank B's.
//   ADC6: one sample a line, the signed 6-bit fields at bits 26-31, 18-23,
//         10-15, 2-7; per word index bank A's four, then bank B's.
std::string FormatCaptureFile(const CaptureBanks& banks, SampleFormat format);

struct CaptureModeResult {
  std::vector<std::string> files;  // written, in order
  bool completed = false;          // every capture ran ("Capture data done!")
};

// "Capture Mode" after the dialog and the file choice: `settings.count`
// captures, each armed, triggered and waited for (up to 10 s), fetched and
// written to its file, with the capture memory given back after each. A file
// that cannot be created shows "CaptureData File not opened!" and ends the
// captures; a failed fetch or write shows "Dump capture data failed!" and
// ends them; a capture that does not finish leaves its file empty. Shows
// "Capture data done!" at the end. A raised `stop` ends after the current
// capture. `progress` hears each capture's index before it starts.
CaptureModeResult RunCaptureMode(device::DeviceContext& device, const CaptureSettings& settings,
                                 const std::string& chosenPath,
                                 const std::atomic<bool>* stop = nullptr,
                                 const std::function<void(int index)>& progress = {},
                                 std::size_t fetchBlockBytes = kLargeFetchBlock);

}  // namespace kqa::measure
