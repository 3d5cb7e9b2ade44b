#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "chip/radio/air_frame.h"
#include "chip/radio/environment.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// One transmitter of the environment: it knows when its next transmission
// starts and produces it (with its answers, such as the ACK after a data
// frame). Its draws come from its own random stream, so what it sends does
// not depend on when, or how often, the air is asked.
class AirSource {
 public:
  virtual ~AirSource() = default;
  virtual Clock::Duration nextStart() const = 0;
  // Appends the next exchange (in start order) and moves on.
  virtual void emit(std::vector<AirFrame>& out) = 0;
};

// Everything transmitted around the chip, in time order. Time 0 is the
// chip's power-on; frames are produced as the chip's clock passes their
// start, deterministically from the environment and the seed.
class Air {
 public:
  // Throws EnvironmentError when the environment does not validate.
  Air(const Environment& environment, std::uint64_t seed, Clock::Duration origin);

  // Frames that start at or before `time` and were not taken yet, in start
  // order.
  std::vector<AirFrame> take(Clock::Duration time);
  // When the next frame starts (nothing when the air stays silent).
  std::optional<Clock::Duration> nextStart() const;

  const Environment& environment() const { return environment_; }
  // The signal generator: replaces the running burst; the first frame comes
  // `startMs` after `now`. A count of 0 stops it. Throws EnvironmentError
  // for a channel, length or interval it cannot send.
  void startGenerator(const GeneratorFrames& frames, Clock::Duration now);
  void setTone(std::optional<Tone> tone) { environment_.tone = tone; }
  const std::optional<Tone>& tone() const { return environment_.tone; }

 private:
  void refill(Clock::Duration time);

  Environment environment_;
  std::uint64_t seed_;
  std::vector<std::unique_ptr<AirSource>> sources_;
  std::unique_ptr<AirSource> generator_;
  std::uint64_t generatorRuns_ = 0;
  std::deque<AirFrame> pending_;  // emitted, sorted by start
};

}  // namespace kqa::chip
