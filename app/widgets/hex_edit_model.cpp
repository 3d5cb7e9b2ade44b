#include "app/widgets/hex_edit_model.h"

#include <algorithm>
#include <cstdio>

#include "app/device/text_parsing.h"

namespace kqa::nvm {

bool IsPrintable(std::uint8_t byte) { return byte >= 0x20 && byte <= 0x7E; }

char DisplayCharacter(std::uint8_t byte) {
  return IsPrintable(byte) ? static_cast<char>(byte) : '.';
}

std::string FormatAddress(std::size_t offset, bool wide) {
  char text[20];
  std::snprintf(text, sizeof text, wide ? "%08zX" : "%04zX", offset);
  return text;
}

std::string FormatHexByte(std::uint8_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

void HexEditModel::setData(std::uint8_t* data, std::size_t length) {
  if (data == nullptr || length == 0) {
    data_ = nullptr;
    length_ = 0;
    mode_ = EditMode::None;
  } else {
    data_ = data;
    length_ = length;
    mode_ = EditMode::HighNibble;
  }
  cursor_ = 0;
  anchor_ = 0;
  selecting_ = false;
}

std::size_t HexEditModel::selectionStart() const { return std::min(anchor_, cursor_); }

std::size_t HexEditModel::selectionEnd() const { return std::max(anchor_, cursor_) + 1; }

bool HexEditModel::typeCharacter(char c) {
  if (!hasData()) return false;
  std::uint8_t& byte = data_[cursor_];
  switch (mode_) {
    case EditMode::None:
      return false;
    case EditMode::Character:
      if (!IsPrintable(static_cast<std::uint8_t>(c))) return false;
      byte = static_cast<std::uint8_t>(c);
      selecting_ = false;
      cursor_ = std::min(cursor_ + 1, lastOffset());
      return true;
    case EditMode::HighNibble:
    case EditMode::LowNibble: {
      const int digit = device::HexDigitValue(c);
      if (digit > 0xF) return false;
      selecting_ = false;
      if (mode_ == EditMode::HighNibble) {
        byte = static_cast<std::uint8_t>((digit << 4) | (byte & 0x0F));
        mode_ = EditMode::LowNibble;
      } else {
        byte = static_cast<std::uint8_t>((byte & 0xF0) | digit);
        // The last byte keeps the caret on its low digit: there is no next
        // byte to move to, and the buffer never grows.
        if (cursor_ < lastOffset()) {
          ++cursor_;
          mode_ = EditMode::HighNibble;
        }
      }
      return true;
    }
  }
  return false;
}

void HexEditModel::toggleColumn() {
  if (!hasData()) return;
  mode_ = mode_ == EditMode::Character ? EditMode::HighNibble : EditMode::Character;
}

void HexEditModel::setCursor(std::size_t offset, bool extendSelection) {
  offset = std::min(offset, lastOffset());
  if (extendSelection) {
    if (!selecting_) {
      anchor_ = cursor_;
      selecting_ = true;
    }
  } else {
    selecting_ = false;
  }
  cursor_ = offset;
}

void HexEditModel::move(Move move, bool extendSelection, std::size_t pageRows) {
  if (!hasData()) return;
  const std::size_t row = kBytesPerRow;
  const std::size_t page = row * std::max<std::size_t>(pageRows, 1);
  std::size_t target = cursor_;
  switch (move) {
    case Move::Left:
      if (target > 0) --target;
      break;
    case Move::Right:
      ++target;
      break;
    case Move::Up:
      if (target >= row) target -= row;
      break;
    case Move::Down:
      if (target + row <= lastOffset()) target += row;
      break;
    case Move::PageUp:
      target = target >= page ? target - page : target % row;
      break;
    case Move::PageDown:
      target += page;
      break;
    case Move::RowStart:
      target -= target % row;
      break;
    case Move::RowEnd:
      target = target - target % row + row - 1;
      break;
    case Move::DataStart:
      target = 0;
      break;
    case Move::DataEnd:
      target = lastOffset();
      break;
  }
  if (mode_ == EditMode::LowNibble) mode_ = EditMode::HighNibble;
  setCursor(target, extendSelection);
}

void HexEditModel::placeCursor(std::size_t offset, HexColumn column, bool lowNibble,
                               bool extendSelection) {
  if (!hasData()) return;
  if (column == HexColumn::Characters)
    mode_ = EditMode::Character;
  else
    mode_ = lowNibble ? EditMode::LowNibble : EditMode::HighNibble;
  setCursor(offset, extendSelection);
}

void HexEditModel::dragTo(std::size_t offset) {
  if (!hasData()) return;
  if (mode_ == EditMode::LowNibble) mode_ = EditMode::HighNibble;
  setCursor(offset, /*extendSelection=*/true);
}

void HexEditModel::selectAll() {
  if (!hasData()) return;
  anchor_ = 0;
  cursor_ = lastOffset();
  selecting_ = true;
  if (mode_ == EditMode::LowNibble) mode_ = EditMode::HighNibble;
}

ClipboardBytes HexEditModel::copy() const {
  ClipboardBytes clip;
  if (!hasData() || !selecting_) return clip;
  const std::uint8_t* begin = data_ + selectionStart();
  const std::uint8_t* end = data_ + selectionEnd();
  clip.binary.assign(begin, end);
  if (column() == HexColumn::Characters) {
    for (std::uint8_t byte : clip.binary) clip.text += DisplayCharacter(byte);
  } else {
    for (std::uint8_t byte : clip.binary) clip.text += FormatHexByte(byte) + ' ';
  }
  return clip;
}

std::size_t HexEditModel::paste(std::span<const std::uint8_t> bytes) {
  if (!hasData() || bytes.empty()) return 0;
  const std::size_t at = selecting_ ? selectionStart() : cursor_;
  const std::size_t count = std::min(bytes.size(), length_ - at);
  std::copy_n(bytes.begin(), count, data_ + at);
  selecting_ = false;
  cursor_ = std::min(at + count, lastOffset());
  if (mode_ == EditMode::LowNibble) mode_ = EditMode::HighNibble;
  return count;
}

ClipboardBytes HexEditModel::cut() {
  ClipboardBytes clip = copy();
  clearSelectedBytes();
  return clip;
}

std::size_t HexEditModel::clearSelectedBytes() {
  if (!hasData() || !selecting_) return 0;
  const std::size_t start = selectionStart();
  const std::size_t count = selectionEnd() - start;
  std::fill_n(data_ + start, count, std::uint8_t{0});
  selecting_ = false;
  cursor_ = start;
  if (mode_ == EditMode::LowNibble) mode_ = EditMode::HighNibble;
  return count;
}

}  // namespace kqa::nvm
