#include "platform/usb/wire/usb_wire.h"

namespace kqa::usb {

const char* TransferStatusName(TransferStatus status) {
  switch (status) {
    case TransferStatus::Completed: return "completed";
    case TransferStatus::Stall: return "stall";
    case TransferStatus::Timeout: return "timeout";
    case TransferStatus::Cancelled: return "cancelled";
    case TransferStatus::NoDevice: return "no device";
    case TransferStatus::Overflow: return "overflow";
    case TransferStatus::Error: return "error";
  }
  return "unknown";
}

}  // namespace kqa::usb
