#pragma once

#include <optional>

#include "chip/baseband/receive_chain.h"
#include "chip/radio/air_frame.h"
#include "chip/radio/reception.h"

namespace kqa::chip {

// What the baseband engines may ask the radio side about the signal: the
// receive chain's input as it stands (settings, impairments, the recent air)
// and the receiver's verdict on a transmission.
class SignalView {
 public:
  virtual ~SignalView() = default;
  virtual ChainInput chainInput() const = 0;
  virtual Reception verdict(const AirFrame& frame) const = 0;
};

}  // namespace kqa::chip
