#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kqa::registers {

// A hexadecimal field as the register pages take it: blanks around it are
// ignored, "0x" may lead, and the digits must all be hexadecimal and fit in
// 32 bits. Anything else is refused, so that a typo never reaches the chip as
// some other number.
std::optional<std::uint32_t> ParseHexField(std::string_view text);

// The message for a field ParseHexField refused, naming the field.
std::string HexFieldProblem(std::string_view fieldName, std::string_view text);

// An 8-bit value in a file: one or two hexadecimal digits, "0x" allowed,
// blanks around it ignored.
std::optional<std::uint8_t> ParseByteField(std::string_view text);

// A decimal field (a register number): blanks around it are ignored, and
// the digits must all be decimal and fit in 32 bits. No sign, no "0x".
std::optional<std::uint32_t> ParseDecimalField(std::string_view text);

// The message for a field ParseDecimalField refused, naming the field.
std::string DecimalFieldProblem(std::string_view fieldName, std::string_view text);

}  // namespace kqa::registers
