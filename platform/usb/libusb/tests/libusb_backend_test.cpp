#include "platform/usb/libusb/libusb_backend.h"

#include <gtest/gtest.h>

namespace kqa::usb {
namespace {

class CountingListener final : public HotplugListener {
 public:
  void deviceArrived(const std::shared_ptr<UsbDevice>&) override { ++events; }
  void deviceLeft(const std::shared_ptr<UsbDevice>&) override { ++events; }
  int events = 0;
};

// Test machines have no Kestrel (nor anything with its test identifiers):
// the back end must start, find nothing, and shut down cleanly, again and again.
TEST(LibusbBackendTest, WithNoDeviceAttachedReportsNoneAndShutsDownCleanly) {
  CountingListener listener;
  for (const LibusbOptions options : {LibusbOptions{}, LibusbOptions{0xFFFF, 0xFFFE}, LibusbOptions{}}) {
    LibusbBackend backend(options);
    backend.setHotplugListener(&listener);
    backend.waitHotplugIdle();
    EXPECT_TRUE(backend.devices().empty());
    EXPECT_EQ(backend.lastOpenError(), "");
    backend.setHotplugListener(nullptr);
  }
  EXPECT_EQ(listener.events, 0);
}

}  // namespace
}  // namespace kqa::usb
