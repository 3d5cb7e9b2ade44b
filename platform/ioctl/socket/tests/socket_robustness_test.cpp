#include <gtest/gtest.h>

#include <sys/socket.h>

#include "platform/ioctl/control_codes.h"
#include "platform/ioctl/socket/tests/socket_test_support.h"

namespace kqa::ioctl::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using wire::MessageType;

Bytes Concat(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// After any abuse, the server has closed the abuser's handle and still
// serves a well-behaved client correctly.
void ExpectStillServing(ServedFake& served) {
  ASSERT_TRUE(served.fake.waitForOpenHandles(0, kIoLimit)) << "a dropped client kept its handle";
  auto result = served.open();
  ASSERT_TRUE(result.handle);
  EXPECT_TRUE(ReadsRegisterCorrectly(*result.handle, 0x1234));
}

// Opens on a raw connection and reads the reply (header and the path "fake:0").
UniqueFd OpenRaw(ServedFake& served) {
  UniqueFd raw = served.connectRaw();
  Bytes reply(wire::kHeaderSize + 6);
  EXPECT_TRUE(Send(raw.get(), OpenFrame()));
  EXPECT_EQ(ReadExact(raw.get(), reply, DeadlineAfter(kIoLimit)), IoStatus::Ok);
  EXPECT_EQ(served.fake.openHandles(), 1);
  return raw;
}

TEST(SocketRobustness, GarbageAndOverLongFramesEndOnlyThatConnection) {
  const Bytes classBytes(kQaInterfaceClass.begin(), kQaInterfaceClass.end());
  const std::pair<const char*, Bytes> violations[] = {
      {"wrong magic", Frame({.magic = 0x3241514B, .type = MessageType::Describe})},
      {"unknown type", Frame({.type = static_cast<MessageType>(9)})},
      {"describe with arguments", Frame({.type = MessageType::Describe, .arg2 = 1})},
      {"open without a class", Frame({.type = MessageType::Open})},
      {"open with an over-long class",
       Frame({.type = MessageType::Open, .arg1 = wire::kMaxClassBytes + 1}, Bytes(300, 'x'))},
      {"open with a reserved word set",
       Frame({.type = MessageType::Open, .arg1 = static_cast<std::uint32_t>(classBytes.size()), .arg2 = 7},
             classBytes)},
      {"control before open", ControlFrame(VQ_OID_USB_VENDOR_MAC_READ, Bytes(20), 4)},
      {"second open", Concat(OpenFrame(), OpenFrame())},
      {"input over the limit",
       Concat(OpenFrame(), Frame({.type = MessageType::Control, .arg1 = wire::kMaxInputBytes + 1}))},
      {"output over the limit", Concat(OpenFrame(), Frame({.type = MessageType::Control, .arg2 = 0xFFFFFFFF}))},
  };
  ServedFake served;
  for (const auto& [name, bytes] : violations) {
    SCOPED_TRACE(name);
    UniqueFd raw = served.connectRaw();
    ASSERT_TRUE(Send(raw.get(), bytes));
    EXPECT_TRUE(ReadUntilClosed(raw.get()));  // the server hangs up without waiting for the client
    ExpectStillServing(served);
  }
}

TEST(SocketRobustness, ClientVanishingMidFrameHasItsHandleClosed) {
  ServedFake served;
  for (std::size_t cut : {std::size_t{1}, wire::kHeaderSize - 1, wire::kHeaderSize + 7}) {
    SCOPED_TRACE(cut);
    UniqueFd raw = OpenRaw(served);
    const Bytes frame = ControlFrame(VQ_OID_USB_VENDOR_MAC_READ, Bytes(20), 4);
    ASSERT_TRUE(Send(raw.get(), Bytes(frame.begin(), frame.begin() + static_cast<long>(cut))));
    raw.reset();
    ExpectStillServing(served);
  }
}

TEST(SocketRobustness, FramesSplitIntoSingleBytesAreServed) {
  ServedFake served;
  UniqueFd raw = served.connectRaw();
  for (std::uint8_t byte : Concat(OpenFrame(), ControlFrame(FakeDeviceProvider::kEchoCode, {9, 8, 7}, 3)))
    ASSERT_TRUE(Send(raw.get(), {byte}));
  ::shutdown(raw.get(), SHUT_WR);
  Bytes received;
  ASSERT_TRUE(ReadUntilClosed(raw.get(), &received));
  const Bytes expectedTail = Concat(Frame({.type = MessageType::Control, .arg1 = 3, .arg2 = 3}), {9, 8, 7});
  ASSERT_GE(received.size(), expectedTail.size());
  EXPECT_EQ(Bytes(received.end() - static_cast<long>(expectedTail.size()), received.end()), expectedTail);
}

TEST(SocketRobustness, StalledAndNonReadingClientsAreDroppedWithoutHoldingUpOthers) {
  ServedFake served(/*maxHandles=*/2, {.frameTimeout = std::chrono::milliseconds(100)});
  UniqueFd greedy = OpenRaw(served);
  // Five megabytes do not fit in the socket's buffer: the server gives up on
  // a reply that is never read instead of blocking for ever.
  ASSERT_TRUE(Send(greedy.get(), ControlFrame(VQ_OID_USB_CAPTURE_READ, {}, wire::kMaxOutputBytes)));
  ASSERT_TRUE(served.fake.waitForOpenHandles(0, kIoLimit));

  UniqueFd stalled = OpenRaw(served);
  ASSERT_TRUE(Send(stalled.get(), Bytes{0x4B, 0x51}));  // half a header, then nothing
  auto other = served.open();
  ASSERT_TRUE(other.handle);
  EXPECT_TRUE(ReadsRegisterCorrectly(*other.handle, 0x0010));
  EXPECT_TRUE(ReadUntilClosed(stalled.get()));
  EXPECT_TRUE(served.fake.waitForOpenHandles(1, kIoLimit));
  EXPECT_TRUE(ReadsRegisterCorrectly(*other.handle, 0x0014));
}

TEST(SocketRobustness, ClientsBeyondTheLimitAreTurnedAway) {
  ServedFake served(/*maxHandles=*/1, {.maxClients = 2});
  UniqueFd idle[2] = {served.connectRaw(), served.connectRaw()};
  for (UniqueFd& fd : idle) {  // both are being served
    Bytes reply(wire::kHeaderSize + std::string("fake Kestrel").size());
    ASSERT_TRUE(Send(fd.get(), Frame({.type = MessageType::Describe})));
    ASSERT_EQ(ReadExact(fd.get(), reply, DeadlineAfter(kIoLimit)), IoStatus::Ok);
  }
  auto refused = served.open();
  EXPECT_FALSE(refused.handle);
  EXPECT_EQ(refused.error, ERROR_DEVICE_NOT_CONNECTED);

  // A slot frees once a connection ends.
  ::shutdown(idle[0].get(), SHUT_WR);
  ASSERT_TRUE(ReadUntilClosed(idle[0].get()));
  ExpectStillServing(served);
}

}  // namespace
}  // namespace kqa::ioctl::testing
