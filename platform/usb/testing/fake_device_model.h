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

#include "platform/usb/device_model/usb_device_model.h"
#include "platform/kernel/event.h"
#include "platform/kernel/work_queue.h"

namespace kqa::usb::testing {

// A small, scriptable USB device for tests of the USB back ends and the
// driver: vendor requests read and write plain memories, standard requests
// answer from its descriptors, bulk transfers stay pending until the test
// completes them (on the test's thread), and every vendor request is logged.
// It has none of the chip's behaviour; it lets a test force exact contents
// and interleavings. Cancellations, detaches and transfers that cannot start
// complete on the model's own completion thread.
class FakeDeviceModel final : public usb::UsbDeviceModel {
 public:
  struct ControlRecord {
    SetupPacket setup;
    std::vector<std::uint8_t> outData;  // host-to-device data stage
  };

  // The default configuration's endpoints, in descriptor order: two bulk IN,
  // then six bulk OUT (pipes 5, 0, 1, 2, 3, 4 of the driver).
  static constexpr std::uint8_t kBulkIn0 = 0x81;
  static constexpr std::uint8_t kBulkIn1 = 0x82;
  static constexpr std::array<std::uint8_t, 6> kBulkOut = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  static constexpr std::uint32_t kKestrelIdentity = 0x5EC70001;
  static constexpr std::uint16_t kVendorId = 0x1209;

  FakeDeviceModel();
  ~FakeDeviceModel() override;

  // usb::UsbDeviceModel
  TransferResult controlTransfer(const SetupPacket& setup, std::span<std::uint8_t> data) override;
  TransferId submitBulk(std::uint8_t endpointAddress, std::span<std::uint8_t> buffer,
                        BulkCompletion completion) override;
  void cancelBulk(TransferId id) override;
  bool isAttached() const override;
  void setAttachListener(std::function<void(bool attached)> listener) override;

  // Memories, byte-addressed and zero until written, named by the vendor
  // request that writes them (the read is one more; both EEPROM paths reach
  // the one EEPROM). Flash addresses travel as wIndex:wValue, others in wIndex.
  enum class Space : std::uint8_t { Mac = 0x06, Alt = 0x16, Base0 = 0x26, Sys = 0x46,
                                   Eeprom = 0x08, Flash = 0x0E };
  void setRegister(std::uint32_t address, std::uint32_t value, Space space = Space::Mac);
  std::uint32_t registerValue(std::uint32_t address, Space space = Space::Mac) const;
  // The next 4-byte MAC reads of `address` answer these values in turn,
  // without touching the register; then the register answers again.
  void queueReads(std::uint16_t address, std::vector<std::uint32_t> values);

  // The next control transfer with this bRequest ends with `status`.
  void failRequest(std::uint8_t bRequest, TransferStatus status);
  void clearFaults();  // failures and queued reads
  // The next control transfer with this bRequest waits inside the model until
  // release(); `entered` is set once it waits.
  struct Hold {
    kernel::Event entered;
    kernel::Event released;
    void release() { released.set(); }
  };
  std::shared_ptr<Hold> holdNextRequest(std::uint8_t bRequest);

  void setConfigurationDescriptor(std::vector<std::uint8_t> bytes);
  // GET_STATUS answers (device, interface, endpoint) and their lengths.
  void setStatusAnswers(std::array<std::uint16_t, 3> values, std::array<std::uint8_t, 3> lengths = {2, 2, 2});

  std::vector<ControlRecord> vendorLog() const;
  void clearLog();
  void setLogging(bool enabled);  // off for the fuzzer's millions of requests

  std::size_t pendingBulk(std::uint8_t endpointAddress) const;
  // Completes the oldest pending IN transfer on `endpoint` with `bytes` (cut
  // to its buffer); false when none is pending.
  bool completeIn(std::uint8_t endpoint, std::span<const std::uint8_t> bytes,
                  TransferStatus status = TransferStatus::Completed);
  // Completes the oldest pending OUT transfer on `endpoint`, handing back the
  // bytes it carried; false when none is pending.
  bool completeOut(std::uint8_t endpoint, std::vector<std::uint8_t>* sent = nullptr,
                   TransferStatus status = TransferStatus::Completed);
  // From now on OUT transfers complete by themselves on the model's thread.
  void setOutSink(bool enabled);
  // Waits until every completion handed to the model's thread has run.
  void flushCompletions();

  void detach();  // pending bulk transfers complete with NoDevice
  void attach();

 private:
  struct PendingBulk {
    TransferId id;
    std::span<std::uint8_t> buffer;
    BulkCompletion completion;
  };
  using Key = std::pair<std::uint8_t, std::uint32_t>;  // write request, address

  TransferResult vendorRequest(const SetupPacket& setup, std::span<std::uint8_t> data);
  TransferResult standardRequest(const SetupPacket& setup, std::span<std::uint8_t> data);
  std::uint8_t byteAt(std::uint8_t space, std::uint32_t address) const;
  bool takePending(std::uint8_t endpoint, PendingBulk& out);
  void completeAllPending(TransferStatus status);  // under mutex_

  mutable std::mutex mutex_;
  bool attached_ = true;
  std::function<void(bool)> attachListener_;
  std::map<Key, std::uint8_t> memory_;
  std::map<std::uint16_t, std::deque<std::uint32_t>> queuedReads_;
  std::map<std::uint8_t, TransferStatus> failures_;
  std::map<std::uint8_t, std::shared_ptr<Hold>> holds_;
  std::vector<std::uint8_t> configuration_;
  std::array<std::uint16_t, 3> statusValues_{1, 0, 0};
  std::array<std::uint8_t, 3> statusLengths_{2, 2, 2};
  std::vector<ControlRecord> log_;
  bool logging_ = true;
  std::map<std::uint8_t, std::deque<PendingBulk>> pending_;
  TransferId nextId_ = 1;
  bool outSink_ = false;

  kernel::WorkQueue completions_;  // the device's own completion thread
};

// A configuration descriptor set with one interface whose endpoints are
// `endpoints` (address, bmAttributes) in that order.
std::vector<std::uint8_t> MakeConfigurationDescriptor(
    std::span<const std::pair<std::uint8_t, std::uint8_t>> endpoints);

}  // namespace kqa::usb::testing
