#include "driver/usbd/usbd_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace kqa::usbd {
namespace {

using Kind = devices::DeviceChoice::Kind;

bool Parse(std::vector<const char*> args, UsbdOptions& options, std::string& error) {
  args.insert(args.begin(), "kestrelqa-usbd");
  return ParseUsbdOptions(static_cast<int>(args.size()), args.data(), options, error);
}

// The spelling with a space is what usbd_process_test runs the daemon with.
TEST(UsbdOptions, ARealChipByDefaultAndEveryOptionWithAnEqualsSign) {
  UsbdOptions options;
  std::string error;
  ASSERT_TRUE(Parse({}, options, error)) << error;
  EXPECT_EQ(options.device.kind, Kind::Usb);
  ASSERT_TRUE(
      Parse({"--device=usb:1d6b:0104", "--socket=/tmp/k/usbd.sock", "--group=kestrelqa"}, options, error))
      << error;
  EXPECT_EQ(options.device.vendorId, 0x1D6B);
  EXPECT_EQ(options.device.productId, 0x0104);
  EXPECT_EQ(options.socketPath, "/tmp/k/usbd.sock");
  EXPECT_EQ(options.group, "kestrelqa");
  ASSERT_TRUE(Parse({"--device=emulated:efuse", "--state=chip.kqastate", "--environment", "air.env",
                     "--seed=77", "--timing", "usb2"},
                    options, error))
      << error;
  EXPECT_EQ(options.device.kind, Kind::EmulatedEfuse);
  EXPECT_EQ(options.device.stateFile, "chip.kqastate");
  EXPECT_EQ(options.device.environmentFile, "air.env");
  EXPECT_EQ(options.device.seed, 77u);
  EXPECT_EQ(options.device.timing, devices::ChipTiming::Usb2);
}

TEST(UsbdOptions, MistakesAreRefusedWithAReason) {
  const std::pair<std::vector<const char*>, const char*> cases[] = {
      {{"--device"}, "--device needs a value"},
      {{"--socket="}, "--socket needs a value"},
      {{"--device", "emulted"}, "unknown device \"emulted\""},
      {{"--device", "socket"}, "the daemon serves a device of its own"},
      {{"--device", "auto"}, "the daemon serves a device of its own"},
      {{"--state", "x.kqastate"}, "--state is for the emulated chip"},
      {{"--environment", "air.env"}, "--environment is for the emulated chip"},
      {{"--device", "emulated", "--seed", "-3"}, "--seed must be a decimal number"},
      {{"--device", "emulated", "--timing", "usb3"}, "--timing must be usb2 or immediate"},
      {{"--device", "emulated", "--state", "/"}, "--state / is a folder"},
      {{"--verbose"}, "unknown option --verbose"},
      {{"emulated"}, "unexpected argument emulated"},
  };
  for (const auto& [args, reason] : cases) {
    SCOPED_TRACE(reason);
    UsbdOptions options;
    options.group = "unchanged";
    std::string error;
    EXPECT_FALSE(Parse(args, options, error));
    EXPECT_NE(error.find(reason), std::string::npos) << error;
    EXPECT_EQ(options.group, "unchanged");
  }
}

}  // namespace
}  // namespace kqa::usbd
