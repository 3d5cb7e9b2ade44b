#include "driver/usbd/usbd_options.h"

#include <string_view>

namespace kqa::usbd {
namespace {

using Kind = devices::DeviceChoice::Kind;

}  // namespace

bool ParseUsbdOptions(int argc, const char* const* argv, UsbdOptions& options, std::string& error) {
  UsbdOptions parsed;
  parsed.device.kind = Kind::Usb;
  devices::ChipOptionWords chip;  // applied once the device is known
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      parsed.help = true;
      continue;
    }
    // "--name value" or "--name=value".
    std::string_view name = arg;
    std::string_view value;
    bool hasValue = false;
    if (const std::size_t equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    }
    if (name != "--device" && name != "--socket" && name != "--state" && name != "--group" &&
        name != "--environment" && name != "--seed" && name != "--timing") {
      error = arg.starts_with("-") ? "unknown option " + std::string(arg)
                                   : "unexpected argument " + std::string(arg);
      return false;
    }
    if (!hasValue) {
      if (i + 1 == argc) {
        error = std::string(name) + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (value.empty()) {
      error = std::string(name) + " needs a value";
      return false;
    }
    if (name == "--device") {
      if (!devices::ParseDeviceChoice(value, parsed.device, error)) return false;
      if (parsed.device.kind == Kind::Auto || parsed.device.kind == Kind::Socket) {
        error = "--device takes emulated, emulated:efuse, usb or usb:VVVV:PPPP: the daemon serves a device of its own";
        return false;
      }
    } else if (name == "--socket") {
      parsed.socketPath = value;
    } else if (name == "--state") {
      chip.stateFile = value;
    } else if (name == "--environment") {
      chip.environmentFile = value;
    } else if (name == "--seed") {
      chip.seed = value;
    } else if (name == "--timing") {
      chip.timing = value;
    } else {
      parsed.group = value;
    }
  }
  if (!devices::ApplyChipOptions(chip, parsed.device, error)) return false;
  options = std::move(parsed);
  return true;
}

std::string UsbdHelpText() {
  return "Usage: kestrelqa-usbd [--device emulated|emulated:efuse|usb[:VVVV:PPPP]] [--socket PATH]\n"
         "                      [--state FILE] [--environment FILE] [--seed N] [--timing usb2]\n"
         "                      [--group NAME]\n"
         "\n"
         "Serves the Kestrel QA driver's device interface on a Unix socket, for\n"
         "kestrelqa and kestrelqa-cli (--device socket[:PATH]).\n"
         "\n"
         "  --device DEVICE  the device to serve (default: usb)\n"
         "                     emulated        the emulated chip, EEPROM board\n"
         "                     emulated:efuse  the emulated chip, eFuse board\n"
         "                     usb             a real chip with the default USB identifiers\n"
         "                     usb:VVVV:PPPP   a real chip with these identifiers (hexadecimal)\n"
         "  --socket PATH    where to listen (default: " +
         devices::DefaultSocketPath() +
         ")\n"
         "  --state FILE     the emulated chip's EEPROM, eFuse and flash, loaded at start and\n"
         "                   saved at exit (default: none; the chip starts from its factory image)\n"
         "  --environment FILE\n"
         "                   the emulated chip's radio environment: access points, stations,\n"
         "                   noise (default: the built-in lab bench)\n"
         "  --seed N         the emulated chip's serial number and radio draws (default 1)\n"
         "  --timing usb2    the emulated chip answers about as fast as over USB 2.0\n"
         "                   (default: at once)\n"
         "  --group NAME     the group that may connect besides the owner (default: the\n"
         "                   daemon's own group)\n"
         "  -h, --help       this text\n"
         "\n"
         "Signals:\n"
         "  SIGUSR1          unplug the emulated chip: clients' calls fail with error 1167\n"
         "  SIGUSR2          plug the emulated chip back in\n"
         "  SIGINT, SIGTERM, SIGHUP\n"
         "                   stop: close every client, save the state file, remove the socket\n"
         "\n"
         "The socket has mode 0660: only its owner and its group may connect. A second\n"
         "daemon on the same socket refuses to start; a socket left behind by a daemon\n"
         "that died is replaced.\n";
}

}  // namespace kqa::usbd
