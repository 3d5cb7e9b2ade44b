#include "app/device/tests/emulated_bench.h"

#include <mutex>

namespace kqa::device::testing {
namespace {

constexpr std::uint8_t kCommandOut = 0x03;   // OUT pipe 1
constexpr std::uint8_t kResponseIn = 0x81;   // IN pipe 0

}  // namespace

class EmulatedBench::EchoFirmware final : public chip::BulkEndpointHandler {
 public:
  explicit EchoFirmware(chip::Kestrel& chip)
      : responses_(std::make_shared<chip::QueuedInEndpoint>([&chip] { chip.wakeBulkIn(kResponseIn); })) {
    chip.setBulkHandler(kResponseIn, responses_);
  }

  void receive(std::span<const std::uint8_t> packet) override {
    if (packet.size() < 4) return;
    const int sequence = packet[2] & 0x0F;
    sequences.push_back(sequence);
    // A response: bits 31-30 = 01, the sequence in bits 16-19, 4 bytes.
    responses_->push({0x04, 0x00, static_cast<std::uint8_t>(sequence), 0x40, 0, 0, 0, 0});
  }

  std::vector<int> sequences;  // written on the chip's completion thread only

 private:
  std::shared_ptr<chip::QueuedInEndpoint> responses_;
};

EmulatedBench::EmulatedBench(chip::KestrelOptions options) {
  options.completions = chip::Completions::Thread;
  chip_ = std::make_unique<chip::Kestrel>(virtualClock_, std::move(options));
  backend_ = std::make_unique<usb::EmulatedUsbBackend>(*chip_, virtualClock_);
  host_ = std::make_unique<driver::DriverHost>(*backend_, virtualClock_);
}

EmulatedBench::~EmulatedBench() {
  host_.reset();
  backend_.reset();
  chip_.reset();
}

void EmulatedBench::unplug() {
  chip_->unplug();
  backend_->waitHotplugIdle();
}

void EmulatedBench::replug() {
  chip_->replug();
  backend_->waitHotplugIdle();
}

const std::vector<int>& EmulatedBench::answerFirmwareCommands() {
  firmware_ = std::make_shared<EchoFirmware>(*chip_);
  chip_->setBulkHandler(kCommandOut, firmware_);
  return firmware_->sequences;
}

}  // namespace kqa::device::testing
