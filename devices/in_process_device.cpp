#include "devices/in_process_device.h"

#include <cstdio>
#include <exception>

#include "chip/kestrel.h"
#include "chip/radio/environment.h"
#include "driver/host/driver_host.h"
#include "platform/usb/emulated/emulated_backend.h"
#include "platform/usb/libusb/libusb_backend.h"

namespace kqa::devices {
namespace {

std::string HexId(std::uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", id);
  return text;
}

// Owns the chain chip -> back end -> driver host; destroyed in reverse, so
// the emulated chip goes last and saves its state file.
class InProcessDevice final : public OpenedDevice {
 public:
  // Named "<what> (<detail>)", e.g. "emulated Kestrel (EEPROM board)".
  InProcessDevice(std::string what, std::string detail, std::unique_ptr<chip::Kestrel> chip,
                  std::unique_ptr<usb::UsbBackend> backend, Clock& clock)
      : what_(std::move(what)),
        detail_(std::move(detail)),
        chip_(std::move(chip)),
        backend_(std::move(backend)),
        host_(std::make_unique<driver::DriverHost>(*backend_, clock)) {}

  ~InProcessDevice() override {
    host_.reset();
    backend_.reset();
    chip_.reset();
  }

  ioctl::DeviceInterfaceProvider& provider() override { return *host_; }
  std::string description() const override { return what_ + " (" + detail_ + ", in-process)"; }
  std::string deviceName() const override { return what_ + " (" + detail_ + ")"; }
  bool isEmulated() const override { return chip_ != nullptr; }
  bool canUnplug() const override { return chip_ != nullptr; }

  // Returns once the driver has seen the chip go (or come), so that the
  // very next call answers accordingly.
  bool unplug() override {
    if (!chip_) return false;
    chip_->unplug();
    backend_->waitHotplugIdle();
    return true;
  }
  bool replug() override {
    if (!chip_) return false;
    chip_->replug();
    backend_->waitHotplugIdle();
    return true;
  }

  bool present() const { return !host_->interfaces().empty(); }

 private:
  std::string what_;
  std::string detail_;
  std::unique_ptr<chip::Kestrel> chip_;
  std::unique_ptr<usb::UsbBackend> backend_;
  std::unique_ptr<driver::DriverHost> host_;
};

std::unique_ptr<InProcessDevice> OpenEmulated(const DeviceChoice& choice, Clock& clock,
                                              std::string& error) {
  chip::KestrelOptions options;
  const bool efuse = choice.kind == DeviceChoice::Kind::EmulatedEfuse;
  options.board = efuse ? chip::Board::Efuse : chip::Board::Eeprom;
  options.stateFile = choice.stateFile;
  options.seed = choice.seed;
  if (choice.timing == ChipTiming::Usb2) options.timing = chip::ChipTiming::UsbHighSpeed();
  options.radio.environmentFile = choice.environmentFile;
  std::unique_ptr<chip::Kestrel> chip;
  try {
    chip = std::make_unique<chip::Kestrel>(clock, options);
  } catch (const chip::EnvironmentError& failure) {
    // The chip's message names the line.
    error = "cannot start the emulated Kestrel with the environment file " + choice.environmentFile +
            ": " + failure.what();
    return nullptr;
  } catch (const std::exception& failure) {
    error = "cannot start the emulated Kestrel" +
            (choice.stateFile.empty() ? std::string() : " with the state file " + choice.stateFile) +
            ": " + failure.what();
    return nullptr;
  }
  auto backend = std::make_unique<usb::EmulatedUsbBackend>(*chip, clock);
  return std::make_unique<InProcessDevice>("emulated Kestrel", efuse ? "eFuse board" : "EEPROM board",
                                           std::move(chip), std::move(backend), clock);
}

// With `requirePresent`, only when a chip is there now.
std::unique_ptr<InProcessDevice> OpenUsb(std::uint16_t vendorId, std::uint16_t productId,
                                         bool requirePresent, Clock& clock, std::string& error) {
  usb::LibusbOptions options;
  if (vendorId != 0) options.vendorId = vendorId;
  if (productId != 0) options.productId = productId;
  std::unique_ptr<usb::LibusbBackend> backend;
  try {
    backend = std::make_unique<usb::LibusbBackend>(options, clock);
  } catch (const std::exception& failure) {
    error = std::string("cannot start libusb: ") + failure.what();
    return nullptr;
  }
  const usb::LibusbBackend& libusb = *backend;
  const std::string ids = HexId(options.vendorId) + ":" + HexId(options.productId);
  auto device = std::make_unique<InProcessDevice>("Kestrel on USB", ids, nullptr, std::move(backend),
                                                  clock);
  if (requirePresent && !device->present()) {
    const std::string why = libusb.lastOpenError();
    error = why.empty() ? "no Kestrel on USB (" + ids + ") is plugged in"
                        : "the Kestrel on USB (" + ids + ") cannot be opened: " + why;
    return nullptr;
  }
  return device;
}

}  // namespace

std::unique_ptr<OpenedDevice> OpenInProcessDevice(const DeviceChoice& choice, Clock& clock,
                                                  std::string& error) {
  if (choice.kind == DeviceChoice::Kind::Usb)
    return OpenUsb(choice.vendorId, choice.productId, /*requirePresent=*/false, clock, error);
  return OpenEmulated(choice, clock, error);
}

std::unique_ptr<OpenedDevice> OpenPresentUsbDevice(Clock& clock, std::string& error) {
  return OpenUsb(0, 0, /*requirePresent=*/true, clock, error);
}

}  // namespace kqa::devices
