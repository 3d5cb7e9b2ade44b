// The buffer and EEPROM back ends on the fake device; the eFuse back end is
// in efuse_test.cpp.
#include <gtest/gtest.h>

#include "app/device/config_memory.h"
#include "app/device/tests/fake_device.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using testing::TestBed;
using namespace kqa::ioctl;

TEST(ConfigMemory, BufferModeCopiesWithinTheImageOnly) {
  TestBed bed;
  SelectBackEnd(bed.device, ConfigMemoryBackEnd::Buffer);
  ASSERT_EQ(WriteEepromWord(bed.device, 0x3FE, 0xBEEF), NvmResult::Ok);
  EXPECT_EQ(bed.device.eepromImage[0x3FE], 0xEF);
  std::uint16_t word = 0;
  ASSERT_EQ(ReadEepromWord(bed.device, 0x3FE, word), NvmResult::Ok);
  EXPECT_EQ(word, 0xBEEF);

  const std::array<std::uint8_t, 4> data = {1, 2, 3, 4};
  EXPECT_EQ(WriteEepromBlock(bed.device, 0x3FE, data), NvmResult::Failed);
  EXPECT_EQ(bed.prompt.messages(),
            std::vector<std::string>{"Offset 0x3FE with 4 bytes lies outside the 1024-byte EEPROM image!"});
  EXPECT_EQ(bed.device.eepromImage[0x3FE], 0xEF);
  EXPECT_TRUE(bed.chip.calls().empty());
}

TEST(ConfigMemory, EepromModeSendsWholeWordsButKeepsTheCallersBufferAndTheNeighbouringByte) {
  TestBed bed;
  for (std::size_t i = 0; i < bed.chip.eeprom.size(); ++i) bed.chip.eeprom[i] = static_cast<std::uint8_t>(i);
  std::array<std::uint8_t, 4> guarded = {0, 0, 0, 0xEE};
  ASSERT_EQ(ReadEepromBlock(bed.device, 0x10, std::span(guarded).first(3)), NvmResult::Ok);
  EXPECT_EQ(guarded, (std::array<std::uint8_t, 4>{0x10, 0x11, 0x12, 0xEE}));
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_EEPROM_READ).at(0).input,
            (std::vector<std::uint8_t>{0x10, 0x00, 0x03, 0x00}));

  ASSERT_EQ(WriteEepromWord(bed.device, 0x20, 0x1234), NvmResult::Ok);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_VENDOR_EEPROM_WRITE).at(0).input,
            (std::vector<std::uint8_t>{0x20, 0x00, 0x02, 0x00, 0x34, 0x12}));
  const std::array<std::uint8_t, 3> odd = {0xA1, 0xA2, 0xA3};
  ASSERT_EQ(WriteEepromBlock(bed.device, 0x20, odd), NvmResult::Ok);
  EXPECT_EQ(bed.chip.eeprom[0x22], 0xA3);
  EXPECT_EQ(bed.chip.eeprom[0x23], 0x23);

  bed.chip.clearCalls();
  EXPECT_EQ(WriteEepromBlock(bed.device, 0, std::vector<std::uint8_t>(513)), NvmResult::Failed);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"Maximum size must <= 512"});
  EXPECT_TRUE(bed.chip.calls().empty());

  bed.chip.failAlways(VQ_OID_USB_VENDOR_EEPROM_READ, ERROR_GEN_FAILURE);
  std::uint16_t word = 0x5555;
  EXPECT_EQ(ReadEepromWord(bed.device, 0x10, word), NvmResult::Failed);
  EXPECT_EQ(word, 0x5555);
  EXPECT_EQ(bed.prompt.messages().back(), "DeviceIoControl failed!  Error = 31");
}

}  // namespace
}  // namespace kqa::device
