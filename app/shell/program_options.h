#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/shell/sheet_layout.h"

namespace kqa::shell {

// kestrelqa [--device KIND] [--state FILE] [--environment FILE] [--seed N]
//           [--timing usb2] [letters...]
struct ProgramOptions {
  std::string device;  // as given; empty: find one (a daemon, else a real chip)
  // The emulated chip's options, as given (devices::ApplyChipOptions checks them).
  std::string stateFile;        // its non-volatile state
  std::string environmentFile;  // its radio environment
  std::string seed;             // its serial number and radio draws
  std::string timing;           // "usb2": about as fast as over USB 2.0
  // Every other parameter, and the optional pages their letters f, p and i add.
  std::vector<std::string> pageParameters;
  PageFlags pageFlags;
  bool help = false;
};

// Parses the arguments after the program name (what the window toolkit left
// over: a toolkit option such as "-platform" would otherwise count as page
// letters). Returns false with a one-line reason on a missing or empty value
// or an unknown "--" option.
bool ParseProgramOptions(std::span<const std::string> arguments, ProgramOptions& options,
                         std::string& error);

std::string_view ProgramUsage();

// One page parameter: any parameter holding 'f' adds the Noise Level and FFT
// Graph pages, 'p' the PAPD Test page, 'i' the IQ Calibration page (lower
// case, anywhere in the parameter). Flags are only ever set.
void ApplyCommandLineParameter(PageFlags& flags, std::string_view parameter);

}  // namespace kqa::shell
