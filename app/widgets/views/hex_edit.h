#pragma once

#include <QAbstractScrollArea>
#include <cstddef>
#include <cstdint>

#include "app/widgets/hex_edit_model.h"

class QMenu;

// The hex dump control: address, hex and character columns, eight bytes a
// row, over a byte buffer its owner (a page) allocated and keeps. Editing is
// in place and never changes the buffer's length (see HexEditModel).
// Only the rows in view are drawn, so an 8192-byte bank scrolls as smoothly
// as a 16-byte one.
class CHexEdit : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // The clipboard format that carries the raw bytes.
  static constexpr const char* kBinaryFormat = "BinaryData";

  explicit CHexEdit(QWidget* parent = nullptr);

  // Binds the owner's buffer. The control keeps the pointer, never the bytes:
  // the owner must call setData again (or null) before freeing them.
  void setData(std::uint8_t* bytes, std::size_t length);
  // Redraws after the owner changed the bytes itself.
  void refresh();

  const kqa::nvm::HexEditModel& model() const { return model_; }

  // Where a byte is drawn, in viewport coordinates (empty when out of view).
  QRect byteRect(std::size_t offset, kqa::nvm::HexColumn column) const;
  // How many whole rows the viewport shows.
  int visibleRows() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 public slots:
  void copy();
  void cut();
  void paste();
  void clear();
  void selectAll();

 signals:
  // The user changed bytes of the buffer (typing, paste, cut, clear).
  void bytesEdited();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  struct Hit {
    std::size_t offset = 0;
    kqa::nvm::HexColumn column = kqa::nvm::HexColumn::Hex;
    bool lowNibble = false;
  };

  // Column positions in characters from the left edge of a row.
  int addressChars() const { return model_.wideAddress() ? 8 : 4; }
  int hexStartChar() const { return addressChars() + 2; }
  int charStartChar() const;
  int rowWidthChars() const { return charStartChar() + 8; }

  Hit hitTest(QPoint position) const;
  void updateScrollBars();
  void ensureCursorVisible();
  void edited();
  void paintRow(QPainter& painter, std::size_t row, int y) const;

  kqa::nvm::HexEditModel model_;
  int charWidth_ = 8;
  int lineHeight_ = 16;
  bool dragging_ = false;
};
