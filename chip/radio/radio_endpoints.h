#pragma once

#include <cstdint>
#include <functional>

#include "chip/bulk_endpoint.h"
#include "chip/radio/radio_side.h"

namespace kqa::chip {

// Runs `f` on the radio side under the chip's lock.
using RadioAccess = std::function<void(const std::function<void(RadioSide&)>& f)>;

// The bulk endpoints the radio side serves: OUT transfers go to its
// transmitter and MCU, IN transfers take firmware responses and received
// records. Both first bring the air up to the clock.
class RadioOutEndpoint final : public BulkEndpointHandler {
 public:
  RadioOutEndpoint(RadioAccess access, std::uint8_t endpoint) : access_(std::move(access)), endpoint_(endpoint) {}
  void receive(std::span<const std::uint8_t> data) override;

 private:
  RadioAccess access_;
  std::uint8_t endpoint_;
};

class RadioInEndpoint final : public BulkEndpointHandler {
 public:
  RadioInEndpoint(RadioAccess access, std::uint8_t endpoint) : access_(std::move(access)), endpoint_(endpoint) {}
  std::optional<std::vector<std::uint8_t>> nextTransfer(std::size_t capacity) override;

 private:
  RadioAccess access_;
  std::uint8_t endpoint_;
};

}  // namespace kqa::chip
