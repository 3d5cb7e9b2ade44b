#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kqa::chip {

// One 64 KB space of 32-bit registers as the host reaches it: 16-bit byte
// addresses, word registers at multiples of 4. Addresses that no handler
// claims are plain storage (power-on value 0). Address ranges can be given
// handlers that add behaviour (the BBP port, the eFuse controller, memory
// windows, and whatever the radio side adds).
//
// Handlers run under the chip's lock: inside them use the objects they were
// given, never the public methods of Kestrel.
class RegisterSpace {
 public:
  struct Handler {
    // A host read of the word at `address` (word-aligned). Empty: storage.
    std::function<std::uint32_t(std::uint16_t address)> read;
    // A host write of the whole word. Empty: storage.
    std::function<void(std::uint16_t address, std::uint32_t value)> write;
    // The value a read would give, without its side effects (for tests and
    // for merging partial writes). Empty: `read`, or storage when that is empty.
    std::function<std::uint32_t(std::uint16_t address)> peek;
  };

  static constexpr std::uint32_t kSize = 0x10000;

  explicit RegisterSpace(std::string name) : name_(std::move(name)) {}

  const std::string& name() const { return name_; }

  // Gives the words from `first` to `last` (inclusive byte addresses) a
  // handler. A later mapping overlays earlier ones where they overlap.
  void map(std::uint16_t first, std::uint16_t last, Handler handler);
  // The handler that answers `address`, or null (for chaining a new handler
  // to the one it overlays).
  const Handler* handlerAt(std::uint16_t address) const;

  std::uint32_t read(std::uint16_t address);
  void write(std::uint16_t address, std::uint32_t value);
  std::uint32_t peek(std::uint16_t address) const;

  // Byte-addressed transfers as the vendor requests make them: each word
  // touched is read once; a partial word is merged with its peeked value and
  // written whole. The range must lie inside the space.
  void readBytes(std::uint32_t address, std::span<std::uint8_t> out);
  void writeBytes(std::uint32_t address, std::span<const std::uint8_t> in);

  // Plain storage behind the handlers.
  std::uint32_t stored(std::uint16_t address) const { return words_[address >> 2]; }
  void store(std::uint16_t address, std::uint32_t value) { words_[address >> 2] = value; }
  // Power-on: storage back to 0 (handlers keep their own state).
  void clearStorage();

 private:
  struct Range {
    std::uint16_t first;
    std::uint16_t last;
    Handler handler;
  };

  std::string name_;
  std::vector<Range> ranges_;  // searched newest first
  std::vector<std::uint32_t> words_ = std::vector<std::uint32_t>(kSize / 4);
};

}  // namespace kqa::chip
