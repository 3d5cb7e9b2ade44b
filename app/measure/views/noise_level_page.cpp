#include "app/measure/views/noise_level_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace measure = kqa::measure;

namespace {

constexpr int kListIds[] = {1000, 1001, 1377, 1378};
constexpr int kLabelWidth = 70;
constexpr int kChannelWidth = 58;

const std::vector<std::vector<int>> kListChannels = {
    {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
    {36, 38, 40, 44, 46, 48, 52, 54, 56, 60, 62, 64},
    {100, 102, 104, 108, 110, 112, 116, 118, 120, 124, 126, 128, 132, 134, 136},
    {140, 149, 151, 153, 157, 159, 161, 165, 167, 169, 171, 173},
};

QTableWidget* ReportList(int id, const std::vector<int>& channels, QWidget* parent) {
  auto* list = new QTableWidget(3, static_cast<int>(channels.size()) + 1, parent);
  list->setObjectName(QStringLiteral("list%1").arg(id));
  list->verticalHeader()->hide();
  list->setShowGrid(true);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setSelectionMode(QAbstractItemView::NoSelection);
  list->setFocusPolicy(Qt::NoFocus);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QStringList captions{QString()};
  for (int channel : channels) captions << CNoiseLevelPage::tr("Ch %1").arg(channel);
  list->setHorizontalHeaderLabels(captions);
  list->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list->horizontalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
  list->setColumnWidth(0, kLabelWidth);
  for (int column = 1; column < list->columnCount(); ++column)
    list->setColumnWidth(column, kChannelWidth);
  list->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  const int height = list->horizontalHeader()->sizeHint().height() +
                     3 * list->verticalHeader()->defaultSectionSize() + 2 * list->frameWidth() +
                     list->horizontalScrollBar()->sizeHint().height();
  list->setFixedHeight(height);
  return list;
}

}  // namespace

CNoiseLevelPage::CNoiseLevelPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent), device_(services.device), memoryMode_(services.memoryMode), channels_(services.channels) {
  auto* layout = new QVBoxLayout(this);
  const QString groups[] = {tr("2.4G"), tr("5G"), tr("5G"), tr("5G")};
  for (std::size_t i = 0; i < lists_.size(); ++i) {
    auto* group = new QGroupBox(groups[i], this);
    auto* inside = new QVBoxLayout(group);
    lists_[i] = ReportList(kListIds[i], kListChannels[i], group);
    clearList(*lists_[i]);
    inside->addWidget(lists_[i]);
    layout->addWidget(group);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(button(tr("2.4G START"), [this] { onStart24(); }));
  buttons->addWidget(button(tr("5G START"), [this] { onStart5(); }));
  buttons->addWidget(button(tr("START ALL"), [this] { onStartAll(); }));
  buttons->addWidget(progressBar(), 1);
  layout->addLayout(buttons);
  layout->addStretch(1);
}

QTableWidget& CNoiseLevelPage::list(int id) const {
  for (std::size_t i = 0; i < lists_.size(); ++i)
    if (kListIds[i] == id) return *lists_[i];
  return *lists_.front();
}

QString CNoiseLevelPage::cell(int channelIndex, int path) const {
  const measure::NoiseColumn column = measure::NoiseColumnOf(channelIndex);
  const QTableWidgetItem* item = list(column.list).item(path, column.column);
  return item == nullptr ? QString() : item->text();
}

void CNoiseLevelPage::clearList(QTableWidget& list) {
  list.clearContents();
  for (int row = 0; row < 3; ++row)
    list.setItem(row, 0, new QTableWidgetItem(tr("RSSI %1 :").arg(row)));
}

void CNoiseLevelPage::onStart24() {
  clearList(*lists_[0]);
  scan(measure::NoiseBand::TwoPointFour);
}

void CNoiseLevelPage::onStart5() {
  for (std::size_t i = 1; i < lists_.size(); ++i) clearList(*lists_[i]);
  scan(measure::NoiseBand::Five);
}

void CNoiseLevelPage::onStartAll() {
  scan(measure::NoiseBand::TwoPointFour);
  scan(measure::NoiseBand::Five);
}

void CNoiseLevelPage::scan(measure::NoiseBand band) {
  runLong(tr("Scanning the noise level"), [this, band] {
    measure::NoiseScanOptions options;
    options.band = band;
    options.offsets = measure::BoardRssiOffsets({device_, memoryMode_}, band);
    const std::size_t channels = measure::NoiseScanChannels(channels_, band).size();
    std::size_t done = 0;
    const kqa::page::Progress progress = progressSink();
    measure::RunNoiseScan(device_, memoryMode_, channels_, *this, options, nullptr,
                          [&](const measure::NoiseChannelResult& result) {
                            show(result);
                            progress(++done, channels);
                          });
  });
}

void CNoiseLevelPage::show(const measure::NoiseChannelResult& result) {
  const measure::NoiseColumn column = measure::NoiseColumnOf(result.index);
  QTableWidget& table = list(column.list);
  for (int path = 0; path < 3; ++path) {
    const auto& rssi = result.rssi[static_cast<std::size_t>(path)];
    if (!rssi) continue;
    auto* item = new QTableWidgetItem(QString::number(*rssi));
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    table.setItem(path, column.column, item);
  }
  table.viewport()->repaint();  // the scan runs without the event loop
}

void CNoiseLevelPage::selectChannel(int index) {
  channels_.channelIndex = index;
  tellOthers(kqa::page::ChannelChanged{index, true});
}

void CNoiseLevelPage::toggleReceive() {
  tellOthers(kqa::page::ToggleReceive{});
}
