#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "app/measure/evm_component.h"
#include "app/measure/fft_graph_tool.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

class CGraph;

// "FFT Graph": captures what the receiver sees and shows it over frequency
// (an averaged spectrum with its noise figure, against the golden unit's) or
// over time (I and Q, with the RX EVM when the EVM component loads).
//
// Captures repeat on the page's one worker thread (RunFftCaptures) until
// Stop clears the running flag; the worker ends after the capture under way.
// Each processed capture reaches the window as a queued signal carrying a
// copy (FftFrame), so the window stays responsive and only draws the newest.
// StopActivities, a change of the run's settings and the page's end join the
// worker, so no capture outlives the page or the program.
class CFftGraphPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CFftGraphPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
  ~CFftGraphPage() override;

  const kqa::measure::FftGraphTool& tool() const { return tool_; }
  CGraph& graph() const { return *graph_; }
  bool capturing() const { return worker_.joinable(); }
  // The newest capture drawn (null before the first), and how many were drawn.
  const std::shared_ptr<const kqa::measure::FftFrame>& lastFrame() const { return lastFrame_; }
  int framesDrawn() const { return framesDrawn_; }
  QString evmText() const;

  // The controls' handlers, public so that tests and the screenshot tool can
  // drive the page like a user.
  void onStartStop();
  void onSaveAdcData();
  void onRegisterReadWrite();
  // Stops a run and waits for its worker (after the capture under way).
  void stopCapture();

 signals:
  void captured(std::shared_ptr<const kqa::measure::FftFrame> frame);
  void runEnded(int run);

 protected:
  void onInitDialog() override;
  void onStopActivities() override { stopCapture(); }
  void onChannelChanged(const kqa::page::ChannelChanged& event) override;

 private:
  QWidget* captureGroup();
  QWidget* channelGroup();
  QWidget* displayGroup();
  QWidget* triggerGroup();
  QWidget* registerGroup();

  void startCapture();
  // A setting the worker uses changed: a running capture goes on with it.
  void restartIfCapturing();
  void endRun();
  void onCaptured(const std::shared_ptr<const kqa::measure::FftFrame>& frame);
  void onRunEnded(int run);
  void onChannelChosen(int index);
  void onBandwidthChosen(int index);
  void onPathChosen();
  void onDomainChosen();
  void onTimeRangeChosen();
  void readControlsIntoTool();
  void showRunning(bool running);
  void showGain();
  void redraw();

  kqa::device::DeviceContext& device_;
  kqa::device::ChannelState& channels_;
  kqa::measure::FftGraphTool tool_;

  // The worker and what it shares with the window: the running flag (Stop
  // clears it), the number of the newest capture, and its sample store,
  // which only the worker touches.
  std::thread worker_;
  std::atomic<bool> running_ = false;
  std::atomic<std::uint64_t> newest_ = 0;
  kqa::measure::SampleStore store_;
  std::unique_ptr<kqa::measure::EvmComponent> evm_;
  kqa::measure::FftCaptureSettings runSettings_;
  int run_ = 0;

  std::shared_ptr<const kqa::measure::FftFrame> lastFrame_;
  int framesDrawn_ = 0;

  CGraph* graph_;
  QPushButton* startButton_;
  QPushButton* saveButton_;
  QSlider* pause_;
  QLabel* evmLabel_;
  QComboBox* channelList_;
  QComboBox* bandwidthList_;
  QComboBox* pathList_;
  QCheckBox* oneRxPath_;
  QRadioButton* frequency_;
  QRadioButton* time_;
  QCheckBox* golden_;
  QCheckBox* showI_;
  QCheckBox* showQ_;
  QRadioButton* autoTrigger_;
  QRadioButton* manualTrigger_;
  QButtonGroup* timeRanges_;
  QLineEdit* triggerOffset_;
  QRadioButton* registerWrite_;
  QLineEdit* registerId_;
  QLineEdit* registerValue_;
};
