#include "app/measure/views/fft_graph_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/measure/views/graph.h"
#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/qt_text.h"

using kqa::ToQString;
using kqa::ToStdString;
using kqa::measure::Domain;
namespace measure = kqa::measure;

namespace {

const QString kStart = CFftGraphPage::tr("Start &Capture");
const QString kStop = CFftGraphPage::tr("Stop &Capture");
constexpr int kTimeRanges[] = {200, 100, 50, 20};

QRadioButton* Radio(const QString& caption, QButtonGroup* group, QWidget* parent) {
  auto* radio = new QRadioButton(caption, parent);
  group->addButton(radio);
  return radio;
}

}  // namespace

CFftGraphPage::CFftGraphPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent), device_(services.device), channels_(services.channels), tool_(services.device) {
  graph_ = new CGraph(this);
  graph_->setObjectName(QStringLiteral("graph"));
  auto* controls = new QHBoxLayout;
  controls->addWidget(captureGroup());
  controls->addWidget(channelGroup());
  controls->addWidget(displayGroup());
  controls->addWidget(triggerGroup());
  controls->addWidget(registerGroup());
  controls->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(graph_, 1);
  layout->addLayout(controls);

  // The worker's results arrive on the window's thread, in order.
  connect(this, &CFftGraphPage::captured, this, &CFftGraphPage::onCaptured, Qt::QueuedConnection);
  connect(this, &CFftGraphPage::runEnded, this, &CFftGraphPage::onRunEnded, Qt::QueuedConnection);
}

CFftGraphPage::~CFftGraphPage() {
  // Closing the program during a capture: the worker ends after it.
  stopCapture();
}

QWidget* CFftGraphPage::captureGroup() {
  auto* group = new QGroupBox(tr("Capture"), this);
  auto* grid = new QGridLayout(group);
  startButton_ = button(kStart, [this] { onStartStop(); });
  startButton_->setObjectName(QStringLiteral("startCapture"));
  startButton_->setMinimumWidth(startButton_->fontMetrics().horizontalAdvance(tr("Stop Capture")) +
                                24);
  saveButton_ = button(tr("Save ADC Data"), [this] { onSaveAdcData(); });
  pause_ = new QSlider(Qt::Horizontal, group);
  pause_->setObjectName(QStringLiteral("pause"));
  pause_->setRange(0, 5);
  pause_->setPageStep(1);
  pause_->setTickPosition(QSlider::TicksBelow);
  pause_->setTracking(false);
  pause_->setToolTip(tr("Pause between captures: 200 ms a step"));
  connect(pause_, &QSlider::valueChanged, this, operation([this] { restartIfCapturing(); }));
  evmLabel_ = new QLabel(QStringLiteral("xxx.xxx dB"), group);
  evmLabel_->setObjectName(QStringLiteral("evm"));
  evmLabel_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  evmLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->addWidget(startButton_, 0, 0, 1, 2);
  grid->addWidget(saveButton_, 1, 0, 1, 2);
  grid->addWidget(new QLabel(tr("Pause"), group), 2, 0);
  grid->addWidget(pause_, 2, 1);
  grid->addWidget(new QLabel(tr("RX EVM"), group), 3, 0);
  grid->addWidget(evmLabel_, 3, 1);
  return group;
}

QWidget* CFftGraphPage::channelGroup() {
  auto* group = new QGroupBox(tr("Receiver"), this);
  auto* grid = new QGridLayout(group);
  channelList_ = new QComboBox(group);
  channelList_->setObjectName(QStringLiteral("channelList"));
  channelList_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  bandwidthList_ = new QComboBox(group);
  bandwidthList_->setObjectName(QStringLiteral("bandwidthList"));
  bandwidthList_->addItems({tr("20 MHz"), tr("40 MHz")});
  pathList_ = new QComboBox(group);
  pathList_->setObjectName(QStringLiteral("pathList"));
  oneRxPath_ = new QCheckBox(tr("One Rx Path"), group);
  connect(channelList_, &QComboBox::activated, this,
          [this](int index) { run([this, index] { onChannelChosen(index); }); });
  connect(bandwidthList_, &QComboBox::activated, this,
          [this](int index) { run([this, index] { onBandwidthChosen(index); }); });
  connect(pathList_, &QComboBox::activated, this, operation([this] { onPathChosen(); }));
  connect(oneRxPath_, &QCheckBox::clicked, this, operation([this] {
            pathList_->setEnabled(oneRxPath_->isChecked());
            onPathChosen();
            restartIfCapturing();
          }));
  grid->addWidget(new QLabel(tr("Channel"), group), 0, 0);
  grid->addWidget(channelList_, 0, 1);
  grid->addWidget(new QLabel(tr("BW"), group), 1, 0);
  grid->addWidget(bandwidthList_, 1, 1);
  grid->addWidget(oneRxPath_, 2, 0);
  grid->addWidget(pathList_, 2, 1);
  return group;
}

QWidget* CFftGraphPage::displayGroup() {
  auto* group = new QGroupBox(tr("Display"), this);
  auto* grid = new QGridLayout(group);
  auto* domains = new QButtonGroup(group);
  frequency_ = Radio(tr("&Frequency"), domains, group);
  time_ = Radio(tr("&Time"), domains, group);
  golden_ = new QCheckBox(tr("Golden Unit"), group);
  showI_ = new QCheckBox(tr("I"), group);
  showQ_ = new QCheckBox(tr("Q"), group);
  timeRanges_ = new QButtonGroup(group);
  auto* ranges = new QHBoxLayout;
  for (int range : kTimeRanges) {
    QRadioButton* radio = Radio(tr("%1 µs").arg(range), timeRanges_, group);
    timeRanges_->setId(radio, range);
    ranges->addWidget(radio);
  }
  connect(frequency_, &QRadioButton::clicked, this, operation([this] { onDomainChosen(); }));
  connect(time_, &QRadioButton::clicked, this, operation([this] { onDomainChosen(); }));
  connect(timeRanges_, &QButtonGroup::idClicked, this, operation([this] { onTimeRangeChosen(); }));
  for (QCheckBox* box : {golden_, showI_, showQ_})
    connect(box, &QCheckBox::clicked, this, [this] { redraw(); });
  grid->addWidget(frequency_, 0, 0);
  grid->addWidget(golden_, 0, 1);
  grid->addWidget(time_, 1, 0);
  auto* iq = new QHBoxLayout;
  iq->addWidget(showI_);
  iq->addWidget(showQ_);
  iq->addStretch(1);
  grid->addLayout(iq, 1, 1);
  grid->addLayout(ranges, 2, 0, 1, 2);
  return group;
}

QWidget* CFftGraphPage::triggerGroup() {
  auto* group = new QGroupBox(tr("Trigger"), this);
  auto* grid = new QGridLayout(group);
  auto* triggers = new QButtonGroup(group);
  autoTrigger_ = Radio(tr("Auto"), triggers, group);
  manualTrigger_ = Radio(tr("Manual"), triggers, group);
  triggerOffset_ = new kqa::HexLineEdit(QStringLiteral("triggerOffset"), group, 4);
  connect(triggers, &QButtonGroup::buttonClicked, this,
          operation([this] { restartIfCapturing(); }));
  connect(triggerOffset_, &QLineEdit::editingFinished, this, operation([this] {
            if (triggerOffset_->isModified()) restartIfCapturing();
            triggerOffset_->setModified(false);
          }));
  grid->addWidget(autoTrigger_, 0, 0);
  grid->addWidget(manualTrigger_, 0, 1);
  grid->addWidget(new QLabel(tr("Trigger Offset"), group), 1, 0);
  grid->addWidget(triggerOffset_, 1, 1);
  grid->setRowStretch(2, 1);
  return group;
}

QWidget* CFftGraphPage::registerGroup() {
  auto* group = new QGroupBox(tr("Register"), this);
  auto* grid = new QGridLayout(group);
  auto* targets = new QButtonGroup(group);
  QRadioButton* bbp = Radio(tr("BBP"), targets, group);
  QRadioButton* rf = Radio(tr("RF"), targets, group);
  bbp->setChecked(true);
  rf->setEnabled(false);
  auto* directions = new QButtonGroup(group);
  QRadioButton* read = Radio(tr("READ"), directions, group);
  registerWrite_ = Radio(tr("WRITE"), directions, group);
  read->setChecked(true);
  registerId_ = new QLineEdit(group);
  registerId_->setObjectName(QStringLiteral("registerId"));
  registerId_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  registerId_->setMaxLength(3);
  registerId_->setFixedWidth(registerId_->fontMetrics().horizontalAdvance(QStringLiteral("0000")) +
                             12);
  registerValue_ = new kqa::HexLineEdit(QStringLiteral("registerValue"), group, 2);
  registerValue_->setReadOnly(true);
  connect(registerWrite_, &QRadioButton::toggled, registerValue_,
          [this](bool write) { registerValue_->setReadOnly(!write); });
  grid->addWidget(bbp, 0, 0);
  grid->addWidget(rf, 0, 1);
  grid->addWidget(read, 1, 0);
  grid->addWidget(registerWrite_, 1, 1);
  grid->addWidget(new QLabel(tr("ID"), group), 2, 0);
  grid->addWidget(registerId_, 2, 1);
  grid->addWidget(new QLabel(tr("Value"), group), 3, 0);
  grid->addWidget(registerValue_, 3, 1);
  grid->addWidget(button(tr("R / W"), [this] { onRegisterReadWrite(); }), 2, 2, 2, 1);
  return group;
}

void CFftGraphPage::onInitDialog() {
  tool_.initialise();
  for (std::string_view name : channels_.channelNameTable) channelList_->addItem(ToQString(name));
  channelList_->setCurrentIndex(channels_.channelIndex);
  for (const std::string& name : measure::RxPathNames(measure::ReceivePaths(device_)))
    pathList_->addItem(ToQString(name));
  pathList_->setCurrentIndex(pathList_->count() - 1);
  oneRxPath_->setChecked(true);
  onPathChosen();
  saveButton_->setEnabled(false);
  bandwidthList_->setCurrentIndex(0);
  triggerOffset_->setText(ToQString(tool_.triggerOffsetText));
  frequency_->setChecked(true);
  autoTrigger_->setChecked(true);
  timeRanges_->button(200)->setChecked(true);
  showI_->setChecked(true);
  onDomainChosen();
}

void CFftGraphPage::readControlsIntoTool() {
  tool_.domain = time_->isChecked() ? Domain::Time : Domain::Frequency;
  tool_.manualTrigger = manualTrigger_->isChecked();
  tool_.timeRangeUs = timeRanges_->checkedId();
  tool_.bandwidthIndex = bandwidthList_->currentIndex();
  tool_.triggerOffsetText = ToStdString(triggerOffset_->text());
  tool_.pauseSteps = pause_->value();
  tool_.oneRxPath = oneRxPath_->isChecked();
}

void CFftGraphPage::onStartStop() {
  if (capturing()) {
    running_ = false;  // the worker ends after the capture under way
    return;
  }
  startCapture();
}

void CFftGraphPage::startCapture() {
  readControlsIntoTool();
  measure::FftCaptureSettings settings;
  if (tool_.prepareRun(settings) != kqa::page::Outcome::Done) return triggerOffset_->setFocus();
  tellOthers(kqa::page::StopActivities{});
  evm_ = measure::EvmComponent::Load();  // loaded again for each run
  runSettings_ = settings;
  running_ = true;
  const int run = ++run_;
  worker_ = std::thread([this, settings, run, evm = evm_.get()] {
    measure::RunFftCaptures(
        device_, settings, running_, store_, evm, [&](const measure::FftCaptureResult& result) {
          std::shared_ptr<measure::FftFrame> frame = measure::MakeFftFrame(result, settings);
          frame->sequence = ++newest_;
          emit captured(frame);
        });
    emit runEnded(run);
  });
  showRunning(true);
  showGain();
}

void CFftGraphPage::stopCapture() {
  if (!worker_.joinable()) return;
  running_ = false;
  worker_.join();
  endRun();
}

void CFftGraphPage::restartIfCapturing() {
  if (!worker_.joinable()) return;
  stopCapture();
  startCapture();
}

void CFftGraphPage::onRunEnded(int run) {
  // A run stopped and joined already (and perhaps started again) is over.
  if (run != run_ || !worker_.joinable()) return;
  worker_.join();
  endRun();
}

void CFftGraphPage::endRun() {
  evm_.reset();
  tool_.finishRun(runSettings_);
  showGain();
  showRunning(false);
}

void CFftGraphPage::showRunning(bool running) {
  startButton_->setText(running ? kStop : kStart);
  channelList_->setEnabled(!running);
  bandwidthList_->setEnabled(!running);
  saveButton_->setEnabled(!running && lastFrame_ != nullptr);
}

void CFftGraphPage::showGain() {
  // The page's hidden R65/R66 fields: kept in the tool, shown as a tip.
  channelList_->setToolTip(
      tr("BBP R65 %1, R66 %2").arg(ToQString(tool_.r65Text()), ToQString(tool_.r66Text())));
}

void CFftGraphPage::onCaptured(const std::shared_ptr<const measure::FftFrame>& frame) {
  // Captures queued behind a newer one are not drawn: the window keeps up
  // however fast the worker goes.
  if (frame->sequence < newest_.load()) return;
  lastFrame_ = frame;
  ++framesDrawn_;
  if (!frame->evmText.empty()) evmLabel_->setText(ToQString(frame->evmText));
  redraw();
  saveButton_->setEnabled(!capturing());
}

void CFftGraphPage::redraw() {
  const bool frequency = frequency_->isChecked();
  graph_->setGoldenVisible(frequency && golden_->isChecked());
  if (lastFrame_ == nullptr || (lastFrame_->domain == Domain::Frequency) != frequency) return;
  if (frequency)
    graph_->showSpectrum(lastFrame_->spectrum, golden_->isChecked());
  else
    graph_->showTimeCurves(lastFrame_->timeCurves, showI_->isChecked(), showQ_->isChecked());
}

void CFftGraphPage::onChannelChosen(int index) {
  if (index < 0) return;
  channels_.channelIndex = index;
  tellOthers(kqa::page::ChannelChanged{index, true});
  tool_.freezeGain();
  showGain();
}

void CFftGraphPage::onChannelChanged(const kqa::page::ChannelChanged& event) {
  if (event.index >= 0 && event.index < channelList_->count())
    channelList_->setCurrentIndex(event.index);
}

void CFftGraphPage::onBandwidthChosen(int index) {
  tool_.bandwidthIndex = index;
  const int span = tool_.spanMHz();
  QAbstractButton* longest = timeRanges_->button(200);
  longest->setEnabled(time_->isChecked() && measure::TimeRangeOffered(200, span));
  const int range = measure::TimeRangeFor(timeRanges_->checkedId(), span);
  timeRanges_->button(range)->setChecked(true);
  tellOthers(kqa::page::BandwidthSelected{index});
  onDomainChosen();
}

void CFftGraphPage::onPathChosen() {
  tellOthers(kqa::page::PathSelected{oneRxPath_->isChecked(), pathList_->currentIndex()});
}

void CFftGraphPage::onDomainChosen() {
  readControlsIntoTool();
  const bool frequency = tool_.domain == Domain::Frequency;
  golden_->setEnabled(frequency);
  for (QWidget* control :
       {static_cast<QWidget*>(showI_), static_cast<QWidget*>(showQ_),
        static_cast<QWidget*>(autoTrigger_), static_cast<QWidget*>(manualTrigger_)})
    control->setEnabled(!frequency);
  for (QAbstractButton* radio : timeRanges_->buttons())
    radio->setEnabled(!frequency &&
                      measure::TimeRangeOffered(timeRanges_->id(radio), tool_.spanMHz()));
  graph_->setFrame(frequency ? measure::FrequencyGraph(tool_.spanMHz())
                             : measure::TimeGraph(tool_.timeRangeUs));
  redraw();
  restartIfCapturing();
}

void CFftGraphPage::onTimeRangeChosen() {
  tool_.timeRangeUs = timeRanges_->checkedId();
  graph_->setFrame(measure::TimeGraph(tool_.timeRangeUs));
  redraw();
}

void CFftGraphPage::onSaveAdcData() {
  if (lastFrame_ == nullptr || capturing()) return;
  readControlsIntoTool();
  tool_.saveAdcData(lastFrame_->samples);
}

void CFftGraphPage::onRegisterReadWrite() {
  tool_.registerBox = {ToStdString(registerId_->text()), ToStdString(registerValue_->text()),
                       registerWrite_->isChecked() ? kqa::registers::Direction::Write
                                                   : kqa::registers::Direction::Read};
  if (tool_.registerReadWrite() == kqa::page::Outcome::Refused) return registerId_->setFocus();
  registerValue_->setText(ToQString(tool_.registerBox.valueText));
}

QString CFftGraphPage::evmText() const {
  return evmLabel_->text();
}
