#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock/virtual_clock.h"
#include "platform/ioctl/device_interface.h"
#include "platform/usb/emulated/emulated_backend.h"
#include "platform/usb/testing/fake_device_model.h"

namespace kqa::driver::testing {

// A transport under test: builds a DeviceInterfaceProvider that serves the
// driver over `backend`. The in-process transport is the DriverHost itself;
// the socket transport adds its daemon and client around one.
struct Transport {
  std::string name;
  std::function<std::unique_ptr<ioctl::DeviceInterfaceProvider>(usb::UsbBackend& backend, Clock& clock)> make;
};

Transport InProcessTransport();

// End-to-end tests of the driver through a transport, against the emulated
// USB back end over a scriptable chip. Bulk transfers stay pending in the
// chip until the test completes them, so every interleaving is the test's.
//
// To run these tests over another transport, link kqa_driver_e2e_suite into
// a test that instantiates the fixture once more, e.g.
//   INSTANTIATE_TEST_SUITE_P(Socket, DriverTransportTest, ::testing::Values(SocketTransport()),
//                            TransportName);
class DriverTransportTest : public ::testing::TestWithParam<Transport> {
 protected:
  struct Reply {
    ioctl::ControlResult result;
    std::vector<std::uint8_t> output;  // the bytes returned
  };

  void SetUp() override;
  void TearDown() override;

  Reply call(std::uint32_t code, std::vector<std::uint8_t> input = {}, std::size_t outputLength = 0);
  std::uint32_t readMac(std::uint16_t address);
  void open();   // instance 0; fails the test when it cannot
  void close();  // the handle, if open

  // TX_LOAD_PACKET into OUT pipe `pipe`; TX_START with the 20-byte block.
  void load(std::uint32_t pipe, const std::vector<std::uint8_t>& packet);
  void txStart(std::uint32_t count, std::uint32_t mask, std::uint32_t mode = 0, std::uint32_t resend = 0,
               std::uint32_t stamp = 0);
  std::uint32_t txCounter(std::size_t index);  // word `index` of QUERY_TX_COUNTERS

  // Bulk endpoint of OUT pipe n and IN pipe k in the chip's configuration.
  static std::uint8_t outEndpoint(std::size_t n);
  static std::uint8_t inEndpoint(std::size_t k);
  // Completes the pending transfer of OUT pipe n and returns its bytes.
  std::vector<std::uint8_t> sendOut(std::size_t n, usb::TransferStatus status = usb::TransferStatus::Completed);
  void receiveIn(std::size_t k, const std::vector<std::uint8_t>& bytes,
                 usb::TransferStatus status = usb::TransferStatus::Completed);

  void unplug();  // and wait until the host has handled it
  void replug();

  VirtualClock clock_;
  usb::testing::FakeDeviceModel chip_;
  std::unique_ptr<usb::EmulatedUsbBackend> backend_;
  std::unique_ptr<ioctl::DeviceInterfaceProvider> provider_;
  std::unique_ptr<ioctl::DeviceHandle> handle_;
};

std::string TransportName(const ::testing::TestParamInfo<Transport>& info);
inline void PrintTo(const Transport& transport, std::ostream* out) { *out << transport.name; }

// Little-endian buffer building for control inputs.
std::vector<std::uint8_t> U32s(std::initializer_list<std::uint32_t> words);
void Put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);
std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t offset);
std::uint64_t U64At(const std::vector<std::uint8_t>& bytes, std::size_t offset);

}  // namespace kqa::driver::testing
