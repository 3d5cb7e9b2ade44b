#pragma once

#include <cstdint>
#include <span>

namespace kqa::ioctl {

// The control codes of the QA driver's device interface. All are device type
// 0x22, METHOD_BUFFERED, FILE_ANY_ACCESS; the function number is
// (code >> 2) & 0xFFF. Listed in the order of the driver's tables.
inline constexpr std::uint32_t VQ_OID_USB_GET_DEVICE_DESCRIPTOR = 0x222008;
inline constexpr std::uint32_t VQ_OID_USB_GET_CONFIGURATION_DESCRIPTOR = 0x22200C;
inline constexpr std::uint32_t VQ_OID_USB_GET_STATUS = 0x222014;
inline constexpr std::uint32_t VQ_OID_USB_GET_FRAME_INFO = 0x222018;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_MAC_READ = 0x223480;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_MAC_WRITE = 0x223484;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_MAC_READ_MULTI = 0x223488;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_MAC_WRITE_MULTI = 0x22348C;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_READ_DWORD = 0x223400;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_WRITE_DWORD = 0x223404;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_READ_DWORDS = 0x223408;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_WRITE_DWORDS = 0x22340C;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_READ_BLOCK = 0x223498;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_READ_BYTE = 0x2234CC;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_WRITE_BYTE = 0x2234D0;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_WRITE_HALVES = 0x2234DC;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_RF_WRITE = 0x2234A0;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_SYS_READ = 0x22352C;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_SYS_WRITE = 0x223528;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_BASE0_READ = 0x223520;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_BASE0_WRITE = 0x223518;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_ALT_READ = 0x22351C;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_ALT_WRITE = 0x223514;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_EEPROM_READ = 0x223490;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_EEPROM_WRITE = 0x223494;
inline constexpr std::uint32_t VQ_OID_VENDOR_EEPROM_READ = 0x223478;
inline constexpr std::uint32_t VQ_OID_VENDOR_EEPROM_WRITE = 0x22347C;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_ERASE_FLASH = 0x2234A8;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_WRITE_FLASH = 0x2234AC;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_READ_FLASH = 0x2234B0;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_ERASE_FLASH_BLOCK = 0x2234B4;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_ERASE_FLASH_CHIP = 0x2234BC;
inline constexpr std::uint32_t VQ_OID_USB_SET_FLASH_WIDTH = 0x2234B8;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_SELECT_FLASH = 0x2234C4;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_MODE_2 = 0x2234C0;
inline constexpr std::uint32_t VQ_OID_USB_VENDOR_MODE_8 = 0x2234C8;
inline constexpr std::uint32_t VQ_OID_USB_FIRMWARE_RELOAD = 0x2234D8;
inline constexpr std::uint32_t VQ_OID_USB_GET_FIRMWARE_VERSION = 0x22349C;
inline constexpr std::uint32_t VQ_OID_USB_QUERY_FIRMWARE_MODE = 0x223510;
inline constexpr std::uint32_t VQ_OID_USB_SYNC_RX_MULTI_FRAME = 0x2234D4;
inline constexpr std::uint32_t VQ_OID_USB_SET_REG1404_BIT0 = 0x22367C;
inline constexpr std::uint32_t VQ_OID_USB_SET_SPARE_WORD = 0x223618;
inline constexpr std::uint32_t VQ_OID_USB_SEND_QA_CMD = 0x22368C;
inline constexpr std::uint32_t VQ_OID_USB_RECEIVE_QA_CMD_RSP = 0x223690;
inline constexpr std::uint32_t VQ_OID_USB_TX_LOAD_PACKET = 0x22364C;
inline constexpr std::uint32_t VQ_OID_USB_TX_START = 0x223650;
inline constexpr std::uint32_t VQ_OID_USB_TX_STOP = 0x223648;
inline constexpr std::uint32_t VQ_OID_USB_QUERY_TX_COUNTERS = 0x223508;
inline constexpr std::uint32_t VQ_OID_USB_RX0_START = 0x223660;
inline constexpr std::uint32_t VQ_OID_USB_RX0_STOP = 0x223664;
inline constexpr std::uint32_t VQ_OID_USB_RX1_START = 0x223680;
inline constexpr std::uint32_t VQ_OID_USB_RX1_STOP = 0x223684;
inline constexpr std::uint32_t VQ_OID_USB_QUERY_RX0_TRANSFERS = 0x22350C;
inline constexpr std::uint32_t VQ_OID_USB_QUERY_RX1_TRANSFERS = 0x223524;
inline constexpr std::uint32_t VQ_OID_USB_CAPTURE_START = 0x223668;
inline constexpr std::uint32_t VQ_OID_USB_CAPTURE_STOP = 0x22366C;
inline constexpr std::uint32_t VQ_OID_USB_CAPTURE_READ = 0x223670;
inline constexpr std::uint32_t VQ_OID_USB_CAPTURE_AVAILABLE = 0x223688;
inline constexpr std::uint32_t VQ_OID_USB_QUERY_RX_STATISTICS = 0x223504;
inline constexpr std::uint32_t VQ_OID_USB_RESET_COUNTERS = 0x223500;

inline constexpr std::uint32_t kDeviceTypeQa = 0x22;
constexpr std::uint32_t ControlCodeFunction(std::uint32_t code) { return (code >> 2) & 0xFFF; }

struct ControlCodeName {
  std::uint32_t code;
  const char* name;
};

// Every code the driver serves, with its name; 60 entries.
std::span<const ControlCodeName> AllControlCodes();
// The name of a code, or nullptr for one the driver does not serve.
const char* ControlCodeNameOf(std::uint32_t code);

}  // namespace kqa::ioctl
