#pragma once

#include <string>

namespace kqa::registers {

// Whether a register box reads or writes: the "READ"/"WRITE" radio pairs of
// the register pages and of the register boxes on the TX/RX and FFT pages.
enum class Direction { Read, Write };

// A register box as its controls hold it: the address (or register number)
// and value texts and the READ/WRITE choice. The logic parses the texts when
// the button is pressed and writes a value it read back into valueText.
struct RegisterFields {
  std::string offsetText;
  std::string valueText;
  Direction direction = Direction::Read;
};

}  // namespace kqa::registers
