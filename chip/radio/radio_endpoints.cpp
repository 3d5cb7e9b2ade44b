#include "chip/radio/radio_endpoints.h"

namespace kqa::chip {

void RadioOutEndpoint::receive(std::span<const std::uint8_t> data) {
  access_([&](RadioSide& radio) {
    radio.advance();
    radio.receiveOut(endpoint_, data);
  });
}

std::optional<std::vector<std::uint8_t>> RadioInEndpoint::nextTransfer(std::size_t capacity) {
  std::optional<std::vector<std::uint8_t>> transfer;
  access_([&](RadioSide& radio) {
    radio.advance();
    transfer = radio.nextIn(endpoint_, capacity);
  });
  return transfer;
}

}  // namespace kqa::chip
