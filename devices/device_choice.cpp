#include <charconv>
#include <filesystem>
#include <tuple>
#include <utility>

#include "devices/device_select.h"

namespace kqa::devices {
namespace {

constexpr std::string_view kValidForms =
    "emulated, emulated:efuse, usb, usb:VVVV:PPPP, socket, socket:PATH or auto";

// One to four hexadecimal digits, not all zero (0 stands for "the default").
bool ParseUsbId(std::string_view text, std::uint16_t& id) {
  if (text.empty() || text.size() > 4) return false;
  unsigned value = 0;
  const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (problem != std::errc() || end != text.data() + text.size() || value == 0) return false;
  id = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace

bool ParseDeviceChoice(std::string_view text, DeviceChoice& choice, std::string& error) {
  const std::size_t colon = text.find(':');
  const std::string_view kind = text.substr(0, colon);
  const bool hasOption = colon != std::string_view::npos;
  const std::string_view option = hasOption ? text.substr(colon + 1) : std::string_view();
  DeviceChoice parsed = choice;
  parsed.vendorId = parsed.productId = 0;
  parsed.socketPath.clear();

  if (kind == "auto" && !hasOption) {
    parsed.kind = DeviceChoice::Kind::Auto;
  } else if (kind == "emulated" && !hasOption) {
    parsed.kind = DeviceChoice::Kind::Emulated;
  } else if (kind == "emulated" && option == "efuse") {
    parsed.kind = DeviceChoice::Kind::EmulatedEfuse;
  } else if (kind == "emulated") {
    error = "unknown emulated board \"" + std::string(option) + "\": the only choice is emulated:efuse";
    return false;
  } else if (kind == "usb") {
    parsed.kind = DeviceChoice::Kind::Usb;
    if (hasOption) {
      const std::size_t split = option.find(':');
      if (split == std::string_view::npos || !ParseUsbId(option.substr(0, split), parsed.vendorId) ||
          !ParseUsbId(option.substr(split + 1), parsed.productId)) {
        error = "\"" + std::string(text) +
                "\" is not usb:VVVV:PPPP (vendor and product identifiers, 1 to 4 hexadecimal "
                "digits each, not zero)";
        return false;
      }
    }
  } else if (kind == "socket") {
    parsed.kind = DeviceChoice::Kind::Socket;
    if (hasOption && option.empty()) {
      error = "socket: needs a path (or say just \"socket\" for the daemon's default path)";
      return false;
    }
    parsed.socketPath = std::string(option);
  } else {
    error = "unknown device \"" + std::string(text) + "\": expected " + std::string(kValidForms);
    return false;
  }
  choice = std::move(parsed);
  return true;
}

bool ApplyChipOptions(const ChipOptionWords& words, DeviceChoice& choice, std::string& error) {
  const bool emulated = choice.kind == DeviceChoice::Kind::Emulated ||
                        choice.kind == DeviceChoice::Kind::EmulatedEfuse;
  const std::pair<const char*, const std::string*> given[] = {{"--state", &words.stateFile},
                                                              {"--environment", &words.environmentFile},
                                                              {"--seed", &words.seed},
                                                              {"--timing", &words.timing}};
  for (const auto& [name, word] : given) {
    if (word->empty() || emulated) continue;
    error = std::string(name) +
            " is for the emulated chip a program starts itself: give --device emulated or "
            "--device emulated:efuse";
    return false;
  }
  DeviceChoice parsed = choice;
  parsed.stateFile = words.stateFile;
  parsed.environmentFile = words.environmentFile;
  // A folder or a device there would give a library's error, or a read
  // that never ends.
  for (const auto& [name, path, what] : {std::tuple{"--state", &words.stateFile, "a state file"},
                                         std::tuple{"--environment", &words.environmentFile,
                                                    "an environment file"}}) {
    std::error_code ignored;
    const std::filesystem::file_status status = std::filesystem::status(*path, ignored);
    if (path->empty() || !std::filesystem::exists(status) || std::filesystem::is_regular_file(status))
      continue;
    error = std::string(name) + " " + *path + " is " +
            (std::filesystem::is_directory(status) ? "a folder" : "not a regular file") + ", not " + what;
    return false;
  }
  if (!words.seed.empty()) {
    const auto [end, problem] =
        std::from_chars(words.seed.data(), words.seed.data() + words.seed.size(), parsed.seed);
    if (problem != std::errc() || end != words.seed.data() + words.seed.size()) {
      error = "--seed must be a decimal number from 0 to 4294967295, not \"" + words.seed + "\"";
      return false;
    }
  }
  if (words.timing == "usb2") {
    parsed.timing = ChipTiming::Usb2;
  } else if (words.timing == "immediate" || words.timing.empty()) {
    parsed.timing = ChipTiming::Immediate;
  } else {
    error = "--timing must be usb2 or immediate, not \"" + words.timing + "\"";
    return false;
  }
  choice = std::move(parsed);
  return true;
}

}  // namespace kqa::devices
