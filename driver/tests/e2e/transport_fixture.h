#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "chip/kestrel.h"
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
// a test that instantiates both fixtures once more, e.g.
//   INSTANTIATE_TEST_SUITE_P(Socket, DriverTransportTest, ::testing::Values(SocketTransport()),
//                            TransportName);
//   INSTANTIATE_TEST_SUITE_P(Socket, KestrelTransportTest, ::testing::Values(SocketTransport()),
//                            TransportName);
class DriverTransportTest : public ::testing::TestWithParam<Transport> {
 protected:
  struct Reply {
    ioctl::ControlResult result;
    std::vector<std::uint8_t> output;  // the bytes returned
  };

  void SetUp() override;
  void TearDown() override;

  // Builds the back end over `model` and the provider, and opens instance 0.
  void start(chip::UsbDeviceModel& model);

  Reply call(std::uint32_t code, std::vector<std::uint8_t> input = {}, std::size_t outputLength = 0);
  std::uint32_t readMac(std::uint16_t address);
  void writeMac(std::uint16_t address, std::uint32_t value);
  void open();   // instance 0; fails the test when it cannot
  void close();  // the handle, if open

  // Bulk endpoint of OUT pipe n and IN pipe k in the chip's configuration.
  static std::uint8_t outEndpoint(std::size_t n);
  static std::uint8_t inEndpoint(std::size_t k);
  // Completes the pending transfer of OUT pipe n and returns its bytes.
  std::vector<std::uint8_t> sendOut(std::size_t n,
                                    usb::TransferStatus status = usb::TransferStatus::Completed);
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

// The same through the transport against the emulated Kestrel itself. Bulk
// transfers complete on the chip's thread; chip_->runUntilIdle() waits until
// it has nothing left to do.
class KestrelTransportTest : public DriverTransportTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::unique_ptr<chip::Kestrel> chip_;
};

std::string TransportName(const ::testing::TestParamInfo<Transport>& info);
inline void PrintTo(const Transport& transport, std::ostream* out) { *out << transport.name; }

// Little-endian buffer building for control inputs.
std::vector<std::uint8_t> U32s(std::initializer_list<std::uint32_t> words);
std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t offset);
std::uint64_t U64At(const std::vector<std::uint8_t>& bytes, std::size_t offset);

}  // namespace kqa::driver::testing
