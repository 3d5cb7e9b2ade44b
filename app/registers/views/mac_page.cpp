#include "app/registers/views/mac_page.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/widgets/views/hex_edit.h"

using kqa::registers::AccessWindow;
using kqa::registers::Direction;

namespace {

QString FromStd(const std::string& text) { return QString::fromStdString(text); }

QFont FixedFont() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }

QLineEdit* HexEdit(QWidget* parent, const QString& name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setFont(FixedFont());
  const int width = QFontMetrics(edit->font()).horizontalAdvance(QStringLiteral("0x00000000")) + 16;
  edit->setMinimumWidth(width);
  edit->setMaximumWidth(width + 24);
  return edit;
}

QPushButton* Button(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

CMACPage::CMACPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(tr("MAC"), parent), tool_(services.device) {
  buildLayout();
  tool_.setProgress([this](std::size_t done, std::size_t total) { showProgress(done, total); });
}

void CMACPage::buildLayout() {
  // Single Read/Write: offset from the bank base.
  singleRead_ = new QRadioButton(tr("&READ"), this);
  singleWrite_ = new QRadioButton(tr("&WRITE"), this);
  singleOffset_ = HexEdit(this, QStringLiteral("singleOffset"));
  singleValue_ = HexEdit(this, QStringLiteral("singleValue"));
  singleButton_ = Button(tr("R/W"), this);
  auto* singleGroup = new QGroupBox(tr("Single Read/Write"), this);
  auto* singleLayout = new QGridLayout(singleGroup);
  singleLayout->addWidget(singleRead_, 0, 0);
  singleLayout->addWidget(singleWrite_, 0, 1);
  singleLayout->addWidget(new QLabel(tr("Offset"), singleGroup), 1, 0);
  singleLayout->addWidget(singleOffset_, 1, 1);
  singleLayout->addWidget(new QLabel(tr("Value"), singleGroup), 2, 0);
  singleLayout->addWidget(singleValue_, 2, 1);
  singleLayout->addWidget(singleButton_, 1, 2, 2, 1);
  singleLayout->setColumnStretch(3, 1);
  auto* singleModes = new QButtonGroup(this);
  singleModes->addButton(singleRead_);
  singleModes->addButton(singleWrite_);

  // Access Mode: the offset is the address, the window chosen by its label.
  windowMac_ = new QRadioButton(QStringLiteral("0x410000"), this);
  windowSys_ = new QRadioButton(QStringLiteral("0x400000"), this);
  windowAbsolute_ = new QRadioButton(QStringLiteral("0x00000000"), this);
  accessRead_ = new QRadioButton(tr("READ"), this);
  accessWrite_ = new QRadioButton(tr("WRITE"), this);
  accessOffset_ = HexEdit(this, QStringLiteral("accessOffset"));
  accessValue_ = HexEdit(this, QStringLiteral("accessValue"));
  accessButton_ = Button(tr("R / W"), this);
  auto* accessGroup = new QGroupBox(tr("Access Mode"), this);
  auto* accessLayout = new QGridLayout(accessGroup);
  auto* windows = new QHBoxLayout;
  windows->addWidget(windowMac_);
  windows->addWidget(windowSys_);
  windows->addWidget(windowAbsolute_);
  windows->addStretch(1);
  auto* directions = new QHBoxLayout;
  directions->addWidget(accessRead_);
  directions->addWidget(accessWrite_);
  directions->addStretch(1);
  accessLayout->addLayout(windows, 0, 0, 1, 4);
  accessLayout->addLayout(directions, 1, 0, 1, 4);
  accessLayout->addWidget(new QLabel(tr("Offset"), accessGroup), 2, 0);
  accessLayout->addWidget(accessOffset_, 2, 1);
  accessLayout->addWidget(new QLabel(tr("Value"), accessGroup), 3, 0);
  accessLayout->addWidget(accessValue_, 3, 1);
  accessLayout->addWidget(accessButton_, 2, 2, 2, 1);
  accessLayout->setColumnStretch(3, 1);
  // Both groups' edits start at the same x.
  const int labelWidth = singleRead_->sizeHint().width();
  singleLayout->setColumnMinimumWidth(0, labelWidth);
  accessLayout->setColumnMinimumWidth(0, labelWidth);
  auto* windowGroup = new QButtonGroup(this);
  windowGroup->addButton(windowMac_);
  windowGroup->addButton(windowSys_);
  windowGroup->addButton(windowAbsolute_);
  auto* accessDirections = new QButtonGroup(this);
  accessDirections->addButton(accessRead_);
  accessDirections->addButton(accessWrite_);

  // Scripts and their log.
  loadScriptButton_ = Button(tr("Load Script"), this);
  exampleButton_ = Button(tr("?"), this);
  exampleButton_->setToolTip(tr("List an example script"));
  exampleButton_->setFixedWidth(exampleButton_->sizeHint().height() * 3 / 2);
  scriptLog_ = new QListWidget(this);
  scriptLog_->setObjectName(QStringLiteral("scriptLog"));
  scriptLog_->setFont(FixedFont());
  scriptLog_->setUniformItemSizes(true);
  auto* scriptGroup = new QGroupBox(tr("Register Script"), this);
  auto* scriptLayout = new QGridLayout(scriptGroup);
  scriptLayout->addWidget(loadScriptButton_, 0, 0);
  scriptLayout->addWidget(exampleButton_, 0, 1);
  scriptLayout->setColumnStretch(2, 1);
  scriptLayout->addWidget(scriptLog_, 1, 0, 1, 3);

  // The bank and its dump.
  bankList_ = new QComboBox(this);
  bankList_->setObjectName(QStringLiteral("bankList"));
  bankList_->setFont(FixedFont());
  for (const kqa::registers::MemoryBank& bank : kqa::registers::MacMemoryBanks())
    bankList_->addItem(QString::fromLatin1(bank.text.data(), static_cast<qsizetype>(bank.text.size())));
  hexView_ = new CHexEdit(this);
  hexView_->setObjectName(QStringLiteral("hexView"));
  hexView_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  readAllButton_ = Button(tr("Read &ALL"), this);
  loadFileButton_ = Button(tr("Load File"), this);
  dumpButton_ = Button(tr("Dump Reg"), this);
  resetNicButton_ = Button(tr("Reset NIC"), this);  // kept in the layout, never offered
  resetNicButton_->setEnabled(false);
  resetNicButton_->hide();
  progress_ = new QProgressBar(this);
  progress_->setTextVisible(false);
  progress_->setMaximumHeight(readAllButton_->sizeHint().height() / 2);
  QSizePolicy keepSpace = progress_->sizePolicy();
  keepSpace.setRetainSizeWhenHidden(true);
  progress_->setSizePolicy(keepSpace);
  progress_->hide();

  // The list is as wide as the hex view below it.
  bankList_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  auto* bankButtons = new QHBoxLayout;
  bankButtons->addWidget(readAllButton_);
  bankButtons->addWidget(dumpButton_);
  bankButtons->addWidget(loadFileButton_);
  bankButtons->addWidget(resetNicButton_);
  bankButtons->addWidget(progress_, 1);
  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel(tr("USB Memory Bank Switch:"), this));
  left->addWidget(bankList_);
  left->addWidget(hexView_, 1);
  left->addLayout(bankButtons);

  auto* right = new QVBoxLayout;
  right->addWidget(singleGroup);
  right->addWidget(accessGroup);
  right->addWidget(scriptGroup, 1);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 0);
  layout->addLayout(right, 1);

  // Initial state of the controls.
  singleOffset_->setMaxLength(8);
  singleValue_->setMaxLength(8);
  singleOffset_->setText(FromStd(tool_.single.offsetText));
  singleValue_->setText(FromStd(tool_.single.valueText));
  singleRead_->setChecked(true);
  singleValue_->setReadOnly(true);
  windowSys_->setChecked(true);
  accessRead_->setChecked(true);

  connect(singleRead_, &QRadioButton::toggled, this,
          [this](bool read) { singleValue_->setReadOnly(read); });
  connect(singleButton_, &QPushButton::clicked, this, &CMACPage::onSingleReadWrite);
  connect(singleOffset_, &QLineEdit::returnPressed, this, &CMACPage::onSingleReadWrite);
  connect(singleValue_, &QLineEdit::returnPressed, this, &CMACPage::onSingleReadWrite);
  connect(accessButton_, &QPushButton::clicked, this, &CMACPage::onAccessReadWrite);
  connect(accessOffset_, &QLineEdit::returnPressed, this, &CMACPage::onAccessReadWrite);
  connect(accessValue_, &QLineEdit::returnPressed, this, &CMACPage::onAccessReadWrite);
  connect(readAllButton_, &QPushButton::clicked, this, &CMACPage::onReadAll);
  connect(bankList_, &QComboBox::activated, this, &CMACPage::onBankChosen);
  connect(loadFileButton_, &QPushButton::clicked, this, &CMACPage::onLoadFile);
  connect(dumpButton_, &QPushButton::clicked, this, &CMACPage::onDumpReg);
  connect(loadScriptButton_, &QPushButton::clicked, this, &CMACPage::onLoadScript);
  connect(exampleButton_, &QPushButton::clicked, this, &CMACPage::onShowExample);
}

QStringList CMACPage::scriptLog() const {
  QStringList entries;
  for (int row = 0; row < scriptLog_->count(); ++row) entries << scriptLog_->item(row)->text();
  return entries;
}

void CMACPage::onInitDialog() {
  bankList_->setCurrentIndex(0);
  onBankChosen(0);
}

void CMACPage::onSetActive() { onReadAll(); }

template <class Work>
void CMACPage::runBusy(const QString& what, Work&& work) {
  // The work runs to its end on this thread without entering the event
  // loop, so no second click can start another operation half-way; the
  // progress bar is repainted directly from the progress callback instead.
  // The busy cursor is the sheet's own, so that a message box the work
  // shows keeps the ordinary pointer.
  if (busy_) return;
  busy_ = true;
  window()->setCursor(Qt::WaitCursor);
  progress_->setToolTip(what);
  work();
  progress_->hide();
  window()->unsetCursor();
  busy_ = false;
}

void CMACPage::showProgress(std::size_t done, std::size_t total) {
  if (!busy_ || total == 0) return;
  if (!progress_->isVisible()) progress_->show();
  progress_->setMaximum(static_cast<int>(total));
  progress_->setValue(static_cast<int>(done));
  progress_->repaint();
}

void CMACPage::showBank() {
  const std::size_t length = tool_.bank().length;
  if (hexView_->model().data() == tool_.regionBuffer().data() &&
      hexView_->model().length() == length)
    hexView_->refresh();  // same bank: keep the caret and the scroll position
  else
    hexView_->setData(tool_.regionBuffer().data(), length);
}

void CMACPage::readFieldsIntoTool() {
  tool_.single.offsetText = singleOffset_->text().toStdString();
  tool_.single.valueText = singleValue_->text().toStdString();
  tool_.single.direction = singleWrite_->isChecked() ? Direction::Write : Direction::Read;
  tool_.access.offsetText = accessOffset_->text().toStdString();
  tool_.access.valueText = accessValue_->text().toStdString();
  tool_.access.direction = accessWrite_->isChecked() ? Direction::Write : Direction::Read;
  tool_.window = windowMac_->isChecked()   ? AccessWindow::Mac
                 : windowSys_->isChecked() ? AccessWindow::Sys
                                           : AccessWindow::Absolute;
}

void CMACPage::showFieldsFromTool() {
  singleValue_->setText(FromStd(tool_.single.valueText));
  accessValue_->setText(FromStd(tool_.access.valueText));
}

void CMACPage::onSingleReadWrite() {
  if (busy_) return;
  readFieldsIntoTool();
  if (tool_.singleReadWrite()) showFieldsFromTool();
  else singleOffset_->setFocus();
}

void CMACPage::onAccessReadWrite() {
  if (busy_) return;
  readFieldsIntoTool();
  if (tool_.accessReadWrite()) showFieldsFromTool();
}

void CMACPage::onReadAll() {
  runBusy(tr("Reading the bank"), [this] { tool_.readBank(); });
  showBank();
}

void CMACPage::onBankChosen(int index) {
  if (index < 0) return;
  runBusy(tr("Reading the bank"), [this, index] { tool_.chooseBank(static_cast<std::size_t>(index)); });
  showBank();
}

void CMACPage::onLoadFile() {
  runBusy(tr("Writing the register file"), [this] { tool_.loadRegisterFile(); });
  showBank();
}

void CMACPage::onDumpReg() {
  if (!busy_) tool_.dumpBank();
}

void CMACPage::appendLogEntry(const QString& entry) {
  QString shown = entry;
  while (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
  scriptLog_->addItem(shown);
  scriptLog_->setCurrentRow(scriptLog_->count() - 1);
  scriptLog_->scrollToItem(scriptLog_->currentItem());
  scriptLog_->repaint();
}

namespace {

// The script log as the list box shows it.
class ListBoxLog final : public kqa::ScriptLog {
 public:
  ListBoxLog(QListWidget& list, std::function<void(const QString&)> append)
      : list_(list), append_(std::move(append)) {}
  void clear() override { list_.clear(); }
  void append(std::string_view entry) override {
    append_(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
  }

 private:
  QListWidget& list_;
  std::function<void(const QString&)> append_;
};

}  // namespace

void CMACPage::onLoadScript() {
  ListBoxLog log(*scriptLog_, [this](const QString& entry) { appendLogEntry(entry); });
  runBusy(tr("Running the script"), [&] { tool_.runScript(log); });
}

void CMACPage::onShowExample() {
  if (busy_) return;
  ListBoxLog log(*scriptLog_, [this](const QString& entry) { appendLogEntry(entry); });
  tool_.showScriptExample(log);
}
