#include "app/registers/views/mac_page.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <vector>

#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/log_list.h"
#include "app/shell/views/page/qt_text.h"
#include "app/widgets/views/hex_edit.h"

using kqa::ToQString;
using kqa::ToStdString;
using kqa::registers::Direction;
using kqa::registers::RegisterWindow;

namespace {

// A row of radio buttons that exclude each other, the first one checked.
std::vector<QRadioButton*> RadioRow(QGridLayout* grid, int row, std::vector<QString> captions) {
  QWidget* parent = grid->parentWidget();
  auto* group = new QButtonGroup(parent);
  auto* line = new QHBoxLayout;
  std::vector<QRadioButton*> radios;
  for (const QString& caption : captions) {
    radios.push_back(new QRadioButton(caption, parent));
    group->addButton(radios.back());
    line->addWidget(radios.back());
  }
  line->addStretch(1);
  grid->addLayout(line, row, 0, 1, 4);
  radios.front()->setChecked(true);
  return radios;
}

// "Offset" and "Value" from `row` on, the group's button beside them.
void AddFieldRows(QGridLayout* grid, int row, QLineEdit* offset, QLineEdit* value,
                  QPushButton* button) {
  grid->addWidget(new QLabel(CMACPage::tr("Offset"), grid->parentWidget()), row, 0);
  grid->addWidget(offset, row, 1);
  grid->addWidget(new QLabel(CMACPage::tr("Value"), grid->parentWidget()), row + 1, 0);
  grid->addWidget(value, row + 1, 1);
  grid->addWidget(button, row, 2, 2, 1);
  grid->setColumnStretch(3, 1);
}

}  // namespace

CMACPage::CMACPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent), tool_(services.device) {
  tool_.progress = progressSink();
  auto* right = new QVBoxLayout;
  right->addWidget(singleGroup());
  right->addWidget(accessGroup());
  right->addWidget(scriptGroup(), 1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(bankColumn(), 0);
  layout->addLayout(right, 1);
}

QWidget* CMACPage::singleGroup() {
  // Offset from the bank base; the value is read-only while READ is chosen.
  auto* group = new QGroupBox(tr("Single Read/Write"), this);
  auto* grid = new QGridLayout(group);
  const auto modes = RadioRow(grid, 0, {tr("&READ"), tr("&WRITE")});
  singleWrite_ = modes[1];
  singleOffset_ = new kqa::HexLineEdit(QStringLiteral("singleOffset"), group);
  singleValue_ = new kqa::HexLineEdit(QStringLiteral("singleValue"), group);
  singleOffset_->setText(ToQString(tool_.single.offsetText));
  singleValue_->setText(ToQString(tool_.single.valueText));
  singleValue_->setReadOnly(true);
  connect(singleWrite_, &QRadioButton::toggled, singleValue_,
          [this](bool write) { singleValue_->setReadOnly(!write); });
  AddFieldRows(grid, 1, singleOffset_, singleValue_,
               button(tr("R/W"), [this] { onSingleReadWrite(); }));
  for (QLineEdit* edit : {singleOffset_, singleValue_})
    connect(edit, &QLineEdit::returnPressed, this, operation([this] { onSingleReadWrite(); }));
  return group;
}

QWidget* CMACPage::accessGroup() {
  // The offset is the address, in the window chosen by its label.
  auto* group = new QGroupBox(tr("Access Mode"), this);
  auto* grid = new QGridLayout(group);
  const auto windows = RadioRow(
      grid, 0,
      {QStringLiteral("0x410000"), QStringLiteral("0x400000"), QStringLiteral("0x00000000")});
  windowMac_ = windows[0];
  windowSys_ = windows[1];
  windowSys_->setChecked(true);
  accessWrite_ = RadioRow(grid, 1, {tr("READ"), tr("WRITE")})[1];
  accessOffset_ = new kqa::HexLineEdit(QStringLiteral("accessOffset"), group);
  accessValue_ = new kqa::HexLineEdit(QStringLiteral("accessValue"), group);
  AddFieldRows(grid, 2, accessOffset_, accessValue_,
               button(tr("R / W"), [this] { onAccessReadWrite(); }));
  for (QLineEdit* edit : {accessOffset_, accessValue_})
    connect(edit, &QLineEdit::returnPressed, this, operation([this] { onAccessReadWrite(); }));
  return group;
}

QWidget* CMACPage::scriptGroup() {
  auto* group = new QGroupBox(tr("Register Script"), this);
  auto* grid = new QGridLayout(group);
  QPushButton* example = button(tr("?"), [this] { onShowExample(); });
  example->setToolTip(tr("List an example script"));
  example->setFixedWidth(example->sizeHint().height() * 3 / 2);
  scriptLog_ = new kqa::LogList(group);
  scriptLog_->setObjectName(QStringLiteral("scriptLog"));
  grid->addWidget(button(tr("Load Script"), [this] { onLoadScript(); }), 0, 0);
  grid->addWidget(example, 0, 1);
  grid->setColumnStretch(2, 1);
  grid->addWidget(scriptLog_, 1, 0, 1, 3);
  return group;
}

QLayout* CMACPage::bankColumn() {
  bankList_ = new QComboBox(this);
  bankList_->setObjectName(QStringLiteral("bankList"));
  bankList_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  bankList_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);  // as wide as the view
  for (const kqa::registers::MemoryBank& bank : kqa::registers::MacMemoryBanks())
    bankList_->addItem(ToQString(bank.text));
  connect(bankList_, &QComboBox::activated, this,
          [this](int index) { run([this, index] { onBankChosen(index); }); });
  hexView_ = new CHexEdit(this);
  hexView_->setObjectName(QStringLiteral("hexView"));
  hexView_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  QPushButton* resetNic = button(tr("Reset NIC"), [] {});  // kept in the layout, never offered
  resetNic->setEnabled(false);
  resetNic->hide();

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(button(tr("Read &ALL"), [this] { onReadAll(); }));
  buttons->addWidget(button(tr("Dump Reg"), [this] { onDumpReg(); }));
  buttons->addWidget(button(tr("Load File"), [this] { onLoadFile(); }));
  buttons->addWidget(resetNic);
  buttons->addWidget(progressBar(), 1);
  progressBar()->setMaximumHeight(resetNic->sizeHint().height() / 2);
  auto* column = new QVBoxLayout;
  column->addWidget(new QLabel(tr("USB Memory Bank Switch:"), this));
  column->addWidget(bankList_);
  column->addWidget(hexView_, 1);
  column->addLayout(buttons);
  return column;
}

QStringList CMACPage::scriptLog() const {
  return scriptLog_->entries();
}

void CMACPage::onInitDialog() {
  bankList_->setCurrentIndex(0);
  onBankChosen(0);
}

void CMACPage::readingBank(const QString& what, const std::function<void()>& work) {
  runLong(what, work);
  const std::size_t length = tool_.bank().length;
  if (hexView_->model().data() == tool_.regionBuffer().data() &&
      hexView_->model().length() == length)
    hexView_->refresh();  // same bank: keep the caret and the scroll position
  else
    hexView_->setData(tool_.regionBuffer().data(), length);
}

void CMACPage::readFieldsIntoTool() {
  tool_.single = {ToStdString(singleOffset_->text()), ToStdString(singleValue_->text()),
                  singleWrite_->isChecked() ? Direction::Write : Direction::Read};
  tool_.access = {ToStdString(accessOffset_->text()), ToStdString(accessValue_->text()),
                  accessWrite_->isChecked() ? Direction::Write : Direction::Read};
  tool_.window = windowMac_->isChecked()   ? RegisterWindow::Mac
                 : windowSys_->isChecked() ? RegisterWindow::Sys
                                           : RegisterWindow::Absolute;
}

void CMACPage::showFieldsFromTool() {
  singleValue_->setText(ToQString(tool_.single.valueText));
  accessValue_->setText(ToQString(tool_.access.valueText));
}

void CMACPage::onSingleReadWrite() {
  readFieldsIntoTool();
  if (tool_.singleReadWrite() == kqa::page::Outcome::Refused) return singleOffset_->setFocus();
  showFieldsFromTool();
}

void CMACPage::onAccessReadWrite() {
  readFieldsIntoTool();
  if (tool_.accessReadWrite() != kqa::page::Outcome::Refused) showFieldsFromTool();
}

void CMACPage::onReadAll() {
  readingBank(tr("Reading the bank"), [this] { tool_.readBank(); });
}

void CMACPage::onBankChosen(int index) {
  if (index < 0) return;
  readingBank(tr("Reading the bank"),
              [this, index] { tool_.chooseBank(static_cast<std::size_t>(index)); });
}

void CMACPage::onLoadFile() {
  readingBank(tr("Writing the register file"), [this] { tool_.loadRegisterFile(); });
}

void CMACPage::onDumpReg() {
  tool_.dumpBank();
}

void CMACPage::onLoadScript() {
  runLong(tr("Running the script"), [this] { tool_.runScript(*scriptLog_); });
}

void CMACPage::onShowExample() {
  tool_.showScriptExample(*scriptLog_);
}
