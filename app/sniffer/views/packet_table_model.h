#pragma once

#include <QAbstractTableModel>

#include "app/sniffer/packet_list_model.h"

namespace kqa::sniffer {

// The packet list as the view sees it: a table over the logic's
// PacketListModel. A cell's text is made only when the view draws it, and
// the rows a tick brought reach the view as one insertion (announce()), or
// as one reset when the list was emptied (a new capture, a load, Wrap
// Around), so 1,000 new rows cost the view one update.
class PacketTableModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit PacketTableModel(PacketListModel& rows, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Tells the view what the logic added or emptied since the last call.
  void announce();
  // A row whose record was edited in place.
  void rowChanged(std::size_t row);

 private:
  PacketListModel& rows_;
};

}  // namespace kqa::sniffer
