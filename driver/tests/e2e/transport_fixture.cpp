#include "driver/tests/e2e/transport_fixture.h"

#include "driver/host/driver_host.h"

namespace kqa::driver::testing {

Transport InProcessTransport() {
  return {"InProcess", [](usb::UsbBackend& backend, Clock& clock) {
            return std::unique_ptr<ioctl::DeviceInterfaceProvider>(std::make_unique<DriverHost>(backend, clock));
          }};
}

std::string TransportName(const ::testing::TestParamInfo<Transport>& info) { return info.param.name; }

void DriverTransportTest::SetUp() {
  start(chip_);
  chip_.clearLog();
}

void DriverTransportTest::start(chip::UsbDeviceModel& model) {
  backend_ = std::make_unique<usb::EmulatedUsbBackend>(model, clock_);
  provider_ = GetParam().make(*backend_, clock_);
  open();
}

void KestrelTransportTest::SetUp() {
  // Completions on the chip's own thread: the driver cancels and waits, which
  // a stepped chip would only complete in the waiting thread.
  chip_ = std::make_unique<chip::Kestrel>(clock_, chip::KestrelOptions{.completions = chip::Completions::Thread});
  start(*chip_);
}

void KestrelTransportTest::TearDown() {
  DriverTransportTest::TearDown();
  chip_.reset();
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
  const Reply reply = call(0x223480, U32s({address, 0, 0, 0, 0}), 4);
  EXPECT_EQ(reply.output.size(), 4u);
  return reply.output.size() == 4 ? U32At(reply.output, 0) : 0;
}

void DriverTransportTest::writeMac(std::uint16_t address, std::uint32_t value) {
  EXPECT_TRUE(call(0x223484, U32s({address, value, 0})).result.succeeded());
}

std::uint8_t DriverTransportTest::outEndpoint(std::size_t n) {
  using usb::testing::FakeDeviceModel;
  return n == 5 ? FakeDeviceModel::kBulkOut[0] : FakeDeviceModel::kBulkOut[n + 1];
}

std::uint8_t DriverTransportTest::inEndpoint(std::size_t k) {
  return k == 0 ? usb::testing::FakeDeviceModel::kBulkIn0 : usb::testing::FakeDeviceModel::kBulkIn1;
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
  std::vector<std::uint8_t> bytes;
  for (std::uint32_t word : words)
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
  return bytes;
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
