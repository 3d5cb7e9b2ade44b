#include "devices/socket_device.h"

#include "platform/ioctl/socket/socket_client.h"

namespace kqa::devices {
namespace {

class SocketOpenedDevice final : public OpenedDevice {
 public:
  SocketOpenedDevice(const std::string& path, ioctl::SocketServerInfo info)
      : provider_(path), info_(std::move(info)) {}

  ioctl::DeviceInterfaceProvider& provider() override { return provider_; }
  std::string description() const override {
    return info_.description + " via kestrelqa-usbd at " + provider_.path();
  }
  std::string deviceName() const override { return info_.description; }
  bool isEmulated() const override { return info_.emulated; }
  // The chip of a daemon is unplugged through the daemon (SIGUSR1/SIGUSR2).
  bool unplug() override { return false; }
  bool replug() override { return false; }
  bool canUnplug() const override { return false; }
  bool servedByDaemon() const override { return true; }

 private:
  ioctl::SocketDeviceInterfaceProvider provider_;
  ioctl::SocketServerInfo info_;
};

}  // namespace

std::unique_ptr<OpenedDevice> OpenSocketDevice(const std::string& path, std::string& error) {
  ioctl::SocketServerInfo info;
  if (!ioctl::DescribeSocketServer(path, info, error)) return nullptr;
  return std::make_unique<SocketOpenedDevice>(path, std::move(info));
}

std::unique_ptr<OpenedDevice> OpenRunningDaemon(std::string& error) {
  std::string reasons;
  for (const std::string& path : DaemonSocketPaths()) {
    if (auto device = OpenSocketDevice(path, error)) return device;
    reasons += (reasons.empty() ? "" : "; ") + error;
  }
  error = reasons;
  return nullptr;
}

}  // namespace kqa::devices
