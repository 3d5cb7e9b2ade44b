#include "chip/register_space.h"

#include <algorithm>

namespace kqa::chip {

namespace {
std::uint16_t WordOf(std::uint32_t address) { return static_cast<std::uint16_t>(address & ~3u); }
}  // namespace

void RegisterSpace::map(std::uint16_t first, std::uint16_t last, Handler handler) {
  ranges_.push_back({first, last, std::move(handler)});
}

const RegisterSpace::Handler* RegisterSpace::handlerAt(std::uint16_t address) const {
  for (auto range = ranges_.rbegin(); range != ranges_.rend(); ++range)
    if (address >= range->first && address <= range->last) return &range->handler;
  return nullptr;
}

std::uint32_t RegisterSpace::read(std::uint16_t address) {
  address = WordOf(address);
  const Handler* handler = handlerAt(address);
  if (handler != nullptr && handler->read) return handler->read(address);
  return stored(address);
}

void RegisterSpace::write(std::uint16_t address, std::uint32_t value) {
  address = WordOf(address);
  const Handler* handler = handlerAt(address);
  if (handler != nullptr && handler->write) {
    handler->write(address, value);
  } else {
    store(address, value);
  }
}

std::uint32_t RegisterSpace::peek(std::uint16_t address) const {
  address = WordOf(address);
  const Handler* handler = handlerAt(address);
  if (handler != nullptr) {
    if (handler->peek) return handler->peek(address);
    if (handler->read) return handler->read(address);
  }
  return stored(address);
}

void RegisterSpace::readBytes(std::uint32_t address, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint32_t at = address + static_cast<std::uint32_t>(done);
    const std::uint32_t value = read(WordOf(at));
    for (std::uint32_t byte = at & 3u; byte < 4 && done < out.size(); ++byte)
      out[done++] = static_cast<std::uint8_t>(value >> (8 * byte));
  }
}

void RegisterSpace::writeBytes(std::uint32_t address, std::span<const std::uint8_t> in) {
  std::size_t done = 0;
  while (done < in.size()) {
    const std::uint32_t at = address + static_cast<std::uint32_t>(done);
    const std::uint16_t word = WordOf(at);
    const bool whole = (at & 3u) == 0 && in.size() - done >= 4;
    std::uint32_t value = whole ? 0 : peek(word);
    for (std::uint32_t byte = at & 3u; byte < 4 && done < in.size(); ++byte) {
      value &= ~(0xFFu << (8 * byte));
      value |= static_cast<std::uint32_t>(in[done++]) << (8 * byte);
    }
    write(word, value);
  }
}

void RegisterSpace::clearStorage() { std::fill(words_.begin(), words_.end(), 0u); }

}  // namespace kqa::chip
