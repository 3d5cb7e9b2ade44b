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

}  // namespace kqa::registers
