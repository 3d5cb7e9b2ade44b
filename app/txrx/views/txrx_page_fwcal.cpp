// The TX/RX page's firmware and calibration groups: they forward to the
// bench's BenchTools (firmware download and commands, RF calibrations,
// trims, IQ compensation) and show what they report.
#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/device/text_format.h"
#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/qt_text.h"
#include "app/txrx/views/txrx_page.h"

using kqa::ToQString;
using kqa::ToStdString;
using kqa::device::Format;
using kqa::page::Outcome;

namespace {

QLabel* ResultLabel(QWidget* parent, const QString& name) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

const char* OutcomeWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::Done: return "done";
    case Outcome::Refused: return "refused";
    case Outcome::Cancelled: return "cancelled";
    case Outcome::Failed: return "failed";
  }
  return "";
}

}  // namespace

QWidget* CTXRXPage::firmwareGroup() {
  auto* group = new QGroupBox(tr("Firmware"), this);
  auto* grid = new QGridLayout(group);
  firmwareStatus_ = ResultLabel(group, QStringLiteral("firmwareStatus"));
  firmwareStatus_->setWordWrap(true);
  grid->addWidget(firmwareStatus_, 0, 0, 1, 3);
  QPushButton* load = button(tr("Load Firmware"), [this] {
    runLong(tr("Loading the firmware"), [this] {
      tools_.firmware.progress = progressSink();
      tools_.firmware.chooseAndLoadHeaderless();
      showFirmware();
    });
  });
  load->setObjectName(QStringLiteral("loadFirmware"));
  QPushButton* download = button(tr("Download Kestrel.bin"), [this] {
    runLong(tr("Downloading Kestrel.bin"), [this] {
      tools_.firmware.progress = progressSink();
      tools_.firmware.downloadKestrelBin();
      showFirmware();
    });
  });
  download->setObjectName(QStringLiteral("downloadFirmware"));
  QPushButton* command = button(tr("Send FwCmd"), [this] {
    tools_.firmware.chooseAndSendCommandFile();
    showFirmware();
  });
  command->setObjectName(QStringLiteral("sendFwCmd"));
  grid->addWidget(download, 1, 0);
  grid->addWidget(load, 1, 1);
  grid->addWidget(command, 1, 2);
  return group;
}

void CTXRXPage::showFirmware() {
  const std::string& file = tools_.firmware.lastFile();
  const bool ready = services_.device.settings.firmwareReady;
  firmwareStatus_->setText(ready ? tr("Ready: %1").arg(file.empty() ? tr("the MCU was running") : ToQString(file))
                                 : tr("Not ready%1").arg(file.empty() ? QString() : QStringLiteral(" (%1)").arg(ToQString(file))));
}

QWidget* CTXRXPage::calibrationGroup() {
  auto* group = new QGroupBox(tr("Calibration"), this);
  auto* grid = new QGridLayout(group);
  calibrationResult_ = ResultLabel(group, QStringLiteral("calibrationResult"));
  calibrationResult_->setMinimumWidth(calibrationResult_->fontMetrics().horizontalAdvance(QString(34, QLatin1Char('0'))));
  const auto calibrate = [this](const QString& caption, const QString& name, std::function<QString()> work) {
    QPushButton* b = button(caption, [this, caption, work = std::move(work)] {
      runLong(caption, [&] { act([&] { calibrationResult_->setText(work()); }); });
    });
    b->setObjectName(name);
    return b;
  };
  QPushButton* dcoc = calibrate(tr("DCOC"), QStringLiteral("dcoc"), [this] {
    return tr("DCOC: %1").arg(QString::fromLatin1(OutcomeWord(tools_.rf().dcoc())));
  });
  QPushButton* temperature = calibrate(tr("Temperature"), QStringLiteral("temperature"), [this] {
    const auto t = tools_.rf().temperatureDifference();
    return t ? ToQString(Format("Temperature: %+d steps (%+.1f C)", *t, *t * 3.89)) : tr("Temperature: timeout");
  });
  QPushButton* tssi = calibrate(tr("TSSI"), QStringLiteral("measureTssi"), [this] {
    if (tools_.rf().measureTssi() != Outcome::Done) return tr("TSSI: failed");
    const kqa::txrx::TssiMeasurement& m = tools_.rf().lastTssi();
    return ToQString(Format("TSSI %u/%u D(x)=%d, %u/%u D(x)=%d\nALC %02X", m.base0, m.reading0, m.d0, m.base1,
                            m.reading1, m.d1, m.alc));
  });
  QPushButton* rx = calibrate(tr("RF Rx MisMatch"), QStringLiteral("rxMismatch"), [this] {
    tools_.rf().rxMismatch();
    return ToQString(Format("Rx MisMatch: %02X", tools_.rf().lastMismatch()));
  });
  QPushButton* tx = calibrate(tr("RF Tx MisMatch"), QStringLiteral("txMismatch"), [this] {
    tools_.rf().txMismatch();
    return ToQString(Format("Tx MisMatch: %02X", tools_.rf().lastMismatch()));
  });
  QPushButton* compensation = calibrate(tr("Compensation"), QStringLiteral("compensation"), [this] {
    return tr("Compensation: %1").arg(QString::fromLatin1(OutcomeWord(tools_.rf().compensation())));
  });
  QPushButton* rssi = calibrate(tr("Calibrate RSSI"), QStringLiteral("rssiCalibrate"), [this] {
    std::array<std::optional<std::string>, 3> texts;
    for (std::size_t p = 0; p < texts.size(); ++p) texts[p] = tester_.rssiOffsets[p];
    const Outcome outcome = tools_.trims().storeRssiOffsets(texts);
    return tr("RSSI offsets: %1 %2")
        .arg(QString::fromLatin1(OutcomeWord(outcome)), ToQString(tools_.trims().lastWrite()));
  });
  grid->addWidget(dcoc, 0, 0);
  grid->addWidget(temperature, 0, 1);
  grid->addWidget(tssi, 0, 2);
  grid->addWidget(rx, 1, 0);
  grid->addWidget(tx, 1, 1);
  grid->addWidget(compensation, 1, 2);
  grid->addWidget(rssi, 2, 0);
  grid->addWidget(calibrationResult_, 3, 0, 1, 3);

  // The IQ compensation of the transmitters.
  auto* iq = new QGroupBox(tr("IQ Compensation"), group);
  auto* iqGrid = new QGridLayout(iq);
  iqEnable_ = new QCheckBox(tr("Enable"), iq);
  iqEnable_->setObjectName(QStringLiteral("iqEnable"));
  connect(iqEnable_, &QCheckBox::clicked, this, [this](bool on) {
    run([&] { readIq(); tools_.iq().setEnabled(on); });
  });
  iqGrid->addWidget(iqEnable_, 0, 0);
  const char* captions[4] = {"Tx0 Gain", "Tx0 Phase", "Tx1 Gain", "Tx1 Phase"};
  for (int n = 0; n < 4; ++n) {
    const auto i = static_cast<std::size_t>(n);
    iqFields_[i] = new kqa::HexLineEdit(QStringLiteral("iq%1").arg(n), iq, 2);
    iqFields_[i]->setText(QStringLiteral("00"));
    // The spin buttons: up adds one, down takes one.
    auto* spin = new QVBoxLayout;
    spin->setSpacing(0);
    for (const auto& [arrow, step] : {std::pair{Qt::UpArrow, 1}, std::pair{Qt::DownArrow, -1}}) {
      auto* b = new QToolButton(iq);
      b->setArrowType(arrow);
      b->setObjectName(QStringLiteral("iqSpin%1%2").arg(n).arg(step > 0 ? QStringLiteral("Up") : QStringLiteral("Down")));
      b->setFixedSize(18, 12);
      connect(b, &QToolButton::clicked, this, [this, n, i, step = step] {
        run([&] {
          readIq();
          tools_.iq().spin(static_cast<kqa::txrx::IqCompensation::Field>(n), step);
          iqFields_[i]->setText(ToQString(tools_.iq().fields[i]));
        });
      });
      spin->addWidget(b);
    }
    const int row = 1 + n / 2;
    const int column = (n % 2) * 3;
    iqGrid->addWidget(new QLabel(ToQString(captions[n]), iq), row, column, Qt::AlignRight);
    iqGrid->addWidget(iqFields_[i], row, column + 1);
    iqGrid->addLayout(spin, row, column + 2);
  }
  QPushButton* iqCalibrate = button(tr("Calibrate"), [this] {
    readIq();
    tools_.iq().calibrate();
  });
  iqCalibrate->setObjectName(QStringLiteral("iqCalibrate"));
  iqGrid->addWidget(iqCalibrate, 0, 4, 1, 2);
  grid->addWidget(iq, 4, 0, 1, 3);
  return group;
}

void CTXRXPage::readIq() {
  for (std::size_t n = 0; n < iqFields_.size(); ++n) tools_.iq().fields[n] = ToStdString(iqFields_[n]->text());
}

void CTXRXPage::onCalibrateTrim(const QString& name) {
  // "Calibrate" beside the power and offset fields: the field's value into
  // the configuration memory.
  const std::string text = ToStdString(fields_.at(name)->text());
  if (name == QStringLiteral("tx0Power")) tools_.trims().storeTxPower(0, text);
  if (name == QStringLiteral("tx1Power")) tools_.trims().storeTxPower(1, text);
  if (name == QStringLiteral("freqOffset")) tools_.trims().storeFrequencyOffset(text);
}
