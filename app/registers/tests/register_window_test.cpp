#include <gtest/gtest.h>

#include "app/device/tests/fake_device.h"
#include "app/registers/register_window.h"
#include "platform/bytes/little_endian.h"

namespace kqa::registers {
namespace {

using device::testing::TestBed;

// Each window reaches the chip through its own pair of control codes, which
// the MAC page's access mode and kestrelqa-cli's "reg" command both rely on.
TEST(RegisterWindow, EachWindowUsesItsOwnControlCodesAndIsNamedByItsWord) {
  struct Case {
    const char* word;
    RegisterWindow window;
    std::uint32_t readCode;
    std::uint32_t writeCode;
  };
  const Case cases[] = {
      {"MAC", RegisterWindow::Mac, 0x223480, 0x223484},
      {"sys", RegisterWindow::Sys, 0x22352C, 0x223528},
      {"Abs", RegisterWindow::Absolute, 0x223520, 0x223518},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.word);
    ASSERT_EQ(RegisterWindowNamed(each.word), each.window);
    TestBed bed;
    device::RegisterAccess registers(bed.device);
    ASSERT_TRUE(WriteWindowRegister(registers, each.window, 0x1234, 0xCAFE0001));
    std::uint32_t value = 0;
    ASSERT_TRUE(ReadWindowRegister(registers, each.window, 0x1234, value));
    EXPECT_EQ(value, 0xCAFE0001u);
    ASSERT_EQ(bed.chip.callsOf(each.writeCode).size(), 1u);
    EXPECT_EQ(GetLe32(bed.chip.callsOf(each.writeCode)[0].input, 0), 0x1234u);
    EXPECT_EQ(bed.chip.callsOf(each.readCode).size(), 1u);
  }
  EXPECT_FALSE(RegisterWindowNamed("bbp"));
  EXPECT_FALSE(RegisterWindowNamed("ma"));
  EXPECT_EQ(RegisterWindowWord(RegisterWindow::Absolute), "abs");
}

}  // namespace
}  // namespace kqa::registers
