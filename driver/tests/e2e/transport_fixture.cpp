#include "driver/tests/e2e/transport_fixture.h"

#include "driver/host/driver_host.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::driver::testing {

using usb::testing::FakeDeviceModel;

Transport InProcessTransport() {
  auto make = [](usb::UsbBackend& backend, Clock& clock) -> std::unique_ptr<ioctl::DeviceInterfaceProvider> {
    return std::make_unique<DriverHost>(backend, clock);
  };
  return {"InProcess", make};
}

std::string TransportName(const ::testing::TestParamInfo<Transport>& info) { return info.param.name; }

void DriverTransportTest::SetUp() {
  backend_ = std::make_unique<usb::EmulatedUsbBackend>(chip_, clock_);
  provider_ = GetParam().make(*backend_, clock_);
  open();
  chip_.clearLog();
}

void DriverTransportTest::TearDown() {
  handle_.reset();
  provider_.reset();
  backend_.reset();
}

void DriverTransportTest::open() {
  auto opened = provider_->open(ioctl::kQaInterfaceClass, 0);
  ASSERT_NE(opened.handle, nullptr) << "open failed with error " << opened.error;
  handle_ = std::move(opened.handle);
}

void DriverTransportTest::close() { handle_.reset(); }

DriverTransportTest::Reply DriverTransportTest::call(std::uint32_t code, std::vector<std::uint8_t> input,
                                                     std::size_t outputLength) {
  Reply reply;
  reply.output.assign(outputLength, 0xEE);  // what the caller's buffer held
  reply.result = handle_->control(code, input, reply.output);
  reply.output.resize(reply.result.bytesReturned);
  return reply;
}

std::uint32_t DriverTransportTest::readMac(std::uint16_t address) {
  const Reply reply = call(ioctl::VQ_OID_USB_VENDOR_MAC_READ, U32s({address, 0, 0, 0, 0}), 4);
  EXPECT_EQ(reply.output.size(), 4u);
  return reply.output.size() == 4 ? U32At(reply.output, 0) : 0;
}

void DriverTransportTest::load(std::uint32_t pipe, const std::vector<std::uint8_t>& packet) {
  auto input = U32s({pipe, static_cast<std::uint32_t>(packet.size())});
  input.insert(input.end(), packet.begin(), packet.end());
  EXPECT_TRUE(call(ioctl::VQ_OID_USB_TX_LOAD_PACKET, input).result.succeeded());
}

void DriverTransportTest::txStart(std::uint32_t count, std::uint32_t mask, std::uint32_t mode,
                                  std::uint32_t resend, std::uint32_t stamp) {
  EXPECT_TRUE(call(ioctl::VQ_OID_USB_TX_START, U32s({count, mask, mode, resend, stamp})).result.succeeded());
}

std::uint32_t DriverTransportTest::txCounter(std::size_t index) {
  const Reply reply = call(ioctl::VQ_OID_USB_QUERY_TX_COUNTERS, {}, 44);
  return reply.output.size() == 44 ? U32At(reply.output, 4 * index) : 0xFFFFFFFF;
}

std::uint8_t DriverTransportTest::outEndpoint(std::size_t n) {
  return n == 5 ? FakeDeviceModel::kBulkOut[0] : FakeDeviceModel::kBulkOut[n + 1];
}

std::uint8_t DriverTransportTest::inEndpoint(std::size_t k) {
  return k == 0 ? FakeDeviceModel::kBulkIn0 : FakeDeviceModel::kBulkIn1;
}

std::vector<std::uint8_t> DriverTransportTest::sendOut(std::size_t n, usb::TransferStatus status) {
  std::vector<std::uint8_t> sent;
  EXPECT_TRUE(chip_.completeOut(outEndpoint(n), &sent, status)) << "nothing pending on OUT pipe " << n;
  return sent;
}

void DriverTransportTest::receiveIn(std::size_t k, const std::vector<std::uint8_t>& bytes,
                                    usb::TransferStatus status) {
  EXPECT_TRUE(chip_.completeIn(inEndpoint(k), bytes, status)) << "nothing pending on IN pipe " << k;
}

void DriverTransportTest::unplug() {
  chip_.detach();
  backend_->waitHotplugIdle();
}

void DriverTransportTest::replug() {
  chip_.attach();
  backend_->waitHotplugIdle();
}

std::vector<std::uint8_t> U32s(std::initializer_list<std::uint32_t> words) {
  std::vector<std::uint8_t> bytes(4 * words.size());
  std::size_t at = 0;
  for (std::uint32_t word : words) Put32(bytes, 4 * at++, word);
  return bytes;
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes.at(offset + i)) << (8 * i);
  return value;
}

std::uint64_t U64At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return U32At(bytes, offset) | (static_cast<std::uint64_t>(U32At(bytes, offset + 4)) << 32);
}

}  // namespace kqa::driver::testing
