#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/ioctl/control_codes.h"
#include "platform/ioctl/socket/tests/socket_test_support.h"

namespace kqa::ioctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using OpenFailure = DeviceInterfaceProvider::OpenFailure;

class SocketTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    auto opened = served.open();
    ASSERT_TRUE(opened.handle) << opened.error;
    handle = std::move(opened.handle);
  }

  ServedFake served;
  std::unique_ptr<DeviceHandle> handle;
};

TEST_F(SocketTransport, RoundTripsOfEveryShapeCopyOnlyTheReturnedBytes) {
  struct Case {
    std::uint32_t code;
    std::size_t input, output;
    std::size_t returned;  // the rest of the output keeps what it held
  };
  const Case cases[] = {
      {FakeDeviceProvider::kEchoCode, 0, 0, 0},
      {FakeDeviceProvider::kEchoCode, 3, 10, 3},
      {FakeDeviceProvider::kEchoCode, wire::kMaxInputBytes, wire::kMaxInputBytes, wire::kMaxInputBytes},
      // A buffer larger than any code fills is offered at the largest size.
      {VQ_OID_USB_CAPTURE_READ, 0, wire::kMaxOutputBytes + 100, wire::kMaxOutputBytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    Bytes input(c.input);
    std::iota(input.begin(), input.end(), std::uint8_t{1});
    Bytes output(c.output, 0xEE);
    const ControlResult result = handle->control(c.code, input, output);
    EXPECT_TRUE(result.succeeded());
    ASSERT_EQ(result.bytesReturned, c.returned);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < c.output; ++i) {
      const std::uint8_t expected = i >= c.returned                          ? 0xEE
                                    : c.code == VQ_OID_USB_CAPTURE_READ ? FakeDeviceProvider::CaptureByte(i)
                                                                             : input[i];
      wrong += output[i] != expected;
    }
    EXPECT_EQ(wrong, 0u);
  }

  // A larger input is refused without breaking the connection.
  Bytes output(16);
  const ControlResult refused =
      handle->control(FakeDeviceProvider::kEchoCode, Bytes(wire::kMaxInputBytes + 1), output);
  EXPECT_EQ(refused.error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(refused.bytesReturned, 0u);
  EXPECT_TRUE(ReadsRegisterCorrectly(*handle, 0x0400));
}

// The driver's own errors and open refusals through the socket are in usbd_socket_e2e_test.
TEST_F(SocketTransport, ErrorsAndOpenResultsPassThroughWithTheirByteCountsAndPaths) {
  Bytes output(16);
  const ControlResult result = handle->control(FakeDeviceProvider::kMoreDataCode, {}, output);
  EXPECT_EQ(result.error, ERROR_MORE_DATA);
  EXPECT_EQ(result.bytesReturned, 16u);
  EXPECT_EQ(output, Bytes(16, 0xA5));
  const auto secondInstance = served.client.open(kQaInterfaceClass, 1);
  EXPECT_EQ(secondInstance.failure, OpenFailure::NoInstance);
  EXPECT_EQ(secondInstance.path, "fake:1");
}

TEST_F(SocketTransport, ServerGoneFailsCallsWith1167AndLaterOpensCleanly) {
  served.server.reset();
  EXPECT_EQ(served.fake.openHandles(), 0) << "stopping the server closes its handles";
  Bytes output(4);
  for (int i = 0; i < 2; ++i) {
    const ControlResult result = handle->control(VQ_OID_USB_VENDOR_MAC_READ, Bytes(20), output);
    EXPECT_EQ(result.error, ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(result.bytesReturned, 0u);
  }
  handle.reset();  // must not wait for a server that is gone

  served.listener.reset();  // the socket file goes with it
  auto reopened = served.open();
  EXPECT_EQ(reopened.failure, OpenFailure::NoInstance);
  EXPECT_FALSE(reopened.handle);
  SocketServerInfo info;
  std::string error;
  EXPECT_FALSE(DescribeSocketServer(served.path, info, error));
  EXPECT_NE(error.find("no kestrelqa-usbd is listening"), std::string::npos) << error;
}

TEST(SocketTransportClients, CallsOnOneHandleAreSerialisedAndClientsHaveTheirOwn) {
  ServedFake served(/*maxHandles=*/3);
  std::vector<std::unique_ptr<DeviceHandle>> handles;
  for (int i = 0; i < 3; ++i) {
    handles.push_back(served.open().handle);
    ASSERT_TRUE(handles.back());
  }
  // Two threads share handle 0; the others have one each.
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (std::uint32_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (std::uint32_t i = 0; i < 300; ++i)
        failures[t] += !ReadsRegisterCorrectly(*handles[t < 2 ? 0 : t - 1], t << 16 | i);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  EXPECT_EQ(served.fake.overlappingCalls(), 0);
  handles.clear();
  EXPECT_EQ(served.fake.openHandles(), 0);
}

// A client holding the gate for a register sequence keeps the others' calls
// waiting; its connection ending lets them go.
TEST(SocketSequences, AHeldSequenceHoldsOthersBackUntilItsConnectionEnds) {
  ServedFake served(/*maxHandles=*/2);
  std::unique_ptr<DeviceHandle> holder = served.open().handle;
  std::unique_ptr<DeviceHandle> other = served.open().handle;
  ASSERT_TRUE(holder && other);
  ASSERT_TRUE(holder->beginSequence());
  EXPECT_TRUE(ReadsRegisterCorrectly(*holder, 0x24));  // its own calls go on

  std::atomic<bool> answered{false};
  std::thread waiting([&] {
    EXPECT_TRUE(ReadsRegisterCorrectly(*other, 0x28));
    answered = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(answered) << "a call got in while another client's sequence ran";
  holder.reset();  // never released: the connection's end does it
  waiting.join();
  EXPECT_TRUE(answered);
  ASSERT_TRUE(other->beginSequence());
  other->endSequence();
}

// The gate's waits are bounded: a sequence never released fails the others'
// calls instead of hanging them, and a hold waits for calls in flight.
TEST(SocketSequences, TheGateGivesUpAfterItsPatience) {
  SequenceGate gate(std::chrono::milliseconds(20));
  int a = 0, b = 0;
  ASSERT_TRUE(gate.hold(&a));
  EXPECT_TRUE(gate.enterCall(&a));
  gate.leaveCall();
  EXPECT_FALSE(gate.enterCall(&b));
  EXPECT_FALSE(gate.hold(&b));
  gate.release(&b);  // not the holder: changes nothing
  EXPECT_FALSE(gate.enterCall(&b));
  gate.release(&a);
  ASSERT_TRUE(gate.enterCall(&b));
  EXPECT_FALSE(gate.hold(&a)) << "held while another client's call was in flight";
  gate.leaveCall();
  EXPECT_TRUE(gate.hold(&a));
}

}  // namespace
}  // namespace kqa::ioctl::testing
