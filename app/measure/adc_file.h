#pragma once

#include <string>

#include "app/measure/capture_samples.h"
#include "platform/prompt/file_dialog.h"

namespace kqa::measure {

// "Save ADC Data": the samples as text, one sample per line. With one
// receive path: "%d\t%d\n" (real, imaginary part of S0); otherwise
// "%d\t%d\t%d\t%d\n" (real and imaginary part of S1, then of S0). Every
// value is taken as an integer and then as a signed byte.
std::string FormatAdcFile(const SampleStore& store, bool oneRxPath);

// The save dialog's options ("adc Files(*.adc)", "Open Script File").
FileDialogOptions AdcFileDialog();
// The chosen name with ".adc" appended (unless it already ends in ".adc").
std::string AdcFilePath(const std::string& chosen);

// Writes the file; false with the system's reason when it cannot be created
// or written completely.
bool SaveAdcFile(const std::string& path, const SampleStore& store, bool oneRxPath,
                 std::string& error);

}  // namespace kqa::measure
