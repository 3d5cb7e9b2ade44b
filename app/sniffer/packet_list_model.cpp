#include "app/sniffer/packet_list_model.h"

namespace kqa::sniffer {

void PacketListModel::clear() {
  rows_.clear();
  committed_ = 0;
  resetPending_ = true;
}

PacketListModel::Update PacketListModel::pendingUpdate() const {
  if (resetPending_) return {true, 0, rows_.size()};
  return {false, committed_, rows_.size() - committed_};
}

void PacketListModel::commit() {
  committed_ = rows_.size();
  resetPending_ = false;
}

}  // namespace kqa::sniffer
