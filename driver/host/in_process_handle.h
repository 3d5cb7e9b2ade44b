#pragma once

#include <memory>

#include "driver/host/host_core.h"
#include "platform/ioctl/device_interface.h"

namespace kqa::driver {

// An open handle on a hosted device: control() is IRP_MJ_DEVICE_CONTROL with
// one system buffer, destruction is IRP_MJ_CLOSE.
class InProcessHandle final : public ioctl::DeviceHandle {
 public:
  InProcessHandle(std::shared_ptr<HostCore> core, std::shared_ptr<HostedDevice> device);
  ~InProcessHandle() override;
  InProcessHandle(const InProcessHandle&) = delete;
  InProcessHandle& operator=(const InProcessHandle&) = delete;

  ioctl::ControlResult control(std::uint32_t code, std::span<const std::uint8_t> input,
                               std::span<std::uint8_t> output) override;

 private:
  std::shared_ptr<HostCore> core_;
  std::shared_ptr<HostedDevice> device_;
};

}  // namespace kqa::driver
