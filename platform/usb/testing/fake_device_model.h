#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "chip/usb_device_model.h"
#include "platform/kernel/event.h"
#include "platform/kernel/work_queue.h"

namespace kqa::usb::testing {

// A small, scriptable USB device for tests of the USB back ends and the
// driver: it answers the vendor requests from plain memories (registers in
// four spaces, EEPROM, flash), the standard requests from its descriptors,
// keeps bulk transfers pending until the test completes them, and logs every
// control transfer. It has none of the chip's behaviour; it lets a test force
// exact contents and interleavings.
//
// Bulk transfers complete either inside the test's explicit step (completeIn,
// completeOut) on the test's thread, or, for cancellations, detaches and
// transfers that cannot start, on the model's own completion thread.
class FakeDeviceModel final : public chip::UsbDeviceModel {
 public:
  struct ControlRecord {
    SetupPacket setup;
    std::vector<std::uint8_t> outData;  // host-to-device data stage
  };

  // Endpoints of the default configuration, in descriptor order: two bulk IN,
  // then six bulk OUT (pipes 5, 0, 1, 2, 3, 4 of the driver).
  static constexpr std::uint8_t kBulkIn0 = 0x81;
  static constexpr std::uint8_t kBulkIn1 = 0x82;
  static constexpr std::array<std::uint8_t, 6> kBulkOut = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  static constexpr std::uint32_t kKestrelIdentity = 0x5EC70001;
  static constexpr std::uint16_t kVendorId = 0x1209;
  static constexpr std::uint16_t kProductId = 0x0001;

  FakeDeviceModel();
  ~FakeDeviceModel() override;

  // chip::UsbDeviceModel
  TransferResult controlTransfer(const SetupPacket& setup, std::span<std::uint8_t> data) override;
  TransferId submitBulk(std::uint8_t endpointAddress, std::span<std::uint8_t> buffer,
                        BulkCompletion completion) override;
  void cancelBulk(TransferId id) override;
  bool isAttached() const override;
  void setAttachListener(std::function<void(bool attached)> listener) override;

  // --- registers and memories (little-endian, byte-addressed, 64 KiB each)
  enum class Space { Mac, Sys, Base0, Alt };
  void setRegister(std::uint16_t address, std::uint32_t value, Space space = Space::Mac);
  std::uint32_t registerValue(std::uint16_t address, Space space = Space::Mac) const;
  // The next reads of `address` (MAC space, 4-byte reads) answer these values
  // in turn, without touching the register; then the register answers again.
  void queueReads(std::uint16_t address, std::vector<std::uint32_t> values);
  std::uint16_t eepromWord(std::uint16_t offset) const;
  void setEepromWord(std::uint16_t offset, std::uint16_t value);
  std::uint8_t flashByte(std::uint32_t address) const;
  void setFlashByte(std::uint32_t address, std::uint8_t value);

  // --- faults
  // The next `count` control transfers with this bRequest end with `status`
  // (Timeout: the device never answers).
  void failRequest(std::uint8_t bRequest, TransferStatus status, int count = 1);
  void clearFaults();  // failures and queued reads
  // The next control transfer with this bRequest waits inside the model until
  // release() is called; entered() is set once it is waiting.
  struct Hold {
    kernel::Event entered;
    kernel::Event released;
    void release() { released.set(); }
  };
  std::shared_ptr<Hold> holdNextRequest(std::uint8_t bRequest);

  // --- descriptors
  void setConfigurationDescriptor(std::vector<std::uint8_t> bytes);
  // GET_STATUS answers (device, interface, endpoint) and their lengths.
  void setStatusAnswers(std::array<std::uint16_t, 3> values, std::array<std::uint8_t, 3> lengths = {2, 2, 2});

  // --- control log
  std::vector<ControlRecord> controlLog() const;
  // Vendor requests only, leaving out the standard ones.
  std::vector<ControlRecord> vendorLog() const;
  void clearLog();
  void setLogging(bool enabled);  // off for benchmarks

  // --- bulk
  std::size_t pendingBulk(std::uint8_t endpointAddress) const;
  // Completes the oldest pending IN transfer on `endpoint` with `bytes`
  // (cut to its buffer) on the calling thread; false when none is pending.
  bool completeIn(std::uint8_t endpoint, std::span<const std::uint8_t> bytes,
                  TransferStatus status = TransferStatus::Completed);
  // Completes the oldest pending OUT transfer on `endpoint` on the calling
  // thread and returns the bytes it carried; nullopt-like empty + false when none.
  bool completeOut(std::uint8_t endpoint, std::vector<std::uint8_t>* sent = nullptr,
                   TransferStatus status = TransferStatus::Completed);
  // From now on OUT transfers complete by themselves on the model's thread,
  // as a sink that takes everything at once; counts what it took.
  void setOutSink(bool enabled);
  std::uint64_t sinkTransfers() const;
  // Waits until every completion the model's thread has been given has run.
  void flushCompletions();

  // --- plug
  void detach();  // pending bulk transfers complete with NoDevice
  void attach();

 private:
  struct PendingBulk {
    TransferId id;
    std::span<std::uint8_t> buffer;
    BulkCompletion completion;
  };

  std::array<std::uint8_t, 0x10000>& space(Space which);
  const std::array<std::uint8_t, 0x10000>& space(Space which) const;
  TransferResult vendorRequest(const SetupPacket& setup, std::span<std::uint8_t> data);
  TransferResult standardRequest(const SetupPacket& setup, std::span<std::uint8_t> data);
  std::vector<std::uint8_t> deviceDescriptor() const;
  bool takePending(std::uint8_t endpoint, PendingBulk& out);

  mutable std::mutex mutex_;
  bool attached_ = true;
  std::function<void(bool)> attachListener_;
  std::array<std::array<std::uint8_t, 0x10000>, 4> spaces_{};
  std::map<std::uint16_t, std::deque<std::uint32_t>> queuedReads_;
  std::array<std::uint8_t, 0x20000> eeprom_{};
  std::vector<std::uint8_t> flash_ = std::vector<std::uint8_t>(1 << 20, 0xFF);
  std::map<std::uint8_t, std::pair<TransferStatus, int>> failures_;
  std::map<std::uint8_t, std::shared_ptr<Hold>> holds_;
  std::vector<std::uint8_t> configuration_;
  std::array<std::uint16_t, 3> statusValues_{1, 0, 0};
  std::array<std::uint8_t, 3> statusLengths_{2, 2, 2};
  std::vector<ControlRecord> log_;
  bool logging_ = true;
  std::map<std::uint8_t, std::deque<PendingBulk>> pending_;
  TransferId nextId_ = 1;
  bool outSink_ = false;
  std::uint64_t sinkTransfers_ = 0;

  kernel::WorkQueue completions_;  // the device's own completion thread
};

// The default configuration descriptor set: one interface whose endpoints are
// `endpoints` (address, bmAttributes) in that order.
std::vector<std::uint8_t> MakeConfigurationDescriptor(
    std::span<const std::pair<std::uint8_t, std::uint8_t>> endpoints);

}  // namespace kqa::usb::testing
