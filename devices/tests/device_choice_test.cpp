#include <gtest/gtest.h>

#include "devices/device_select.h"

namespace kqa::devices {
namespace {

using Kind = DeviceChoice::Kind;

TEST(ParseDeviceChoice, EveryValidForm) {
  struct Case {
    const char* text;
    Kind kind;
    std::uint16_t vendorId, productId;
    const char* socketPath;
  };
  const Case cases[] = {
      {"auto", Kind::Auto, 0, 0, ""},
      {"emulated", Kind::Emulated, 0, 0, ""},
      {"emulated:efuse", Kind::EmulatedEfuse, 0, 0, ""},
      {"usb", Kind::Usb, 0, 0, ""},
      {"usb:1d6b:0104", Kind::Usb, 0x1D6B, 0x0104, ""},
      {"usb:ABCD:1", Kind::Usb, 0xABCD, 0x0001, ""},
      {"socket", Kind::Socket, 0, 0, ""},
      {"socket:/tmp/a:b.sock", Kind::Socket, 0, 0, "/tmp/a:b.sock"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DeviceChoice choice;
    choice.kind = Kind::Socket;
    choice.vendorId = choice.productId = 9;
    choice.socketPath = "old";
    choice.stateFile = "state.kqastate";
    std::string error;
    ASSERT_TRUE(ParseDeviceChoice(c.text, choice, error)) << error;
    EXPECT_EQ(choice.kind, c.kind);
    EXPECT_EQ(choice.vendorId, c.vendorId);
    EXPECT_EQ(choice.productId, c.productId);
    EXPECT_EQ(choice.socketPath, c.socketPath);
    EXPECT_EQ(choice.stateFile, "state.kqastate") << "the state file is set on its own";
  }
}

TEST(ParseDeviceChoice, TyposAreRefusedWithAReasonAndChangeNothing) {
  struct Case {
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {"", "unknown device"},
      {"emulted", "unknown device \"emulted\": expected emulated, emulated:efuse, usb"},
      {"Emulated", "unknown device"},
      {"emulated:", "unknown emulated board"},
      {"emulated:eeprom", "unknown emulated board \"eeprom\""},
      {"usb:", "is not usb:VVVV:PPPP"},
      {"usb:1d6b", "is not usb:VVVV:PPPP"},
      {"usb:1d6b:", "is not usb:VVVV:PPPP"},
      {"usb:12345:0001", "is not usb:VVVV:PPPP"},
      {"usb:0x1d:0001", "is not usb:VVVV:PPPP"},
      {"usb:0000:0001", "is not usb:VVVV:PPPP"},
      {"usb:1d6b:01g4", "is not usb:VVVV:PPPP"},
      {"usb:1d6b:0104:7", "is not usb:VVVV:PPPP"},
      {"socket:", "socket: needs a path"},
      {"auto:x", "unknown device"},
      {"sockets", "unknown device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DeviceChoice choice;
    choice.kind = Kind::Emulated;
    choice.stateFile = "keep";
    std::string error;
    EXPECT_FALSE(ParseDeviceChoice(c.text, choice, error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_EQ(choice.kind, Kind::Emulated);
    EXPECT_EQ(choice.stateFile, "keep");
  }
}

}  // namespace
}  // namespace kqa::devices
