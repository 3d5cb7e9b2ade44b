#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kqa::nvm {

// The LED behaviour the chip reads from three configuration words:
//  - 0x3C, the mode word: for LED G and LED A in each radio state a 2-bit
//    field f (1 steady, 2 slow blink, 3 fast blink);
//  - 0x3E, the activity word: for LED ACT in each state a 3-bit field, bits
//    0-1 f (1 steady, 2 blink on data/management frames, 3 also on beacons)
//    and bit 2 "slow blink while idle";
//  - 0x40, the polarity word: one bit per LED and state, set when the LED
//    is lit by a high level. Bits 3, 7, 11 and 15 of 0x3E and 0x40 are
//    always written as 1.
// The page shows each LED and state as a combo of readable behaviours and
// works out the fields from the chosen item and the "High or Low Active"
// choice ("On" means the polarity bit is set with "High", clear with "Low").

inline constexpr std::uint16_t kLedModeWord = 0x3C;
inline constexpr std::uint16_t kLedActivityWord = 0x3E;
inline constexpr std::uint16_t kLedPolarityWord = 0x40;
inline constexpr std::uint16_t kLedAlwaysSet = 0x8888;

enum class LedActive { High, Low };

enum class LedKind {
  GreenOrAmber,    // LED G and LED A: "On", "Off", "Slow blink", "Fast blink"
  ActivityOff,     // LED ACT with the radio off: three items
  Activity,        // LED ACT in the other states: ten items
};

// One combo: which word and bits it decodes, and its items.
struct LedCombo {
  std::string_view name;     // the command line's name, e.g. "g-off"
  std::string_view caption;  // e.g. "LED G, Radio Off"
  LedKind kind;
  int fieldShift;            // the field's lowest bit in its word
  int polarityBit;           // in word 0x40
};

inline constexpr std::size_t kLedComboCount = 12;

// The twelve combos in the order of the page's grid: LED G and LED A in the
// four states, then LED ACT in the four states.
std::span<const LedCombo, kLedComboCount> LedCombos();
std::span<const std::string_view> LedItems(LedKind kind);
// The combo with this command-line name, or none.
std::optional<std::size_t> FindLedCombo(std::string_view name);

struct LedWords {
  std::uint16_t mode = 0;      // 0x3C
  std::uint16_t activity = 0;  // 0x3E
  std::uint16_t polarity = 0;  // 0x40

  bool operator==(const LedWords&) const = default;
};

// Each combo's item; none where nothing is chosen (or nothing decodes).
using LedSelections = std::array<std::optional<int>, kLedComboCount>;

// The words with every selected combo's field and polarity bit set from its
// item, the other bits as they were, and 0x8888 set in the activity and
// polarity words. Without an active level no field changes (the words
// still get 0x8888). Items outside a combo's list change nothing.
LedWords EncodeLeds(LedWords words, const LedSelections& selections,
                    std::optional<LedActive> active);

// The selections the words give under `active`. A field that decodes to
// nothing (a field of 0, or an activity field of the radio-off combo other
// than "steady") keeps the combo's selection in `selections`; "slow blink
// idle, steady, not lit" in the radio-off combo clears it.
void DecodeLeds(const LedWords& words, LedActive active, LedSelections& selections);

}  // namespace kqa::nvm
