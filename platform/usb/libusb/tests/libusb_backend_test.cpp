#include "platform/usb/libusb/libusb_backend.h"

#include <gtest/gtest.h>

namespace kqa::usb {
namespace {

class CountingListener final : public HotplugListener {
 public:
  void deviceArrived(const std::shared_ptr<UsbDevice>&) override { ++arrivals; }
  void deviceLeft(const std::shared_ptr<UsbDevice>&) override { ++departures; }
  int arrivals = 0;
  int departures = 0;
};

// Test machines have no Kestrel (nor anything with its test identifiers):
// the back end must start, find nothing, and shut down cleanly.
TEST(LibusbBackendTest, WithNoDeviceAttachedReportsNoneWithoutError) {
  CountingListener listener;
  {
    LibusbBackend backend;
    backend.setHotplugListener(&listener);
    backend.waitHotplugIdle();
    EXPECT_TRUE(backend.devices().empty());
    EXPECT_EQ(backend.lastOpenError(), "");
    backend.setHotplugListener(nullptr);
  }
  EXPECT_EQ(listener.arrivals, 0);
  EXPECT_EQ(listener.departures, 0);
}

TEST(LibusbBackendTest, OtherIdentifiersCanBeAskedForAndStartAndStopRepeatedly) {
  for (int i = 0; i < 3; ++i) {
    LibusbBackend backend(LibusbOptions{0xFFFF, 0xFFFE});
    EXPECT_TRUE(backend.devices().empty());
  }
}

}  // namespace
}  // namespace kqa::usb
