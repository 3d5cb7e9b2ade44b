#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kqa::nvm {

// Where the caret is and what a typed character changes.
enum class EditMode {
  None,        // no data bound
  Character,   // the character column: a typed character replaces the byte
  HighNibble,  // the hex column, first digit of the byte
  LowNibble,   // the hex column, second digit
};

enum class HexColumn { Hex, Characters };

// What a copy puts on the clipboard: the raw bytes (format "BinaryData") and
// a text rendering that depends on the column the selection was made in.
struct ClipboardBytes {
  std::vector<std::uint8_t> binary;
  std::string text;
};

// The editing model behind CHexEdit, without any drawing: a view over a byte
// buffer that its owner allocated and keeps, a cursor with nibble editing, a
// selection, and clipboard bytes.
//
// The owner's buffer has a fixed size, so nothing here changes its length:
// paste overwrites from the selection start (or the cursor) and stops at the
// end of the buffer; cut and clear overwrite the selected bytes with zeros;
// Insert and Backspace are refused. The model never frees or replaces the
// buffer.
class HexEditModel {
 public:
  static constexpr std::size_t kBytesPerRow = 8;

  enum class Move { Left, Right, Up, Down, PageUp, PageDown, RowStart, RowEnd, DataStart, DataEnd };

  // Binds the owner's bytes; null or a zero length unbinds. Resets the cursor
  // to the first byte in the hex column and clears the selection.
  void setData(std::uint8_t* data, std::size_t length);
  std::uint8_t* data() const { return data_; }
  std::size_t length() const { return length_; }
  bool hasData() const { return data_ != nullptr && length_ > 0; }

  std::size_t rowCount() const { return (length_ + kBytesPerRow - 1) / kBytesPerRow; }
  // Addresses have 8 hex digits, or 4 when wide addresses are off.
  bool wideAddress() const { return wideAddress_; }
  void setWideAddress(bool wide) { wideAddress_ = wide; }

  std::size_t cursor() const { return cursor_; }
  EditMode mode() const { return mode_; }
  HexColumn column() const {
    return mode_ == EditMode::Character ? HexColumn::Characters : HexColumn::Hex;
  }

  // The selection as the half-open byte range [selectionStart, selectionEnd).
  bool hasSelection() const { return selecting_; }
  std::size_t selectionStart() const;
  std::size_t selectionEnd() const;
  bool isSelected(std::size_t offset) const {
    return selecting_ && offset >= selectionStart() && offset < selectionEnd();
  }

  // A typed character. In the hex column only hexadecimal digits are taken;
  // in the character column only printable ASCII. Returns true when a byte
  // changed; the cursor then moves on (high nibble, low nibble, next byte).
  bool typeCharacter(char c);

  // Tab: between the hex and the character column, on the same byte.
  void toggleColumn();

  // Cursor keys. With extendSelection the selection runs from where the
  // cursor was when the selection began to where it is now; without, the
  // selection is cleared. pageRows is the number of rows a page moves.
  void move(Move move, bool extendSelection, std::size_t pageRows = 1);

  // A click on a byte: places the cursor and the edit mode by the column hit.
  // With extendSelection (Shift+click) it selects from the previous cursor.
  void placeCursor(std::size_t offset, HexColumn column, bool lowNibble, bool extendSelection);
  // Dragging with the button down: extends the selection to the byte under the
  // pointer, keeping the column.
  void dragTo(std::size_t offset);

  void selectAll();
  void clearSelection() { selecting_ = false; }

  // Clipboard. copy() is empty without a selection.
  ClipboardBytes copy() const;
  // Overwrites from the selection start (or the cursor) with as many of the
  // bytes as fit before the end of the buffer; returns how many were written.
  std::size_t paste(std::span<const std::uint8_t> bytes);
  // copy() followed by clearSelectedBytes().
  ClipboardBytes cut();
  // Zero-fills the selected bytes (the fixed-length form of deleting them);
  // returns how many bytes were cleared.
  std::size_t clearSelectedBytes();

 private:
  void setCursor(std::size_t offset, bool extendSelection);
  std::size_t lastOffset() const { return length_ == 0 ? 0 : length_ - 1; }

  std::uint8_t* data_ = nullptr;
  std::size_t length_ = 0;
  std::size_t cursor_ = 0;
  EditMode mode_ = EditMode::None;
  bool wideAddress_ = true;
  bool selecting_ = false;
  std::size_t anchor_ = 0;  // where the selection began
};

// Row rendering shared by the widget and its tests.
bool IsPrintable(std::uint8_t byte);
char DisplayCharacter(std::uint8_t byte);  // '.' for non-printable bytes
std::string FormatAddress(std::size_t offset, bool wide);
std::string FormatHexByte(std::uint8_t byte);  // two uppercase digits

}  // namespace kqa::nvm
