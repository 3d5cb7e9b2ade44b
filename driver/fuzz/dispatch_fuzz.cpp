#include "driver/fuzz/dispatch_fuzz.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "driver/host/driver_host.h"
#include "platform/clock/virtual_clock.h"
#include "platform/ioctl/control_codes.h"
#include "platform/usb/emulated/emulated_backend.h"
#include "platform/usb/testing/fake_device_model.h"

namespace kqa::driver::fuzz {
namespace {

using usb::testing::FakeDeviceModel;

constexpr std::size_t kMaxOutput = 16 * 1024;

// One chip, back end and host for the whole run, as in a long-running program.
struct World {
  VirtualClock clock;
  FakeDeviceModel chip;
  usb::EmulatedUsbBackend backend{chip, clock};
  DriverHost host{backend, clock};
};

World& TheWorld() {
  static World* world = [] {
    auto* made = new World;  // never destroyed: outlives every input
    made->chip.setLogging(false);  // a run makes millions of requests
    return made;
  }();
  return *world;
}

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  std::uint8_t u8() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | (u8() << 8)); }
  std::uint32_t u32() { return u16() | (static_cast<std::uint32_t>(u16()) << 16); }
  std::vector<std::uint8_t> bytes(std::size_t n) {
    n = std::min(n, size_ - std::min(at_, size_));
    std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + n);
    at_ += n;
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

[[noreturn]] void Broken(const char* what, std::uint32_t code) {
  std::fprintf(stderr, "driver fuzz: %s (code 0x%06X)\n", what, code);
  std::abort();
}

usb::TransferStatus StatusFrom(std::uint8_t byte) {
  return static_cast<usb::TransferStatus>(byte % 7);
}

std::unique_ptr<ioctl::DeviceHandle> Open(World& world) {
  return world.host.open(ioctl::kQaInterfaceClass, 0).handle;
}

void Control(ioctl::DeviceHandle& handle, Reader& in) {
  const std::uint8_t pick = in.u8();
  const auto codes = ioctl::AllControlCodes();
  const std::uint32_t code = pick < codes.size() ? codes[pick].code : in.u32();
  const std::size_t inputLength = in.u16() % 8192;
  std::size_t outputLength = in.u16() % kMaxOutput;
  if (code == ioctl::VQ_OID_USB_CAPTURE_READ) outputLength *= 4;
  std::vector<std::uint8_t> input = in.bytes(inputLength);
  input.resize(inputLength, 0);
  std::vector<std::uint8_t> output(outputLength + 16, 0xA5);  // 16 guard bytes

  const auto result = handle.control(code, input, std::span<std::uint8_t>(output.data(), outputLength));
  if (result.bytesReturned > outputLength) Broken("byte count beyond the output buffer", code);
  if (!result.succeeded() && result.bytesReturned != 0) Broken("bytes returned with an error", code);
  for (std::size_t i = outputLength; i < output.size(); ++i)
    if (output[i] != 0xA5) Broken("write past the output buffer", code);
}

}  // namespace

int FuzzDispatch(const std::uint8_t* data, std::size_t size) {
  World& world = TheWorld();
  auto handle = Open(world);
  Reader in(data, size);
  while (!in.empty()) {
    const std::uint8_t op = in.u8();
    switch (op % 6) {
      case 0:
      case 1:
        if (handle) Control(*handle, in);
        break;
      case 2: {
        const std::uint8_t endpoint = (in.u8() & 1) ? FakeDeviceModel::kBulkIn1 : FakeDeviceModel::kBulkIn0;
        const std::vector<std::uint8_t> transfer = in.bytes(in.u16());
        world.chip.completeIn(endpoint, transfer);
        break;
      }
      case 3: {
        const std::uint8_t endpoint = FakeDeviceModel::kBulkOut[in.u8() % FakeDeviceModel::kBulkOut.size()];
        world.chip.completeOut(endpoint, nullptr, StatusFrom(in.u8()));
        break;
      }
      case 4: {
        const std::uint8_t request = in.u8();
        world.chip.failRequest(request, StatusFrom(in.u8()));
        break;
      }
      case 5:
        handle.reset();
        world.chip.detach();
        world.chip.attach();
        world.backend.waitHotplugIdle();
        handle = Open(world);
        break;
    }
  }
  handle.reset();  // the close cancels whatever still runs
  world.chip.flushCompletions();
  world.chip.clearFaults();  // each input starts from a healthy chip
  return 0;
}

}  // namespace kqa::driver::fuzz
