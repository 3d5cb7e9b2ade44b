#include "driver/dispatch.h"

#include <algorithm>

#include "driver/control_request.h"
#include "driver/io_references.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::driver {
namespace {

using namespace kqa::ioctl;
namespace a = actions;

constexpr ControlCode kCodes[] = {
    // A. USB standard queries (outputs are cut to the buffer)
    {VQ_OID_USB_GET_DEVICE_DESCRIPTOR, 0, 0, a::GetDeviceDescriptor},
    {VQ_OID_USB_GET_CONFIGURATION_DESCRIPTOR, 0, 0, a::GetConfigurationDescriptor},
    {VQ_OID_USB_GET_STATUS, 0, 0, a::GetStatus},
    {VQ_OID_USB_GET_FRAME_INFO, 0, 0, a::GetFrameInfo},
    // B. registers
    {VQ_OID_USB_VENDOR_MAC_READ, 2, 4, a::MacRead},
    {VQ_OID_USB_VENDOR_MAC_WRITE, 8, 0, a::MacWrite},
    {VQ_OID_USB_VENDOR_MAC_READ_MULTI, 8, 0, a::MacReadMulti},
    {VQ_OID_USB_VENDOR_MAC_WRITE_MULTI, 8, 0, a::MacWriteMulti},
    {VQ_OID_USB_VENDOR_READ_DWORD, 2, 4, a::MacRead},
    {VQ_OID_USB_VENDOR_WRITE_DWORD, 8, 0, a::MacWrite},
    {VQ_OID_USB_VENDOR_READ_DWORDS, 8, 0, a::MacReadMulti},
    {VQ_OID_USB_VENDOR_WRITE_DWORDS, 8, 0, a::MacWriteMulti},
    {VQ_OID_USB_VENDOR_READ_BLOCK, 8, 0, a::ReadBlock},
    {VQ_OID_USB_VENDOR_READ_BYTE, 2, 1, a::ReadByte},
    {VQ_OID_USB_VENDOR_WRITE_BYTE, 5, 0, a::WriteByte},
    {VQ_OID_USB_VENDOR_WRITE_HALVES, 8, 0, a::WriteHalves},
    {VQ_OID_USB_VENDOR_RF_WRITE, 4, 0, a::RfWrite},
    {VQ_OID_USB_VENDOR_SYS_READ, 2, 4, a::SysRead},
    {VQ_OID_USB_VENDOR_SYS_WRITE, 8, 0, a::SysWrite},
    {VQ_OID_USB_VENDOR_BASE0_READ, 2, 4, a::Base0Read},
    {VQ_OID_USB_VENDOR_BASE0_WRITE, 8, 0, a::Base0Write},
    {VQ_OID_USB_VENDOR_ALT_READ, 2, 4, a::AltRead},
    {VQ_OID_USB_VENDOR_ALT_WRITE, 8, 0, a::AltWrite},
    // C. EEPROM
    {VQ_OID_USB_VENDOR_EEPROM_READ, 4, 0, a::UsbEepromRead},
    {VQ_OID_USB_VENDOR_EEPROM_WRITE, 4, 0, a::UsbEepromWrite},
    {VQ_OID_VENDOR_EEPROM_READ, 4, 0, a::EepromRead},
    {VQ_OID_VENDOR_EEPROM_WRITE, 4, 0, a::EepromWrite},
    // D. flash and device modes
    {VQ_OID_USB_VENDOR_ERASE_FLASH, 4, 0, a::EraseFlash},
    {VQ_OID_USB_VENDOR_WRITE_FLASH, 8, 0, a::WriteFlash},
    {VQ_OID_USB_VENDOR_READ_FLASH, 8, 0, a::ReadFlash},
    {VQ_OID_USB_VENDOR_ERASE_FLASH_BLOCK, 2, 0, a::EraseFlashBlock},
    {VQ_OID_USB_VENDOR_ERASE_FLASH_CHIP, 0, 0, a::EraseFlashChip},
    {VQ_OID_USB_SET_FLASH_WIDTH, 4, 0, a::SetFlashWidth},
    {VQ_OID_USB_VENDOR_SELECT_FLASH, 2, 0, a::SelectFlash},
    {VQ_OID_USB_VENDOR_MODE_2, 0, 0, a::Mode2},
    {VQ_OID_USB_VENDOR_MODE_8, 0, 0, a::Mode8},
    // E. firmware and chip control
    {VQ_OID_USB_FIRMWARE_RELOAD, 64, 0, a::FirmwareReload},
    {VQ_OID_USB_GET_FIRMWARE_VERSION, 0, 4, a::GetFirmwareVersion},
    {VQ_OID_USB_QUERY_FIRMWARE_MODE, 0, 4, a::QueryFirmwareMode},
    {VQ_OID_USB_SYNC_RX_MULTI_FRAME, 0, 0, a::SyncRxMultiFrame},
    {VQ_OID_USB_SET_REG1404_BIT0, 4, 0, a::SetReg1404Bit0},
    {VQ_OID_USB_SET_SPARE_WORD, 4, 0, a::SetSpareWord},
    // F. firmware command channel
    {VQ_OID_USB_SEND_QA_CMD, 3, 0, a::SendQaCmd},
    {VQ_OID_USB_RECEIVE_QA_CMD_RSP, 0, 0, a::ReceiveQaCmdRsp},
    // G. transmit pipelines
    {VQ_OID_USB_TX_LOAD_PACKET, 8, 0, a::TxLoadPacket},
    {VQ_OID_USB_TX_START, 17, 0, a::TxStart},
    {VQ_OID_USB_TX_STOP, 0, 0, a::TxStop},
    {VQ_OID_USB_QUERY_TX_COUNTERS, 0, 44, a::QueryTxCounters},
    // H. receive pipelines and capture ring
    {VQ_OID_USB_RX0_START, 2, 0, a::Rx0Start},
    {VQ_OID_USB_RX0_STOP, 0, 0, a::Rx0Stop},
    {VQ_OID_USB_RX1_START, 2, 0, a::Rx1Start},
    {VQ_OID_USB_RX1_STOP, 0, 0, a::Rx1Stop},
    {VQ_OID_USB_QUERY_RX0_TRANSFERS, 0, 8, a::QueryRx0Transfers},
    {VQ_OID_USB_QUERY_RX1_TRANSFERS, 0, 8, a::QueryRx1Transfers},
    {VQ_OID_USB_CAPTURE_START, 0, 0, a::CaptureStart},
    {VQ_OID_USB_CAPTURE_STOP, 0, 0, a::CaptureStop},
    {VQ_OID_USB_CAPTURE_READ, 0, kRingRecordSize, a::CaptureRead},
    {VQ_OID_USB_CAPTURE_AVAILABLE, 0, 4, a::CaptureAvailable},
    // I. counters and statistics
    {VQ_OID_USB_QUERY_RX_STATISTICS, 0, 96, a::QueryRxStatistics},
    {VQ_OID_USB_RESET_COUNTERS, 0, 0, a::ResetCounters},
};
static_assert(std::size(kCodes) == 60);

const ControlCode* FindCode(std::uint32_t code) {
  for (const ControlCode& entry : kCodes)
    if (entry.code == code) return &entry;
  return nullptr;
}

NtStatus CarryOut(DeviceState& dx, ControlRequest& request) {
  const ControlCode* entry = FindCode(request.Code);
  if (!entry) return STATUS_INVALID_DEVICE_REQUEST;
  if (request.InputLength < entry->minimumInput) return kShortInput;
  if (request.OutputLength < entry->minimumOutput) return kShortOutput;
  return entry->action(dx, request);
}

}  // namespace

std::span<const ControlCode> ControlCodeTable() { return kCodes; }

NtStatus DispatchDeviceControl(DeviceObject& device, Irp& irp) {
  DeviceState& dx = device.DeviceExtension;
  if (dx.NotReady) return CompleteRequest(irp, STATUS_DEVICE_NOT_CONNECTED);
  if (!AcquireIoReference(dx)) return CompleteRequest(irp, STATUS_DELETE_PENDING);

  dx.RequestSemaphore.wait();
  ControlRequest request;
  request.Code = irp.IoControlCode;
  request.InputLength = irp.InputBufferLength;
  request.OutputLength = irp.OutputBufferLength;
  request.Buffer = std::span<std::uint8_t>(irp.SystemBuffer,
                                           std::max(irp.InputBufferLength, irp.OutputBufferLength));
  const NtStatus status = CarryOut(dx, request);
  dx.RequestSemaphore.release();

  // Never more than the output holds, whatever a code's nominal count.
  const std::uint32_t count = NT_SUCCESS(status) ? std::min(request.Information, request.OutputLength) : 0;
  CompleteRequest(irp, status, count);
  ReleaseIoReference(dx);
  return status;
}

}  // namespace kqa::driver
