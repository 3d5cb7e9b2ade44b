// The driver's end-to-end tests once more, through the socket transport: the
// driver host served by a SocketServer and reached by the socket client, as
// kestrelqa-usbd serves it, so every edge case of the driver is also proven
// through the framing.
#include "driver/host/driver_host.h"
#include "driver/tests/e2e/transport_fixture.h"
#include "platform/ioctl/socket/tests/socket_test_support.h"

namespace kqa::driver::testing {
namespace {

class SocketServedDriver final : public ioctl::DeviceInterfaceProvider {
 public:
  SocketServedDriver(usb::UsbBackend& backend, Clock& clock)
      : host_(backend, clock), served_(host_, {"emulated Kestrel (test)", true}) {}

  OpenResult open(std::string_view interfaceClass, std::uint32_t instance) override {
    return served_.client.open(interfaceClass, instance);
  }

 private:
  DriverHost host_;
  ioctl::testing::SocketServed served_;  // closes the served handles before the host goes
};

Transport SocketTransport() {
  return {"Socket", [](usb::UsbBackend& backend, Clock& clock) {
            return std::make_unique<SocketServedDriver>(backend, clock);
          }};
}

INSTANTIATE_TEST_SUITE_P(Socket, DriverTransportTest, ::testing::Values(SocketTransport()), TransportName);

}  // namespace
}  // namespace kqa::driver::testing
