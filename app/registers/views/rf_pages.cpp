#include "app/registers/views/rf_pages.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/registers/hex_field.h"
#include "app/registers/views/register_controls.h"
#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/log_list.h"
#include "app/shell/views/page/qt_text.h"

using kqa::ToQString;
using kqa::ToStdString;
using kqa::page::Outcome;
using kqa::registers::ByteText;
using kqa::registers::kRfPageRegisters;
using kqa::registers::RfPage;

namespace {

QLabel* ValueLabel(const QString& name, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

}  // namespace

// --- What both pages share ---------------------------------------------------------------

RfPageBase::RfPageBase(kqa::shell::PageServices& services, RfPage page, QWidget* parent)
    : PropertyPage(parent), tool_(services.device, page) {
  tool_.progress = progressSink();
}

QLineEdit* RfPageBase::gridField(int reg) const {
  return findChild<QLineEdit*>(QStringLiteral("R%1").arg(reg));
}

QPushButton* RfPageBase::bitButton(int reg, int bit) const {
  return findChild<QPushButton*>(QStringLiteral("R%1.%2").arg(reg).arg(bit));
}

QWidget* RfPageBase::bankRow() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  bankList_ = new QComboBox(row);
  bankList_->setObjectName(QStringLiteral("bankList"));
  for (std::string_view name : kqa::registers::RfBankNames()) bankList_->addItem(ToQString(name));
  connect(bankList_, &QComboBox::activated, this,
          [this](int index) { run([this, index] { onBankChosen(index); }); });
  layout->addWidget(new QLabel(tr("RF Bank Sel"), row));
  layout->addWidget(bankList_);
  layout->addWidget(button(tr("Read &All"), [this] { onReadAll(); }));
  layout->addStretch(1);
  return row;
}

QWidget* RfPageBase::gridGroup() {
  auto* group = new QGroupBox(tr("RF Registers"), this);
  auto* grid = new QGridLayout(group);
  grid->setHorizontalSpacing(1);
  grid->setVerticalSpacing(2);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  const int first = tool_.firstRegister();
  constexpr int kRows = kRfPageRegisters / 2;
  constexpr int kColumnWidth = 11;  // label, field, gap, 8 bits
  for (int i = 0; i < kRfPageRegisters; ++i) {
    const int reg = first + i;
    const int row = i % kRows;
    const int column = kColumnWidth * (i / kRows);
    auto* label = new QLabel(QStringLiteral("R%1").arg(reg), group);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("R00")) + 6);
    grid_[static_cast<std::size_t>(i)] = kqa::registers::MakeGridField(group, reg);
    grid->addWidget(label, row, column);
    grid->addWidget(grid_[static_cast<std::size_t>(i)], row, column + 1);
    grid->setColumnMinimumWidth(column + 2, 6);
    for (int bit = 7; bit >= 0; --bit) {
      QPushButton* each = button(QStringLiteral("0"), [this, reg, bit] { onBitPressed(reg, bit); });
      each->setObjectName(QStringLiteral("R%1.%2").arg(reg).arg(bit));
      each->setToolTip(tr("R%1 bit %2").arg(reg).arg(bit));
      each->setFont(fixed);
      each->setFocusPolicy(Qt::NoFocus);
      each->setFixedSize(each->fontMetrics().horizontalAdvance(QStringLiteral("0")) + 12,
                         grid_[0]->sizeHint().height());
      // R0's bits on page 1 are shown, never pressed.
      each->setEnabled(reg != 0);
      bits_[static_cast<std::size_t>(i)][static_cast<std::size_t>(bit)] = each;
      grid->addWidget(each, row, column + 3 + (7 - bit));
    }
  }
  grid->setColumnMinimumWidth(kColumnWidth, 48);  // a gap before the second column's labels
  return group;
}

QWidget* RfPageBase::singleGroup() {
  box_ =
      kqa::registers::MakeRegisterBox(this, button(tr("R / W"), [this] { onSingleReadWrite(); }));
  for (QLineEdit* edit : {box_.id, box_.value})
    connect(edit, &QLineEdit::returnPressed, this, operation([this] { onSingleReadWrite(); }));
  return box_.group;
}

void RfPageBase::showGrid() {
  const auto values = tool_.values();
  for (int i = 0; i < kRfPageRegisters; ++i) {
    const auto at = static_cast<std::size_t>(i);
    grid_[at]->setText(ByteText(values[at]));
    for (int bit = 0; bit < 8; ++bit)
      bits_[at][static_cast<std::size_t>(bit)]->setText(
          (values[at] >> bit & 1) != 0 ? QStringLiteral("1") : QStringLiteral("0"));
  }
}

void RfPageBase::selectSharedBank() {
  bankList_->setCurrentIndex(tool_.bank());
}

void RfPageBase::onSetActive() {
  selectSharedBank();
  onReadAll();
}

void RfPageBase::onBankChosen(int bank) {
  if (bank < 0) return;
  runLong(tr("Reading the registers"), [this, bank] { tool_.chooseBank(bank); });
  showGrid();
}

void RfPageBase::onReadAll() {
  runLong(tr("Reading the registers"), [this] { tool_.readAll(); });
  showGrid();
}

void RfPageBase::onSingleReadWrite() {
  tool_.single = box_.fields();
  if (tool_.singleReadWrite() == Outcome::Refused) return box_.focusRefused(tool_.single);
  box_.showValue(tool_.single);
  showGrid();
}

void RfPageBase::onBitPressed(int reg, int bit) {
  tool_.toggleBit(reg, bit);
  showGrid();
}

// --- RF Page 1 ----------------------------------------------------------------------------

CRFPage::CRFPage(kqa::shell::PageServices& services, QWidget* parent)
    : RfPageBase(services, RfPage::One, parent), radio_(services.configMemory(), services.channels) {
  auto* side = new QVBoxLayout;
  side->addWidget(channelGroup());
  side->addWidget(powerGroup());
  side->addWidget(singleGroup());
  side->addWidget(filesGroup(), 1);
  auto* left = new QVBoxLayout;
  left->addWidget(bankRow());
  left->addWidget(gridGroup());
  left->addStretch(1);
  left->addWidget(progressBar());
  progressBar()->setMaximumHeight(8);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 0);
  layout->addLayout(side, 1);
}

QWidget* CRFPage::channelGroup() {
  auto* group = new QGroupBox(tr("Channel"), this);
  auto* grid = new QGridLayout(group);
  channelList_ = new QComboBox(group);
  channelList_->setObjectName(QStringLiteral("channelList"));
  channelList_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  for (const std::string& name : radio_.channelNames()) channelList_->addItem(ToQString(name));
  connect(channelList_, &QComboBox::activated, this,
          [this](int index) { run([this, index] { onChannelChosen(index); }); });
  vco_ = ValueLabel(QStringLiteral("vco"), group);
  vco_->setText(QStringLiteral("3216"));
  n_ = ValueLabel(QStringLiteral("n"), group);
  k_ = ValueLabel(QStringLiteral("k"), group);
  d_ = ValueLabel(QStringLiteral("d"), group);
  ksd_ = ValueLabel(QStringLiteral("ksd"), group);
  chipInfo_ = ValueLabel(QStringLiteral("chipInfo"), group);

  grid->addWidget(channelList_, 0, 0, 1, 2);
  grid->addWidget(new QLabel(tr("VCO (MHz)"), group), 0, 2, Qt::AlignRight);
  grid->addWidget(vco_, 0, 3);
  grid->addWidget(chipInfo_, 0, 4, 1, 2, Qt::AlignRight);
  const std::pair<const char*, QLabel*> values[] = {
      {"N =", n_}, {"K =", k_}, {"D = ", d_}, {"Ksd = ", ksd_}};
  auto* row = new QHBoxLayout;
  for (const auto& [caption, label] : values) {
    row->addWidget(new QLabel(tr(caption), group));
    row->addWidget(label);
    row->addSpacing(12);
  }
  row->addStretch(1);
  grid->addLayout(row, 1, 0, 1, 6);
  grid->setColumnStretch(4, 1);
  return group;
}

QLineEdit* CRFPage::spinField(const QString& name, int digits, const std::function<void(int)>& step,
                              QWidget* parent, QWidget*& spin) {
  auto* field = new kqa::HexLineEdit(name, parent, digits);
  spin = new QWidget(parent);
  auto* arrows = new QVBoxLayout(spin);
  arrows->setContentsMargins(0, 0, 0, 0);
  arrows->setSpacing(0);
  const int height = field->sizeHint().height() / 2;
  for (const int direction : {+1, -1}) {
    auto* arrow = new QToolButton(spin);
    arrow->setObjectName(name + (direction > 0 ? QStringLiteral("Up") : QStringLiteral("Down")));
    arrow->setArrowType(direction > 0 ? Qt::UpArrow : Qt::DownArrow);
    arrow->setFixedSize(height + 6, height);
    arrow->setFocusPolicy(Qt::NoFocus);
    connect(arrow, &QToolButton::clicked, this, operation([step, direction] { step(direction); }));
    arrows->addWidget(arrow);
  }
  return field;
}

QWidget* CRFPage::powerGroup() {
  auto* group = new QGroupBox(tr("TX Power and Frequency"), this);
  auto* grid = new QGridLayout(group);
  QWidget* spin = nullptr;
  txPower0_ = spinField(
      QStringLiteral("txPower0"), 2, [this](int step) { onTxPowerStep(0, step); }, group, spin);
  grid->addWidget(new QLabel(tr("TX Power 0 (Hex)"), group), 0, 0);
  grid->addWidget(txPower0_, 0, 1);
  grid->addWidget(spin, 0, 2);
  grid->addWidget(new QLabel(tr("(0.5dB)"), group), 0, 3);
  txPower1_ = spinField(
      QStringLiteral("txPower1"), 2, [this](int step) { onTxPowerStep(1, step); }, group,
      txPower1Spin_);
  grid->addWidget(new QLabel(tr("TX Power 1 (Hex)"), group), 1, 0);
  grid->addWidget(txPower1_, 1, 1);
  grid->addWidget(txPower1Spin_, 1, 2);
  grid->addWidget(new QLabel(tr("(0.5dB)"), group), 1, 3);
  frequencyOffset_ = spinField(
      QStringLiteral("frequencyOffset"), 3, [this](int step) { onFrequencyOffsetStep(step); },
      group, spin);
  grid->addWidget(new QLabel(tr("Freq. Offset"), group), 0, 5);
  grid->addWidget(frequencyOffset_, 0, 6);
  grid->addWidget(spin, 0, 7);
  grid->setColumnMinimumWidth(4, 16);
  grid->setColumnStretch(8, 1);
  return group;
}

QWidget* CRFPage::filesGroup() {
  return kqa::registers::ScriptLogGroup(
      this, tr("Register File and Script"),
      {button(tr("Save Rf Regs"), [this] { onSaveRegisterFile(); }),
       button(tr("Load Rf Regs"), [this] { onLoadRegisterFile(); }),
       button(tr("Load Script"), [this] { onLoadScript(); })},
      scriptLog_);
}

QStringList CRFPage::scriptLog() const {
  return scriptLog_->entries();
}

void CRFPage::showChannel() {
  channelList_->setCurrentIndex(radio_.channelIndex());
  const kqa::registers::SynthesiserRow row = radio_.synthesiser();
  vco_->setText(ToQString(radio_.vcoText()));
  n_->setText(QString::number(row.n));
  k_->setText(QString::number(row.k));
  d_->setText(QString::number(row.d));
  ksd_->setText(QStringLiteral("0x") + QString::number(row.ksd, 16).toUpper());
}

void CRFPage::showSettings() {
  txPower0_->setText(ToQString(radio_.txPowerText(0)));
  if (radio_.hasSecondTxPath()) txPower1_->setText(ToQString(radio_.txPowerText(1)));
  frequencyOffset_->setText(ToQString(radio_.frequencyOffsetText()));
}

void CRFPage::onInitDialog() {
  radio_.loadSettings();
  chipInfo_->setText(ToQString(radio_.chipInfoLine()));
  const bool second = radio_.hasSecondTxPath();
  txPower1_->setEnabled(second);
  txPower1Spin_->setEnabled(second);
  onSetActive();
}

void CRFPage::onSetActive() {
  radio_.loadSettings();
  showChannel();
  showSettings();
  RfPageBase::onSetActive();
}

void CRFPage::onChannelChanged(const kqa::page::ChannelChanged&) {
  showChannel();
}

void CRFPage::onRadioSettingsChanged() {
  showSettings();
}

void CRFPage::onChannelChosen(int index) {
  if (radio_.chooseChannel(index) != Outcome::Done) return;
  showChannel();
  // The sheet applies the channel: the TX/RX page tunes the chip to it, the
  // other pages with a channel list select it.
  tellOthers(kqa::page::ChannelChanged{index, true});
  showSettings();
  onReadAll();
}

void CRFPage::onTxPowerStep(int path, int step) {
  QLineEdit* field = path == 0 ? txPower0_ : txPower1_;
  switch (radio_.stepTxPower(path, ToStdString(field->text()), step)) {
    case Outcome::Done:
      showSettings();
      tellOthers(kqa::page::RadioSettingsChanged{});
      break;
    case Outcome::Refused:
      if (!kqa::registers::ParseHexField(ToStdString(field->text()))) field->setFocus();
      break;
    default:
      break;
  }
}

void CRFPage::onFrequencyOffsetStep(int step) {
  switch (radio_.stepFrequencyOffset(ToStdString(frequencyOffset_->text()), step)) {
    case Outcome::Done:
      showSettings();
      tellOthers(kqa::page::RadioSettingsChanged{});
      onReadAll();
      break;
    case Outcome::Refused:
      if (!kqa::registers::ParseHexField(ToStdString(frequencyOffset_->text())))
        frequencyOffset_->setFocus();
      break;
    default:
      break;
  }
}

void CRFPage::onSaveRegisterFile() {
  runLong(tr("Saving the RF registers"), [this] { tool_.saveRegisterFile(); });
}

void CRFPage::onLoadRegisterFile() {
  runLong(tr("Loading the RF registers"), [this] { tool_.loadRegisterFile(); });
  showGrid();
}

void CRFPage::onLoadScript() {
  runLong(tr("Running the script"), [this] { tool_.runScript(*scriptLog_); });
  showGrid();
}

// --- RF Page 2 ----------------------------------------------------------------------------

CRFPage2::CRFPage2(kqa::shell::PageServices& services, QWidget* parent)
    : RfPageBase(services, RfPage::Two, parent) {
  auto* side = new QVBoxLayout;
  side->addWidget(singleGroup());
  side->addStretch(1);
  side->addWidget(progressBar());
  progressBar()->setMaximumHeight(8);
  auto* left = new QVBoxLayout;
  left->addWidget(bankRow());
  left->addWidget(gridGroup());
  left->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 0);
  layout->addLayout(side, 1);
}
