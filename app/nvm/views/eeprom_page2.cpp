#include "app/nvm/views/eeprom_page2.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/qt_text.h"

using kqa::ToQString;
using kqa::ToStdString;
using kqa::nvm::UsbFunctionFields;

namespace {

const char* const kIndexCaptions[] = {"Manufacturer String", "Product String", "Serial Number String"};

// The string-index combos hold "0" (none) and one item per string.
void FillIndexCombo(QComboBox* combo, int strings, std::optional<int> selected) {
  combo->clear();
  for (int i = 0; i <= strings; ++i) combo->addItem(QString::number(i));
  if (!selected) return combo->setCurrentIndex(-1);
  // A byte that names no string is shown as it is.
  if (*selected > strings) combo->addItem(QString::number(*selected));
  combo->setCurrentIndex(combo->findText(QString::number(*selected)));
}

std::optional<int> ComboIndex(const QComboBox* combo) {
  if (combo->currentIndex() < 0) return std::nullopt;
  return combo->currentText().toInt();
}

QLineEdit* TextEdit(const QString& name, int length, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaxLength(length);
  edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QString(length + 2, QLatin1Char('M'))));
  return edit;
}

}  // namespace

CEEPROMPage2::CEEPROMPage2(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent), tool_(services.configMemory()) {
  notice_ = new QLabel(this);
  notice_->setObjectName(QStringLiteral("notice"));
  notice_->setWordWrap(true);
  notice_->hide();

  wlanOnly_ = new QRadioButton(tr("WLAN"), this);
  withFlash_ = new QRadioButton(tr("WLAN + FLASH"), this);
  auto* functions = new QButtonGroup(this);
  functions->addButton(wlanOnly_);
  functions->addButton(withFlash_);
  wlanOnly_->setChecked(true);
  connect(wlanOnly_, &QRadioButton::clicked, this, operation([this] { onFunction(false); }));
  connect(withFlash_, &QRadioButton::clicked, this, operation([this] { onFunction(true); }));
  auto* choice = new QHBoxLayout;
  choice->addWidget(wlanOnly_);
  choice->addWidget(withFlash_);
  choice->addStretch(1);
  choice->addWidget(button(tr("Edit"), [this] { onEdit(); }));

  QWidget* wlan = functionGroup(tr("WLAN"), QStringLiteral("wlan"), wlan_);
  QWidget* flash = functionGroup(tr("FLASH"), QStringLiteral("flash"), flash_);
  flashGroup_ = static_cast<QGroupBox*>(flash);
  auto* flashGrid = static_cast<QGridLayout*>(flashGroup_->layout());
  vendorInformation_ = TextEdit(QStringLiteral("vendorInformation"), 8, flashGroup_);
  productName_ = TextEdit(QStringLiteral("productName"), 16, flashGroup_);
  productRevision_ = TextEdit(QStringLiteral("productRevision"), 4, flashGroup_);
  const int row = flashGrid->rowCount();
  flashGrid->addWidget(new QLabel(tr("Vendor Information"), flashGroup_), row, 0);
  flashGrid->addWidget(vendorInformation_, row, 1, 1, 3);
  flashGrid->addWidget(new QLabel(tr("Pruduct Name"), flashGroup_), row + 1, 0);
  flashGrid->addWidget(productName_, row + 1, 1, 1, 3);
  flashGrid->addWidget(new QLabel(tr("Pruduct Revision"), flashGroup_), row + 2, 0);
  flashGrid->addWidget(productRevision_, row + 2, 1, 1, 3);

  auto* left = new QVBoxLayout;
  left->addLayout(choice);
  left->addWidget(wlan);
  left->addWidget(flash);
  left->addStretch(1);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left, 0);
  columns->addWidget(stringGroup(), 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(notice_);
  layout->addLayout(columns, 1);
  enableFlashControls(false);
}

QWidget* CEEPROMPage2::functionGroup(const QString& title, const QString& prefix, FunctionControls& controls) {
  auto* group = new QGroupBox(title, this);
  auto* grid = new QGridLayout(group);
  controls.vendor = new kqa::HexLineEdit(prefix + QStringLiteral("Vid"), group, 4);
  controls.product = new kqa::HexLineEdit(prefix + QStringLiteral("Pid"), group, 4);
  controls.release = new kqa::HexLineEdit(prefix + QStringLiteral("Release"), group, 4);
  const std::pair<QString, QLineEdit*> edits[] = {
      {tr("VID"), controls.vendor}, {tr("PID"), controls.product}, {tr("Release Number"), controls.release}};
  for (int i = 0; i < 3; ++i) {
    edits[i].second->setMaxLength(4);
    grid->addWidget(new QLabel(edits[i].first, group), i, 0);
    grid->addWidget(edits[i].second, i, 1);
    controls.indices[static_cast<std::size_t>(i)] = new QComboBox(group);
    controls.indices[static_cast<std::size_t>(i)]->setObjectName(prefix + QStringLiteral("Index%1").arg(i));
    grid->addWidget(new QLabel(tr(kIndexCaptions[i]), group), i, 2);
    grid->addWidget(controls.indices[static_cast<std::size_t>(i)], i, 3);
  }
  // Both groups' fields start where the longest label ends.
  grid->setColumnMinimumWidth(0, group->fontMetrics().horizontalAdvance(tr("Vendor Information")) + 8);
  grid->setColumnStretch(4, 1);
  return group;
}

QWidget* CEEPROMPage2::stringGroup() {
  auto* group = new QGroupBox(tr("String Descriptor"), this);
  auto* grid = new QGridLayout(group);
  strings_ = new QTableWidget(0, 2, group);
  strings_->setObjectName(QStringLiteral("strings"));
  strings_->setHorizontalHeaderLabels({tr("No."), tr("String Descriptor")});
  strings_->verticalHeader()->hide();
  strings_->setShowGrid(true);
  strings_->setSelectionBehavior(QAbstractItemView::SelectRows);
  strings_->setSelectionMode(QAbstractItemView::SingleSelection);
  strings_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  strings_->horizontalHeader()->setStretchLastSection(true);
  strings_->setColumnWidth(0, strings_->fontMetrics().horizontalAdvance(QStringLiteral("No.  99")));
  connect(strings_, &QTableWidget::cellClicked, this,
          [this](int row, int) { run([this, row] { onStringClicked(row); }); });
  stringText_ = TextEdit(QStringLiteral("stringText"), 62, group);

  serialLabel_ = new QLabel(tr("USB Serial Number:"), group);
  serialButton_ = button(tr("Enable SN"), [this] { onSerialNumber(); });
  serialButton_->setObjectName(QStringLiteral("serialNumber"));
  auto* serial = new QHBoxLayout;
  serial->addWidget(serialLabel_);
  serial->addWidget(serialButton_);
  serial->addStretch(1);

  grid->addWidget(strings_, 0, 0, 1, 4);
  grid->addWidget(stringText_, 1, 0, 1, 4);
  grid->addWidget(button(tr("Add / Edit"), [this] { onAddOrEdit(); }), 2, 0);
  grid->addWidget(button(tr("Clear All"), [this] { onClearAll(); }), 2, 1);
  grid->addWidget(button(tr("Default"), [this] { onDefault(); }), 2, 2);
  grid->setColumnStretch(3, 1);
  grid->addLayout(serial, 3, 0, 1, 4);
  return group;
}

void CEEPROMPage2::enableFlashControls(bool enabled) {
  for (QWidget* each : {static_cast<QWidget*>(flash_.vendor), static_cast<QWidget*>(flash_.product),
                        static_cast<QWidget*>(flash_.release), static_cast<QWidget*>(vendorInformation_),
                        static_cast<QWidget*>(productName_), static_cast<QWidget*>(productRevision_)})
    each->setEnabled(enabled);
  for (QComboBox* combo : flash_.indices) combo->setEnabled(enabled);
}

void CEEPROMPage2::onSetActive() {
  tool_.activate();
  const std::string reason = tool_.unreachableReason();
  notice_->setText(ToQString(reason));
  notice_->setVisible(!reason.empty());
  wlanOnly_->setChecked(true);
  tool_.withFlash = false;
  enableFlashControls(false);
  showFieldsFromTool();
}

void CEEPROMPage2::readFieldsIntoTool() {
  const auto read = [](const FunctionControls& controls, UsbFunctionFields& fields) {
    fields.vendorText = ToStdString(controls.vendor->text());
    fields.productText = ToStdString(controls.product->text());
    fields.releaseText = ToStdString(controls.release->text());
    fields.manufacturer = ComboIndex(controls.indices[0]);
    fields.product = ComboIndex(controls.indices[1]);
    fields.serial = ComboIndex(controls.indices[2]);
  };
  read(wlan_, tool_.wlan);
  read(flash_, tool_.flash);
  tool_.vendorInformation = ToStdString(vendorInformation_->text());
  tool_.productName = ToStdString(productName_->text());
  tool_.productRevision = ToStdString(productRevision_->text());
  tool_.stringText = ToStdString(stringText_->text());
  tool_.withFlash = withFlash_->isChecked();
}

void CEEPROMPage2::showFieldsFromTool() {
  const int count = static_cast<int>(tool_.strings().size());
  const auto show = [count](FunctionControls& controls, const UsbFunctionFields& fields) {
    controls.vendor->setText(ToQString(fields.vendorText));
    controls.product->setText(ToQString(fields.productText));
    controls.release->setText(ToQString(fields.releaseText));
    FillIndexCombo(controls.indices[0], count, fields.manufacturer);
    FillIndexCombo(controls.indices[1], count, fields.product);
    FillIndexCombo(controls.indices[2], count, fields.serial);
  };
  show(wlan_, tool_.wlan);
  show(flash_, tool_.flash);
  vendorInformation_->setText(ToQString(tool_.vendorInformation));
  productName_->setText(ToQString(tool_.productName));
  productRevision_->setText(ToQString(tool_.productRevision));
  stringText_->setText(ToQString(tool_.stringText));

  strings_->clearSelection();
  strings_->setRowCount(count);
  for (int row = 0; row < count; ++row) {
    const kqa::nvm::StoredString& string = tool_.strings()[static_cast<std::size_t>(row)];
    strings_->setItem(row, 0, new QTableWidgetItem(QString::number(string.index)));
    strings_->setItem(row, 1, new QTableWidgetItem(ToQString(string.text)));
  }
  const bool enabled = tool_.serialNumberEnabled();
  serialButton_->setText(enabled ? tr("Disable SN") : tr("Enable SN"));
  serialLabel_->setEnabled(enabled);
}

void CEEPROMPage2::onFunction(bool withFlash) {
  tool_.withFlash = withFlash;
  enableFlashControls(withFlash);
}

void CEEPROMPage2::onEdit() {
  readFieldsIntoTool();
  if (tool_.editIdentity() == kqa::page::Outcome::Refused) return;
  tool_.readIdentity();
  showFieldsFromTool();
}

void CEEPROMPage2::onAddOrEdit() {
  readFieldsIntoTool();
  const QList<QTableWidgetItem*> chosen = strings_->selectedItems();
  const kqa::page::Outcome outcome = chosen.isEmpty()
                                         ? tool_.addString()
                                         : tool_.replaceString(static_cast<std::size_t>(chosen.front()->row()));
  if (outcome == kqa::page::Outcome::Refused) return stringText_->setFocus();
  tool_.readIdentity();  // the index slots and combos follow the strings
  showFieldsFromTool();
}

void CEEPROMPage2::onStringClicked(int row) {
  if (row < 0 || row >= static_cast<int>(tool_.strings().size())) {
    tool_.stringText.clear();
    return;
  }
  stringText_->setText(ToQString(tool_.strings()[static_cast<std::size_t>(row)].text).trimmed());
}

void CEEPROMPage2::onClearAll() {
  readFieldsIntoTool();
  tool_.clearStrings();
  showFieldsFromTool();
}

void CEEPROMPage2::onDefault() {
  readFieldsIntoTool();
  tool_.defaultStrings();
  showFieldsFromTool();
}

void CEEPROMPage2::onSerialNumber() {
  readFieldsIntoTool();
  tool_.toggleSerialNumber();
  showFieldsFromTool();
}
