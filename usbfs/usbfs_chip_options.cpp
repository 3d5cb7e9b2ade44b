#include "usbfs/usbfs_chip_options.h"

#include <CLI/CLI.hpp>

namespace kqa::usbfs {

ParseOutcome ParseUsbfsChipOptions(int argc, const char* const* argv, UsbfsChipOptions& options,
                                   std::string& text) {
  CLI::App app("Runs COMMAND with the emulated Kestrel on USB: libusb, unmodified, finds it at "
               "/dev/bus/usb/001/NNN through umockdev, so that `kestrelqa-cli --device usb`, "
               "`kestrelqa-usbd --device usb` and `kestrelqa --device usb` take the hardware path.",
               "kestrelqa-usbfs-chip");
  std::string board = "eeprom";
  std::string environment;
  std::vector<std::string> command;
  app.add_option("--board", board, "the emulated board: eeprom (default) or efuse")
      ->check(CLI::IsMember({"eeprom", "efuse"}));
  app.add_option("--environment", environment, "the chip's radio environment file (default: the built-in bench)")
      ->check(CLI::ExistingFile);
  app.add_option("command", command, "the program to run, with its arguments (after --)")->required();
  app.footer(
      "While COMMAND runs, SIGUSR1 unplugs the chip and SIGUSR2 plugs it back in (under the next device "
      "number); SIGINT, SIGTERM and SIGHUP are passed on to COMMAND. The exit status is COMMAND's (128 + "
      "its signal if one ended it); 125 when the chip cannot be started, 127 when COMMAND cannot be run.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    text = app.help();
    return ParseOutcome::Help;
  } catch (const CLI::ParseError& failure) {
    text = std::string(failure.what()) + "\nRun with --help for more information.";
    return ParseOutcome::Mistake;
  }
  options.board = board == "efuse" ? chip::Board::Efuse : chip::Board::Eeprom;
  options.environmentFile = environment;
  options.command = command;
  return ParseOutcome::Run;
}

std::string ChipName(chip::Board board) {
  return board == chip::Board::Efuse ? "emulated Kestrel (eFuse board)" : "emulated Kestrel (EEPROM board)";
}

}  // namespace kqa::usbfs
