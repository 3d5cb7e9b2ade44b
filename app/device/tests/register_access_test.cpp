#include <gtest/gtest.h>

#include <thread>

#include "app/device/register_access.h"
#include "app/device/tests/fake_device.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using testing::TestBed;
using namespace kqa::ioctl;

class RegisterAccessTest : public ::testing::Test {
 protected:
  std::size_t macReads() const { return bed.chip.callsOf(VQ_OID_USB_VENDOR_MAC_READ).size(); }

  TestBed bed;
  RegisterAccess registers{bed.device};
};

TEST_F(RegisterAccessTest, AShortAnswerIsNoValue) {
  bed.chip.script(VQ_OID_USB_VENDOR_MAC_READ, ERROR_SUCCESS, {0x11, 0x22});
  std::uint32_t value = 0;
  EXPECT_FALSE(registers.ReadMacRegister(0x1004, value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
}

TEST_F(RegisterAccessTest, Register13B0OfAKestrelIsWrittenInHalves) {
  bed.device.asicVersion = 0x5EC70000;
  registers.WriteMacRegister(0x13B0, 0x3F);
  registers.WriteMacRegister(0x13B4, 0x3F);
  bed.device.asicVersion = 0x5EC70001;  // the whole identity must match
  registers.WriteMacRegister(0x13B0, 0x3F);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_WRITE_HALVES).size(), 1u);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_MAC_WRITE).size(), 2u);
}

TEST_F(RegisterAccessTest, BbpAndRfCommandsAreBuiltAsTheCommandRegistersExpect) {
  bed.chip.bbp[5] = 0x3C;
  std::uint8_t value = 0;
  ASSERT_TRUE(registers.AccessBbpRegister(kRegisterRead, 5, value));
  EXPECT_EQ(value, 0x3C);
  EXPECT_EQ(bed.chip.macWrites(kBbpCommandRegister), std::vector<std::uint32_t>{0xB0500});

  value = 0x5A;
  ASSERT_TRUE(registers.AccessRfRegister(kRegisterWrite, 2, 10, value));
  bed.chip.rf[0][63] = 0x77;
  ASSERT_TRUE(registers.AccessRfRegister(kRegisterRead, 0, 63, value));
  EXPECT_EQ(value, 0x77);
  registers.AccessRfRegister(kRegisterRead, 0x12, 0x41, value);  // bank and register masked to 4 and 6 bits
  EXPECT_EQ(bed.chip.macWrites(kRfCommandRegister), (std::vector<std::uint32_t>{0xC0008A5A, 0x80003F00, 0x80008100}));

  bed.chip.clearCalls();
  registers.AccessBbpRegister(7, 5, value);
  EXPECT_TRUE(bed.chip.calls().empty()) << "neither read nor write";
}

TEST_F(RegisterAccessTest, BbpR66IsWrittenOncePerReceivePathThroughR27) {
  bed.chip.bbp[27] = 0xFF;
  bed.device.eepromWord34 = 0x0012;  // two receive paths
  std::uint8_t value = 0x1C;
  ASSERT_TRUE(registers.AccessBbpRegister(kRegisterWrite, 66, value));
  EXPECT_EQ(bed.chip.macWrites(kBbpCommandRegister),
            (std::vector<std::uint32_t>{0xB1B00, 0xA1B9F, 0xA421C, 0xB1B00, 0xA1BBF, 0xA421C}));

  for (std::uint16_t paths : {0x00, 0x04, 0x0F}) {
    bed.chip.clearCalls();
    bed.device.eepromWord34 = paths;
    registers.AccessBbpRegister(kRegisterWrite, 66, value);
    EXPECT_TRUE(bed.chip.macWrites(kBbpCommandRegister).empty()) << paths;
  }
}

TEST_F(RegisterAccessTest, BusyPollingWaitsAtMostTenReadsAndStopsAtAFailedRead) {
  std::uint8_t value = 0x11;
  bed.chip.commandBusyReads = 50;  // never clears: written regardless
  registers.AccessBbpRegister(kRegisterWrite, 3, value);
  bed.chip.clearCalls();
  registers.AccessBbpRegister(kRegisterWrite, 4, value);
  EXPECT_EQ(macReads(), 10u);
  EXPECT_EQ(bed.chip.macWrites(kBbpCommandRegister).size(), 1u);

  bed.chip.clearCalls();
  bed.chip.failingMacReads = {kBbpCommandRegister};
  EXPECT_FALSE(registers.AccessBbpRegister(kRegisterRead, 4, value));
  EXPECT_EQ(value, 0xFF);
  EXPECT_EQ(macReads(), 1u);
  EXPECT_TRUE(bed.chip.macWrites(kBbpCommandRegister).empty());
  EXPECT_EQ(bed.prompt.messages().size(), 1u);
}

TEST_F(RegisterAccessTest, BbpSequencesOfTwoThreadsDoNotInterleave) {
  for (int i = 0; i < 256; ++i) bed.chip.bbp[i] = static_cast<std::uint8_t>(i);
  std::atomic<int> wrong{0};
  const auto reader = [&](std::uint8_t id) {
    RegisterAccess mine(bed.device);
    for (int n = 0; n < 200; ++n) {
      std::uint8_t value = 0;
      mine.AccessBbpRegister(kRegisterRead, id, value);
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
