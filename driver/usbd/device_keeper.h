#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/ioctl/device_interface.h"

namespace kqa::usbd {

struct HeldOpen;

// kestrelqa-usbd is the driver's one client. The keeper opens instance 0 of
// the QA interface once, keeps that handle for as long as its device is
// there, and gives every socket client a share of it:
//
// - A client's open is not an open of the driver: it neither resets the
//   device nor tears anything down when it closes, so what one client
//   starts (a TX run, reception, the capture ring) is there for the next.
//   Calls from all clients go to the one handle, which serves them one at a
//   time, as the driver serves any handle.
// - When the device goes (unplugged), the driver answers 1167; the keeper
//   closes its handle, and every share of it answers 1167 from then on, as
//   an in-process handle of a removed device does. A client's open then
//   fails as an in-process open does (NoInstance, error 2), so the program's
//   presence check freezes.
// - When the device is back, the keeper opens it again by itself (check(),
//   twice a second, or a client's open, whichever comes first): that open
//   resets the device, as plugging it in does. Shares of the old handle
//   keep answering 1167, so a client that held one notices and opens again.
//
// open() and check() may be called from any thread; shares may be used from
// any thread. Destroying the keeper closes the driver's handle; shares that
// outlive it answer 1167.
class DeviceKeeper final : public ioctl::DeviceInterfaceProvider {
 public:
  using Log = std::function<void(const std::string&)>;

  // `driver` must outlive the keeper. `log` receives one line per change:
  // opened, gone, not openable (each once, not on every check).
  DeviceKeeper(ioctl::DeviceInterfaceProvider& driver, Log log);
  ~DeviceKeeper() override;
  DeviceKeeper(const DeviceKeeper&) = delete;
  DeviceKeeper& operator=(const DeviceKeeper&) = delete;

  // Holding a handle: asks the driver, with a request that changes nothing,
  // whether its device is still there, and closes the handle when it is
  // not. Holding none: opens the device.
  void check();

  // A client's open: a share of the held handle, opening the device first
  // when none is held. Only instance 0 of the QA class exists here.
  OpenResult open(std::string_view interfaceClass, std::uint32_t instance) override;

  bool isOpen() const;
  // For the daemon's status: "open (\\?\kestrelqa#...), opened 2 times" or
  // "not open: no Kestrel is present (error 2); waiting for it".
  std::string state() const;

 private:
  struct Failure {
    OpenFailure failure = OpenFailure::NoInstance;
    Win32Error error = ERROR_FILE_NOT_FOUND;
  };

  void checkLocked();
  void closeLocked();
  void openLocked();

  ioctl::DeviceInterfaceProvider& driver_;
  const Log log_;
  mutable std::mutex mutex_;
  std::shared_ptr<HeldOpen> held_;  // null while the device is not open
  int opens_ = 0;
  Failure lastFailure_;          // what the last failed open said; clients' opens say the same
  std::string lastFailureText_;  // logged once, not on every check
};

}  // namespace kqa::usbd
