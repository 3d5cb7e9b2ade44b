#include <gtest/gtest.h>

#include <algorithm>
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
  std::unique_ptr<DeviceHandle> openHandle() {
    auto result = served.open();
    EXPECT_EQ(result.failure, OpenFailure::None);
    return std::move(result.handle);
  }

  ServedFake served;
};

TEST_F(SocketTransport, OnlyTheReturnedBytesReachTheCallersBuffer) {
  auto handle = openHandle();
  ASSERT_TRUE(handle);
  Bytes empty;
  Bytes none;
  EXPECT_EQ(handle->control(FakeDeviceProvider::kEchoCode, empty, none).bytesReturned, 0u);

  // Three bytes back into a ten-byte buffer: the rest keeps what it held,
  // as buffered I/O copies only the byte count.
  const Bytes input = {1, 2, 3};
  Bytes output(10, 0xEE);
  const ControlResult result = handle->control(FakeDeviceProvider::kEchoCode, input, output);
  EXPECT_TRUE(result.succeeded());
  EXPECT_EQ(result.bytesReturned, 3u);
  EXPECT_EQ(output, (Bytes{1, 2, 3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(SocketTransport, CaptureSizedReadsArriveWhole) {
  auto handle = openHandle();
  ASSERT_TRUE(handle);
  // A buffer larger than any code fills is offered at the largest size; the
  // bytes past it stay as they were.
  Bytes output(wire::kMaxOutputBytes + 100, 0xEE);
  const ControlResult result = handle->control(VQ_OID_USB_CAPTURE_READ, {}, output);
  ASSERT_TRUE(result.succeeded());
  ASSERT_EQ(result.bytesReturned, wire::kMaxOutputBytes);
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < wire::kMaxOutputBytes; ++i)
    wrong += output[i] != FakeDeviceProvider::CaptureByte(i);
  EXPECT_EQ(wrong, 0u);
  EXPECT_TRUE(std::all_of(output.end() - 100, output.end(), [](auto b) { return b == 0xEE; }));
  // The handle carries on with small calls after a large one.
  EXPECT_TRUE(ReadsRegisterCorrectly(*handle, 0x0400));
}

TEST_F(SocketTransport, LargestInputArrivesWholeAndALargerOneIsRefused) {
  auto handle = openHandle();
  ASSERT_TRUE(handle);
  Bytes input(wire::kMaxInputBytes);
  std::iota(input.begin(), input.end(), std::uint8_t{0});
  Bytes output(input.size());
  const ControlResult result = handle->control(FakeDeviceProvider::kEchoCode, input, output);
  EXPECT_EQ(result.bytesReturned, input.size());
  EXPECT_EQ(output, input);

  input.push_back(0);
  const ControlResult refused = handle->control(FakeDeviceProvider::kEchoCode, input, output);
  EXPECT_EQ(refused.error, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(refused.bytesReturned, 0u);
  EXPECT_TRUE(ReadsRegisterCorrectly(*handle, 0x0000)) << "the refusal broke the connection";
}

TEST_F(SocketTransport, ErrorsPassThroughWithTheirByteCounts) {
  auto handle = openHandle();
  ASSERT_TRUE(handle);
  Bytes output(16);
  ControlResult result = handle->control(FakeDeviceProvider::kMoreDataCode, {}, output);
  EXPECT_EQ(result.error, ERROR_MORE_DATA);
  EXPECT_EQ(result.bytesReturned, 16u);
  EXPECT_EQ(output, Bytes(16, 0xA5));

  result = handle->control(0x223482, {}, output);
  EXPECT_EQ(result.error, ERROR_INVALID_FUNCTION);
  EXPECT_EQ(result.bytesReturned, 0u);

  Bytes shortOutput(2);
  result = handle->control(VQ_OID_USB_VENDOR_MAC_READ, Bytes(20), shortOutput);
  EXPECT_EQ(result.error, ERROR_INSUFFICIENT_BUFFER);

  served.fake.unplug();
  result = handle->control(VQ_OID_USB_VENDOR_MAC_READ, Bytes(20), output);
  EXPECT_EQ(result.error, ERROR_DEVICE_NOT_CONNECTED);
}

TEST_F(SocketTransport, ConcurrentCallsOnOneHandleAreSerialisedAndNeverCrossed) {
  auto handle = openHandle();
  ASSERT_TRUE(handle);
  constexpr int kThreads = 4;
  constexpr int kCalls = 300;
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCalls; ++i)
        failures[t] += !ReadsRegisterCorrectly(*handle, static_cast<std::uint32_t>(t << 12 | i));
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
  EXPECT_EQ(served.fake.overlappingCalls(), 0);
}

TEST_F(SocketTransport, SecondClientGetsWhatTheProviderAnswersASecondOpen) {
  auto first = openHandle();
  ASSERT_TRUE(first);
  auto second = served.open();
  EXPECT_EQ(second.failure, OpenFailure::OpenFailed);
  EXPECT_EQ(second.error, ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(second.handle);

  // Closing a handle is final by the time it returns: the device is free.
  first.reset();
  EXPECT_EQ(served.fake.openHandles(), 0);
  auto third = openHandle();
  ASSERT_TRUE(third);
  EXPECT_TRUE(ReadsRegisterCorrectly(*third, 0x0000));
}

TEST_F(SocketTransport, OpenFailuresPassThrough) {
  auto wrongClass = served.client.open("{00000000-0000-0000-0000-000000000000}", 0);
  EXPECT_EQ(wrongClass.failure, OpenFailure::UnknownClass);
  auto secondInstance = served.client.open(kQaInterfaceClass, 1);
  EXPECT_EQ(secondInstance.failure, OpenFailure::NoInstance);
  EXPECT_EQ(secondInstance.path, "fake:1");
  EXPECT_EQ(served.fake.openHandles(), 0);
}

TEST_F(SocketTransport, ServerGoneFailsCallsWith1167AndLaterOpensCleanly) {
  auto handle = openHandle();
  ASSERT_TRUE(handle);
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

TEST(SocketTransportClients, SeveralClientsEachHaveTheirOwnHandle) {
  ServedFake served(/*maxHandles=*/4);
  std::vector<std::unique_ptr<DeviceHandle>> handles;
  for (int i = 0; i < 4; ++i) {
    auto result = served.open();
    ASSERT_TRUE(result.handle);
    handles.push_back(std::move(result.handle));
  }
  std::vector<int> failures(handles.size(), 0);
  std::vector<std::thread> threads;
  for (std::size_t h = 0; h < handles.size(); ++h) {
    threads.emplace_back([&, h] {
      for (std::uint32_t i = 0; i < 200; ++i)
        failures[h] += !ReadsRegisterCorrectly(*handles[h], static_cast<std::uint32_t>(h) << 16 | i);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(handles.size(), 0));
  handles.clear();
  EXPECT_EQ(served.fake.openHandles(), 0);
}

}  // namespace
}  // namespace kqa::ioctl::testing
