// The daemon's hold on the device: one open of the driver shared by every
// client, closed when the device goes and opened again by itself when it is
// back. Against a small fake of the driver whose open resets a register, as
// the driver's open resets the device, and which refuses a second open.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/usbd/device_keeper.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::usbd {
namespace {

using ioctl::DeviceHandle;
using ioctl::kQaInterfaceClass;
using OpenFailure = ioctl::DeviceInterfaceProvider::OpenFailure;

// One register (MAC_WRITE/MAC_READ at any address) that every open clears,
// the firmware version word, one handle at a time, and a plug.
class FakeDriver final : public ioctl::DeviceInterfaceProvider {
 public:
  OpenResult open(std::string_view, std::uint32_t) override {
    OpenResult result;
    if (!present) {
      result.failure = OpenFailure::NoInstance;
      result.error = ERROR_FILE_NOT_FOUND;
    } else if (openHandles > 0) {
      result.failure = OpenFailure::OpenFailed;
      result.error = ERROR_SHARING_VIOLATION;
    } else {
      ++opens;
      ++openHandles;
      reg = 0;
      result.path = "fake#" + std::to_string(generation.load());
      result.handle = std::make_unique<Handle>(*this, generation);
    }
    return result;
  }

  void unplug() { present = false; }
  void replug() {
    ++generation;
    present = true;
  }

  std::atomic<int> opens{0};
  std::atomic<int> openHandles{0};
  std::atomic<std::uint32_t> reg{0};

 private:
  class Handle final : public DeviceHandle {
   public:
    Handle(FakeDriver& driver, int generation) : driver_(driver), generation_(generation) {}
    ~Handle() override { --driver_.openHandles; }
    ioctl::ControlResult control(std::uint32_t code, std::span<const std::uint8_t> input,
                                 std::span<std::uint8_t> output) override {
      // A handle of a device that went answers 1167 for good.
      if (!driver_.present || generation_ != driver_.generation) return {ERROR_DEVICE_NOT_CONNECTED, 0};
      if (code == ioctl::VQ_OID_USB_VENDOR_MAC_WRITE) driver_.reg = GetLe32(input, 4);
      if (code == ioctl::VQ_OID_USB_VENDOR_MAC_READ) PutLe32(output, 0, driver_.reg);
      if (code == ioctl::VQ_OID_USB_GET_FIRMWARE_VERSION) PutLe32(output, 0, 7);
      return {ERROR_SUCCESS, 4};
    }

   private:
    FakeDriver& driver_;
    const int generation_;
  };

  std::atomic<bool> present{true};
  std::atomic<int> generation{1};
};

ioctl::ControlResult Write(DeviceHandle& handle, std::uint32_t value) {
  std::uint8_t input[8] = {};
  PutLe32(input, 4, value);
  return handle.control(ioctl::VQ_OID_USB_VENDOR_MAC_WRITE, input, {});
}

// The value read, or the error with its top bit set.
std::uint32_t Read(DeviceHandle& handle) {
  std::uint8_t input[20] = {};
  std::uint8_t output[4] = {};
  const auto result = handle.control(ioctl::VQ_OID_USB_VENDOR_MAC_READ, input, output);
  return result.succeeded() ? GetLe32(output, 0) : 0x80000000u | result.error;
}

class Keeper : public ::testing::Test {
 protected:
  std::unique_ptr<DeviceHandle> client() {
    auto opened = keeper.open(kQaInterfaceClass, 0);
    EXPECT_EQ(opened.failure, OpenFailure::None) << opened.error;
    return std::move(opened.handle);
  }
  int logged(const std::string& text) {
    std::lock_guard lock(logMutex);
    int count = 0;
    for (const std::string& line : log) count += line.find(text) != std::string::npos;
    return count;
  }

  FakeDriver driver;
  std::mutex logMutex;
  std::vector<std::string> log;
  DeviceKeeper keeper{driver, [this](const std::string& line) {
                        std::lock_guard lock(logMutex);
                        log.push_back(line);
                      }};
};

TEST_F(Keeper, ClientsShareOneOpenSoWhatOneLeavesTheNextFinds) {
  keeper.check();
  EXPECT_EQ(driver.opens, 1);
  auto window = client();
  auto script = client();  // in-process this second open is refused with 32
  ASSERT_TRUE(window && script);
  ASSERT_TRUE(Write(*window, 0x1234).succeeded());
  EXPECT_EQ(Read(*script), 0x1234u);
  window.reset();
  EXPECT_EQ(Read(*script), 0x1234u) << "a client's close tore the device down";
  script.reset();
  auto next = client();
  EXPECT_EQ(Read(*next), 0x1234u) << "a client's open reset the device";
  keeper.check();
  EXPECT_EQ(driver.opens, 1);
  EXPECT_EQ(driver.openHandles, 1);
  EXPECT_EQ(keeper.state(), "open (fake#1), opened 1 time since the daemon started");

  // Only instance 0 of the QA class is served, and asking touches nothing.
  auto otherClass = keeper.open("{00000000-0000-0000-0000-000000000000}", 0);
  EXPECT_EQ(otherClass.failure, OpenFailure::UnknownClass);
  auto otherInstance = keeper.open(kQaInterfaceClass, 1);
  EXPECT_EQ(otherInstance.failure, OpenFailure::NoInstance);
  EXPECT_EQ(otherInstance.error, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(keeper.open("{9c4d2a71-3b8e-4f06-a15d-7e2c90b46f13}", 0).handle) << "the class is not case-sensitive";
  EXPECT_EQ(driver.opens, 1);
}

TEST_F(Keeper, AGoneDeviceFailsEveryShareAndIsOpenedAgainByItselfWhenBack) {
  auto before = client();  // the first open of the device happens here
  ASSERT_TRUE(before);
  Write(*before, 0x55);
  driver.unplug();
  EXPECT_EQ(Read(*before), 0x80000000u | ERROR_DEVICE_NOT_CONNECTED);
  for (int i = 0; i < 3; ++i) keeper.check();
  EXPECT_EQ(driver.openHandles, 0) << "the gone device's handle is closed";
  auto whileGone = keeper.open(kQaInterfaceClass, 0);
  EXPECT_EQ(whileGone.failure, OpenFailure::NoInstance);
  EXPECT_EQ(whileGone.error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(keeper.state(), "not open: no Kestrel is present (error 2); waiting for it");

  driver.replug();
  keeper.check();  // no client asks: the keeper opens by itself
  EXPECT_EQ(driver.opens, 2);
  EXPECT_EQ(Read(*before), 0x80000000u | ERROR_DEVICE_NOT_CONNECTED)
      << "a share of the old handle must not reach the new device";
  auto after = client();
  EXPECT_EQ(Read(*after), 0u) << "the re-open resets the device, as plugging it in does";
  EXPECT_EQ(keeper.state(), "open (fake#2), opened 2 times since the daemon started");

  // One line per change, however often the keeper looked.
  EXPECT_EQ(logged("opened the device (fake#1)"), 1);
  EXPECT_EQ(logged("the device is gone (error 1167): closed fake#1"), 1);
  EXPECT_EQ(logged("cannot open the device: no Kestrel is present (error 2); waiting for it"), 1);
  EXPECT_EQ(logged("opened the device (fake#2)"), 1);
}

TEST_F(Keeper, ClientsCallWhileTheDeviceComesAndGoes) {
  keeper.check();
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> clients;
  for (std::uint32_t t = 0; t < 3; ++t) {
    clients.emplace_back([&, t] {
      std::unique_ptr<DeviceHandle> handle;
      while (!stop) {
        if (!handle) handle = keeper.open(kQaInterfaceClass, 0).handle;
        if (!handle) continue;
        const std::uint32_t value = Read(*handle);
        if (value == (0x80000000u | ERROR_DEVICE_NOT_CONNECTED)) {
          handle.reset();  // what the program does on 1167
        } else if (value & 0x80000000u) {
          ++wrong;
        }
        if (t == 0 && handle) Write(*handle, 0x100);
      }
    });
  }
  for (int i = 0; i < 50; ++i) {
    driver.unplug();
    keeper.check();
    driver.replug();
    keeper.check();
  }
  stop = true;
  for (auto& thread : clients) thread.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(driver.opens, 51);
  EXPECT_EQ(driver.openHandles, 1);
}

TEST(KeeperLifetime, DestroyingTheKeeperClosesTheDriverHandleUnderItsShares) {
  FakeDriver driver;
  auto keeper = std::make_unique<DeviceKeeper>(driver, [](const std::string&) {});
  auto share = keeper->open(kQaInterfaceClass, 0).handle;
  ASSERT_TRUE(share);
  keeper.reset();
  EXPECT_EQ(driver.openHandles, 0);
  EXPECT_EQ(Read(*share), 0x80000000u | ERROR_DEVICE_NOT_CONNECTED);
}

}  // namespace
}  // namespace kqa::usbd
