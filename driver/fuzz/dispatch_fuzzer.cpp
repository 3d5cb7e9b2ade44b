// libFuzzer entry: arbitrary control codes and buffers thrown at the driver.
#include "driver/fuzz/dispatch_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return kqa::driver::fuzz::FuzzDispatch(data, size);
}
