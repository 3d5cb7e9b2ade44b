#include "chip/kestrel_options.h"

#include <chrono>

namespace kqa::chip {

ChipTiming ChipTiming::UsbHighSpeed() {
  using namespace std::chrono_literals;
  ChipTiming timing;
  timing.perControlTransfer = 125us;  // one microframe for setup, data and status
  timing.perControlByte = 16ns;       // 64-byte packets, several per microframe
  timing.perBulkTransfer = 20us;
  timing.perBulkByte = 25ns;  // about 40 MB/s of payload
  timing.bbpCommand = 2us;
  timing.rfCommand = 2us;
  timing.rfSerialWord = 5us;
  timing.efuseRead = 10us;
  timing.efuseProgram = 1ms;
  return timing;
}

}  // namespace kqa::chip
