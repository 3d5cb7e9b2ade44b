#include "app/measure/views/papd_test_page.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/views/page/qt_text.h"

using kqa::ToQString;
using kqa::measure::PapdMemory;

CPAPDTESTPage::CPAPDTESTPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent), tool_(services.device) {
  auto* memories = new QGridLayout;
  memories->addWidget(memoryGroup(tr("PBF"), PapdMemory::Pbf), 0, 0);
  memories->addWidget(memoryGroup(tr("Data Scope"), PapdMemory::DataScope), 0, 1);
  memories->addWidget(memoryGroup(tr("Share Memory"), PapdMemory::ShareMemory), 1, 0);
  memories->addWidget(memoryGroup(tr("Arbitrary Waveform"), PapdMemory::Waveform), 1, 1);
  papdMode_ = new QCheckBox(tr("PAPD Mode"), this);
  papdMode_->setToolTip(
      tr("Reads only the part of the second PBF and share-memory banks that PAPD uses"));
  memories->addWidget(papdMode_, 2, 0);
  memories->addWidget(calibrationGroup(), 0, 2, 2, 1);
  memories->setColumnStretch(3, 1);

  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(memories);
  layout->addWidget(progressBar());
  layout->addWidget(status_);
  layout->addStretch(1);
}

QWidget* CPAPDTESTPage::memoryGroup(const QString& title, PapdMemory memory) {
  auto* group = new QGroupBox(title, this);
  auto* row = new QHBoxLayout(group);
  row->addWidget(button(tr("Read"), [this, memory] { onRead(memory); }));
  row->addWidget(button(tr("Write"), [this, memory] { onWrite(memory); }));
  return group;
}

QWidget* CPAPDTESTPage::calibrationGroup() {
  auto* group = new QGroupBox(tr("PAPD Cal"), this);
  auto* grid = new QGridLayout(group);
  grid->addWidget(button(tr("Tx 0"), [this] { onPapdCal(0); }), 0, 0);
  grid->addWidget(button(tr("Tx 1"), [this] { onPapdCal(1); }), 0, 1);
  // Kept as the page has always shown them; no operation reads them.
  auto* init = new QLineEdit(QStringLiteral("30"), group);
  init->setObjectName(QStringLiteral("init"));
  auto* search = new QLineEdit(group);
  search->setObjectName(QStringLiteral("searchResult"));
  search->setReadOnly(true);
  grid->addWidget(new QLabel(tr("Init"), group), 1, 0);
  grid->addWidget(init, 1, 1);
  grid->addWidget(new QLabel(tr("Search Result"), group), 2, 0);
  grid->addWidget(search, 2, 1);
  grid->addWidget(new QCheckBox(tr("Dump Capture"), group), 3, 0, 1, 2);
  return group;
}

QString CPAPDTESTPage::status() const {
  return status_->text();
}

void CPAPDTESTPage::moving(const QString& what, const std::function<void()>& work) {
  tool_.papdMode = papdMode_->isChecked();
  runLong(what, work);
  status_->setText(ToQString(tool_.status()));
}

void CPAPDTESTPage::onRead(PapdMemory memory) {
  moving(tr("Reading the memory"), [this, memory] { tool_.read(memory); });
}

void CPAPDTESTPage::onWrite(PapdMemory memory) {
  moving(tr("Writing the memory"), [this, memory] { tool_.write(memory); });
}

void CPAPDTESTPage::onPapdCal(int path) {
  moving(tr("PAPD Cal"),
         [this, path] { tool_.papdCalibration(path, QDir::currentPath().toStdString()); });
}
