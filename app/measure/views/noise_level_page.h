#pragma once

#include <QStringList>
#include <array>

#include "app/measure/noise_scan.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class QTableWidget;

// "Noise Level": the noise floor the receiver reports on every channel, as
// the trimmed mean of ten RSSI readings per receive path. The scan tunes
// through the TX/RX page (ChannelChanged with tune, ToggleReceive) and runs
// on the window's thread with the progress bar moving.
class CNoiseLevelPage : public kqa::PropertyPage, private kqa::measure::NoiseScanTuner {
  Q_OBJECT

 public:
  explicit CNoiseLevelPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  // The report list with the page's id (1000, 1001, 1377, 1378).
  QTableWidget& list(int id) const;
  // The text of a channel's cell for a receive path (row 0..2).
  QString cell(int channelIndex, int path) const;

  void onStart24();
  void onStart5();
  void onStartAll();

 private:
  void clearList(QTableWidget& list);
  void scan(kqa::measure::NoiseBand band);
  void show(const kqa::measure::NoiseChannelResult& result);

  // NoiseScanTuner: through the TX/RX page.
  void selectChannel(int index) override;
  void toggleReceive() override;

  kqa::device::DeviceContext& device_;
  kqa::device::ConfigMemoryMode& memoryMode_;
  kqa::device::ChannelState& channels_;
  std::array<QTableWidget*, 4> lists_{};
};
