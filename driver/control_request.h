#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "driver/device_state.h"
#include "platform/bytes/little_endian.h"
#include "platform/status/ntstatus.h"

namespace kqa::driver {

// One device-control request as its action sees it: the code, the two
// lengths and the one system buffer (METHOD_BUFFERED: the input is at the
// start, the output overwrites it from offset 0). The dispatch has checked
// the lengths against the code's layout before the action runs.
struct ControlRequest {
  std::uint32_t Code = 0;
  std::uint32_t InputLength = 0;
  std::uint32_t OutputLength = 0;
  std::span<std::uint8_t> Buffer;  // max(InputLength, OutputLength) bytes
  std::uint32_t Information = 0;   // the byte count the request completes with

  std::uint8_t* data() { return Buffer.data(); }
  std::uint8_t u8(std::size_t offset) const { return Buffer[offset]; }
  std::uint16_t u16(std::size_t offset) const { return GetLe16(Buffer.data(), offset); }
  std::uint32_t u32(std::size_t offset) const { return GetLe32(Buffer.data(), offset); }
  void putU32(std::size_t offset, std::uint32_t value) { PutLe32(Buffer.data(), offset, value); }
  void putU64(std::size_t offset, std::uint64_t value) { PutLe64(Buffer.data(), offset, value); }
};

using ControlAction = NtStatus (*)(DeviceState& dx, ControlRequest& request);

// A control code with its layout: the input bytes its action reads and the
// output bytes it always writes. Actions whose sizes depend on the input
// check the rest themselves.
struct ControlCode {
  std::uint32_t code;
  std::uint32_t minimumInput;
  std::uint32_t minimumOutput;
  ControlAction action;
};

// The 60 codes, in the order of their tables.
std::span<const ControlCode> ControlCodeTable();

// Statuses for a request whose buffers do not fit its code's layout.
inline constexpr NtStatus kShortInput = STATUS_INVALID_PARAMETER;
inline constexpr NtStatus kShortOutput = STATUS_BUFFER_TOO_SMALL;

// The actions, by group.
namespace actions {
// A. USB standard queries
NtStatus GetDeviceDescriptor(DeviceState&, ControlRequest&);
NtStatus GetConfigurationDescriptor(DeviceState&, ControlRequest&);
NtStatus GetStatus(DeviceState&, ControlRequest&);
NtStatus GetFrameInfo(DeviceState&, ControlRequest&);
// B. registers
NtStatus MacRead(DeviceState&, ControlRequest&);
NtStatus MacWrite(DeviceState&, ControlRequest&);
NtStatus MacReadMulti(DeviceState&, ControlRequest&);
NtStatus MacWriteMulti(DeviceState&, ControlRequest&);
NtStatus ReadBlock(DeviceState&, ControlRequest&);
NtStatus ReadByte(DeviceState&, ControlRequest&);
NtStatus WriteByte(DeviceState&, ControlRequest&);
NtStatus WriteHalves(DeviceState&, ControlRequest&);
NtStatus RfWrite(DeviceState&, ControlRequest&);
NtStatus SysRead(DeviceState&, ControlRequest&);
NtStatus SysWrite(DeviceState&, ControlRequest&);
NtStatus Base0Read(DeviceState&, ControlRequest&);
NtStatus Base0Write(DeviceState&, ControlRequest&);
NtStatus AltRead(DeviceState&, ControlRequest&);
NtStatus AltWrite(DeviceState&, ControlRequest&);
// C. EEPROM
NtStatus UsbEepromRead(DeviceState&, ControlRequest&);
NtStatus UsbEepromWrite(DeviceState&, ControlRequest&);
NtStatus EepromRead(DeviceState&, ControlRequest&);
NtStatus EepromWrite(DeviceState&, ControlRequest&);
// D. flash
NtStatus EraseFlash(DeviceState&, ControlRequest&);
NtStatus WriteFlash(DeviceState&, ControlRequest&);
NtStatus ReadFlash(DeviceState&, ControlRequest&);
NtStatus EraseFlashBlock(DeviceState&, ControlRequest&);
NtStatus EraseFlashChip(DeviceState&, ControlRequest&);
NtStatus SetFlashWidth(DeviceState&, ControlRequest&);
NtStatus SelectFlash(DeviceState&, ControlRequest&);
NtStatus Mode2(DeviceState&, ControlRequest&);
NtStatus Mode8(DeviceState&, ControlRequest&);
// E. firmware and chip control
NtStatus FirmwareReload(DeviceState&, ControlRequest&);
NtStatus GetFirmwareVersion(DeviceState&, ControlRequest&);
NtStatus QueryFirmwareMode(DeviceState&, ControlRequest&);
NtStatus SyncRxMultiFrame(DeviceState&, ControlRequest&);
NtStatus SetReg1404Bit0(DeviceState&, ControlRequest&);
NtStatus SetSpareWord(DeviceState&, ControlRequest&);
// F. firmware command channel
NtStatus SendQaCmd(DeviceState&, ControlRequest&);
NtStatus ReceiveQaCmdRsp(DeviceState&, ControlRequest&);
// G. transmit
NtStatus TxLoadPacket(DeviceState&, ControlRequest&);
NtStatus TxStart(DeviceState&, ControlRequest&);
NtStatus TxStop(DeviceState&, ControlRequest&);
NtStatus QueryTxCounters(DeviceState&, ControlRequest&);
// H. receive and capture
NtStatus Rx0Start(DeviceState&, ControlRequest&);
NtStatus Rx0Stop(DeviceState&, ControlRequest&);
NtStatus Rx1Start(DeviceState&, ControlRequest&);
NtStatus Rx1Stop(DeviceState&, ControlRequest&);
NtStatus QueryRx0Transfers(DeviceState&, ControlRequest&);
NtStatus QueryRx1Transfers(DeviceState&, ControlRequest&);
NtStatus CaptureStart(DeviceState&, ControlRequest&);
NtStatus CaptureStop(DeviceState&, ControlRequest&);
NtStatus CaptureRead(DeviceState&, ControlRequest&);
NtStatus CaptureAvailable(DeviceState&, ControlRequest&);
// I. counters and statistics
NtStatus QueryRxStatistics(DeviceState&, ControlRequest&);
NtStatus ResetCounters(DeviceState&, ControlRequest&);
}  // namespace actions

}  // namespace kqa::driver
