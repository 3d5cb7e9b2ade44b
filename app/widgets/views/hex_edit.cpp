#include "app/widgets/views/hex_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <optional>

using kqa::nvm::HexColumn;
using kqa::nvm::HexEditModel;
using Move = kqa::nvm::HexEditModel::Move;

namespace {

constexpr int kMargin = 6;

QFont HexFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPointSizeF(std::max<qreal>(QApplication::font().pointSizeF(), 10.0));
  if (!QFontInfo(font).fixedPitch()) {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamily(fixed.family());
  }
  return font;
}

}  // namespace

CHexEdit::CHexEdit(QWidget* parent) : QAbstractScrollArea(parent) {
  setFont(HexFont());
  const QFontMetrics metrics(font());
  charWidth_ = metrics.horizontalAdvance(QLatin1Char('0'));
  lineHeight_ = metrics.height() + 2;
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  verticalScrollBar()->setSingleStep(1);
  updateScrollBars();
}

void CHexEdit::setData(std::uint8_t* bytes, std::size_t length) {
  model_.setData(bytes, length);
  updateScrollBars();
  verticalScrollBar()->setValue(0);
  viewport()->update();
}

void CHexEdit::refresh() {
  updateScrollBars();
  viewport()->update();
}

int CHexEdit::charStartChar() const {
  return hexStartChar() + static_cast<int>(HexEditModel::kBytesPerRow) * 3 + 1;
}

int CHexEdit::visibleRows() const { return std::max(1, viewport()->height() / lineHeight_); }

QSize CHexEdit::sizeHint() const {
  const int width = 2 * kMargin + rowWidthChars() * charWidth_ +
                    verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
  return {width, 16 * lineHeight_ + 2 * frameWidth()};
}

QSize CHexEdit::minimumSizeHint() const { return {sizeHint().width(), 4 * lineHeight_}; }

QRect CHexEdit::byteRect(std::size_t offset, HexColumn column) const {
  const std::size_t row = offset / HexEditModel::kBytesPerRow;
  const int top = verticalScrollBar()->value();
  if (row < static_cast<std::size_t>(top)) return {};
  const int y = static_cast<int>(row - static_cast<std::size_t>(top)) * lineHeight_;
  if (y > viewport()->height()) return {};
  const int index = static_cast<int>(offset % HexEditModel::kBytesPerRow);
  const int left = kMargin - horizontalScrollBar()->value();
  if (column == HexColumn::Hex)
    return {left + (hexStartChar() + 3 * index) * charWidth_, y, 2 * charWidth_, lineHeight_};
  return {left + (charStartChar() + index) * charWidth_, y, charWidth_, lineHeight_};
}

CHexEdit::Hit CHexEdit::hitTest(QPoint position) const {
  Hit hit;
  const int rowInView = std::max(0, position.y()) / lineHeight_;
  const std::size_t row = static_cast<std::size_t>(verticalScrollBar()->value() + rowInView);
  const int x = position.x() - kMargin + horizontalScrollBar()->value();
  const int charIndex = x < 0 ? 0 : x / charWidth_;
  std::size_t index = 0;
  if (charIndex >= charStartChar() - 1) {
    hit.column = HexColumn::Characters;
    index = static_cast<std::size_t>(std::max(0, charIndex - charStartChar()));
  } else {
    const int inHex = std::max(0, charIndex - hexStartChar());
    index = static_cast<std::size_t>(inHex / 3);
    hit.lowNibble = inHex % 3 >= 1;
  }
  index = std::min(index, HexEditModel::kBytesPerRow - 1);
  const std::size_t last = model_.length() == 0 ? 0 : model_.length() - 1;
  hit.offset = std::min(row * HexEditModel::kBytesPerRow + index, last);
  return hit;
}

void CHexEdit::updateScrollBars() {
  const int rows = static_cast<int>(model_.rowCount());
  const int visible = visibleRows();
  verticalScrollBar()->setRange(0, std::max(0, rows - visible));
  verticalScrollBar()->setPageStep(visible);
  const int contentWidth = 2 * kMargin + rowWidthChars() * charWidth_;
  horizontalScrollBar()->setRange(0, std::max(0, contentWidth - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
}

void CHexEdit::ensureCursorVisible() {
  const int row = static_cast<int>(model_.cursor() / HexEditModel::kBytesPerRow);
  QScrollBar* bar = verticalScrollBar();
  if (row < bar->value())
    bar->setValue(row);
  else if (row >= bar->value() + visibleRows())
    bar->setValue(row - visibleRows() + 1);
}

void CHexEdit::edited() {
  viewport()->update();
  emit bytesEdited();
}

void CHexEdit::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
  if (!model_.hasData()) return;
  const std::size_t first = static_cast<std::size_t>(verticalScrollBar()->value());
  const std::size_t last = std::min(model_.rowCount(), first + static_cast<std::size_t>(visibleRows()) + 1);
  for (std::size_t row = first; row < last; ++row)
    paintRow(painter, row, static_cast<int>(row - first) * lineHeight_);
}

void CHexEdit::paintRow(QPainter& painter, std::size_t row, int y) const {
  const int left = kMargin - horizontalScrollBar()->value();
  const int baseline = y + 1 + QFontMetrics(font()).ascent();
  const QPalette& colours = palette();
  const std::size_t start = row * HexEditModel::kBytesPerRow;
  const std::size_t end = std::min(start + HexEditModel::kBytesPerRow, model_.length());

  painter.setPen(colours.color(QPalette::PlaceholderText));
  painter.drawText(left, baseline,
                   QString::fromStdString(kqa::nvm::FormatAddress(start, model_.wideAddress())));

  for (std::size_t offset = start; offset < end; ++offset) {
    const std::uint8_t byte = model_.data()[offset];
    const QRect hexCell = byteRect(offset, HexColumn::Hex);
    const QRect charCell = byteRect(offset, HexColumn::Characters);
    if (model_.isSelected(offset)) {
      // One band across the hex digits and the blank before the next byte.
      const bool rowEnd = offset + 1 == end || !model_.isSelected(offset + 1);
      painter.fillRect(hexCell.adjusted(0, 0, rowEnd ? 0 : charWidth_, 0),
                       colours.color(QPalette::Highlight));
      painter.fillRect(charCell, colours.color(QPalette::Highlight));
    }
    const QColor text = model_.isSelected(offset) ? colours.color(QPalette::HighlightedText)
                                                  : colours.color(QPalette::Text);
    painter.setPen(text);
    painter.drawText(hexCell.left(), baseline,
                     QString::fromStdString(kqa::nvm::FormatHexByte(byte)));
    painter.drawText(charCell.left(), baseline,
                     QString(QLatin1Char(kqa::nvm::DisplayCharacter(byte))));

    if (offset != model_.cursor()) continue;
    // The caret: a solid box on the digit or character being edited, an
    // outline on the same byte in the other column.
    QRect active = charCell;
    QRect other = hexCell;
    if (model_.column() == HexColumn::Hex) {
      const bool low = model_.mode() == kqa::nvm::EditMode::LowNibble;
      active = QRect(hexCell.left() + (low ? charWidth_ : 0), y, charWidth_, lineHeight_);
      other = charCell;
    }
    const QColor caret = hasFocus() ? colours.color(QPalette::Text) : colours.color(QPalette::Mid);
    painter.setPen(caret);
    painter.drawRect(other.adjusted(0, 0, -1, -1));
    if (hasFocus()) {
      painter.fillRect(active, caret);
      painter.setPen(colours.color(QPalette::Base));
      const QString digits = QString::fromStdString(kqa::nvm::FormatHexByte(byte));
      const QString shown = model_.column() == HexColumn::Characters
                                ? QString(QLatin1Char(kqa::nvm::DisplayCharacter(byte)))
                                : QString(digits[model_.mode() == kqa::nvm::EditMode::LowNibble]);
      painter.drawText(active.left(), baseline, shown);
    } else {
      painter.drawRect(active.adjusted(0, 0, -1, -1));
    }
  }
}

bool CHexEdit::event(QEvent* event) {
  // Tab belongs to the control (it switches columns) rather than to focus
  // navigation; Shift+Tab still leaves it.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier) {
      model_.toggleColumn();
      viewport()->update();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void CHexEdit::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) return copy();
  if (event->matches(QKeySequence::Cut)) return cut();
  if (event->matches(QKeySequence::Paste)) return paste();
  if (event->matches(QKeySequence::SelectAll)) return selectAll();
  if (event->matches(QKeySequence::Undo)) return;  // there is no undo

  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const bool control = event->modifiers() & Qt::ControlModifier;
  std::optional<Move> move;
  switch (event->key()) {
    case Qt::Key_Left: move = Move::Left; break;
    case Qt::Key_Right: move = Move::Right; break;
    case Qt::Key_Up: move = Move::Up; break;
    case Qt::Key_Down: move = Move::Down; break;
    case Qt::Key_PageUp: move = Move::PageUp; break;
    case Qt::Key_PageDown: move = Move::PageDown; break;
    case Qt::Key_Home: move = control ? Move::DataStart : Move::RowStart; break;
    case Qt::Key_End: move = control ? Move::DataEnd : Move::RowEnd; break;
    case Qt::Key_Delete: return clear();
    // Inserting and removing would change the owner's buffer length.
    case Qt::Key_Insert:
    case Qt::Key_Backspace:
      return;
    default: break;
  }
  if (move) {
    model_.move(*move, shift, static_cast<std::size_t>(visibleRows()));
    ensureCursorVisible();
    viewport()->update();
    return;
  }
  const QString text = event->text();
  if (!control && text.size() == 1 && text[0].unicode() < 0x80) {
    if (model_.typeCharacter(static_cast<char>(text[0].unicode()))) {
      ensureCursorVisible();
      edited();
    } else {
      viewport()->update();
    }
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

void CHexEdit::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !model_.hasData()) return;
  const Hit hit = hitTest(event->position().toPoint());
  model_.placeCursor(hit.offset, hit.column, hit.lowNibble,
                     event->modifiers() & Qt::ShiftModifier);
  dragging_ = true;
  viewport()->update();
}

void CHexEdit::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
  QPoint position = event->position().toPoint();
  // Above or below the window the view scrolls by one row per move.
  QScrollBar* bar = verticalScrollBar();
  if (position.y() < 0) {
    bar->setValue(bar->value() - 1);
    position.setY(0);
  } else if (position.y() >= viewport()->height()) {
    bar->setValue(bar->value() + 1);
    position.setY(viewport()->height() - 1);
  }
  model_.dragTo(hitTest(position).offset);
  viewport()->update();
}

void CHexEdit::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }

void CHexEdit::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollBars();
}

void CHexEdit::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void CHexEdit::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

void CHexEdit::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* undo = menu.addAction(tr("Undo"));
  undo->setEnabled(false);
  menu.addSeparator();
  const bool selection = model_.hasSelection();
  menu.addAction(tr("Cut"), QKeySequence::Cut, this, &CHexEdit::cut)->setEnabled(selection);
  menu.addAction(tr("Copy"), QKeySequence::Copy, this, &CHexEdit::copy)->setEnabled(selection);
  const QMimeData* clip = QApplication::clipboard()->mimeData();
  const bool canPaste = model_.hasData() && clip != nullptr &&
                        (clip->hasFormat(QLatin1String(kBinaryFormat)) || clip->hasText());
  menu.addAction(tr("Paste"), QKeySequence::Paste, this, &CHexEdit::paste)->setEnabled(canPaste);
  menu.addAction(tr("Clear"), QKeySequence::Delete, this, &CHexEdit::clear)->setEnabled(selection);
  menu.addSeparator();
  menu.addAction(tr("Select All"), QKeySequence::SelectAll, this, &CHexEdit::selectAll)
      ->setEnabled(model_.hasData());
  menu.exec(event->globalPos());
}

void CHexEdit::copy() {
  const kqa::nvm::ClipboardBytes bytes = model_.copy();
  if (bytes.binary.empty()) return;
  auto* mime = new QMimeData;
  mime->setData(QLatin1String(kBinaryFormat),
                QByteArray(reinterpret_cast<const char*>(bytes.binary.data()),
                           static_cast<qsizetype>(bytes.binary.size())));
  mime->setText(QString::fromLatin1(bytes.text.data(), static_cast<qsizetype>(bytes.text.size())));
  QApplication::clipboard()->setMimeData(mime);
}

void CHexEdit::cut() {
  if (!model_.hasSelection()) return;
  copy();
  model_.clearSelectedBytes();
  edited();
}

void CHexEdit::paste() {
  const QMimeData* clip = QApplication::clipboard()->mimeData();
  if (clip == nullptr || !model_.hasData()) return;
  QByteArray bytes;
  if (clip->hasFormat(QLatin1String(kBinaryFormat)))
    bytes = clip->data(QLatin1String(kBinaryFormat));
  else if (clip->hasText())
    bytes = clip->text().toLatin1();
  if (bytes.isEmpty()) return;
  model_.paste({reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                static_cast<std::size_t>(bytes.size())});
  ensureCursorVisible();
  edited();
}

void CHexEdit::clear() {
  if (model_.clearSelectedBytes() > 0) edited();
}

void CHexEdit::selectAll() {
  model_.selectAll();
  viewport()->update();
}
