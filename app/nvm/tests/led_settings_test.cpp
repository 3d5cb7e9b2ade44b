// The LED words: decoding pinned to the factory words worked out by hand,
// encoding pinned bit by bit, and every item of every combo round-tripped.
#include <gtest/gtest.h>

#include "app/nvm/led_settings.h"

namespace kqa::nvm {
namespace {

// Both boards' factory words: 0x3C 5555, 0x3E AAD9, 0x40 EDD8.
constexpr LedWords kFactory{0x5555, 0xAAD9, 0xEDD8};

TEST(LedSettings, TheFactoryWordsDecodeUnderEachLevel) {
  // By hand: every G/A field is 1 (steady); ACT fields (slow, f) are (0, 1),
  // (1, 1), (0, 2), (0, 2); polarity bits 0, 1, 2, 5, 9, 12 clear, 4, 6, 8,
  // 10, 13, 14 set.
  const LedSelections high = {1, 1, 0, 1, 0, 1, 1, 0, 2, 0, 8, 8};
  const LedSelections low = {0, 0, 1, 0, 1, 0, 0, 1, 1, 1, 6, 6};
  LedSelections decoded;
  DecodeLeds(kFactory, LedActive::High, decoded);
  EXPECT_EQ(decoded, high);
  DecodeLeds(kFactory, LedActive::Low, decoded);
  EXPECT_EQ(decoded, low);
  EXPECT_EQ(LedItems(LedCombos()[10].kind)[8], "Solid on,Blink data/mgmt");

  // A field of 0 keeps what the combo shows; "slow blink idle, steady, not
  // lit" with the radio off shows nothing.
  LedSelections kept = {3, 3, 3, 3, 3, 3, 3, 3, 1, 9, 9, 9};
  DecodeLeds({0x0000, 0x0005, 0x0000}, LedActive::High, kept);
  EXPECT_EQ(kept, (LedSelections{3, 3, 3, 3, 3, 3, 3, 3, std::nullopt, 9, 9, 9}));
}

TEST(LedSettings, EncodingSetsTheChosenFieldsAndPolarityBitsAndAlways8888) {
  // "Low" and LED G Radio Off "On": field 1 at bits 0-1, polarity bit 0 clear.
  LedSelections gOn{};
  gOn[0] = 0;
  EXPECT_EQ(EncodeLeds({0xFFFF, 0x0000, 0xFFFF}, gOn, LedActive::Low),
            (LedWords{0xFFFD, 0x8888, 0xFFFE}));

  // "High": LED G link down "Fast blink" (f 3 at bits 4-5, bit 4 set), LED
  // ACT radio off "Slow blink,Solid on" (5 at bits 0-2, bit 2 set), LED ACT
  // link to G "Solid on,Blink data/mgmt/beacon" (3 at bits 8-10, bit 10 set).
  LedSelections some{};
  some[2] = 3;
  some[8] = 0;
  some[10] = 9;
  EXPECT_EQ(EncodeLeds({}, some, LedActive::High), (LedWords{0x0030, 0x8B8D, 0x8C9C}));
  // Without a level nothing but 0x8888 changes.
  EXPECT_EQ(EncodeLeds(kFactory, some, std::nullopt), (LedWords{0x5555, 0xAAD9, 0xEDD8}));
  EXPECT_EQ(EncodeLeds({0x1234, 0, 0}, some, std::nullopt), (LedWords{0x1234, 0x8888, 0x8888}));
}

TEST(LedSettings, EveryItemOfEveryComboRoundTripsUnderBothLevels) {
  for (std::size_t combo = 0; combo < kLedComboCount; ++combo) {
    const std::size_t items = LedItems(LedCombos()[combo].kind).size();
    for (int item = 0; item < static_cast<int>(items); ++item) {
      for (LedActive active : {LedActive::High, LedActive::Low}) {
        for (LedWords start : {LedWords{0, 0, 0}, LedWords{0xFFFF, 0xFFFF, 0xFFFF}, kFactory}) {
          SCOPED_TRACE(::testing::Message() << LedCombos()[combo].name << " item " << item
                                            << (active == LedActive::High ? " High" : " Low"));
          LedSelections chosen{};
          chosen[combo] = item;
          const LedWords words = EncodeLeds(start, chosen, active);
          LedSelections decoded{};
          DecodeLeds(words, active, decoded);
          EXPECT_EQ(decoded[combo], item);
          // Only the combo's own field and polarity bit (and 0x8888) change.
          LedWords other = EncodeLeds(start, {}, active);
          const LedCombo& c = LedCombos()[combo];
          const int field = (c.kind == LedKind::GreenOrAmber ? 0x3 : 0x7) << c.fieldShift;
          (c.kind == LedKind::GreenOrAmber ? other.mode : other.activity) &= static_cast<std::uint16_t>(~field);
          other.polarity &= static_cast<std::uint16_t>(~(1 << c.polarityBit));
          LedWords masked = words;
          (c.kind == LedKind::GreenOrAmber ? masked.mode : masked.activity) &= static_cast<std::uint16_t>(~field);
          masked.polarity &= static_cast<std::uint16_t>(~(1 << c.polarityBit));
          EXPECT_EQ(masked, other);
        }
      }
    }
  }
  EXPECT_EQ(FindLedCombo("act-linka"), std::optional<std::size_t>(11));
  EXPECT_FALSE(FindLedCombo("act-link"));
}

}  // namespace
}  // namespace kqa::nvm
