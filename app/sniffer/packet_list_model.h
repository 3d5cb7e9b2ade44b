#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/sniffer/packet_row.h"

namespace kqa::sniffer {

// The list's rows without the widget: one small PacketRow per row, texts
// made when a cell is drawn, and new rows announced to the view in batches.
//
// Rows arrive (append, clear) while a tick runs; the view learns of them
// only when it asks. The widget's table model wraps it:
//
//   const auto update = rows.pendingUpdate();
//   if (update.reset)      { beginResetModel(); rows.commit(); endResetModel(); }
//   else if (update.count) { beginInsertRows({}, update.first, update.first + update.count - 1);
//                            rows.commit(); endInsertRows(); }
//
// rowCount() and text() answer for the rows the view was told about, so a
// tick that brings 1,000 rows costs the view one insertion, and a row is
// formatted only when it scrolls into sight.
class PacketListModel {
 public:
  struct Update {
    bool reset = false;     // the view must drop every row and take rowCount() afresh
    std::size_t first = 0;  // otherwise rows first .. first + count - 1 are new
    std::size_t count = 0;
  };

  PacketListModel() { rows_.reserve(kStoreRecords); }

  // Rows the view knows of.
  std::size_t rowCount() const { return committed_; }
  // Rows held, including those not yet announced.
  std::size_t rowsHeld() const { return rows_.size(); }
  const PacketRow& row(std::size_t index) const { return rows_[index]; }
  std::string text(std::size_t row, Column column) const {
    return CellText(rows_[row], row, column);
  }

  void append(const PacketRow& row) { rows_.push_back(row); }
  // Every row goes (a new capture, a loaded file, Wrap Around).
  void clear();
  // A row whose record changed in place (the data dialog edits it).
  void replace(std::size_t index, const PacketRow& row) { rows_[index] = row; }

  Update pendingUpdate() const;
  void commit();

 private:
  std::vector<PacketRow> rows_;
  std::size_t committed_ = 0;
  bool resetPending_ = false;
};

}  // namespace kqa::sniffer
