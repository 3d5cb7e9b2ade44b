#include "app/sniffer/views/packet_table_model.h"

#include "app/shell/views/page/qt_text.h"

namespace kqa::sniffer {
namespace {

Qt::Alignment AlignmentOf(int column) {
  const Alignment alignment = Columns()[static_cast<std::size_t>(column)].alignment;
  return Qt::AlignVCenter | (alignment == Alignment::Right ? Qt::AlignRight : Qt::AlignLeft);
}

}  // namespace

PacketTableModel::PacketTableModel(PacketListModel& rows, QObject* parent)
    : QAbstractTableModel(parent), rows_(rows) {}

int PacketTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.rowCount());
}

int PacketTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(kColumnCount);
}

QVariant PacketTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows_.rowCount()) return {};
  if (role == Qt::DisplayRole)
    return ToQString(
        rows_.text(static_cast<std::size_t>(index.row()), static_cast<Column>(index.column())));
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(AlignmentOf(index.column()));
  return {};
}

QVariant PacketTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(kColumnCount))
    return {};
  if (role == Qt::DisplayRole) return ToQString(Columns()[static_cast<std::size_t>(section)].title);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(AlignmentOf(section));
  return {};
}

void PacketTableModel::announce() {
  const PacketListModel::Update update = rows_.pendingUpdate();
  if (update.reset) {
    beginResetModel();
    rows_.commit();
    endResetModel();
  } else if (update.count > 0) {
    beginInsertRows({}, static_cast<int>(update.first),
                    static_cast<int>(update.first + update.count - 1));
    rows_.commit();
    endInsertRows();
  }
}

void PacketTableModel::rowChanged(std::size_t row) {
  if (row >= rows_.rowCount()) return;
  const int r = static_cast<int>(row);
  emit dataChanged(index(r, 0), index(r, static_cast<int>(kColumnCount) - 1), {Qt::DisplayRole});
}

}  // namespace kqa::sniffer
