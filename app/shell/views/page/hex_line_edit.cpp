#include "app/shell/views/page/hex_line_edit.h"

#include <QFontDatabase>
#include <QRegularExpressionValidator>

namespace kqa {

HexLineEdit::HexLineEdit(const QString& objectName, QWidget* parent, int digits)
    : QLineEdit(parent) {
  setObjectName(objectName);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const QRegularExpression hex(QStringLiteral("\\s*(0[xX])?[0-9A-Fa-f]{0,%1}\\s*").arg(digits));
  setValidator(new QRegularExpressionValidator(hex, this));
  const int width =
      fontMetrics().horizontalAdvance(QStringLiteral("0x") + QString(digits, QLatin1Char('0'))) +
      16;
  setMinimumWidth(width);
  setMaximumWidth(width + 24);
}

}  // namespace kqa
