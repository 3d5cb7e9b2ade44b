#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "app/widgets/hex_edit_model.h"

namespace kqa::nvm {
namespace {

using Move = HexEditModel::Move;

TEST(HexEditModel, TypingFillsHighThenLowNibbleTakesPrintablesAndNeverRunsPastTheBuffer) {
  std::vector<std::uint8_t> bytes(3, 0x00);
  HexEditModel model;
  model.setData(bytes.data(), bytes.size());
  EXPECT_TRUE(model.typeCharacter('a'));
  EXPECT_EQ(model.mode(), EditMode::LowNibble);
  EXPECT_TRUE(model.typeCharacter('5'));
  EXPECT_EQ(model.cursor(), 1u);
  EXPECT_EQ(model.mode(), EditMode::HighNibble);
  EXPECT_FALSE(model.typeCharacter('G'));
  EXPECT_FALSE(model.typeCharacter(' '));
  EXPECT_TRUE(model.typeCharacter('C'));  // upper case digits count as well
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xA5, 0xC0, 0x00}));

  model.move(Move::DataEnd, false);
  for (char c : std::string("123456")) model.typeCharacter(c);
  EXPECT_EQ(bytes[2], 0x16);
  EXPECT_EQ(model.cursor(), 2u);

  model.placeCursor(1, HexColumn::Characters, false, false);
  EXPECT_FALSE(model.typeCharacter('\n'));
  for (char c : std::string("Kxy")) EXPECT_TRUE(model.typeCharacter(c));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xA5, 'K', 'y'}));
  EXPECT_EQ(model.cursor(), 2u);
}

TEST(HexEditModel, WithoutDataEverythingIsIgnored) {
  HexEditModel model;
  EXPECT_FALSE(model.typeCharacter('a'));
  model.move(Move::Right, true);
  model.selectAll();
  EXPECT_FALSE(model.hasSelection());
  const std::uint8_t bytes[] = {1, 2};
  EXPECT_EQ(model.paste(bytes), 0u);
  EXPECT_TRUE(model.copy().binary.empty());
}

TEST(HexEditModel, CopyGivesBinaryAndTheColumnsText) {
  std::vector<std::uint8_t> bytes = {0x41, 0x00, 0x7F, 0x20};
  HexEditModel model;
  model.setData(bytes.data(), bytes.size());

  model.placeCursor(0, HexColumn::Characters, false, false);
  model.placeCursor(1, HexColumn::Characters, false, true);
  ClipboardBytes clip = model.copy();
  EXPECT_EQ(clip.binary, (std::vector<std::uint8_t>{0x41, 0x00}));
  EXPECT_EQ(clip.text, "A.");

  model.placeCursor(3, HexColumn::Hex, false, false);
  model.move(Move::Left, true);
  model.move(Move::Left, true);
  clip = model.copy();
  EXPECT_EQ(clip.binary, (std::vector<std::uint8_t>{0x00, 0x7F, 0x20}));
  EXPECT_EQ(clip.text, "00 7F 20 ");
}

TEST(HexEditModel, NavigationStaysInsideTheData) {
  std::vector<std::uint8_t> bytes(20, 0);  // two full rows and a short third
  HexEditModel model;
  model.setData(bytes.data(), bytes.size());
  model.move(Move::Up, false);
  EXPECT_EQ(model.cursor(), 0u);
  model.move(Move::PageDown, false, 10);
  EXPECT_EQ(model.cursor(), 19u);
  model.move(Move::RowStart, false);
  EXPECT_EQ(model.cursor(), 16u);
  model.move(Move::Up, false);
  model.move(Move::RowEnd, false);
  EXPECT_EQ(model.cursor(), 15u);
  model.move(Move::Down, false);  // the short row has no byte below 15
  EXPECT_EQ(model.cursor(), 15u);
  model.move(Move::PageUp, false, 10);
  EXPECT_EQ(model.cursor(), 7u);
  model.move(Move::DataStart, true);
  EXPECT_EQ(model.selectionStart(), 0u);
  EXPECT_EQ(model.selectionEnd(), 8u);
  model.move(Move::Right, false);
  EXPECT_FALSE(model.hasSelection());
}

TEST(HexEditModel, RowRendering) {
  EXPECT_EQ(FormatAddress(0x1FF8, true), "00001FF8");
  EXPECT_EQ(FormatAddress(0x1FF8, false), "1FF8");
  EXPECT_EQ(FormatHexByte(0x0A), "0A");
  EXPECT_EQ(DisplayCharacter(0x7E), '~');
  EXPECT_EQ(DisplayCharacter(0x7F), '.');
  EXPECT_EQ(DisplayCharacter(0x1F), '.');
}

// Seeded random edits against a plain reference buffer: every operation's
// expected effect is worked out from the reference alone, and the owner's
// buffer must match it after each step, with its length and the bytes around
// it untouched.
TEST(HexEditModel, RandomEditsMatchAReferenceBuffer) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    std::mt19937 random(seed);
    const std::size_t length = 1 + random() % 300;
    constexpr std::size_t kGuard = 16;
    std::vector<std::uint8_t> storage(length + 2 * kGuard, 0xCD);
    std::uint8_t* owned = storage.data() + kGuard;
    for (std::size_t i = 0; i < length; ++i) owned[i] = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> reference(owned, owned + length);

    HexEditModel model;
    model.setData(owned, length);
    for (int step = 0; step < 2000; ++step) {
      const std::size_t cursor = model.cursor();
      const EditMode mode = model.mode();
      switch (random() % 9) {
        case 0: {  // hex digit or junk in the hex column
          static constexpr char kKeys[] = "0123456789abcdefABCDEFgz ";
          const char c = kKeys[random() % (sizeof kKeys - 1)];
          const int digit = std::isxdigit(static_cast<unsigned char>(c))
                                ? std::stoi(std::string(1, c), nullptr, 16)
                                : -1;
          if (mode == EditMode::HighNibble && digit >= 0)
            reference[cursor] = static_cast<std::uint8_t>((digit << 4) | (reference[cursor] & 15));
          else if (mode == EditMode::LowNibble && digit >= 0)
            reference[cursor] = static_cast<std::uint8_t>((reference[cursor] & 0xF0) | digit);
          else if (mode == EditMode::Character)  // every key here is printable
            reference[cursor] = static_cast<std::uint8_t>(c);
          model.typeCharacter(c);
          break;
        }
        case 1:
          model.toggleColumn();
          break;
        case 2:
        case 3:
          model.move(static_cast<Move>(random() % 10), random() % 2 == 0, 1 + random() % 5);
          break;
        case 4:
          model.placeCursor(random() % length,
                            random() % 3 == 0 ? HexColumn::Characters : HexColumn::Hex,
                            random() % 2 == 0, random() % 2 == 0);
          break;
        case 5: {
          std::vector<std::uint8_t> clip(random() % 40);
          for (auto& byte : clip) byte = static_cast<std::uint8_t>(random());
          const std::size_t at = model.hasSelection() ? model.selectionStart() : cursor;
          const std::size_t fits = std::min(clip.size(), length - at);
          std::copy_n(clip.begin(), fits, reference.begin() + static_cast<std::ptrdiff_t>(at));
          ASSERT_EQ(model.paste(clip), clip.empty() ? 0u : fits);
          break;
        }
        case 6: {  // cut or clear: the selection's bytes, then zeros
          std::vector<std::uint8_t> selected;
          if (model.hasSelection()) {
            const auto first = reference.begin() + static_cast<std::ptrdiff_t>(model.selectionStart());
            const auto last = reference.begin() + static_cast<std::ptrdiff_t>(model.selectionEnd());
            selected.assign(first, last);
            std::fill(first, last, 0);
          }
          if (random() % 2 == 0)
            ASSERT_EQ(model.cut().binary, selected);
          else
            ASSERT_EQ(model.clearSelectedBytes(), selected.size());
          ASSERT_FALSE(model.hasSelection());
          break;
        }
        case 7:
          model.selectAll();
          break;
        case 8:
          model.dragTo(random() % length);
          break;
      }
      ASSERT_EQ(model.data(), owned) << "seed " << seed << " step " << step;
      ASSERT_EQ(model.length(), length);
      ASSERT_LT(model.cursor(), length);
      if (model.hasSelection()) {
        ASSERT_LE(model.selectionEnd(), length);
      }
      ASSERT_TRUE(std::equal(reference.begin(), reference.end(), owned))
          << "seed " << seed << " step " << step;
    }
    for (std::size_t i = 0; i < kGuard; ++i) {
      ASSERT_EQ(storage[i], 0xCD);
      ASSERT_EQ(storage[kGuard + length + i], 0xCD);
    }
  }
}

}  // namespace
}  // namespace kqa::nvm
