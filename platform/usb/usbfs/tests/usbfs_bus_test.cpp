// The bus through the node a process opens: the usbdevfs ioctls issued by
// hand, as libusb issues them, against a scriptable device; what the kernel
// would answer is worked out here from its rules, not from the bridge.
// clang-format off
#include <sys/ioctl.h>
#include <linux/usbdevice_fs.h>
// clang-format on

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/usb/testing/fake_device_model.h"
#include "platform/usb/usbfs/testing/preloaded_tests.h"
#include "platform/usb/usbfs/umockdev_usb_bus.h"

namespace kqa::usb::usbfs {
namespace {

using usb::testing::FakeDeviceModel;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kSysfs = "/sys/bus/usb/devices/1-1/";
constexpr unsigned char kVendorRead = 0x07;  // the fake's MAC read
constexpr unsigned char kVendorWrite = 0x06;

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// A URB with its own buffer, as libusb lays one out.
struct Urb {
  std::unique_ptr<usbdevfs_urb> urb = std::make_unique<usbdevfs_urb>();
  Bytes buffer;

  Urb(unsigned char type, unsigned char endpoint, Bytes bytes, unsigned flags = 0) : buffer(std::move(bytes)) {
    urb->type = type;
    urb->endpoint = endpoint;
    urb->flags = flags;
    urb->buffer = buffer.data();
    urb->buffer_length = static_cast<int>(buffer.size());
  }
  // A control URB: the setup packet, then wLength bytes of data stage.
  static Urb Control(unsigned char requestType, unsigned char request, unsigned short index, Bytes data) {
    Bytes bytes = {requestType, request, 0, 0, static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(index >> 8),
                   static_cast<std::uint8_t>(data.size()), 0};
    bytes.insert(bytes.end(), data.begin(), data.end());
    return Urb(USBDEVFS_URB_TYPE_CONTROL, 0, bytes);
  }
};

class UsbfsBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KQA_SKIP_WITHOUT_UMOCKDEV();
    bus_ = std::make_unique<UmockdevUsbBus>();
    bus_->serve(model_);
    ASSERT_EQ(bus_->deviceNode(), "/dev/bus/usb/001/002") << bus_->lastError();
    fd_ = ::open(bus_->deviceNode().c_str(), O_RDWR);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    if (fd_ >= 0) ::close(fd_);
    bus_.reset();
  }

  // The ioctl's result, or -errno.
  int call(unsigned long request, void* argument) {
    return ::ioctl(fd_, request, argument) == 0 ? 0 : -errno;
  }
  int submit(Urb& urb) { return call(USBDEVFS_SUBMITURB, urb.urb.get()); }
  bool reapable(int milliseconds = 0) {
    pollfd entry{fd_, POLLOUT, 0};
    return ::poll(&entry, 1, milliseconds) == 1 && (entry.revents & POLLOUT) != 0;
  }
  // Waits (bounded) until a URB can be reaped, and reaps it.
  usbdevfs_urb* reap() {
    EXPECT_TRUE(reapable(5000)) << "no URB became reapable";
    usbdevfs_urb* urb = nullptr;
    EXPECT_EQ(call(USBDEVFS_REAPURBNDELAY, &urb), 0);
    return urb;
  }
  void configure() {
    int configuration = 1;
    unsigned interface = 0;
    ASSERT_EQ(call(USBDEVFS_SETCONFIGURATION, &configuration), 0);
    ASSERT_EQ(call(USBDEVFS_CLAIMINTERFACE, &interface), 0);
  }

  FakeDeviceModel model_;
  std::unique_ptr<UmockdevUsbBus> bus_;
  int fd_ = -1;
};

TEST_F(UsbfsBusTest, SysfsShowsTheDeviceWithTheDescriptorsItGivesWhenAsked) {
  EXPECT_EQ(ReadFile(std::string(kSysfs) + "busnum"), "1\n");
  EXPECT_EQ(ReadFile(std::string(kSysfs) + "devnum"), "2\n");
  EXPECT_EQ(ReadFile(std::string(kSysfs) + "idVendor"), "1209\n");
  EXPECT_EQ(ReadFile(std::string(kSysfs) + "idProduct"), "0001\n");
  EXPECT_EQ(ReadFile(std::string(kSysfs) + "bConfigurationValue"), "");  // unconfigured

  Bytes device(18);
  Bytes configuration(512);
  ASSERT_TRUE(model_.controlTransfer({0x80, 6, 0x0100, 0, 18}, device).ok());
  const auto total = model_.controlTransfer({0x80, 6, 0x0200, 0, 512}, configuration).length;
  configuration.resize(total);
  ASSERT_EQ(total, 9u + 9u + 8u * 7u);  // configuration, interface, eight endpoints
  Bytes expected = device;
  expected.insert(expected.end(), configuration.begin(), configuration.end());
  const std::string descriptors = ReadFile(std::string(kSysfs) + "descriptors");
  EXPECT_EQ(Bytes(descriptors.begin(), descriptors.end()), expected);
}

TEST_F(UsbfsBusTest, ConfigurationClaimsAndSynchronousControlTransfersFollowTheKernelsRules) {
  std::uint32_t capabilities = 0;
  ASSERT_EQ(call(USBDEVFS_GET_CAPABILITIES, &capabilities), 0);
  EXPECT_TRUE(capabilities & USBDEVFS_CAP_BULK_SCATTER_GATHER);  // libusb sends each transfer as one URB
  EXPECT_FALSE(capabilities & USBDEVFS_CAP_BULK_CONTINUATION);
  usbdevfs_connectinfo info{};
  ASSERT_EQ(call(USBDEVFS_CONNECTINFO, &info), 0);
  EXPECT_EQ(info.devnum, 2u);

  unsigned interface = 0;
  EXPECT_EQ(call(USBDEVFS_CLAIMINTERFACE, &interface), -ENOENT);  // not configured yet
  int configuration = 1;
  ASSERT_EQ(call(USBDEVFS_SETCONFIGURATION, &configuration), 0);
  EXPECT_EQ(ReadFile(std::string(kSysfs) + "bConfigurationValue"), "1\n");
  ASSERT_EQ(call(USBDEVFS_CLAIMINTERFACE, &interface), 0);
  unsigned missing = 1;
  EXPECT_EQ(call(USBDEVFS_CLAIMINTERFACE, &missing), -ENOENT);
  EXPECT_EQ(call(USBDEVFS_SETCONFIGURATION, &configuration), -EBUSY);  // while an interface is claimed
  EXPECT_EQ(call(USBDEVFS_RELEASEINTERFACE, &interface), 0);
  EXPECT_EQ(call(USBDEVFS_RELEASEINTERFACE, &interface), -EINVAL);
  configuration = 7;
  EXPECT_EQ(call(USBDEVFS_SETCONFIGURATION, &configuration), -EINVAL);

  model_.setRegister(0x1314, 0xA1B2C3D4);
  std::uint8_t value[4] = {};
  usbdevfs_ctrltransfer read{0xC0, kVendorRead, 0, 0x1314, 4, 1000, value};
  EXPECT_EQ(::ioctl(fd_, USBDEVFS_CONTROL, &read), 4);
  EXPECT_EQ(Bytes(value, value + 4), (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
  std::uint8_t written[4] = {1, 2, 3, 4};
  usbdevfs_ctrltransfer write{0x40, kVendorWrite, 0, 0x1318, 4, 1000, written};
  EXPECT_EQ(::ioctl(fd_, USBDEVFS_CONTROL, &write), 4);
  EXPECT_EQ(model_.registerValue(0x1318), 0x04030201u);
  usbdevfs_ctrltransfer unknown{0x80, 0x42, 0, 0, 0, 1000, nullptr};
  EXPECT_EQ(call(USBDEVFS_CONTROL, &unknown), -EPIPE);  // the device stalls it

  usbdevfs_hub_portinfo ports{};
  EXPECT_EQ(call(USBDEVFS_HUB_PORTINFO, &ports), -ENOTTY);
}

TEST_F(UsbfsBusTest, UrbsAreReapedInCompletionOrderWhileTheNodePollsWritable) {
  configure();
  model_.setRegister(0x0000, 0x5EC70001);
  Urb control = Urb::Control(0xC0, kVendorRead, 0x0000, Bytes(4, 0xEE));
  ASSERT_EQ(submit(control), 0);
  usbdevfs_urb* reaped = reap();
  ASSERT_EQ(reaped, control.urb.get());
  EXPECT_EQ(control.urb->status, 0);
  EXPECT_EQ(control.urb->actual_length, 4);  // the data stage, without the setup packet
  EXPECT_EQ(Bytes(control.buffer.begin() + 8, control.buffer.end()), (Bytes{0x01, 0x00, 0xC7, 0x5E}));
  EXPECT_FALSE(reapable());

  Urb in(USBDEVFS_URB_TYPE_BULK, 0x81, Bytes(64, 0xEE));
  Urb out(USBDEVFS_URB_TYPE_BULK, 0x02, Bytes{1, 2, 3, 4, 5});
  ASSERT_EQ(submit(in), 0);
  ASSERT_EQ(submit(out), 0);
  EXPECT_FALSE(reapable());  // both wait in the device
  Bytes sent;
  ASSERT_TRUE(model_.completeOut(0x02, &sent));
  EXPECT_EQ(sent, (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(reap(), out.urb.get());
  EXPECT_EQ(out.urb->actual_length, 5);
  EXPECT_FALSE(reapable());
  ASSERT_TRUE(model_.completeIn(0x81, Bytes{9, 8, 7}));
  EXPECT_EQ(reap(), in.urb.get());
  EXPECT_EQ(in.urb->status, 0);
  EXPECT_EQ(in.urb->actual_length, 3);
  EXPECT_EQ(Bytes(in.buffer.begin(), in.buffer.begin() + 4), (Bytes{9, 8, 7, 0xEE}));

  Urb strict(USBDEVFS_URB_TYPE_BULK, 0x82, Bytes(16), USBDEVFS_URB_SHORT_NOT_OK);
  ASSERT_EQ(submit(strict), 0);
  ASSERT_TRUE(model_.completeIn(0x82, Bytes{1, 2, 3}));
  EXPECT_EQ(reap(), strict.urb.get());
  EXPECT_EQ(strict.urb->status, -EREMOTEIO);

  Urb nowhere(USBDEVFS_URB_TYPE_BULK, 0x83, Bytes(16));
  EXPECT_EQ(submit(nowhere), -ENOENT);  // not an endpoint of the configuration
  usbdevfs_urb* none = nullptr;
  EXPECT_EQ(call(USBDEVFS_REAPURBNDELAY, &none), -EAGAIN);
}

TEST_F(UsbfsBusTest, ADiscardedUrbIsReapedWithItsStatusAndAnUnansweredControlWaitsForItsDiscard) {
  configure();
  Urb in(USBDEVFS_URB_TYPE_BULK, 0x81, Bytes(64));
  ASSERT_EQ(submit(in), 0);
  ASSERT_EQ(call(USBDEVFS_DISCARDURB, in.urb.get()), 0);
  EXPECT_EQ(reap(), in.urb.get());
  EXPECT_EQ(in.urb->status, -ECONNRESET);
  EXPECT_EQ(in.urb->actual_length, 0);

  // Completed before the discard: not found, and it keeps its result.
  Urb out(USBDEVFS_URB_TYPE_BULK, 0x03, Bytes(8, 0x11));
  ASSERT_EQ(submit(out), 0);
  ASSERT_TRUE(model_.completeOut(0x03));
  ASSERT_TRUE(reapable(5000));
  EXPECT_EQ(call(USBDEVFS_DISCARDURB, out.urb.get()), -EINVAL);
  EXPECT_EQ(reap(), out.urb.get());
  EXPECT_EQ(out.urb->status, 0);

  model_.failRequest(kVendorRead, TransferStatus::Timeout);
  Urb silent = Urb::Control(0xC0, kVendorRead, 0, Bytes(4));
  ASSERT_EQ(submit(silent), 0);
  EXPECT_FALSE(reapable(50));
  ASSERT_EQ(call(USBDEVFS_DISCARDURB, silent.urb.get()), 0);
  EXPECT_EQ(reap(), silent.urb.get());
  EXPECT_EQ(silent.urb->status, -ECONNRESET);
}

TEST_F(UsbfsBusTest, AnUnpluggedDeviceEndsItsUrbsAndAnswersEnodevAndComesBackUnderTheNextNumber) {
  configure();
  Urb in(USBDEVFS_URB_TYPE_BULK, 0x81, Bytes(64));
  ASSERT_EQ(submit(in), 0);
  model_.detach();
  bus_->waitIdle();
  EXPECT_EQ(bus_->deviceNode(), "");
  struct stat info {};
  EXPECT_NE(::stat(kSysfs, &info), 0);  // gone from sysfs

  EXPECT_EQ(reap(), in.urb.get());
  EXPECT_EQ(in.urb->status, -ESHUTDOWN);
  usbdevfs_urb* none = nullptr;
  EXPECT_EQ(call(USBDEVFS_REAPURBNDELAY, &none), -ENODEV);
  Urb late(USBDEVFS_URB_TYPE_BULK, 0x81, Bytes(64));
  EXPECT_EQ(submit(late), -ENODEV);
  std::uint32_t capabilities = 0;
  EXPECT_EQ(call(USBDEVFS_GET_CAPABILITIES, &capabilities), -ENODEV);

  model_.attach();
  bus_->waitIdle();
  EXPECT_EQ(bus_->deviceNode(), "/dev/bus/usb/001/003");
  EXPECT_EQ(ReadFile(std::string(kSysfs) + "devnum"), "3\n");
  EXPECT_EQ(ReadFile(std::string(kSysfs) + "bConfigurationValue"), "");
  const int again = ::open(bus_->deviceNode().c_str(), O_RDWR);
  ASSERT_GE(again, 0);
  EXPECT_EQ(::ioctl(again, USBDEVFS_GET_CAPABILITIES, &capabilities), 0);
  ::close(again);
}

TEST_F(UsbfsBusTest, ClosingTheNodeDiscardsItsUrbsInTheDevice) {
  configure();
  Urb in(USBDEVFS_URB_TYPE_BULK, 0x81, Bytes(64));
  ASSERT_EQ(submit(in), 0);
  ASSERT_EQ(model_.pendingBulk(0x81), 1u);
  ::close(fd_);
  fd_ = -1;
  // The close reaches the bridge through umockdev's socket: bounded wait.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (model_.pendingBulk(0x81) != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(model_.pendingBulk(0x81), 0u);
}

}  // namespace
}  // namespace kqa::usb::usbfs
