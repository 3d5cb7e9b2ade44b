#include "driver/host/driver_host.h"

#include "driver/host/host_core.h"

namespace kqa::driver {

DriverHost::DriverHost(usb::UsbBackend& backend, Clock& clock, DriverHostOptions options)
    : backend_(backend), core_(std::make_shared<HostCore>(clock, options.largestPoolAllocation)) {
  backend_.setHotplugListener(core_.get());  // returns once present devices are started
}

DriverHost::~DriverHost() {
  backend_.setHotplugListener(nullptr);
  core_->removeAll();
}

ioctl::DeviceInterfaceProvider::OpenResult DriverHost::open(std::string_view interfaceClass,
                                                           std::uint32_t instance) {
  return core_->open(interfaceClass, instance);
}

std::vector<std::string> DriverHost::interfaces() const { return core_->interfaces(); }

}  // namespace kqa::driver
