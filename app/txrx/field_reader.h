#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kqa::txrx {

// Reads the page's typed fields for a run and keeps the first problem: a
// field that is not what it must be is named in a message, and the caller
// refuses the run before anything reaches the chip.
class FieldReader {
 public:
  // A hex byte string, two digits a byte in text order, blanks around it
  // ignored. A text shorter than `count` bytes is padded with zero digits,
  // digits beyond them are not read. `count` 0: as many bytes as the text
  // holds (an odd last digit padded).
  std::vector<std::uint8_t> bytes(std::string_view field, std::string_view text, std::size_t count);
  // A hexadecimal number of at most 8 digits ("0x" allowed).
  std::uint32_t hexNumber(std::string_view field, std::string_view text);
  // A decimal number from `min` to `max`.
  long long decimal(std::string_view field, std::string_view text, long long min, long long max);

  bool ok() const { return problem_.empty(); }
  const std::string& problem() const { return problem_; }

 private:
  void fail(std::string message);

  std::string problem_;
};

}  // namespace kqa::txrx
