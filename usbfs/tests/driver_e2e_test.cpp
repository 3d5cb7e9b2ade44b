// The hardware path in one process: the device layer and the driver over
// libusb, unmodified, against the emulated Kestrel served through emulated
// usbdevfs. Everything runs in real time, as on a bench: the chip completes
// transfers on its own thread, libusb on its event thread, and the tests wait
// (bounded) for what the chip or the air does.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/register_access.h"
#include "app/device/startup.h"
#include "chip/firmware/firmware_image.h"
#include "chip/firmware/mcu.h"
#include "chip/kestrel.h"
#include "chip/radio/environment.h"
#include "chip/usb_descriptors.h"
#include "driver/host/driver_host.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"
#include "platform/prompt/scripted_prompt.h"
#include "platform/status/win32_error.h"
#include "platform/usb/libusb/libusb_backend.h"
#include "platform/usb/usbfs/testing/preloaded_tests.h"
#include "platform/usb/usbfs/umockdev_usb_bus.h"
#include "usbfs/tests/air_rig.h"

namespace kqa::usbfs {
namespace {

using namespace ioctl;
using namespace std::chrono_literals;
using namespace testing;

constexpr std::uint8_t kOutPipe0 = 0x02;  // the chip's endpoint behind the driver's OUT pipe 0

// A transmit packet as the TX/RX page loads one: information word, the
// 20-byte descriptor with the MPDU byte count, a 64-byte data frame.
Bytes DataFramePacket() {
  constexpr std::uint32_t kFrame = 64;
  Bytes packet(4 + 20 + kFrame, 0x5A);
  PutLe32(packet, 0, 20 + kFrame);
  PutLe32(packet, 4, 0);
  PutLe32(packet, 8, kFrame << 16);
  packet[24] = 0x08;  // frame control: data
  packet[25] = 0x00;
  return packet;
}

class DriverOnLibusb : public ::testing::Test {
 protected:
  void SetUp() override {
    KQA_SKIP_WITHOUT_UMOCKDEV();
    bus_ = std::make_unique<usb::usbfs::UmockdevUsbBus>();  // before the chip's threads
    chip::KestrelOptions options;
    options.radio.environment = chip::Environment::Parse(testing::kAir);
    chip_ = std::make_unique<chip::Kestrel>(SystemClock(), options);
    bus_->serve(*chip_);
    backend_ = std::make_unique<usb::LibusbBackend>(usb::LibusbOptions{}, SystemClock());
    host_ = std::make_unique<driver::DriverHost>(*backend_, SystemClock());
    device_ = std::make_unique<device::DeviceContext>(*host_, prompt_, SystemClock());
    device_->trace = nullptr;
    device::StartupOptions startup;
    startup.eepromFile = "/nonexistent/eeprom.bin";
    report_ = device::RunDeviceStartup(*device_, memoryMode_, channels_, startup);
  }
  void TearDown() override {
    if (device_) device::CloseDevice(*device_);
    device_.reset();
    host_.reset();
    backend_.reset();
    bus_.reset();  // after libusb has let go of the node
    chip_.reset();
  }

  device::CallResult call(std::uint32_t code, const Bytes& input, Bytes& output) {
    return device::CallDevice(*device_, code, input, output);
  }
  bool call(std::uint32_t code, const Bytes& input = {}) {
    Bytes none;
    return call(code, input, none).ok;
  }
  std::uint32_t txCounter(std::size_t index) {
    Bytes counters(44);
    return call(VQ_OID_USB_QUERY_TX_COUNTERS, {}, counters) ? GetLe32(counters, 4 * index) : 0xFFFFFFFF;
  }
  bool writeMac(std::uint32_t address, std::uint32_t value) {
    return device::RegisterAccess(*device_).WriteMacRegister(address, value);
  }
  std::uint64_t sentOnPipe0() {
    return chip_->withRadio([](chip::RadioSide& radio) { return radio.transmitter().sentOn(kOutPipe0); });
  }

  std::unique_ptr<usb::usbfs::UmockdevUsbBus> bus_;
  std::unique_ptr<chip::Kestrel> chip_;
  std::unique_ptr<usb::LibusbBackend> backend_;
  std::unique_ptr<driver::DriverHost> host_;
  ScriptedPrompt prompt_;
  std::unique_ptr<device::DeviceContext> device_;
  device::ConfigMemoryMode memoryMode_;
  device::ChannelState channels_;
  device::StartupReport report_;
};

TEST_F(DriverOnLibusb, TheOpenSequenceAndEveryFamilyOfControlCodesReachTheChip) {
  ASSERT_TRUE(report_.deviceOpen);
  EXPECT_EQ(device_->asicVersion, chip_->identity());
  std::ifstream configuration("/sys/bus/usb/devices/1-1/bConfigurationValue");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(configuration), {}), "1\n");

  // USB standard requests through the stack.
  Bytes descriptor(18);
  ASSERT_TRUE(call(VQ_OID_USB_GET_DEVICE_DESCRIPTOR, {}, descriptor));
  EXPECT_EQ(descriptor, chip::DeviceDescriptor(chip_->usbIdentity()));
  Bytes set(256);
  std::uint32_t count = 0;
  ASSERT_TRUE(device::CallDeviceCount(*device_, VQ_OID_USB_GET_CONFIGURATION_DESCRIPTOR, {}, set, count));
  set.resize(count);
  EXPECT_EQ(set, chip::ConfigurationDescriptor());
  Bytes status(6);
  EXPECT_TRUE(call(VQ_OID_USB_GET_STATUS, {}, status));
  Bytes frame(12);
  ASSERT_TRUE(call(VQ_OID_USB_GET_FRAME_INFO, {}, frame));
  EXPECT_EQ(GetLe32(frame, 0), 12000u);

  // Registers in each window, and the command-register files behind them.
  device::RegisterAccess registers(*device_);
  ASSERT_TRUE(registers.WriteMacRegister(0x1314, 0x600DF00D));
  EXPECT_EQ(chip_->peekRegister(0x1314), 0x600DF00Du);
  std::uint32_t value = 0;
  EXPECT_TRUE(registers.ReadSysRegister(0x0230, value));
  EXPECT_EQ(value, chip_->peekRegister(0x0230, chip::Space::Sys));
  std::uint8_t bbp = 0x3C;
  ASSERT_TRUE(registers.AccessBbpRegister(device::kRegisterWrite, 23, bbp));
  EXPECT_EQ(chip_->peekBbp(23), 0x3C);
  std::uint8_t rf = 0x2B;
  ASSERT_TRUE(registers.AccessRfRegister(device::kRegisterWrite, 0, 13, rf));
  EXPECT_EQ(chip_->peekRf(0, 13), 0x2B);

  Bytes several(8);
  ASSERT_TRUE(call(VQ_OID_USB_VENDOR_MAC_READ_MULTI, U32s({0x1310, 8}), several));
  EXPECT_EQ(GetLe32(several, 4), 0x600DF00Du);

  // Configuration memory, flash and firmware queries.
  std::uint16_t word = 0;
  ASSERT_EQ(device::ReadEepromWord({*device_, memoryMode_}, 0x34, word), device::NvmResult::Ok);
  const Bytes eeprom = chip_->eepromBytes();
  EXPECT_EQ(word, GetLe16(eeprom, 0x34));
  Bytes flash(16);
  ASSERT_TRUE(call(VQ_OID_USB_VENDOR_READ_FLASH, U32s({0x100, 16}), flash));
  EXPECT_EQ(flash, chip_->flashBytes(0x100, 16));
  Bytes version(4);
  EXPECT_TRUE(call(VQ_OID_USB_GET_FIRMWARE_VERSION, {}, version));
  EXPECT_TRUE(prompt_.messages().size() <= 1u);  // at most the missing eeprom.bin
}

TEST_F(DriverOnLibusb, TheFirmwareStartsOnItsReloadRequestAndAnswersOnTheCommandChannel) {
  ASSERT_TRUE(report_.deviceOpen);
  // The image in the MCU's memories, as a download leaves it (set up in the chip).
  const chip::FirmwareImage image = chip::BuildKestrelFirmware();
  constexpr std::size_t kChunk = 1024;
  auto place = [&](const std::vector<std::uint8_t>& memory, std::size_t from, std::uint32_t base) {
    for (std::size_t offset = from; offset < memory.size(); offset += kChunk) {
      const std::size_t length = std::min(kChunk, memory.size() - offset);
      chip_->pokeRegister(chip::Mcu::kDestinationRegister, static_cast<std::uint32_t>(base + offset),
                          chip::Space::Sys);
      chip_->pokeRegister(chip::Mcu::kLengthRegister, static_cast<std::uint32_t>(length << 16), chip::Space::Sys);
      chip_->withRadio([&](chip::RadioSide& radio) { radio.mcu().download(std::span(memory).subspan(offset, length)); });
    }
  };
  place(image.ilm, chip::FirmwareImage::kVectorBlockSize, 0);
  place(image.dlm, 0, chip::Mcu::kDlmBase);

  // The vector block through the driver starts it; SYS 0x230 bit 0 says it runs.
  const Bytes vectors(image.ilm.begin(), image.ilm.begin() + chip::FirmwareImage::kVectorBlockSize);
  Bytes echoed(64);
  std::uint32_t echoedCount = 0;
  ASSERT_TRUE(device::CallDeviceCount(*device_, VQ_OID_USB_FIRMWARE_RELOAD, vectors, echoed, echoedCount));
  std::uint32_t mcu = 0;
  ASSERT_TRUE(WaitUntil([&] { return device::RegisterAccess(*device_).ReadSysRegister(0x0230, mcu) && (mcu & 1); }));

  // A command out on OUT pipe 1, its answer back on IN pipe 0.
  bool rxRunning = false;
  const std::array<std::uint8_t, 8> function1 = {1, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    device::QaCmdPacket response{};
    ASSERT_EQ(device::ExchangeQACmd(*device_, rxRunning, 31, function1, response), 0) << "command " << i;
    EXPECT_EQ(response[4], 0) << "the firmware's status";
  }
  EXPECT_EQ(chip_->withRadio([](chip::RadioSide& radio) { return radio.mcu().lastStart(); }),
            chip::Mcu::StartResult::Started);
}

TEST_F(DriverOnLibusb, ACountedRunGoesOutOnTheAirFrameForFrameAndStopAndStartHoldInFlight) {
  ASSERT_TRUE(report_.deviceOpen);
  ASSERT_TRUE(writeMac(0x1004, 0x4));  // transmitter on
  Bytes load = U32s({0, 0});
  const Bytes packet = DataFramePacket();
  PutLe32(load, 4, static_cast<std::uint32_t>(packet.size()));
  load.insert(load.end(), packet.begin(), packet.end());
  ASSERT_TRUE(call(VQ_OID_USB_TX_LOAD_PACKET, load));

  ASSERT_TRUE(call(VQ_OID_USB_TX_START, U32s({25, 0x1, 0, 0, 0})));
  ASSERT_TRUE(WaitUntil([&] { return txCounter(0) == 25; })) << txCounter(0) << " of 25 sent";
  EXPECT_EQ(txCounter(1), 25u);  // pipe 0
  EXPECT_EQ(sentOnPipe0(), 25u);  // and the chip put 25 frames on the air

  // Continuous: runs until stopped; a stop waits for the transfer in flight.
  ASSERT_TRUE(call(VQ_OID_USB_TX_START, U32s({0, 0x1, 0, 0, 0})));
  ASSERT_TRUE(WaitUntil([&] { return sentOnPipe0() > 225; }));
  ASSERT_TRUE(call(VQ_OID_USB_TX_STOP));
  const std::uint64_t stopped = sentOnPipe0();
  std::this_thread::sleep_for(50ms);  // nothing more may go out
  EXPECT_LE(sentOnPipe0(), stopped + 1);  // at most the transfer that was in flight
  const std::uint64_t before = sentOnPipe0();
  ASSERT_TRUE(call(VQ_OID_USB_TX_START, U32s({3, 0x1, 0, 0, 0})));
  ASSERT_TRUE(WaitUntil([&] { return sentOnPipe0() == before + 3; })) << sentOnPipe0() - before;
}

TEST_F(DriverOnLibusb, ReceptionFillsTheCaptureRingWithTheAirsBeaconsAndAStopCancelsWhatWaits) {
  ASSERT_TRUE(report_.deviceOpen);
  // Reception started with the receiver off: the IN transfers wait in the
  // chip, then the stop cancels them in flight (usbdevfs discards).
  ASSERT_TRUE(call(VQ_OID_USB_CAPTURE_START));
  ASSERT_TRUE(call(VQ_OID_USB_RX0_START, {0, 0}));
  std::this_thread::sleep_for(20ms);
  ASSERT_TRUE(call(VQ_OID_USB_RX0_STOP));
  ASSERT_TRUE(call(VQ_OID_USB_CAPTURE_STOP));

  ASSERT_TRUE(ListenOnChannel1(*device_));
  const Bytes ring = CaptureBeacons(*device_);
  ASSERT_GT(ring.size(), 0u);
  EXPECT_EQ(ring.size() % kRingRecord, 0u);
  EXPECT_GE(BeaconsOf(ring, kHeardSsid), 3u) << "the access point on channel 1";
  EXPECT_EQ(BeaconsOf(ring, kUnheardSsid), 0u) << "it beacons on channel 6";
}

TEST_F(DriverOnLibusb, UnpluggingWithTransfersInFlightAnswers1167AndAReplugOpensAgain) {
  ASSERT_TRUE(report_.deviceOpen);
  ASSERT_TRUE(writeMac(0x1004, 0x4));
  Bytes load = U32s({0, 0});
  const Bytes packet = DataFramePacket();
  PutLe32(load, 4, static_cast<std::uint32_t>(packet.size()));
  load.insert(load.end(), packet.begin(), packet.end());
  ASSERT_TRUE(call(VQ_OID_USB_TX_LOAD_PACKET, load));
  ASSERT_TRUE(call(VQ_OID_USB_TX_START, U32s({0, 0x1, 0, 0, 0})));  // continuous
  ASSERT_TRUE(call(VQ_OID_USB_CAPTURE_START));                      // IN transfers waiting
  ASSERT_TRUE(call(VQ_OID_USB_RX0_START, {0, 0}));
  ASSERT_TRUE(WaitUntil([&] { return sentOnPipe0() > 10; }));

  chip_->unplug();
  ASSERT_TRUE(WaitUntil([&] { return host_->interfaces().empty(); })) << "the driver never saw the chip go";
  const device::CallResult lost = device::CallDevice(*device_, VQ_OID_USB_TX_STOP, {}, {});
  EXPECT_EQ(lost.error, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_FALSE(device_->hDevice.isOpen());

  chip_->replug();
  ASSERT_TRUE(WaitUntil([&] { return !host_->interfaces().empty(); })) << "the driver never saw the chip back";
  std::uint32_t identity = 0;
  ASSERT_TRUE(device::RegisterAccess(*device_).ReadMacRegister(0x0000, identity));  // re-opens
  EXPECT_EQ(identity, chip_->identity());
  ASSERT_TRUE(writeMac(0x1004, 0x4));
  ASSERT_TRUE(call(VQ_OID_USB_TX_LOAD_PACKET, load));
  const std::uint64_t before = sentOnPipe0();
  ASSERT_TRUE(call(VQ_OID_USB_TX_START, U32s({5, 0x1, 0, 0, 0})));
  EXPECT_TRUE(WaitUntil([&] { return sentOnPipe0() == before + 5; }));
}

TEST_F(DriverOnLibusb, TheChipsOwnDisconnectRequestReEnumeratesItUnderTheNextNumber) {
  ASSERT_TRUE(report_.deviceOpen);
  const auto before = host_->interfaces();
  ASSERT_EQ(before.size(), 1u);
  // The request's status stage completes; then the chip leaves the bus and comes back.
  EXPECT_TRUE(call(VQ_OID_USB_VENDOR_MODE_2));
  ASSERT_TRUE(WaitUntil([&] { return bus_->deviceNode() == "/dev/bus/usb/001/003"; }));
  ASSERT_TRUE(WaitUntil([&] {
    const auto now = host_->interfaces();
    return now.size() == 1 && now != before;
  })) << "the driver never saw the chip come back as a new device";
  EXPECT_EQ(device::CallDevice(*device_, VQ_OID_USB_TX_STOP, {}, {}).error, ERROR_DEVICE_NOT_CONNECTED);
  std::uint32_t identity = 0;
  EXPECT_TRUE(device::RegisterAccess(*device_).ReadMacRegister(0x0000, identity));  // re-opens
  EXPECT_EQ(identity, chip_->identity());
}

}  // namespace
}  // namespace kqa::usbfs
