#include "app/measure/adc_file.h"

#include "app/device/text_file.h"

namespace kqa::measure {

using device::WriteTextFile;

namespace {

int AsSignedByte(double value) {
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(static_cast<int>(value) & 0xFF));
}

}  // namespace

std::string FormatAdcFile(const SampleStore& store, bool oneRxPath) {
  std::string text;
  text.reserve(kSampleCount * (oneRxPath ? 10 : 20));
  for (std::size_t n = 0; n < kSampleCount; ++n) {
    if (!oneRxPath) {
      text += std::to_string(AsSignedByte(store.s1[n].real())) + '\t';
      text += std::to_string(AsSignedByte(store.s1[n].imag())) + '\t';
    }
    text += std::to_string(AsSignedByte(store.s0[n].real())) + '\t';
    text += std::to_string(AsSignedByte(store.s0[n].imag())) + '\n';
  }
  return text;
}

FileDialogOptions AdcFileDialog() {
  FileDialogOptions options;
  options.title = "Open Script File";
  options.filters = {{"adc Files(*.adc)", "*.adc"}};
  options.defaultExtension = "adc";
  return options;
}

std::string AdcFilePath(const std::string& chosen) {
  // A name that already ends in ".adc" (a dialog that added it) keeps it once.
  constexpr std::string_view kExtension = ".adc";
  if (chosen.size() >= kExtension.size() &&
      chosen.compare(chosen.size() - kExtension.size(), kExtension.size(), kExtension) == 0)
    return chosen;
  return chosen + std::string(kExtension);
}

bool SaveAdcFile(const std::string& path, const SampleStore& store, bool oneRxPath,
                 std::string& error) {
  return WriteTextFile(path, FormatAdcFile(store, oneRxPath), error);
}

}  // namespace kqa::measure
