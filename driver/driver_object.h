#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "driver/device_state.h"
#include "platform/clock/clock.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/work_queue.h"
#include "platform/status/ntstatus.h"
#include "platform/usb/usb_device.h"

namespace kqa::driver {

struct DriverObject;
struct DeviceObject;

// The parts of an I/O request packet the driver reads and completes.
enum class IrpMajor { Create, Close, Read, Write, DeviceControl, SystemControl, Power, Pnp, Count };
enum class PnpMinor {
  StartDevice,
  QueryRemoveDevice,
  RemoveDevice,
  CancelRemoveDevice,
  StopDevice,
  QueryStopDevice,
  CancelStopDevice,
  SurpriseRemoval,
  QueryCapabilities,  // stands for every other minor function
};

struct Irp {
  IrpMajor MajorFunction = IrpMajor::Create;
  PnpMinor MinorFunction = PnpMinor::QueryCapabilities;
  // IRP_MJ_DEVICE_CONTROL (METHOD_BUFFERED): one system buffer of
  // max(InputBufferLength, OutputBufferLength) bytes, input copied in.
  std::uint32_t IoControlCode = 0;
  std::uint32_t InputBufferLength = 0;
  std::uint32_t OutputBufferLength = 0;
  std::uint8_t* SystemBuffer = nullptr;
  // IoStatus, set when the request is completed.
  NtStatus Status = STATUS_SUCCESS;
  std::uint32_t Information = 0;
};

using DispatchRoutine = NtStatus (*)(DeviceObject& device, Irp& irp);

// What the driver asks of the I/O manager (implemented by the host).
class IoManager {
 public:
  virtual ~IoManager() = default;
  // IoRegisterDeviceInterface: names the device's interface instance.
  virtual NtStatus RegisterDeviceInterface(DeviceObject& device, std::string_view interfaceClass,
                                           std::string& symbolicLinkName) = 0;
  // IoSetDeviceInterfaceState: the instance is visible only while enabled.
  virtual NtStatus SetDeviceInterfaceState(const std::string& symbolicLinkName, bool enable) = 0;
  // IoDeleteDevice: the device object goes once nothing refers to it.
  virtual void DeleteDevice(DeviceObject& device) = 0;
};

inline constexpr std::uint32_t FILE_DEVICE_UNKNOWN = 0x22;
inline constexpr std::uint32_t DO_BUFFERED_IO = 0x0004;
inline constexpr std::uint32_t DO_DEVICE_INITIALIZING = 0x0080;
inline constexpr std::uint32_t DO_POWER_PAGABLE = 0x2000;

struct DeviceObject {
  explicit DeviceObject(DriverObject& driver) : Driver(&driver) {}
  DriverObject* Driver;
  std::uint32_t DeviceType = FILE_DEVICE_UNKNOWN;
  std::uint32_t Flags = DO_DEVICE_INITIALIZING;
  DeviceState DeviceExtension;
};

// The driver as loaded: its dispatch table and what lives as long as it.
struct DriverObject {
  DriverObject(Clock& clock, kernel::NonPagedPool& pool, IoManager& ioManager)
      : Timebase(clock), Pool(pool), Io(ioManager) {}

  Clock& Timebase;             // every wait and stall goes through it
  kernel::NonPagedPool& Pool;  // ExAllocatePoolWithTag
  IoManager& Io;
  kernel::WorkQueue SystemWorker;  // the delayed work queue's worker thread
  std::array<DispatchRoutine, static_cast<std::size_t>(IrpMajor::Count)> MajorFunction{};

  // Stamp counters: they start at 0 when the driver loads and are kept
  // across opens (per OUT pipe, and per sending pipe 0-3 on the receive side).
  std::array<std::atomic<std::uint16_t>, kOutPipes> TxSequence{};
  std::array<std::atomic<std::uint16_t>, 4> RxSequence{};
};

// Fills the dispatch table; majors it does not serve complete with
// STATUS_INVALID_DEVICE_REQUEST.
void DriverEntry(DriverObject& driver);

// Creates the device object for a USB device found by the bus (`pdo`),
// registers its device interface and attaches to the device's stack.
NtStatus AddDevice(DriverObject& driver, std::shared_ptr<usb::UsbDevice> pdo,
                   std::shared_ptr<DeviceObject>& created);

// IofCallDriver: hands a request to the device's driver.
NtStatus IoCallDriver(DeviceObject& device, Irp& irp);

}  // namespace kqa::driver

namespace kqa::driver {

inline DriverObject& DriverOf(DeviceState& dx) { return *dx.Self->Driver; }
inline Clock& ClockOf(DeviceState& dx) { return dx.Self->Driver->Timebase; }

// IofCompleteRequest: records the outcome; returns the status for the
// dispatch routine to return.
inline NtStatus CompleteRequest(Irp& irp, NtStatus status, std::uint32_t information = 0) {
  irp.Status = status;
  irp.Information = information;
  return status;
}

}  // namespace kqa::driver
