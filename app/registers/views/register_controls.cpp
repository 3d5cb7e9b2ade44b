#include "app/registers/views/register_controls.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/registers/hex_field.h"
#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/log_list.h"
#include "app/shell/views/page/qt_text.h"

namespace kqa::registers {

RegisterFields RegisterBox::fields() const {
  return {ToStdString(id->text()), ToStdString(value->text()),
          write->isChecked() ? Direction::Write : Direction::Read};
}

void RegisterBox::showValue(const RegisterFields& fields) const {
  value->setText(ToQString(fields.valueText));
}

void RegisterBox::focusRefused(const RegisterFields& fields) const {
  (ParseDecimalField(fields.offsetText) ? value : id)->setFocus();
}

RegisterBox MakeRegisterBox(QWidget* parent, QPushButton* readWrite) {
  RegisterBox box;
  box.group = new QGroupBox(QObject::tr("Single Read/Write"), parent);
  auto* grid = new QGridLayout(box.group);
  auto* modes = new QButtonGroup(box.group);
  box.read = new QRadioButton(QObject::tr("&READ"), box.group);
  box.write = new QRadioButton(QObject::tr("&WRITE"), box.group);
  modes->addButton(box.read);
  modes->addButton(box.write);
  box.read->setChecked(true);
  auto* radios = new QHBoxLayout;
  radios->addWidget(box.read);
  radios->addWidget(box.write);
  radios->addStretch(1);

  box.id = new QLineEdit(box.group);
  box.id->setObjectName(QStringLiteral("registerId"));
  box.id->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  box.id->setMaxLength(3);
  box.id->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), box.id));
  box.id->setFixedWidth(box.id->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16);
  box.value = new kqa::HexLineEdit(QStringLiteral("registerValue"), box.group, 2);
  box.value->setText(QStringLiteral("00"));
  box.value->setReadOnly(true);
  QObject::connect(box.write, &QRadioButton::toggled, box.value,
                   [value = box.value](bool write) { value->setReadOnly(!write); });

  grid->addLayout(radios, 0, 0, 1, 3);
  grid->addWidget(new QLabel(QObject::tr("Register ID"), box.group), 1, 0);
  grid->addWidget(box.id, 1, 1);
  grid->addWidget(new QLabel(QObject::tr("Value"), box.group), 2, 0);
  grid->addWidget(box.value, 2, 1);
  grid->addWidget(readWrite, 1, 2, 2, 1);
  grid->setColumnStretch(3, 1);
  return box;
}

QGroupBox* ScriptLogGroup(QWidget* parent, const QString& title,
                          const std::vector<QPushButton*>& buttons, kqa::LogList*& log) {
  auto* group = new QGroupBox(title, parent);
  auto* column = new QVBoxLayout(group);
  auto* row = new QHBoxLayout;
  for (QPushButton* each : buttons) row->addWidget(each);
  row->addStretch(1);
  log = new kqa::LogList(group);
  log->setObjectName(QStringLiteral("scriptLog"));
  column->addLayout(row);
  column->addWidget(log, 1);
  return group;
}

QLineEdit* MakeGridField(QWidget* parent, int reg) {
  auto* field = new QLineEdit(QStringLiteral("00"), parent);
  field->setObjectName(QStringLiteral("R%1").arg(reg));
  field->setReadOnly(true);
  field->setFocusPolicy(Qt::NoFocus);
  field->setAlignment(Qt::AlignCenter);
  field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00")) + 14);
  return field;
}

QString ByteText(unsigned value) {
  return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace kqa::registers
