#include <gtest/gtest.h>

#include <thread>

#include "app/device/register_access.h"
#include "app/device/tests/fake_device.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using testing::FakeDevice;
using testing::TestBed;
using namespace kqa::ioctl;

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

TEST(RegisterAccess, ReadsSendTheRequestOfTheirWindowAndAFailedReadGivesAllOnes) {
  TestBed bed;
  RegisterAccess registers(bed.device);
  bed.chip.sys[0x0010] = 0xCAFEF00D;
  std::uint32_t value = 0;
  ASSERT_TRUE(registers.ReadSysRegister(0x0010, value));
  EXPECT_EQ(value, 0xCAFEF00Du);
  const FakeDevice::Call read = bed.chip.callsOf(VQ_OID_USB_VENDOR_SYS_READ).at(0);
  ASSERT_EQ(read.input.size(), 20u);
  EXPECT_EQ(U32At(read.input, 0), 0x10u);
  EXPECT_EQ(U32At(read.input, 4), 4u);
  EXPECT_EQ(read.outputSize, 4u);

  bed.chip.script(VQ_OID_USB_VENDOR_BASE0_READ, ERROR_GEN_FAILURE, {});
  EXPECT_FALSE(registers.ReadAbsRegister(0x0010, value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
  // A short answer is no value either.
  bed.chip.script(VQ_OID_USB_VENDOR_MAC_READ, ERROR_SUCCESS, {0x11, 0x22});
  value = 0;
  EXPECT_FALSE(registers.ReadMacRegister(0x1004, value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_EQ(bed.prompt.messages(),
            (std::vector<std::string>{"DeviceIoControl read failed!", "DeviceIoControl read failed!"}));

  bed.chip.script(VQ_OID_USB_VENDOR_SYS_WRITE, ERROR_GEN_FAILURE, {});
  EXPECT_FALSE(registers.WriteSysRegister(0x10, 1));
  EXPECT_EQ(bed.prompt.messages().back(), "DeviceIoControl write failed!");
  EXPECT_TRUE(bed.device.hDevice.isOpen());
}

TEST(RegisterAccess, Register13B0OfAKestrelIsWrittenInHalves) {
  TestBed bed;
  RegisterAccess registers(bed.device);
  bed.device.asicVersion = 0x5EC70000;
  registers.WriteMacRegister(0x13B0, 0x3F);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_WRITE_HALVES).size(), 1u);
  bed.device.asicVersion = 0x5EC70001;  // the whole identity must match
  registers.WriteMacRegister(0x13B0, 0x3F);
  registers.WriteMacRegister(0x13B4, 0x3F);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_MAC_WRITE).size(), 2u);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_WRITE_HALVES).size(), 1u);
}

TEST(RegisterAccess, BbpAndRfCommandsAreBuiltAsTheCommandRegistersExpect) {
  TestBed bed;
  RegisterAccess registers(bed.device);
  bed.chip.bbp[5] = 0x3C;
  std::uint8_t value = 0;
  ASSERT_TRUE(registers.AccessBbpRegister(kRegisterRead, 5, value));
  EXPECT_EQ(value, 0x3C);
  EXPECT_EQ(bed.chip.macWrites(kBbpCommandRegister), std::vector<std::uint32_t>{0xB0500});

  value = 0x5A;
  ASSERT_TRUE(registers.AccessRfRegister(kRegisterWrite, 2, 10, value));
  EXPECT_EQ(bed.chip.macWrites(kRfCommandRegister), std::vector<std::uint32_t>{0xC0008A5A});
  EXPECT_EQ(bed.chip.rf[2][10], 0x5A);

  bed.chip.rf[0][63] = 0x77;
  ASSERT_TRUE(registers.AccessRfRegister(kRegisterRead, 0, 63, value));
  EXPECT_EQ(value, 0x77);
  EXPECT_EQ(bed.chip.macWrites(kRfCommandRegister).back(), 0x80003F00u);
  // Bank and register are masked to 4 and 6 bits.
  registers.AccessRfRegister(kRegisterRead, 0x12, 0x41, value);
  EXPECT_EQ(bed.chip.macWrites(kRfCommandRegister).back(), 0x80008100u);

  bed.chip.clearCalls();
  registers.AccessBbpRegister(7, 5, value);
  EXPECT_TRUE(bed.chip.calls().empty());
}

TEST(RegisterAccess, BbpR66IsWrittenOncePerReceivePathThroughR27) {
  TestBed bed;
  RegisterAccess registers(bed.device);
  bed.chip.bbp[27] = 0xFF;
  bed.device.eepromWord34 = 0x0012;  // two receive paths
  std::uint8_t value = 0x1C;
  ASSERT_TRUE(registers.AccessBbpRegister(kRegisterWrite, 66, value));
  EXPECT_EQ(bed.chip.macWrites(kBbpCommandRegister),
            (std::vector<std::uint32_t>{0xB1B00, 0xA1B9F, 0xA421C, 0xB1B00, 0xA1BBF, 0xA421C}));
  EXPECT_EQ(bed.chip.bbp[27], 0xBF);

  for (std::uint16_t paths : {0x00, 0x04, 0x0F}) {
    bed.chip.clearCalls();
    bed.device.eepromWord34 = paths;
    registers.AccessBbpRegister(kRegisterWrite, 66, value);
    EXPECT_TRUE(bed.chip.macWrites(kBbpCommandRegister).empty()) << paths;
  }
}

TEST(RegisterAccess, BusyPollingWaitsAtMostTenReadsAndStopsAtAFailedRead) {
  TestBed bed;
  RegisterAccess registers(bed.device);
  bed.chip.mac[kBbpCommandRegister] = 0;
  bed.chip.commandBusyReads = 3;
  std::uint8_t value = 0x11;
  registers.AccessBbpRegister(kRegisterWrite, 3, value);  // leaves 3 busy reads
  bed.chip.clearCalls();
  registers.AccessBbpRegister(kRegisterWrite, 4, value);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_MAC_READ).size(), 4u);

  bed.chip.commandBusyReads = 50;  // never clears: written regardless
  registers.AccessBbpRegister(kRegisterWrite, 3, value);
  bed.chip.clearCalls();
  registers.AccessBbpRegister(kRegisterWrite, 4, value);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_MAC_READ).size(), 10u);
  EXPECT_EQ(bed.chip.macWrites(kBbpCommandRegister).size(), 1u);

  bed.chip.clearCalls();
  bed.chip.failingMacReads = {kBbpCommandRegister};
  EXPECT_FALSE(registers.AccessBbpRegister(kRegisterRead, 4, value));
  EXPECT_EQ(value, 0xFF);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_MAC_READ).size(), 1u);
  EXPECT_TRUE(bed.chip.macWrites(kBbpCommandRegister).empty());
  EXPECT_EQ(bed.prompt.messages().size(), 1u);
}

TEST(RegisterAccess, AFailedMemoryReadLeavesTheBuffer) {
  TestBed bed;
  RegisterAccess registers(bed.device);
  std::vector<std::uint8_t> buffer(8, 0xEE);
  ASSERT_TRUE(registers.ReadMemoryBlock(0x100, buffer));
  EXPECT_EQ(buffer[1], 0x01);  // the fake answers offset + i
  std::fill(buffer.begin(), buffer.end(), 0xEE);
  bed.chip.script(VQ_OID_USB_VENDOR_READ_BLOCK, ERROR_GEN_FAILURE, {1, 2, 3});
  EXPECT_FALSE(registers.ReadMemoryBlock(0x100, buffer));
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xEE));
}

TEST(RegisterAccess, BbpSequencesOfTwoThreadsDoNotInterleave) {
  TestBed bed;
  for (int i = 0; i < 256; ++i) bed.chip.bbp[i] = static_cast<std::uint8_t>(i);
  std::atomic<int> wrong{0};
  const auto reader = [&](std::uint8_t id) {
    RegisterAccess registers(bed.device);
    for (int n = 0; n < 200; ++n) {
      std::uint8_t value = 0;
      registers.AccessBbpRegister(kRegisterRead, id, value);
      if (value != id) ++wrong;
    }
  };
  std::thread ui(reader, 10);
  std::thread worker(reader, 20);
  ui.join();
  worker.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace kqa::device
