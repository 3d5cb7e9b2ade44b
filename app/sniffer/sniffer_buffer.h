#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kqa::sniffer {

// 20,000 capture records of 4096 bytes.
inline constexpr std::size_t kSnifferBufferSize = 81'920'000;

// The sniffer's capture buffer: the memory the capture store keeps its
// records in (capture_store.h), handed to the capture session. The window
// program owns one for the whole run and takes its memory at start (without
// it the program ends with "Memory allocation failed!"); the command line
// and tests own one that the session fills on first use.
class SnifferBuffer {
 public:
  // Takes kSnifferBufferSize zeroed bytes unless it holds them already.
  // False, holding nothing, when the memory is not there.
  bool allocate();
  bool allocated() const { return !bytes_.empty(); }
  std::span<std::uint8_t> bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace kqa::sniffer
