#include "app/nvm/views/eeprom_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/qt_text.h"
#include "app/widgets/views/hex_edit.h"

using kqa::ToQString;
using kqa::ToStdString;
using kqa::nvm::EfuseView;
using kqa::nvm::LedActive;
using kqa::registers::Direction;

namespace {

// The hex view shows the first 512 bytes of the page buffer.
constexpr std::size_t kHexViewBytes = 512;

const char* const kStates[] = {"Radio Off", "Radio On and Link Down", "Link to G", "Link to A"};

// A check box whose click runs `handler` as an operation; a click that
// arrives while another operation runs is undone.
QCheckBox* OperationCheckBox(kqa::PropertyPage* page, const QString& caption, const QString& name,
                             const std::function<bool(bool)>& run) {
  auto* box = new QCheckBox(caption, page);
  box->setObjectName(name);
  QObject::connect(box, &QCheckBox::clicked, page, [box, run](bool on) {
    if (!run(on)) box->setChecked(!on);
  });
  return box;
}

}  // namespace

CEEPROMPage::CEEPROMPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent), tool_(services.configMemory()) {
  tool_.progress = progressSink();
  auto* right = new QVBoxLayout;
  right->addWidget(readWriteGroup());
  right->addWidget(macGroup());
  right->addWidget(ledGroup());
  right->addWidget(efuseGroup());
  right->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(hexColumn(), 0);
  layout->addLayout(right, 1);
}

QLayout* CEEPROMPage::hexColumn() {
  nvmType_ = new QLabel(this);
  nvmType_->setObjectName(QStringLiteral("nvmType"));
  hexView_ = new CHexEdit(this);
  hexView_->setObjectName(QStringLiteral("hexView"));
  hexView_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  hexView_->setData(tool_.pageBuffer().data(), kHexViewBytes);

  rawMode_ = new QCheckBox(tr("RAW Read/Write"), this);
  rawMode_->setObjectName(QStringLiteral("rawMode"));
  keepTxPower_ = new QCheckBox(tr("Keep Current TxPower"), this);
  keepTxPower_->setObjectName(QStringLiteral("keepTxPower"));
  // The RAW image is the EEPROM's as it is: nothing of it is kept.
  connect(rawMode_, &QCheckBox::toggled, keepTxPower_, [this](bool raw) { keepTxPower_->setEnabled(!raw); });
  QPushButton* saveBbp = button(tr("Save BBP"), [] {});  // in the layout, never offered
  saveBbp->hide();

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(button(tr("Read &ALL"), [this] { onReadAll(); }));
  buttons->addWidget(button(tr("Load File"), [this] { onLoadFile(); }));
  buttons->addWidget(button(tr("Save As..."), [this] { onSaveAs(); }));
  buttons->addWidget(saveBbp);
  auto* checks = new QHBoxLayout;
  checks->addWidget(rawMode_);
  checks->addWidget(keepTxPower_);
  checks->addStretch(1);

  auto* type = new QHBoxLayout;
  type->addWidget(new QLabel(tr("NVM Type :"), this));
  type->addWidget(nvmType_, 1);
  auto* column = new QVBoxLayout;
  column->addLayout(type);
  column->addWidget(hexView_, 1);
  column->addLayout(buttons);
  column->addLayout(checks);
  column->addWidget(progressBar());
  progressBar()->setMaximumHeight(rawMode_->sizeHint().height() / 2);
  return column;
}

QWidget* CEEPROMPage::readWriteGroup() {
  auto* group = new QGroupBox(tr("EEPROM Read/Write"), this);
  auto* grid = new QGridLayout(group);
  auto* read = new QRadioButton(tr("&READ"), group);
  write_ = new QRadioButton(tr("&WRITE"), group);
  auto* modes = new QButtonGroup(group);
  modes->addButton(read);
  modes->addButton(write_);
  read->setChecked(true);
  valueMode_ = new QCheckBox(tr("Value-Mode"), group);
  valueMode_->setChecked(tool_.valueMode);
  for (QAbstractButton* each : {static_cast<QAbstractButton*>(write_), static_cast<QAbstractButton*>(valueMode_)})
    connect(each, &QAbstractButton::toggled, this, [this] { applyReadWriteMode(); });

  offset_ = new kqa::HexLineEdit(QStringLiteral("offset"), group, 4);
  length_ = new QLineEdit(group);
  length_->setObjectName(QStringLiteral("length"));
  length_->setMaxLength(4);
  length_->setFont(offset_->font());
  length_->setMaximumWidth(offset_->maximumWidth());
  value_ = new kqa::HexLineEdit(QStringLiteral("value"), group, 2);
  offset_->setText(ToQString(tool_.offsetText));
  length_->setText(ToQString(tool_.lengthText));
  value_->setText(ToQString(tool_.valueText));
  offset_->setMaxLength(4);

  auto* radios = new QHBoxLayout;
  radios->addWidget(read);
  radios->addWidget(write_);
  radios->addWidget(valueMode_);
  radios->addStretch(1);
  grid->addLayout(radios, 0, 0, 1, 4);
  grid->addWidget(new QLabel(tr("Offset"), group), 1, 0);
  grid->addWidget(offset_, 1, 1);
  grid->addWidget(new QLabel(tr("Length"), group), 2, 0);
  grid->addWidget(length_, 2, 1);
  grid->addWidget(new QLabel(tr("Value"), group), 3, 0);
  grid->addWidget(value_, 3, 1);
  grid->addWidget(button(tr("R/W"), [this] { onReadWrite(); }), 1, 2, 3, 1);
  grid->setColumnStretch(3, 1);
  for (QLineEdit* edit : {offset_, length_, value_})
    connect(edit, &QLineEdit::returnPressed, this, operation([this] { onReadWrite(); }));
  applyReadWriteMode();
  return group;
}

QWidget* CEEPROMPage::macGroup() {
  auto* group = new QGroupBox(tr("MAC Addr."), this);
  auto* line = new QHBoxLayout(group);
  mac_ = new kqa::HexLineEdit(QStringLiteral("mac"), group, 12);
  mac_->setMaxLength(12);
  line->addWidget(mac_);
  line->addWidget(button(tr("Set"), [this] { onSetMac(); }));
  line->addStretch(1);
  return group;
}

QWidget* CEEPROMPage::ledGroup() {
  auto* group = new QGroupBox(tr("LED Configuration"), this);
  auto* grid = new QGridLayout(group);
  ledActive_ = new QComboBox(group);
  ledActive_->setObjectName(QStringLiteral("ledActive"));
  ledActive_->addItems({tr("High"), tr("Low")});
  ledActive_->setCurrentIndex(-1);  // none until the engineer picks one
  connect(ledActive_, &QComboBox::activated, this,
          [this](int index) { run([this, index] { onLedActiveChosen(index); }); });
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(tr("High or Low Active"), group));
  top->addWidget(ledActive_);
  top->addStretch(1);
  top->addWidget(button(tr("Set"), [this] { onSetLeds(); }));
  grid->addLayout(top, 0, 0, 1, 4);

  const char* const leds[] = {"LED G", "LED A", "LED ACT"};
  for (int column = 0; column < 3; ++column)
    grid->addWidget(new QLabel(tr(leds[column]), group), 1, column + 1);
  for (int state = 0; state < 4; ++state) {
    grid->addWidget(new QLabel(tr(kStates[state]), group), state + 2, 0);
    const std::size_t combos[] = {static_cast<std::size_t>(2 * state), static_cast<std::size_t>(2 * state + 1),
                                  static_cast<std::size_t>(8 + state)};
    for (int column = 0; column < 3; ++column) {
      const std::size_t index = combos[column];
      const kqa::nvm::LedCombo& combo = kqa::nvm::LedCombos()[index];
      auto* box = new QComboBox(group);
      box->setObjectName(ToQString("led-" + std::string(combo.name)));
      box->setToolTip(ToQString(combo.caption));
      for (std::string_view item : kqa::nvm::LedItems(combo.kind)) box->addItem(ToQString(item));
      box->setCurrentIndex(-1);
      box->setEnabled(false);  // until a level is chosen
      connect(box, &QComboBox::activated, this, [this, index](int item) { tool_.leds[index] = item; });
      leds_[index] = box;
      grid->addWidget(box, state + 2, column + 1);
    }
  }
  grid->setColumnStretch(3, 1);
  return group;
}

QWidget* CEEPROMPage::efuseGroup() {
  efuseGroup_ = new QGroupBox(tr("eFuse"), this);
  auto* grid = new QGridLayout(efuseGroup_);
  // Driven by the page itself: the mode follows the start-up's choice and
  // the view stays logical.
  efuseMode_ = OperationCheckBox(this, tr("eFuse Mode"), QStringLiteral("efuseMode"),
                                 [this](bool on) { return run([this, on] { onEfuseMode(on); }); });
  logicalView_ = new QRadioButton(tr("Logical View"), efuseGroup_);
  physicalView_ = new QRadioButton(tr("Physical View"), efuseGroup_);
  logicalView_->setChecked(true);
  connect(logicalView_, &QRadioButton::clicked, this, operation([this] { onView(EfuseView::Logical); }));
  connect(physicalView_, &QRadioButton::clicked, this, operation([this] { onView(EfuseView::Physical); }));
  QPushButton* check = button(tr("Check"), [this] { onCheck(); });
  for (QWidget* hidden : {static_cast<QWidget*>(efuseMode_), static_cast<QWidget*>(logicalView_),
                          static_cast<QWidget*>(physicalView_), static_cast<QWidget*>(check)})
    hidden->hide();

  bufferMode_ = OperationCheckBox(this, tr("EEPROM Buffer Mode"), QStringLiteral("bufferMode"),
                                  [this](bool on) { return run([this, on] { onBufferMode(on); }); });
  writeWarning_ = OperationCheckBox(this, tr("Disable Write Warning"), QStringLiteral("writeWarning"),
                                    [this](bool on) { return run([this, on] { onWriteWarning(on); }); });
  freeBlocksLabel_ = new QLabel(tr("Free Block :"), efuseGroup_);
  freeBlocks_ = new QLabel(efuseGroup_);
  freeBlocks_->setObjectName(QStringLiteral("freeBlocks"));
  freeBlocks_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  grid->addWidget(bufferMode_, 0, 0, 1, 2);
  grid->addWidget(writeWarning_, 1, 0, 1, 2);
  grid->addWidget(freeBlocksLabel_, 2, 0);
  grid->addWidget(freeBlocks_, 2, 1);
  grid->addWidget(efuseMode_, 3, 0);
  grid->addWidget(logicalView_, 3, 1);
  grid->addWidget(physicalView_, 3, 2);
  grid->addWidget(check, 3, 3);
  grid->setColumnStretch(2, 1);
  return efuseGroup_;
}

void CEEPROMPage::applyReadWriteMode() {
  // WRITE with Value-Mode: a value, no length; WRITE without: a length from
  // the hex view; READ: neither is typed.
  const bool write = write_->isChecked();
  const bool valueMode = valueMode_->isChecked();
  length_->setEnabled(write && !valueMode);
  value_->setReadOnly(!(write && valueMode));
}

void CEEPROMPage::onInitDialog() {
  efuseMode_->setChecked(tool_.access().efuseMode());
  onSetActive();
}

void CEEPROMPage::onSetActive() {
  working(tr("Reading the configuration memory"), [this] { tool_.activate(); });
  showFieldsFromTool();
}

void CEEPROMPage::working(const QString& what, const std::function<void()>& work) {
  runLong(what, work);
  hexView_->refresh();
  showModes();
}

void CEEPROMPage::showModes() {
  kqa::nvm::NvmAccess& access = tool_.access();
  nvmType_->setText(ToQString(tool_.nvmType()));
  const bool efuse = access.efuseMode();
  efuseMode_->setChecked(efuse);
  bufferMode_->setChecked(access.bufferMode());
  writeWarning_->setChecked(access.writeWarningDisabled());
  for (QWidget* each : {static_cast<QWidget*>(bufferMode_), static_cast<QWidget*>(writeWarning_),
                        static_cast<QWidget*>(freeBlocksLabel_), static_cast<QWidget*>(freeBlocks_)})
    each->setEnabled(efuse);
  freeBlocks_->setText(efuse ? ToQString(tool_.freeBlockText()) : QString());
}

void CEEPROMPage::readFieldsIntoTool() {
  tool_.direction = write_->isChecked() ? Direction::Write : Direction::Read;
  tool_.valueMode = valueMode_->isChecked();
  tool_.offsetText = ToStdString(offset_->text());
  tool_.lengthText = ToStdString(length_->text());
  tool_.valueText = ToStdString(value_->text());
  tool_.macText = ToStdString(mac_->text());
  tool_.rawMode = rawMode_->isChecked();
  tool_.keepTxPower = keepTxPower_->isChecked();
}

void CEEPROMPage::showFieldsFromTool() {
  value_->setText(ToQString(tool_.valueText));
  mac_->setText(ToQString(tool_.macText));
  for (std::size_t i = 0; i < leds_.size(); ++i) leds_[i]->setCurrentIndex(tool_.leds[i].value_or(-1));
}

void CEEPROMPage::onReadWrite() {
  readFieldsIntoTool();
  kqa::page::Outcome outcome = kqa::page::Outcome::Done;
  working(tr("Reading or writing the configuration memory"), [&] { outcome = tool_.readWrite(); });
  if (outcome == kqa::page::Outcome::Refused) return offset_->setFocus();
  showFieldsFromTool();
}

void CEEPROMPage::onReadAll() {
  working(tr("Reading the configuration memory"), [this] { tool_.readAll(); });
}

void CEEPROMPage::onLoadFile() {
  readFieldsIntoTool();
  working(tr("Loading the image"), [this] { tool_.loadFile(); });
}

void CEEPROMPage::onSaveAs() {
  readFieldsIntoTool();
  working(tr("Saving the image"), [this] { tool_.saveAs(); });
}

void CEEPROMPage::onSetMac() {
  readFieldsIntoTool();
  kqa::page::Outcome outcome = kqa::page::Outcome::Done;
  working(tr("Writing the MAC address"), [&] { outcome = tool_.setMac(); });
  if (outcome == kqa::page::Outcome::Refused) mac_->setFocus();
}

void CEEPROMPage::onLedActiveChosen(int index) {
  if (index < 0) return;
  for (QComboBox* box : leds_) box->setEnabled(true);
  tool_.chooseLedActive(index == 0 ? LedActive::High : LedActive::Low);
  showFieldsFromTool();
}

void CEEPROMPage::onSetLeds() {
  working(tr("Writing the LED words"), [this] { tool_.setLeds(); });
}

void CEEPROMPage::onEfuseMode(bool on) {
  working(tr("Reading the configuration memory"), [this, on] { tool_.setEfuseMode(on); });
  logicalView_->setEnabled(on);
  physicalView_->setEnabled(on);
}

void CEEPROMPage::onBufferMode(bool on) {
  working(tr("Reading the configuration memory"), [this, on] { tool_.setBufferMode(on); });
}

void CEEPROMPage::onWriteWarning(bool disabled) {
  tool_.setWriteWarningDisabled(disabled);
}

void CEEPROMPage::onView(EfuseView view) {
  working(tr("Reading the configuration memory"), [this, view] { tool_.setView(view); });
}

void CEEPROMPage::onCheck() {
  tool_.refreshFreeBlocks();
  showModes();
}
