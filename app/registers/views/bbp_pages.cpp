#include "app/registers/views/bbp_pages.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/registers/views/register_controls.h"
#include "app/shell/views/page/log_list.h"

using kqa::registers::BbpPage;
using kqa::registers::BbpTable;
using kqa::registers::ByteText;
using kqa::registers::MakeGridField;
using kqa::registers::MakeRegisterBox;
using kqa::registers::RegisterBox;

namespace {

// "R100 (0x64) ", as the grid labels read.
QString GridLabel(int reg) {
  return QStringLiteral("R%1 (0x%2) ").arg(reg).arg(ByteText(static_cast<unsigned>(reg)));
}

}  // namespace

BbpPageBase::BbpPageBase(kqa::shell::PageServices& services, BbpPage page, int columns,
                         QWidget* parent)
    : PropertyPage(parent), tool_(services.configMemory(), page), columns_(columns) {
  tool_.progress = progressSink();
}

QLineEdit* BbpPageBase::gridField(int reg) const {
  return findChild<QLineEdit*>(QStringLiteral("R%1").arg(reg));
}

QWidget* BbpPageBase::gridGroup(int columns) {
  auto* group = new QGroupBox(tr("BBP Registers"), this);
  auto* grid = new QGridLayout(group);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(3);
  const auto registers = tool_.registers();
  const int rows = (static_cast<int>(registers.size()) + columns - 1) / columns;
  for (std::size_t i = 0; i < registers.size(); ++i) {
    // Down the columns, in register order.
    const int row = static_cast<int>(i) % rows;
    const int column = static_cast<int>(i) / rows;
    auto* label = new QLabel(GridLabel(registers[i]), group);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QLineEdit* field = MakeGridField(group, registers[i]);
    grid->addWidget(label, row, 3 * column);
    grid->addWidget(field, row, 3 * column + 1);
    if (column + 1 < columns) grid->setColumnMinimumWidth(3 * column + 2, 10);
    grid_.push_back(field);
  }
  return group;
}

QWidget* BbpPageBase::singleGroup(const QString& readAllCaption) {
  box_ = MakeRegisterBox(this, button(tr("R/W"), [this] { onSingleReadWrite(); }));
  readAll_ = button(readAllCaption, [this] { onReadAll(); });
  for (QLineEdit* edit : {box_.id, box_.value})
    connect(edit, &QLineEdit::returnPressed, this, operation([this] { onSingleReadWrite(); }));
  static_cast<QGridLayout*>(box_.group->layout())->addWidget(readAll_, 3, 2);
  return box_.group;
}

void BbpPageBase::showGrid() {
  const auto values = tool_.values();
  for (std::size_t i = 0; i < grid_.size(); ++i) grid_[i]->setText(ByteText(values[i]));
}

void BbpPageBase::onSingleReadWrite() {
  tool_.single = box_.fields();
  if (tool_.singleReadWrite() == kqa::page::Outcome::Refused)
    return box_.focusRefused(tool_.single);
  box_.showValue(tool_.single);
}

void BbpPageBase::onReadAll() {
  runLong(tr("Reading the registers"), [this] { tool_.readAll(); });
  showGrid();
}

// --- BBP Page 1 ---------------------------------------------------------------------------

CBBPPage::CBBPPage(kqa::shell::PageServices& services, QWidget* parent)
    : BbpPageBase(services, BbpPage::One, 8, parent) {
  auto* controls = new QHBoxLayout;
  QWidget* single = singleGroup(tr("Read &ALL"));
  // Read ALL is offered while READ is chosen.
  connect(box_.write, &QRadioButton::toggled, readAll_,
          [this](bool write) { readAll_->setEnabled(!write); });
  controls->addWidget(single);
  controls->addWidget(filesGroup());
  controls->addWidget(tablesGroup());
  controls->addWidget(scriptGroup(), 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(gridGroup(columns_));
  layout->addLayout(controls);
  layout->addWidget(progressBar());
  progressBar()->setMaximumHeight(8);
}

QWidget* CBBPPage::filesGroup() {
  auto* group = new QGroupBox(tr("Register Set"), this);
  auto* column = new QVBoxLayout(group);
  column->addWidget(button(tr("Save Bbp Regs"), [this] { onSaveRegisterSet(); }));
  column->addWidget(button(tr("Load Bbp Regs"), [this] { onLoadRegisterSet(); }));
  column->addStretch(1);
  return group;
}

QWidget* CBBPPage::tablesGroup() {
  auto* group = new QGroupBox(tr("Tables"), this);
  auto* column = new QVBoxLayout(group);
  auto* papd = new QGroupBox(tr("PAPD"), group);
  auto* papdRow = new QHBoxLayout(papd);
  papdRow->addWidget(button(tr("Dump"), [this] { onDumpTable(BbpTable::Papd); }));
  papdRow->addWidget(button(tr("Write"), [this] { onWritePapdTable(); }));
  column->addWidget(papd);
  column->addWidget(button(tr("BBP 184/185"), [this] { onDumpTable(BbpTable::Gain); }));
  column->addWidget(button(tr("BBP 195/196"), [this] { onDumpTable(BbpTable::Filter); }));
  column->addStretch(1);
  return group;
}

QWidget* CBBPPage::scriptGroup() {
  return kqa::registers::ScriptLogGroup(this, tr("BBP Script"),
                                        {button(tr("Load BBP Script"), [this] { onLoadScript(); })},
                                        scriptLog_);
}

QStringList CBBPPage::scriptLog() const {
  return scriptLog_->entries();
}

void CBBPPage::changing(const QString& what, const std::function<void()>& work) {
  runLong(what, work);
  showGrid();
}

void CBBPPage::onSaveRegisterSet() {
  runLong(tr("Saving the register set"), [this] { tool_.saveRegisterSet(); });
}

void CBBPPage::onLoadRegisterSet() {
  changing(tr("Loading the register set"), [this] { tool_.loadRegisterSet(); });
}

void CBBPPage::onDumpTable(BbpTable table) {
  runLong(tr("Reading the table"), [this, table] { tool_.dumpTable(table); });
}

void CBBPPage::onWritePapdTable() {
  runLong(tr("Writing the PAPD table"), [this] { tool_.writePapdTable(); });
}

void CBBPPage::onLoadScript() {
  changing(tr("Running the script"), [this] { tool_.runScript(*scriptLog_); });
}

// --- BBP Pages 2 and 3 --------------------------------------------------------------------

namespace {

// The grid beside the register box, for the pages without files.
void LayOutPlainPage(QWidget* page, QWidget* grid, QWidget* single, QProgressBar* progress) {
  auto* left = new QVBoxLayout;
  left->addWidget(grid);
  left->addStretch(1);
  auto* side = new QVBoxLayout;
  side->addWidget(single);
  side->addStretch(1);
  side->addWidget(progress);
  progress->setMaximumHeight(8);
  auto* layout = new QHBoxLayout(page);
  layout->addLayout(left);
  layout->addLayout(side);
  layout->addStretch(1);
}

}  // namespace

CBBPPage2::CBBPPage2(kqa::shell::PageServices& services, QWidget* parent)
    : BbpPageBase(services, BbpPage::Two, 5, parent) {
  LayOutPlainPage(this, gridGroup(columns_), singleGroup(tr("Read &All")), progressBar());
}

CBBPPage3::CBBPPage3(kqa::shell::PageServices& services, QWidget* parent)
    : BbpPageBase(services, BbpPage::Three, 6, parent) {
  LayOutPlainPage(this, gridGroup(columns_), singleGroup(tr("Read &All")), progressBar());
}
