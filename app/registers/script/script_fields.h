#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kqa {

// A script line cut into its white-space separated words.
struct ScriptLine {
  std::vector<std::string_view> tokens;
};
ScriptLine SplitScriptLine(std::string_view text);

// Keywords match without regard to case.
bool SameKeyword(std::string_view word, std::string_view keyword);

// The fields of a script line. They carry over: a line that leaves a field
// out keeps the value the last line gave it. A field no line has given yet
// is missing, and a line that needs it is not run.
struct ScriptFields {
  int rw = 0;  // also the milliseconds of WAIT
  std::uint32_t address = 0;
  int reg = 0;
  int bank = 0;
  std::uint32_t value = 0;
  // Which fields some line has given so far (FieldSlot order: Rw, Address,
  // Register, Bank, Value).
  std::array<bool, 6> given{};
};

// What the word at each position of a line is: Skip for the keyword, the
// decimal fields Rw, Register and Bank, the hexadecimal Address and Value.
enum class FieldSlot { Skip, Rw, Address, Register, Bank, Value };

// Reads the words of `line` into `fields` by position. Words past the slots
// are ignored; slots past the words keep their value. On a word that is not
// a number of its radix, or a slot that no line has given yet, returns why
// ("the address is missing") and leaves `fields` untouched.
std::optional<std::string> ParseFields(const ScriptLine& line, const std::vector<FieldSlot>& slots,
                                       ScriptFields& fields);

// What a slot is called in messages: "read/write field", "address", ...
std::string_view FieldName(FieldSlot slot);

}  // namespace kqa
