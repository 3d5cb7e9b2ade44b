#pragma once

#include <QTimer>
#include <cstddef>
#include <memory>

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"
#include "app/sniffer/capture_session.h"

class CSnifferDataDialog;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace kqa::sniffer {
class PacketTableModel;
}

// "Sniffer": captures 802.11 frames, lists and filters them, keeps up to
// 20,000 in the store, opens one in the data dialog, and saves and loads
// ".pac" files (and exports pcap). CaptureSession does the work; the widget
// mirrors the check boxes, runs the 500 ms timer while capturing, and tells
// the list's view of the rows each call brought. A running capture stops in
// onStopActivities (when the device goes and when the sheet closes).
class CSnifferPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CSnifferPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
  ~CSnifferPage() override;

  const kqa::sniffer::CaptureSession& session() const { return session_; }
  QTreeView& list() const { return *list_; }
  bool timerRunning() const { return timer_.isActive(); }

  // The data dialog bound to a row's record, or null for no row.
  std::unique_ptr<CSnifferDataDialog> makeDataDialog(std::size_t row);

  // The controls' handlers, public so that tests and the screenshot tool can
  // drive the page like a user.
  void onStartStop();
  void onCaptureTick();
  void onOpenSelectedRecord();
  void onSaveFile();
  void onLoadFile();
  void onExportPcap();

 protected:
  void onInitDialog() override;
  void onStopActivities() override;

 private:
  QWidget* fileButtons();
  QWidget* filterGroup();
  QTreeView* packetList();
  QCheckBox* checkBox(const QString& caption, bool& state);
  void onMacFilterEdited();
  // After a call that may have changed the rows or the capture state.
  void showCaptureState();

  kqa::sniffer::CaptureSession session_;
  QTimer timer_;
  kqa::sniffer::PacketTableModel* model_;
  QPushButton* startButton_;
  QPushButton* saveButton_;
  QLineEdit* macFilter_;
  QTreeView* list_;
};
