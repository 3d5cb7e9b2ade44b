#include "app/nvm/views/nor_flash_page.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>

#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/qt_text.h"

using kqa::ToQString;
using kqa::ToStdString;
using kqa::nvm::FlashWidth;

namespace {

QLineEdit* DecimalEdit(const QString& name, const QString& text, QWidget* parent) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(name);
  edit->setMaxLength(4);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), edit));
  return edit;
}

}  // namespace

CFLASHIIPage::CFLASHIIPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent), tool_(services.device) {
  block_ = new kqa::HexLineEdit(QStringLiteral("block"), this, 4);
  block_->setMaxLength(4);
  block_->setText(ToQString(tool_.blockText));
  count_ = DecimalEdit(QStringLiteral("count"), ToQString(tool_.countText), this);
  size_ = DecimalEdit(QStringLiteral("size"), ToQString(tool_.sizeText), this);
  for (QLineEdit* edit : {static_cast<QLineEdit*>(block_), count_, size_}) edit->setFixedWidth(block_->minimumWidth());
  eraseBar_ = makeBar(QStringLiteral("eraseBar"));
  loadBar_ = makeBar(QStringLiteral("loadBar"));
  saveBar_ = makeBar(QStringLiteral("saveBar"));

  auto* erase = new QGroupBox(tr("Erase"), this);
  auto* eraseGrid = new QGridLayout(erase);
  eraseGrid->addWidget(new QLabel(tr("BlockNo.-16"), erase), 0, 0);
  eraseGrid->addWidget(block_, 0, 1);
  eraseGrid->addWidget(button(tr("Erase /  B"), [this] { onEraseBlock(); }), 0, 2);
  eraseGrid->addWidget(new QLabel(tr("TotalBlockNo-10"), erase), 1, 0);
  eraseGrid->addWidget(count_, 1, 1);
  eraseGrid->addWidget(button(tr("Erase All / B"), [this] { onEraseAll(); }), 1, 2);
  eraseGrid->addWidget(new QLabel(tr("Erase..."), erase), 2, 0);
  eraseGrid->addWidget(eraseBar_, 2, 1, 1, 3);
  eraseGrid->setColumnStretch(3, 1);

  auto* image = new QGroupBox(tr("Flash Image"), this);
  auto* imageGrid = new QGridLayout(image);
  auto* size = new QHBoxLayout;
  size->addWidget(new QLabel(tr("Nor -Type Flash Size:"), image));
  size->addWidget(size_);
  size->addWidget(new QLabel(tr(" * 4k"), image));
  size->addStretch(1);
  imageGrid->addLayout(size, 0, 0, 1, 3);
  imageGrid->addWidget(button(tr("Load From File"), [this] { onLoadFromFile(); }), 1, 0);
  imageGrid->addWidget(new QLabel(tr("Load..."), image), 1, 1);
  imageGrid->addWidget(loadBar_, 1, 2);
  imageGrid->addWidget(button(tr("Save to File"), [this] { onSaveToFile(); }), 2, 0);
  imageGrid->addWidget(new QLabel(tr("Save..."), image), 2, 1);
  imageGrid->addWidget(saveBar_, 2, 2);
  imageGrid->setColumnStretch(2, 1);

  auto* notes = new QLabel(
      tr("Before Click the \"Load From File\" button, you need Click \"Erase All / B\" button First.\n"
         "If you don't do that, the flash download maybe get unsuccessfully."),
      this);
  notes->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(erase);
  layout->addWidget(image);
  layout->addWidget(notes);
  layout->addWidget(hiddenControls());
  layout->addStretch(1);
}

QProgressBar* CFLASHIIPage::makeBar(const QString& name) {
  auto* bar = new QProgressBar(this);
  bar->setObjectName(name);
  bar->setRange(0, 100);
  bar->setValue(0);
  // The page is disabled while a bar moves; the bar keeps its colour.
  QPalette palette = bar->palette();
  palette.setColor(QPalette::Disabled, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
  bar->setPalette(palette);
  return bar;
}

QWidget* CFLASHIIPage::hiddenControls() {
  // Present on the page, never shown: each does what its caption says.
  auto* hidden = new QWidget(this);
  auto* line = new QHBoxLayout(hidden);
  address_ = new kqa::HexLineEdit(QStringLiteral("address"), hidden, 4);
  address_->setText(ToQString(tool_.addressText));
  external_ = new QRadioButton(tr("External"), hidden);
  auto* internal = new QRadioButton(tr("Internal"), hidden);
  auto* source = new QButtonGroup(hidden);
  source->addButton(external_);
  source->addButton(internal);
  external_->setChecked(true);
  width8_ = new QRadioButton(tr("8 bit flash"), hidden);
  width16_ = new QRadioButton(tr("8/16 bit flash"), hidden);
  auto* widths = new QButtonGroup(hidden);
  widths->addButton(width8_);
  widths->addButton(width16_);
  connect(width8_, &QRadioButton::clicked, this, operation([this] { onWidth(FlashWidth::Bits8); }));
  connect(width16_, &QRadioButton::clicked, this, operation([this] { onWidth(FlashWidth::Bits8Or16); }));
  line->addWidget(new QLabel(tr("Addr."), hidden));
  line->addWidget(address_);
  line->addWidget(button(tr("Erase / A"), [this] { onEraseAtAddress(); }));
  line->addWidget(button(tr("EraseAll / A"), [this] { onEraseAll(); }));
  line->addWidget(external_);
  line->addWidget(internal);
  line->addWidget(button(tr("Send"), [this] { onSend(); }));
  line->addWidget(button(tr("Soft Disconnect"), [this] { onSoftDisconnect(); }));
  line->addWidget(width8_);
  line->addWidget(width16_);
  line->addWidget(button(tr("Erase Chip"), [this] { onEraseChip(); }));
  hidden->hide();
  return hidden;
}

QProgressBar* CFLASHIIPage::bar(const QString& name) const {
  return findChild<QProgressBar*>(name);
}

void CFLASHIIPage::onInitDialog() {
  width8_->setChecked(true);
  onWidth(FlashWidth::Bits8);
}

void CFLASHIIPage::readFieldsIntoTool() {
  tool_.blockText = ToStdString(block_->text());
  tool_.countText = ToStdString(count_->text());
  tool_.sizeText = ToStdString(size_->text());
  tool_.addressText = ToStdString(address_->text());
}

void CFLASHIIPage::withBar(QProgressBar* bar, kqa::page::Progress& progress, const QString& what,
                           const std::function<void()>& work) {
  readFieldsIntoTool();
  for (QProgressBar* each : {eraseBar_, loadBar_, saveBar_}) each->setValue(0);
  const kqa::page::Progress page = progressSink();  // the kit: disabled page, busy cursor
  progress = [bar, page](std::size_t done, std::size_t total) {
    if (total > 0) bar->setValue(static_cast<int>(std::min<std::size_t>(100, done * 100 / total)));
    page(done, total);
  };
  runLong(what, work);
  progress = {};
}

void CFLASHIIPage::onEraseBlock() {
  withBar(eraseBar_, tool_.eraseProgress, tr("Erasing the block"), [this] { tool_.eraseBlock(); });
}

void CFLASHIIPage::onEraseAll() {
  withBar(eraseBar_, tool_.eraseProgress, tr("Erasing the blocks"), [this] { tool_.eraseBlocks(); });
}

void CFLASHIIPage::onEraseAtAddress() {
  withBar(eraseBar_, tool_.eraseProgress, tr("Erasing the block"), [this] { tool_.eraseAtAddress(); });
}

void CFLASHIIPage::onLoadFromFile() {
  withBar(loadBar_, tool_.loadProgress, tr("Programming the flash"), [this] { tool_.loadFile(); });
}

void CFLASHIIPage::onSaveToFile() {
  withBar(saveBar_, tool_.saveProgress, tr("Reading the flash"), [this] { tool_.saveFile(); });
}

void CFLASHIIPage::onEraseChip() {
  withBar(eraseBar_, tool_.eraseProgress, tr("Erasing the chip"), [this] { tool_.eraseChip(); });
}

void CFLASHIIPage::onWidth(FlashWidth width) {
  tool_.selectWidth(width);
}

void CFLASHIIPage::onSend() {
  tool_.selectFirmwareSource(external_->isChecked());
}

void CFLASHIIPage::onSoftDisconnect() {
  tool_.softDisconnect();
}
