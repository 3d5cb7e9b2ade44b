// One bench, two users: the window's logic (its device connection and the
// main frame's presence check, without Qt) and kestrelqa-cli work on one
// kestrelqa-usbd at once, and the window freezes and revives as the daemon's
// chip is pulled and plugged back in.
#include <gtest/gtest.h>

#include <signal.h>

#include <array>
#include <thread>

#include "app/device/connection.h"
#include "app/device/device_context.h"
#include "app/device/efuse.h"
#include "app/device/register_access.h"
#include "app/shell/device_presence.h"
#include "app/shell/device_probe.h"
#include "driver/usbd/tests/daemon_process.h"
#include "platform/clock/clock.h"
#include "platform/ioctl/socket/socket_client.h"
#include "platform/ioctl/socket/tests/socket_test_support.h"
#include "platform/prompt/scripted_prompt.h"

namespace kqa::usbd::testing {
namespace {

using Kind = shell::PresenceAction::Kind;

class SharedBench : public ::testing::Test {
 protected:
  ProgramRun cli(std::vector<std::string> words) {
    words.insert(words.begin(), {KQA_CLI_EXECUTABLE, "--device", "socket:" + socket});
    return RunProgram(words);
  }
  std::uint32_t windowReads(std::uint32_t address) {
    std::uint32_t value = 0;
    EXPECT_TRUE(device::RegisterAccess(window).ReadMacRegister(address, value));
    return value;
  }

  ioctl::testing::TempDir folder;
  std::string socket = folder.path() + "/usbd.sock";
  DaemonProcess daemon{{"--device", "emulated", "--socket", socket}};
  // The window, as its start-up sets it up through a daemon.
  ioctl::SocketDeviceInterfaceProvider provider{socket};
  ScriptedPrompt prompt;
  device::DeviceContext window{provider, prompt, SystemClock()};
  shell::DevicePresence presence{[this] { return shell::DeviceReachable(window); }};
};

TEST_F(SharedBench, TheWindowAndTheCliReadAndWriteTogetherAndTheWindowFollowsThePlug) {
  ASSERT_TRUE(daemon.waitFor("serving")) << daemon.output();
  EXPECT_EQ(presence.check().kind, Kind::None);
  ASSERT_TRUE(device::RegisterAccess(window).WriteMacRegister(0x1008, 0x11223344));

  // The window's connection stays open while the CLI comes and goes.
  const ProgramRun read = cli({"reg", "read", "1008"});
  EXPECT_EQ(read.exitCode, 0) << read.err;
  EXPECT_EQ(read.out, "11223344\n");
  EXPECT_EQ(cli({"reg", "write", "1008", "AABBCCDD"}).exitCode, 0);
  EXPECT_EQ(windowReads(0x1008), 0xAABBCCDDu);
  EXPECT_EQ(windowReads(0x0000) >> 16, 0x5EC7u);
  EXPECT_EQ(presence.check().kind, Kind::None);
  EXPECT_TRUE(prompt.messages().empty());

  daemon.signal(SIGUSR1);
  ASSERT_TRUE(daemon.waitFor("the device is gone")) << daemon.output();
  EXPECT_EQ(presence.check().kind, Kind::Freeze);
  EXPECT_EQ(presence.check().kind, Kind::Freeze);
  EXPECT_EQ(cli({"reg", "read", "0"}).exitCode, 1);

  daemon.signal(SIGUSR2);
  ASSERT_TRUE(daemon.waitFor("opened the device")) << daemon.output();
  const shell::PresenceAction revived = presence.check();
  EXPECT_EQ(revived.kind, Kind::Revive);
  EXPECT_EQ(revived.title, shell::kWorkingTitle);
  EXPECT_EQ(windowReads(0x1008), 0u) << "plugging the chip back in powers it up afresh";
  EXPECT_EQ(cli({"reg", "read", "0"}).out.substr(0, 4), "5EC7");

  device::CloseDevice(window);
  daemon.signal(SIGTERM);
  EXPECT_EQ(daemon.waitForExit(), 0) << daemon.output();
}

// Two clients reading the eFuse at once: each logical read is a sequence of
// controller steps (address, start, busy polls, data words) that the other
// client's steps must not land between, or a read returns another block's
// words (and a burn could land on the wrong block).
TEST(SharedEfuse, TwoClientsSequencesDoNotInterleave) {
  ioctl::testing::TempDir folder;
  const std::string socket = folder.path() + "/usbd.sock";
  DaemonProcess daemon{{"--device", "emulated:efuse", "--timing", "usb2", "--socket", socket}};
  ASSERT_TRUE(daemon.waitFor("serving")) << daemon.output();
  ioctl::SocketDeviceInterfaceProvider provider{socket};
  ScriptedPrompt firstPrompt, secondPrompt;
  device::DeviceContext first{provider, firstPrompt, SystemClock()};
  device::DeviceContext second{provider, secondPrompt, SystemClock()};

  using Block = std::array<std::uint8_t, 16>;
  const auto read = [](device::DeviceContext& device, std::uint16_t offset, Block& block) {
    return device::ReadEfuseLogicalBlock(device, offset, block, false);
  };
  // Block 0 (chip id and MAC address) and the TX power block 5 differ.
  Block chipId{}, power{};
  ASSERT_TRUE(read(first, 0x00, chipId));
  ASSERT_TRUE(read(second, 0x50, power));
  ASSERT_NE(chipId, power);

  std::array<int, 2> wrong{};
  const auto keepReading = [&](device::DeviceContext& device, std::uint16_t offset, const Block& expected,
                               int& mismatches) {
    for (int i = 0; i < 150; ++i) {
      Block block{};
      if (!read(device, offset, block) || block != expected) ++mismatches;
    }
  };
  std::thread a(keepReading, std::ref(first), std::uint16_t{0x00}, std::cref(chipId), std::ref(wrong[0]));
  std::thread b(keepReading, std::ref(second), std::uint16_t{0x50}, std::cref(power), std::ref(wrong[1]));
  a.join();
  b.join();
  EXPECT_EQ(wrong, (std::array<int, 2>{0, 0}));
  EXPECT_TRUE(firstPrompt.messages().empty());
  EXPECT_TRUE(secondPrompt.messages().empty());

  device::CloseDevice(first);
  device::CloseDevice(second);
  daemon.signal(SIGTERM);
  EXPECT_EQ(daemon.waitForExit(), 0) << daemon.output();
}

}  // namespace
}  // namespace kqa::usbd::testing
