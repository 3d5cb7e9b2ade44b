#include "app/measure/views/iq_calibration_page.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/registers/script/register_script.h"
#include "app/shell/views/page/log_list.h"
#include "app/shell/views/page/qt_text.h"

using kqa::ToQString;
using kqa::measure::IqCalibrationKind;

CIQCalibrationPage::CIQCalibrationPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent), device_(services.device), calibration_(services.device) {
  auto* left = new QVBoxLayout;
  left->addWidget(fieldGroup(tr("Statistics"), {"mi", "mq", "Si", "Sq", "cross iq"}));
  left->addWidget(
      fieldGroup(tr("IQ gain and phase"), {"gain", "phase", "Cal R40=", "Cal R41="},
                 button(tr("Rx IQ Cal."), [this] { onCalibrate(IqCalibrationKind::RxIq); })));
  auto* delayButtons = new QWidget(this);
  auto* buttonRow = new QVBoxLayout(delayButtons);
  buttonRow->setContentsMargins(0, 0, 0, 0);
  buttonRow->addWidget(
      button(tr("Grpdly Cal."), [this] { onCalibrate(IqCalibrationKind::GroupDelay); }));
  buttonRow->addWidget(
      button(tr("Rx Grpdly Cal."), [this] { onCalibrate(IqCalibrationKind::RxGroupDelay); }));
  left->addWidget(fieldGroup(tr("Group delay"),
                             {"theta_0", "theta_1", "group delay", "Cal R42=", "Cal R53="},
                             delayButtons));
  left->addWidget(progressBar());
  left->addStretch(1);

  auto* script = new QGroupBox(tr("Register Script"), this);
  auto* scriptLayout = new QVBoxLayout(script);
  auto* load = new QHBoxLayout;
  load->addWidget(button(tr("Load Script"), [this] { onLoadScript(); }));
  load->addStretch(1);
  scriptLog_ = new kqa::LogList(script);
  scriptLog_->setObjectName(QStringLiteral("scriptLog"));
  scriptLayout->addLayout(load);
  scriptLayout->addWidget(scriptLog_, 1);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 0);
  layout->addWidget(script, 1);
}

QWidget* CIQCalibrationPage::fieldGroup(const QString& title, const QStringList& captions,
                                        QWidget* button) {
  auto* group = new QGroupBox(title, this);
  auto* grid = new QGridLayout(group);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (int row = 0; row < captions.size(); ++row) {
    auto* field = new QLineEdit(group);
    field->setObjectName(captions[row]);
    field->setReadOnly(true);
    field->setFont(fixed);
    field->setAlignment(Qt::AlignRight);
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("-000000.000")) +
                         12);
    fields_.insert(captions[row], field);
    grid->addWidget(new QLabel(captions[row], group), row, 0);
    grid->addWidget(field, row, 1);
  }
  if (button != nullptr)
    grid->addWidget(button, 0, 2, static_cast<int>(captions.size()), 1, Qt::AlignTop);
  grid->setColumnStretch(3, 1);
  return group;
}

QString CIQCalibrationPage::fieldText(const QString& caption) const {
  const QLineEdit* field = fields_.value(caption);
  return field == nullptr ? QString() : field->text();
}

QStringList CIQCalibrationPage::scriptLog() const {
  return scriptLog_->entries();
}

void CIQCalibrationPage::show(const kqa::measure::IqCalibrationResult& result,
                              IqCalibrationKind kind, std::size_t fields) {
  const auto texts = kqa::measure::IqCalibrationFields(result, kind);
  for (std::size_t i = 0; i < texts.size() && i < fields; ++i) {
    QLineEdit* edit = fields_.value(ToQString(texts[i].caption));
    if (edit == nullptr) continue;
    edit->setText(ToQString(texts[i].text));
    edit->repaint();  // the calibration runs without the event loop
  }
}

void CIQCalibrationPage::onCalibrate(IqCalibrationKind kind) {
  runLong(tr("Calibrating"), [this, kind] {
    const kqa::page::Progress progress = progressSink();
    const std::size_t total =
        static_cast<std::size_t>(kqa::measure::IqCalibration::MeasurementsOf(kind));
    // As they come: the statistics and, for the delays, the two angles (the
    // first five or seven fields); the averages and proposals at the end.
    const std::size_t live = kind == IqCalibrationKind::RxIq ? 5 : 7;
    const auto result =
        calibration_.run(kind, nullptr, [&](const kqa::measure::IqCalibrationResult& sofar) {
          show(sofar, kind, live);
          progress(static_cast<std::size_t>(sofar.measurements), total);
        });
    show(result, kind);
  });
}

void CIQCalibrationPage::onLoadScript() {
  runLong(tr("Running the script"), [this] {
    kqa::ChooseAndRunRegisterScript(kqa::ScriptDialect::Keyword, device_, *scriptLog_);
  });
}
