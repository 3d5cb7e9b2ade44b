#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/ioctl/device_interface.h"

namespace kqa::devices {

// How fast the emulated chip answers: at once, or about as a USB 2.0
// high-speed link would.
enum class ChipTiming { Immediate, Usb2 };

// Which device a program (or the daemon) works with.
struct DeviceChoice {
  enum class Kind { Auto, Emulated, EmulatedEfuse, Usb, Socket };
  Kind kind = Kind::Auto;
  std::uint16_t vendorId = 0, productId = 0;  // Usb: 0 = the default identifiers
  std::string socketPath;                     // Socket: empty = the daemon's default path
  // The emulated chip's options (ApplyChipOptions sets them):
  std::string stateFile;        // non-volatile state; empty = none
  std::string environmentFile;  // the radio environment; empty = the built-in bench
  std::uint32_t seed = 1;       // the board's serial number and the radio's draws
  ChipTiming timing = ChipTiming::Immediate;
};

// The emulated chip's options as a command line gives them ("" when not
// given): --state FILE, --environment FILE, --seed N, --timing usb2.
struct ChipOptionWords {
  std::string stateFile{};
  std::string environmentFile{};
  std::string seed{};
  std::string timing{};
};

// Checks the words and sets them on `choice`, whose kind must be set: they
// go only with the emulated chip a program starts itself (Emulated,
// EmulatedEfuse). The seed is a decimal number below 2^32, the timing
// "usb2" or "immediate", the state file not a folder. False with a message
// naming the option; `choice` is then unchanged.
bool ApplyChipOptions(const ChipOptionWords& words, DeviceChoice& choice, std::string& error);

// "emulated", "emulated:efuse", "usb", "usb:VVVV:PPPP", "socket", "socket:PATH"
// (and "auto", the default). VVVV and PPPP are one to four hexadecimal
// digits and not zero. Sets kind, vendorId, productId and socketPath; keeps
// stateFile. On a typo returns false with a message naming the valid forms
// and leaves `choice` unchanged.
bool ParseDeviceChoice(std::string_view text, DeviceChoice& choice, std::string& error);

// The device a program works with, however it is reached.
class OpenedDevice {
 public:
  virtual ~OpenedDevice() = default;
  virtual ioctl::DeviceInterfaceProvider& provider() = 0;  // what the program's connection opens
  virtual std::string description() const = 0;     // e.g. "emulated Kestrel (EEPROM board, in-process)"
  virtual bool isEmulated() const = 0;              // also true for a daemon serving the emulated chip
  virtual bool unplug() = 0;   // emulated chip in this process only; false otherwise
  virtual bool replug() = 0;
  // Whether unplug()/replug() work here: the emulated chip in this process.
  virtual bool canUnplug() const = 0;

  // What the device is, without how it is reached: "emulated Kestrel
  // (EEPROM board)". A daemon describes what it serves with this; a client
  // of that daemon shows "<deviceName> via kestrelqa-usbd at PATH".
  virtual std::string deviceName() const { return description(); }

  // Whether a running kestrelqa-usbd holds the device (else the driver runs
  // in this process, and what it runs ends with the process).
  virtual bool servedByDaemon() const { return false; }
};

// Auto: a running daemon's socket if there is one, else a real chip over USB.
// Auto never picks the emulated chip: a station whose Kestrel is not found
// must not program the emulated one and report success; the message says
// why the daemon and the USB chip were passed over and how to pick the
// emulated chip. Null with a message when the chosen device cannot be had
// (no daemon answers at the socket, libusb cannot start, the state or
// environment file cannot be used: the chip's message names the line). Usb
// does not wait for a chip: one plugged in later is picked up, as on
// hot-plug.
//
// `clock` and the device must outlive every handle opened on provider():
// close the handles first.
std::unique_ptr<OpenedDevice> OpenDevice(const DeviceChoice& choice, Clock& clock, std::string& error);

// Where kestrelqa-usbd listens when not told otherwise: $KESTRELQA_USBD_SOCKET
// when it holds an absolute path; else root: /run/kestrelqa/usbd.sock; others: $XDG_RUNTIME_DIR/kestrelqa/usbd.sock,
// or /tmp/kestrelqa-$UID/usbd.sock without XDG_RUNTIME_DIR.
std::string DefaultSocketPath();

// Where a program looks for a running daemon ("socket" without a path, and
// Auto): DefaultSocketPath(), then the system daemon's /run/kestrelqa/usbd.sock.
std::vector<std::string> DaemonSocketPaths();

}  // namespace kqa::devices
