// The driver's end-to-end tests once more, through the socket transport: the
// driver host served by a SocketServer and reached by the socket client, as
// kestrelqa-usbd serves it, so every edge case of the driver is also proven
// through the framing.

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "driver/host/driver_host.h"
#include "driver/tests/e2e/transport_fixture.h"
#include "platform/ioctl/socket/socket_client.h"
#include "platform/ioctl/socket/socket_listener.h"
#include "platform/ioctl/socket/socket_server.h"

namespace kqa::driver::testing {
namespace {

class SocketServedDriver final : public ioctl::DeviceInterfaceProvider {
 public:
  SocketServedDriver(usb::UsbBackend& backend, Clock& clock)
      : host_(backend, clock), folder_(MakeFolder()), client_(folder_ + "/usbd.sock") {
    std::string error;
    listener_ = ioctl::UnixSocketListener::Claim(client_.path(), {}, error);
    if (!listener_) throw std::runtime_error(error);
    server_ = std::make_unique<ioctl::SocketServer>(
        host_, ioctl::SocketServerInfo{"emulated Kestrel (test)", true}, listener_->takeSocket());
  }

  ~SocketServedDriver() override {
    server_.reset();  // closes the served handles before the host goes
    listener_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  OpenResult open(std::string_view interfaceClass, std::uint32_t instance) override {
    return client_.open(interfaceClass, instance);
  }

 private:
  static std::string MakeFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kqa-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
  }

  DriverHost host_;
  std::string folder_;
  ioctl::SocketDeviceInterfaceProvider client_;
  std::unique_ptr<ioctl::UnixSocketListener> listener_;
  std::unique_ptr<ioctl::SocketServer> server_;
};

Transport SocketTransport() {
  return {"Socket", [](usb::UsbBackend& backend, Clock& clock) {
            return std::make_unique<SocketServedDriver>(backend, clock);
          }};
}

INSTANTIATE_TEST_SUITE_P(Socket, DriverTransportTest, ::testing::Values(SocketTransport()), TransportName);

}  // namespace
}  // namespace kqa::driver::testing
