#include "app/sniffer/views/sniffer_page.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <array>
#include <chrono>

#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/qt_text.h"
#include "app/sniffer/views/packet_table_model.h"
#include "app/sniffer/views/sniffer_data_dialog.h"

using kqa::ToQString;
using kqa::ToStdString;
using kqa::sniffer::Column;
using kqa::sniffer::Columns;
using kqa::sniffer::kColumnCount;

namespace {

constexpr std::chrono::milliseconds kTickInterval{500};

// The longest text each column shows, so that no cell is cut: the list's
// widths were set for a smaller font than the fixed one it uses here.
constexpr std::array<const char*, kColumnCount> kWidestCell = {"00000",
                                                               "FF:FF:FF:FF:FF:FF",
                                                               "FF:FF:FF:FF:FF:FF",
                                                               "FF:FF:FF:FF:FF:FF",
                                                               "130.0",
                                                               "Data + CF-ACK + CF-Poll",
                                                               "",
                                                               "",
                                                               "4095"};

}  // namespace

CSnifferPage::CSnifferPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent),
      session_(services.device, services.memoryMode, services.snifferBuffer) {
  timer_.setInterval(kTickInterval);
  connect(&timer_, &QTimer::timeout, this, operation([this] { onCaptureTick(); }));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fileButtons());
  layout->addWidget(filterGroup());
  layout->addWidget(packetList(), 1);
}

CSnifferPage::~CSnifferPage() {
  // The list's model reads the session, which goes before the child widgets
  // do; hiding them on the way out would otherwise read freed rows.
  list_->setModel(nullptr);
}

QWidget* CSnifferPage::fileButtons() {
  auto* row = new QWidget(this);
  auto* line = new QHBoxLayout(row);
  line->setContentsMargins(0, 0, 0, 0);
  startButton_ = button(ToQString(session_.startLabel()), [this] { onStartStop(); });
  startButton_->setObjectName(QStringLiteral("startCapture"));
  saveButton_ = button(tr("Save File..."), [this] { onSaveFile(); });
  line->addWidget(startButton_);
  line->addSpacing(startButton_->sizeHint().height());
  line->addWidget(saveButton_);
  line->addWidget(button(tr("Load File..."), [this] { onLoadFile(); }));
  line->addWidget(button(tr("Export pcap..."), [this] { onExportPcap(); }));
  line->addWidget(progressBar(), 1);
  progressBar()->setMaximumHeight(startButton_->sizeHint().height() / 2);
  return row;
}

QCheckBox* CSnifferPage::checkBox(const QString& caption, bool& state) {
  auto* box = new QCheckBox(caption, this);
  box->setChecked(state);
  connect(box, &QCheckBox::toggled, this, [&state](bool checked) { state = checked; });
  return box;
}

QWidget* CSnifferPage::filterGroup() {
  // "Beacon", "CRC Error" and the address decide what is listed; "OFDM" and
  // "11b" keep their state only, as they always have.
  auto* group = new QGroupBox(tr("Filter"), this);
  auto* line = new QHBoxLayout(group);
  kqa::sniffer::CaptureFilter& filter = session_.filter;
  line->addWidget(checkBox(tr("CRC Error"), filter.crcError));
  line->addWidget(checkBox(tr("Beacon"), filter.beacon));
  line->addWidget(checkBox(tr("OFDM"), filter.ofdm));
  line->addWidget(checkBox(tr("11b"), filter.cck));
  line->addSpacing(12);
  line->addWidget(new QLabel(tr("MAC Address:"), group));
  macFilter_ = new kqa::HexLineEdit(QStringLiteral("macFilter"), group, 12);
  macFilter_->setMaxLength(12);
  macFilter_->setText(ToQString(session_.macFilterText()));
  connect(macFilter_, &QLineEdit::editingFinished, this,
          operation([this] { onMacFilterEdited(); }));
  line->addWidget(macFilter_);
  line->addStretch(1);
  line->addWidget(checkBox(tr("Wrap Around"), session_.wrapAround));
  return group;
}

QTreeView* CSnifferPage::packetList() {
  model_ = new kqa::sniffer::PacketTableModel(session_.rows(), this);
  list_ = new QTreeView(this);
  list_->setObjectName(QStringLiteral("packetList"));
  list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // A flat report list: every row as high as the others, so 20,000 rows
  // scroll without the view measuring them.
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setModel(model_);
  QHeaderView* header = list_->header();
  header->setStretchLastSection(false);
  header->setSectionsMovable(false);
  const QFontMetrics metrics(list_->font());
  const int padding = 2 * metrics.horizontalAdvance(QLatin1Char('0'));
  for (std::size_t column = 0; column < kColumnCount; ++column) {
    const kqa::sniffer::ColumnSpec& spec = Columns()[column];
    const int text = std::max(metrics.horizontalAdvance(QLatin1String(kWidestCell[column])),
                              header->fontMetrics().horizontalAdvance(ToQString(spec.title)));
    header->resizeSection(static_cast<int>(column), std::max(spec.width, text + padding));
  }
  connect(list_, &QTreeView::doubleClicked, this, operation([this] { onOpenSelectedRecord(); }));
  return list_;
}

void CSnifferPage::onInitDialog() {
  session_.initialize();
  showCaptureState();
}

void CSnifferPage::onStopActivities() {
  session_.stopCapture();
  showCaptureState();
}

void CSnifferPage::showCaptureState() {
  model_->announce();
  startButton_->setText(ToQString(session_.startLabel()));
  startButton_->setEnabled(session_.startEnabled());
  saveButton_->setEnabled(session_.saveEnabled());
  if (!session_.capturing())
    timer_.stop();
  else if (!timer_.isActive())
    timer_.start();
}

void CSnifferPage::onMacFilterEdited() {
  if (!session_.setMacFilterText(ToStdString(macFilter_->text())))
    macFilter_->setText(ToQString(session_.macFilterText()));
}

void CSnifferPage::onStartStop() {
  // A new capture starts the timer afresh, a full 500 ms before its first tick.
  timer_.stop();
  session_.startStop();
  showCaptureState();
}

void CSnifferPage::onCaptureTick() {
  session_.tick();
  showCaptureState();
}

std::unique_ptr<CSnifferDataDialog> CSnifferPage::makeDataDialog(std::size_t row) {
  const auto bytes = session_.openRecord(row);
  if (!bytes) return nullptr;
  return std::make_unique<CSnifferDataDialog>(bytes->descriptor, bytes->frame, this);
}

void CSnifferPage::onOpenSelectedRecord() {
  const QModelIndexList selected = list_->selectionModel()->selectedRows();
  if (selected.isEmpty()) return;
  const auto row = static_cast<std::size_t>(selected.front().row());
  std::unique_ptr<CSnifferDataDialog> dialog = makeDataDialog(row);
  if (!dialog) return;
  // The dialog edits the stored record in place: no tick may add to the
  // store (or, with Wrap Around, write over this record) while it is open.
  // The driver's ring keeps what arrives meanwhile.
  const bool wasTicking = timer_.isActive();
  timer_.stop();
  dialog->exec();
  session_.recordEdited(row);
  model_->rowChanged(row);
  if (wasTicking && session_.capturing()) timer_.start();
}

void CSnifferPage::onSaveFile() {
  runLong(tr("Saving the packet file"), [this] { session_.saveFile(); });
}

void CSnifferPage::onLoadFile() {
  runLong(tr("Loading the packet file"), [this] { session_.loadFile(); });
  showCaptureState();
}

void CSnifferPage::onExportPcap() {
  runLong(tr("Exporting the capture as pcap"), [this] { session_.exportPcap(); });
}
