#pragma once

#include <cstddef>
#include <cstdint>

namespace kqa::driver::fuzz {

// Runs one fuzz input against the driver through the in-process handle: a
// sequence of control requests with arbitrary codes and buffers, bulk
// transfers completed with arbitrary bytes, injected USB failures and
// re-plugs. Aborts when the driver breaks a rule a caller relies on (a byte
// count larger than the output buffer, bytes returned with an error).
//
// Input, a sequence of operations, each starting with one byte:
//   op % 6 == 0, 1  control: code byte (< 60: the n-th served code, else a
//                   u32 code follows), u16 input length, u16 output length
//                   (x4 for a capture read), then the input bytes
//   op % 6 == 2     IN transfer: pipe byte, u16 length, the bytes
//   op % 6 == 3     OUT transfer: pipe byte, status byte
//   op % 6 == 4     next control request with bRequest = byte fails (status byte)
//   op % 6 == 5     unplug and plug in again, then open again
int FuzzDispatch(const std::uint8_t* data, std::size_t size);

}  // namespace kqa::driver::fuzz
