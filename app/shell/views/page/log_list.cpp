#include "app/shell/views/page/log_list.h"

#include <QAbstractListModel>
#include <QFontDatabase>

#include "app/shell/views/page/qt_text.h"

namespace kqa {

// The rows of a LogList: a flat list of texts, appended in batches.
class LogModel final : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rows_.size()) return {};
    return role == Qt::DisplayRole ? QVariant(rows_[index.row()]) : QVariant();
  }

  void append(const QStringList& rows) {
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    rows_ += rows;
    endInsertRows();
  }
  void clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
  }
  const QStringList& rows() const { return rows_; }

 private:
  QStringList rows_;
};

LogList::LogList(QWidget* parent) : QListView(parent), model_(new LogModel(this)) {
  setModel(model_);
  setUniformItemSizes(true);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  flushTimer_.setSingleShot(true);
  flushTimer_.setInterval(0);
  connect(&flushTimer_, &QTimer::timeout, this, &LogList::flush);
}

LogList::~LogList() = default;

void LogList::clear() {
  queued_.clear();
  model_->clear();
}

void LogList::append(std::string_view entry) {
  while (!entry.empty() && (entry.back() == '\n' || entry.back() == '\r')) entry.remove_suffix(1);
  if (queued_.isEmpty()) {
    queuedSince_.start();
    flushTimer_.start();
  }
  queued_ << ToQString(entry);
  // The event loop has not come round since the first queued row (a long
  // operation runs): show what has arrived, painted at once.
  if (queuedSince_.elapsed() >= liveFlushMs_) {
    flush();
    viewport()->repaint();
  }
}

void LogList::flush() {
  flushTimer_.stop();
  if (queued_.isEmpty()) return;
  model_->append(queued_);
  queued_.clear();
  const QModelIndex last = model_->index(model_->rowCount() - 1);
  setCurrentIndex(last);
  scrollTo(last);
}

QStringList LogList::entries() const {
  return model_->rows() + queued_;
}

}  // namespace kqa
