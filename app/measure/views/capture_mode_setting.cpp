#include "app/measure/views/capture_mode_setting.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/qt_text.h"

using kqa::ToStdString;
using kqa::measure::SampleFormat;

namespace {

QGroupBox* Pair(const QString& title, QRadioButton* first, QRadioButton* second, QWidget* parent) {
  auto* group = new QGroupBox(title, parent);
  auto* row = new QHBoxLayout(group);
  auto* exclusive = new QButtonGroup(group);
  for (QRadioButton* radio : {first, second}) {
    radio->setParent(group);
    exclusive->addButton(radio);
    row->addWidget(radio);
  }
  row->addStretch(1);
  first->setChecked(true);
  return group;
}

}  // namespace

CCaptureModeSetting::CCaptureModeSetting(kqa::measure::CaptureSettings& settings,
                                         kqa::Prompt& prompt, QWidget* parent)
    : QDialog(parent), settings_(settings), prompt_(prompt) {
  setWindowTitle(tr("Capture Setting"));
  settings_.triggerSource = 1;
  settings_.triggerMode = 1;
  settings_.format = SampleFormat::Adc8;

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      Pair(tr("Trigger"), radio(tr("Auto Trigger Mode"), [this] { settings_.triggerSource = 1; }),
           radio(tr("Manual Trigger Mode"), [this] { settings_.triggerSource = 0; }), this));
  layout->addWidget(Pair(tr("Data"), radio(tr("ADC Mode"), [this] { settings_.triggerMode = 1; }),
                         radio(tr("FEQ Mode"), [this] { settings_.triggerMode = 0; }), this));
  layout->addWidget(Pair(
      tr("Sample Format"), radio(tr("ADC8"), [this] { settings_.format = SampleFormat::Adc8; }),
      radio(tr("ADC6"), [this] { settings_.format = SampleFormat::Adc6; }), this));

  offset_ = new kqa::HexLineEdit(QStringLiteral("offset"), this, 4);
  offset_->setText(QStringLiteral("200"));
  times_ = new QLineEdit(QStringLiteral("1"), this);
  times_->setObjectName(QStringLiteral("times"));
  times_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  times_->setFixedWidth(offset_->width());
  auto* fields = new QFormLayout;
  fields->addRow(tr("Offset"), offset_);
  fields->addRow(tr("Times"), times_);
  layout->addLayout(fields);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* start = buttons->addButton(tr("Start Capture"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QDialogButtonBox::Cancel);
  start->setDefault(true);
  connect(start, &QPushButton::clicked, this, &CCaptureModeSetting::onStartCapture);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QRadioButton* CCaptureModeSetting::radio(const QString& caption,
                                         const std::function<void()>& apply) {
  auto* button = new QRadioButton(caption, this);
  connect(button, &QRadioButton::clicked, this, apply);
  return button;
}

void CCaptureModeSetting::onStartCapture() {
  std::string problem;
  if (!kqa::measure::ApplyCaptureDialogFields(ToStdString(offset_->text()),
                                              ToStdString(times_->text()), settings_, problem)) {
    prompt_.showMessage(problem);
    return;
  }
  accept();
}
