#include "app/measure/capture_dump.h"

#include <charconv>
#include <cstdio>

#include "app/measure/capture_sequence.h"
#include "app/device/text_file.h"
#include "app/registers/hex_field.h"

namespace kqa::measure {

using device::WriteTextFile;
using device::TrimBlanks;

namespace {

constexpr std::size_t kDumpWords = 8192;

void AppendSample(std::string& text, int value) {
  char buffer[8];
  const int length = std::snprintf(buffer, sizeof buffer, value > 0 ? "+%d\t" : "%d\t", value);
  text.append(buffer, static_cast<std::size_t>(length));
}

int SignedByte(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }
int SignedSixBit(std::uint8_t byte) { return static_cast<std::int8_t>(byte) >> 2; }

void AppendWord(std::string& text, const std::uint8_t* word, SampleFormat format) {
  if (format == SampleFormat::Adc8) {
    AppendSample(text, SignedByte(word[1]));
    AppendSample(text, SignedByte(word[0]));
    text += "\r\n";
    AppendSample(text, SignedByte(word[3]));
    AppendSample(text, SignedByte(word[2]));
    text += "\r\n";
    return;
  }
  for (int byte = 3; byte >= 0; --byte) {
    AppendSample(text, SignedSixBit(word[byte]));
    text += "\r\n";
  }
}

std::string WithoutExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

}  // namespace

bool ApplyCaptureDialogFields(std::string_view offsetText, std::string_view timesText,
                              CaptureSettings& settings, std::string& problem) {
  const auto offset = registers::ParseHexField(offsetText);
  if (!offset) {
    problem = registers::HexFieldProblem("Offset", offsetText);
    return false;
  }
  const std::string_view times = TrimBlanks(timesText);
  int count = 0;
  const auto [end, error] = std::from_chars(times.data(), times.data() + times.size(), count);
  if (times.empty() || error != std::errc() || end != times.data() + times.size() || count < 0) {
    problem = "Times: \"" + std::string(times) + "\" is not a number of captures.";
    return false;
  }
  settings.stopOffset = *offset;
  settings.count = count;
  return true;
}

FileDialogOptions CaptureFileDialog() {
  FileDialogOptions options;
  // The files are written as ".txt", so the dialog lists those.
  options.filters = {{"CaptureData File (*.txt)", "*.txt"}};
  options.defaultExtension = "txt";
  return options;
}

std::string CaptureFileName(const std::string& chosen, int index, int count) {
  std::string name = WithoutExtension(chosen);
  if (count > 1) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%05d", index);
    name += suffix;
  }
  return name + ".txt";
}

std::string FormatCaptureFile(const CaptureBanks& banks, SampleFormat format) {
  std::string text;
  text.reserve(kDumpWords * (format == SampleFormat::Adc8 ? 4 * 10 : 8 * 6));
  for (std::size_t word = 0; word < kDumpWords; ++word) {
    const std::size_t at = (4 * word) % kRingBytes;
    AppendWord(text, &banks.a[at], format);
    AppendWord(text, &banks.b[at], format);
  }
  return text;
}

CaptureModeResult RunCaptureMode(device::DeviceContext& device, const CaptureSettings& settings,
                                 const std::string& chosenPath, const std::atomic<bool>* stop,
                                 const std::function<void(int)>& progress,
                                 std::size_t fetchBlockBytes) {
  CaptureModeResult result;
  CaptureRecipe recipe;
  recipe.feq = settings.triggerMode != 1;
  recipe.sixBit = settings.format == SampleFormat::Adc6;
  recipe.stopOffset = settings.stopOffset;
  recipe.manualTrigger = settings.triggerSource == 0;
  for (int index = 1; index <= settings.count; ++index) {
    if (stop != nullptr && stop->load()) return result;
    if (progress) progress(index);
    const std::string path = CaptureFileName(chosenPath, index, settings.count);
    std::string error;
    // Created (and emptied) before the capture: a capture that never
    // finishes leaves it empty.
    if (!WriteTextFile(path, {}, error)) {
      device.prompt.showMessage(kCaptureFileNotOpenedText);
      return result;
    }
    result.files.push_back(path);
    const CaptureOutcome outcome = RunCapture(device, recipe, [stop] { return stop != nullptr && stop->load(); });
    if (outcome.completed) {
      CaptureBanks banks;
      if (!FetchCaptureBanks(device, outcome.endPointer, fetchBlockBytes, banks) ||
          !WriteTextFile(path, FormatCaptureFile(banks, settings.format), error)) {
        device.prompt.showMessage(kDumpCaptureFailedText);
        RestoreAfterCapture(device);
        return result;
      }
    }
    RestoreAfterCapture(device);
    if (outcome.stopped) return result;
  }
  result.completed = true;
  device.prompt.showMessage(kCaptureDoneText);
  return result;
}

}  // namespace kqa::measure
