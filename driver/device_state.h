#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/event.h"
#include "platform/kernel/semaphore.h"
#include "platform/kernel/spin_lock.h"
#include "platform/usb/usb_device.h"

namespace kqa::driver {

struct DeviceObject;

inline constexpr std::size_t kInPipes = 2;
inline constexpr std::size_t kOutPipes = 10;
inline constexpr std::size_t kPipeBufferSize = 102400;
inline constexpr std::size_t kRingRecords = 1000;
inline constexpr std::size_t kRingRecordSize = 5120;
inline constexpr std::size_t kRingSize = kRingRecords * kRingRecordSize;
inline constexpr std::size_t kCmdResponseSize = 1026;
// The longest transfer an OUT pipe is loaded with; the length adjustments and
// payload modes stay inside the pipe's buffer from there.
inline constexpr std::uint32_t kMaxOutLength = 65535;

// A pipe's request block: what its one bulk transfer asks for, and on
// completion how it went.
struct PipeUrb {
  usb::PipeHandle PipeHandle = 0;
  std::uint32_t TransferFlags = 0;         // 3 = in, short transfer allowed
  std::uint32_t TransferBufferLength = 0;  // asked for; after completion, moved
  usb::TransferStatus UsbdStatus = usb::TransferStatus::Completed;
};

// A pipe's request packet, reused for every submission. InFlight stands for
// "its status is STATUS_PENDING" and lasts until the completion routine has
// finished with the packet; CancelRequested is its cancel flag, which stays
// set until the packet is replaced, so a completion that races a cancel
// never resubmits. See pipe_request.h.
struct PipeIrp {
  kernel::SpinLock Lock;
  bool InFlight = false;
  bool CancelRequested = false;
  // A start found the packet in flight: the completion routine that owns it
  // submits it again rather than letting the pipe stop.
  bool RestartRequested = false;
  usb::UsbDevice::TransferId Transfer = 0;  // while the stack holds it
};

// A packet loaded into an OUT pipe while its transfer was in flight: the
// buffer belongs to that transfer, so the load waits here and is applied by
// the pipe's next submission.
struct PendingLoad {
  bool Present = false;
  std::uint32_t Length = 0;  // the pipe length, >= Bytes.size()
  std::vector<std::uint8_t> Bytes;
};

struct Pipe {
  PipeUrb Urb;
  std::unique_ptr<PipeIrp> Irp;
  std::unique_ptr<std::uint8_t[]> Buffer;  // kPipeBufferSize bytes
  PendingLoad Pending;                       // OUT pipes; under Irp->Lock
};

// Index of a pipe's event in PipeEvent: IN 0, IN 1, OUT 0 to 9.
constexpr std::size_t InPipeEvent(std::size_t k) { return k; }
constexpr std::size_t OutPipeEvent(std::size_t n) { return kInPipes + n; }

// The driver's one record per device (the device extension). Fields keep the
// names and order of the driver's design. Flags and counters shared between
// requests and completion routines are atomics; the completion routines run
// on the USB back end's event thread.
struct DeviceState {
  // stack
  DeviceObject* Self = nullptr;
  std::shared_ptr<usb::UsbDevice> PhysicalDevice;
  usb::UsbDevice* LowerDevice = nullptr;  // every USB request goes here
  std::string InterfaceName;

  // flags
  std::atomic<std::uint8_t> Started{0};
  std::atomic<std::uint8_t> RemovalQueried{0};
  std::atomic<std::uint8_t> NotReady{1};
  std::atomic<std::int32_t> OpenCount{0};
  std::atomic<std::int32_t> IoCount{1};
  std::atomic<std::uint8_t> Removing{0};
  kernel::Event IoIdleEvent;

  // USB
  std::optional<std::uint8_t> ConfigurationHandle;
  std::array<usb::PipeHandle, kInPipes> InPipeHandle{};
  std::array<usb::PipeHandle, kOutPipes> OutPipeHandle{};

  // pipelines
  std::array<Pipe, kInPipes> InPipe;
  std::array<Pipe, kOutPipes> OutPipe;
  std::array<kernel::Event, kInPipes + kOutPipes> PipeEvent;

  // transmit (OUT pipelines)
  std::atomic<std::uint8_t> TxRunning{0};
  std::atomic<std::uint32_t> TxSendCount{0};
  std::atomic<std::uint8_t> TxContinuous{0};
  std::atomic<std::uint8_t> TxResendMarked{0};
  std::atomic<std::uint32_t> TxPayloadMode{0};
  std::atomic<std::uint32_t> TxPipeMask{0};
  std::atomic<std::uint8_t> TxStamp{0};
  std::atomic<std::uint32_t> TxTotal{0};
  std::array<std::atomic<std::uint32_t>, kOutPipes> TxPipeDone{};
  std::array<std::uint32_t, kOutPipes> TxLength{};  // under OutPipe[n].Irp->Lock
  std::atomic<std::uint32_t> TxBaseLength{0};
  std::atomic<std::uint32_t> TxCurrentLength{0};

  // receive (IN pipelines)
  std::array<std::atomic<std::uint8_t>, kInPipes> RxActive{};
  std::array<std::atomic<std::uint32_t>, kInPipes> RxRemaining{};
  std::array<std::atomic<std::uint8_t>, kInPipes> RxContinuous{};
  std::array<std::int32_t, kInPipes> RxUsers{};  // under RxLock[k]
  std::array<kernel::SpinLock, kInPipes> RxLock;
  std::array<std::atomic<std::uint64_t>, kInPipes> RxTransfers{};

  // capture ring
  std::atomic<std::uint8_t> RingRecording{0};
  std::uint32_t RingWrite = 0;  // under RingLock
  std::uint32_t RingRead = 0;   // under RingLock
  kernel::SpinLock RingLock;
  std::atomic<std::uint8_t> RingPresent{0};

  // statistics
  std::array<std::atomic<std::uint64_t>, 9> RxStats{};
  std::array<std::atomic<std::uint32_t>, 8> RxSignal{};

  std::unique_ptr<std::uint8_t[]> CaptureRing;  // kRingSize bytes, or none

  // control
  kernel::Semaphore RequestSemaphore{1, 1};
  std::atomic<std::uint32_t> AsicVersion{0};
  std::uint8_t CmdSequence = 1;  // control requests only
  std::array<std::uint8_t, kCmdResponseSize> CmdResponse{};  // under CmdResponseLock
  kernel::SpinLock CmdResponseLock;
  std::uint32_t FlashWidth = 1;
  std::uint32_t FirmwareVersionWord = 0;
  std::uint32_t FirmwareModeWord = 0;
  std::uint32_t SpareWord = 0;
  std::atomic<std::uint8_t> RxMultiFrame{1};
  std::atomic<std::uint32_t> LfsrState{1};

  // Transfer-error recovery handed to the system worker (QueueRecovery).
  std::atomic<std::uint8_t> RecoveryQueued{0};
  std::atomic<std::uint8_t> RecoveryToggle{0};
};

}  // namespace kqa::driver
