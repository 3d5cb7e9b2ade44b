#include "app/txrx/views/txrx_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/qt_text.h"
#include "app/txrx/frame_presets.h"
#include "app/txrx/rate_lists.h"
#include "app/txrx/views/set_tx_descriptor.h"
#include "app/txrx/views/set_tx_env.h"

using kqa::ToQString;
using kqa::ToStdString;
using kqa::txrx::Antenna;
using kqa::txrx::ContinuousTest;
using kqa::txrx::DacChoice;
using kqa::txrx::PageTimer;

namespace {

constexpr const char* kDebugInfoHelp =
    "DebugInfo Length = 64 (TX_DESCRIPTOR_SIZE) + 48 (SCATTER_CONTROL) = 112 bytes\n\n\n"
    "TX_DESCRIPTOR please see the spec\n\n\nSCATTER_CONTROL illustrate bellow:\n"
    " typedef struct _SCATTER_CONTROL {\n\tULONG\tTotLength;\n\tULONG\tScatterNum;\n"
    "\tULONG\tScatterSht[5];\n\tULONG\tScatterLen[5];\n }SCATTER_CONTROL, *PSCATTER_CONTROL;\n";

const char* const kQueueNames[kqa::txrx::kQueueSlots] = {"AC0", "AC1", "AC2", "AC3", "MGMT",
                                                         "HCCA", "AC4", "AC5", "AC6", "AC7"};

// A caption and its field on one row of a grid.
void Row(QGridLayout* grid, int row, int column, const QString& caption, QWidget* field, int span = 1) {
  grid->addWidget(new QLabel(caption, grid->parentWidget()), row, column, Qt::AlignRight);
  grid->addWidget(field, row, column + 1, 1, span);
}

}  // namespace

CTXRXPage::CTXRXPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent),
      services_(services),
      tools_(services.device),
      tester_(services.configMemory(), services.channels, &tools_) {
  tools_.attach(tester_);
  runDialog_ = [](QDialog& dialog) { return dialog.exec(); };
  for (PageTimer timer : kqa::txrx::kPageTimers) {
    auto* qtimer = new QTimer(this);
    connect(qtimer, &QTimer::timeout, this, [this, timer] { run([this, timer] { onTimer(timer); }); });
    timers_[timer] = qtimer;
  }
  auto* left = new QVBoxLayout;
  left->addWidget(radioGroup());
  left->addWidget(frameGroup());
  left->addWidget(stationGroup());
  left->addStretch(1);
  // Each group is built by a method of its own; the calibration buttons of
  // powerGroup() wait for their handlers, and the firmware commands get a
  // group of their own in this column, below the tools.
  auto* middle = new QVBoxLayout;
  middle->addWidget(transmitGroup());
  middle->addWidget(powerGroup());
  middle->addWidget(toolsGroup());
  middle->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(receiveGroup());
  right->addWidget(calibrationGroup());
  right->addWidget(firmwareGroup());
  right->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 5);
  layout->addLayout(middle, 3);
  layout->addLayout(right, 3);
  showState();
}

// --- Building the controls -------------------------------------------------------

QCheckBox* CTXRXPage::checkBox(const QString& caption, const QString& name, std::function<void(bool)> handler) {
  auto* box = new QCheckBox(caption, this);
  box->setObjectName(name);
  if (handler)
    connect(box, &QCheckBox::clicked, this, [this, box, handler = std::move(handler)](bool checked) {
      if (!run([&] { act([&] { handler(checked); }); })) box->setChecked(!checked);
    });
  return box;
}

QLabel* CTXRXPage::display(const QString& name) {
  auto* label = new QLabel(this);
  label->setObjectName(name);
  label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("00000 / 000000")));
  displays_[name] = label;
  return label;
}

QLineEdit* CTXRXPage::textField(const QString& name, int digits, bool hex) {
  QLineEdit* edit = hex ? new kqa::HexLineEdit(name, this, digits) : new QLineEdit(this);
  if (!hex) {
    edit->setObjectName(name);
    edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    edit->setValidator(new QIntValidator(0, 0x7FFFFFFF, edit));
    const int width = edit->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0'))) + 16;
    edit->setMinimumWidth(width);
    edit->setMaximumWidth(width + 16);
  }
  fields_[name] = edit;
  return edit;
}

QWidget* CTXRXPage::radioGroup() {
  auto* group = new QGroupBox(tr("Channel"), this);
  auto* grid = new QGridLayout(group);
  channelList_ = new QComboBox(group);
  channelList_->setObjectName(QStringLiteral("channelList"));
  for (std::string_view name : services_.channels.channelNameTable) channelList_->addItem(ToQString(name));
  bandwidthList_ = new QComboBox(group);
  bandwidthList_->setObjectName(QStringLiteral("bandwidthList"));
  bandwidthList_->addItems({QStringLiteral("20"), QStringLiteral("40")});
  txBandList_ = new QComboBox(group);
  txBandList_->setObjectName(QStringLiteral("txBandList"));
  txBandList_->addItems({tr("Lower"), tr("Upper")});
  modeList_ = new QComboBox(group);
  modeList_->setObjectName(QStringLiteral("modeList"));
  for (std::string_view name : kqa::txrx::ModeNames()) modeList_->addItem(ToQString(name));
  rateList_ = new QComboBox(group);
  rateList_->setObjectName(QStringLiteral("rateList"));
  rateList_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  fillRateList();

  connect(channelList_, &QComboBox::activated, this, [this](int i) { run([this, i] { onChannelChosen(i); }); });
  connect(bandwidthList_, &QComboBox::activated, this, [this](int i) { run([this, i] { onBandwidthChosen(i); }); });
  connect(modeList_, &QComboBox::activated, this, [this](int i) { run([this, i] { onModeChosen(i); }); });
  connect(rateList_, &QComboBox::activated, this, [this](int i) { run([this, i] { onRateChosen(i); }); });
  connect(txBandList_, &QComboBox::activated, this,
          [this](int i) { run([this, i] { act([&] { tester_.selectTxBand(i == 1); }); }); });

  stbc_ = checkBox(tr("STBC"), QStringLiteral("stbc"), [this](bool on) { tester_.setStbc(on); });
  sgi_ = checkBox(tr("SGI"), QStringLiteral("sgi"), [this](bool on) { tester_.run.sgi = on; });
  sideBand_ = checkBox(tr("2.4G Side Band Option"), QStringLiteral("sideBand"),
                       [this](bool on) { tester_.setSideBandOption(on); });
  Row(grid, 0, 0, tr("Channel"), channelList_);
  Row(grid, 0, 2, tr("Bandwidth"), bandwidthList_);
  Row(grid, 0, 4, tr("TxBandSel"), txBandList_);
  Row(grid, 1, 0, tr("Mode"), modeList_);
  Row(grid, 1, 2, tr("Rate"), rateList_, 3);
  auto* boxes = new QHBoxLayout;
  for (QWidget* box : {static_cast<QWidget*>(stbc_), static_cast<QWidget*>(sgi_), static_cast<QWidget*>(sideBand_)})
    boxes->addWidget(box);
  boxes->addStretch(1);
  grid->addLayout(boxes, 2, 0, 1, 6);
  return group;
}

QWidget* CTXRXPage::frameGroup() {
  auto* group = new QGroupBox(tr("Frame"), this);
  auto* grid = new QGridLayout(group);
  frameTypeList_ = new QComboBox(group);
  frameTypeList_->setObjectName(QStringLiteral("frameTypeList"));
  for (const kqa::txrx::FramePreset& preset : kqa::txrx::FramePresets()) frameTypeList_->addItem(ToQString(preset.name));
  connect(frameTypeList_, &QComboBox::activated, this, [this](int i) { run([this, i] { onFrameTypeChosen(i); }); });
  setTxEnv_ = button(tr("Set Tx Env..."), [this] { runEnvironmentDialog(); });
  QPushButton* help = button(tr("h"), [this] { services_.device.prompt.showMessage(kDebugInfoHelp); });
  help->setFixedWidth(help->sizeHint().height() * 3 / 2);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(tr("Frame Type"), group));
  top->addWidget(frameTypeList_, 1);
  top->addWidget(button(tr("Set TxD"), [this] { runDescriptorDialog(); }));
  top->addWidget(setTxEnv_);
  top->addWidget(help);
  grid->addLayout(top, 0, 0, 1, 8);

  Row(grid, 1, 0, tr("FC"), textField(QStringLiteral("fc"), 4));
  Row(grid, 1, 2, tr("Dur"), textField(QStringLiteral("dur"), 4));
  Row(grid, 1, 4, tr("Seq"), textField(QStringLiteral("seq"), 4));
  Row(grid, 1, 6, tr("Repeat Pattern"), textField(QStringLiteral("repeatPattern"), 2));
  Row(grid, 2, 0, tr("Address1"), textField(QStringLiteral("address1"), 12), 2);
  Row(grid, 2, 4, tr("Address2"), textField(QStringLiteral("address2"), 12), 3);
  Row(grid, 3, 0, tr("Address3"), textField(QStringLiteral("address3"), 12), 2);
  Row(grid, 3, 4, tr("Qos Control(2)"), textField(QStringLiteral("qosControl"), 4));
  QLineEdit* payload = textField(QStringLiteral("payload"), 2 * kqa::txrx::kMaxTotalBytes);
  payload->setMinimumWidth(0);
  payload->setMaximumWidth(QWIDGETSIZE_MAX);
  Row(grid, 4, 0, tr("Payload"), payload, 7);
  Row(grid, 5, 0, tr("Total bytes"), textField(QStringLiteral("totalBytes"), 5, false));
  Row(grid, 5, 2, tr("Repeat"), textField(QStringLiteral("repeat"), 8, false));
  Row(grid, 5, 4, tr("IPG"), textField(QStringLiteral("ipg"), 5, false));
  QLineEdit* density = textField(QStringLiteral("mpduDensity"), 2, false);
  Row(grid, 5, 6, tr("MPDU density"), density);
  mpduDensityLabel_ = qobject_cast<QLabel*>(grid->itemAtPosition(5, 6)->widget());

  ampdu_ = checkBox(tr("A-MPDU"), QStringLiteral("ampdu"), nullptr);
  waitAck_ = checkBox(tr("Wait for ACK"), QStringLiteral("waitAck"), nullptr);
  seqByHw_ = checkBox(tr("SEQ by HW"), QStringLiteral("seqByHw"), nullptr);
  wiv_ = checkBox(tr("WIV"), QStringLiteral("wiv"), nullptr);
  debugInfo_ = checkBox(tr("Debug Info"), QStringLiteral("debugInfo"), nullptr);
  swCrc_ = checkBox(tr("SW CRC"), QStringLiteral("swCrc"), nullptr);
  inc_ = checkBox(tr("Inc"), QStringLiteral("inc"), nullptr);
  rdg_ = checkBox(tr("RDG"), QStringLiteral("rdg"), nullptr);
  aggregate_ = checkBox(tr("Aggregate"), QStringLiteral("aggregate"), [this](bool) {});
  QLineEdit* count = textField(QStringLiteral("aggregateCount"), 2, false);
  count->setValidator(new QIntValidator(1, kqa::txrx::kMaxAggregate, count));
  auto* boxes = new QGridLayout;
  const QWidget* order[] = {ampdu_, waitAck_, seqByHw_, wiv_, debugInfo_, swCrc_, inc_, rdg_};
  for (int i = 0; i < 8; ++i) boxes->addWidget(const_cast<QWidget*>(order[i]), i / 4, i % 4);
  auto* aggregate = new QHBoxLayout;
  aggregate->addWidget(aggregate_);
  aggregate->addWidget(count);
  boxes->addLayout(aggregate, 1, 4);
  boxes->setColumnStretch(5, 1);
  grid->addLayout(boxes, 6, 0, 1, 8);
  grid->setColumnStretch(7, 1);
  return group;
}

QWidget* CTXRXPage::stationGroup() {
  auto* group = new QGroupBox(tr("Station"), this);
  auto* grid = new QGridLayout(group);
  autoResponder_ = checkBox(tr("Auto Responder"), QStringLiteral("autoResponder"),
                            [this](bool on) { tester_.setAutoResponder(on); });
  auto* address = new QHBoxLayout;
  address->addWidget(new QLabel(tr("MAC Address"), group));
  address->addWidget(textField(QStringLiteral("macAddress"), 12));
  address->addWidget(button(tr("Set"), [this] { act([this] { tester_.setStationAddress(); }); }));
  address->addWidget(autoResponder_);
  address->addStretch(1);
  grid->addLayout(address, 0, 0, 1, 2);

  auto* dacs = new QButtonGroup(this);
  dacBoth_ = new QRadioButton(tr("Both DACs"), group);
  dac0_ = new QRadioButton(tr("DAC 0"), group);
  dac1_ = new QRadioButton(tr("DAC 1"), group);
  auto* antennas = new QButtonGroup(this);
  antennaMain_ = new QRadioButton(tr("Main"), group);
  antennaAux_ = new QRadioButton(tr("Aux"), group);
  auto* line = new QHBoxLayout;
  const std::pair<QRadioButton*, DacChoice> dacChoices[] = {
      {dacBoth_, DacChoice::Both}, {dac0_, DacChoice::Dac0}, {dac1_, DacChoice::Dac1}};
  for (const auto& [radio, choice] : dacChoices) {
    dacs->addButton(radio);
    line->addWidget(radio);
    connect(radio, &QRadioButton::clicked, this,
            [this, c = choice] { run([&] { act([&] { tester_.chooseDac(c); }); }); });
  }
  line->addSpacing(24);
  for (const auto& [radio, choice] : {std::pair{antennaMain_, Antenna::Main}, std::pair{antennaAux_, Antenna::Aux}}) {
    antennas->addButton(radio);
    line->addWidget(radio);
    connect(radio, &QRadioButton::clicked, this,
            [this, c = choice] { run([&] { act([&] { tester_.chooseAntenna(c); }); }); });
  }
  line->addStretch(1);
  line->addWidget(display(QStringLiteral("chipInfo")));
  grid->addLayout(line, 1, 0, 1, 2);
  return group;
}

QWidget* CTXRXPage::transmitGroup() {
  auto* group = new QGroupBox(tr("Transmit"), this);
  auto* grid = new QGridLayout(group);
  startTx_ = button(tr("Start &TX"), [this] { onStartTx(); });
  startTx_->setObjectName(QStringLiteral("startTx"));
  grid->addWidget(startTx_, 0, 0);
  Row(grid, 0, 1, tr("Transmitted :"), display(QStringLiteral("transmitted")));
  contiTx_ = checkBox(tr("Conti. Tx"), QStringLiteral("contiTx"),
                      [this](bool on) { tester_.setContinuousTest(ContinuousTest::Modulated, on); });
  carrier_ = checkBox(tr("Carrier test"), QStringLiteral("carrierTest"),
                      [this](bool on) { tester_.setContinuousTest(ContinuousTest::Carrier, on); });
  suppression_ = checkBox(tr("Carrier Suppression"), QStringLiteral("carrierSuppression"),
                          [this](bool on) { tester_.setContinuousTest(ContinuousTest::Suppression, on); });
  japanFilter_ = checkBox(tr("Japan filter"), QStringLiteral("japanFilter"), [](bool) {});
  seqDbg_ = checkBox(tr("Seq_dbg"), QStringLiteral("seqDbg"), nullptr);
  grid->addWidget(contiTx_, 1, 0);
  grid->addWidget(carrier_, 1, 1);
  grid->addWidget(suppression_, 1, 2);
  grid->addWidget(japanFilter_, 2, 0);
  grid->addWidget(seqDbg_, 2, 1);
  // The queues' counts, shown once the descriptor dialog was accepted.
  for (int slot = 0; slot < kqa::txrx::kQueueSlots; ++slot) {
    const auto i = static_cast<std::size_t>(slot);
    queueCaptions_[i] = new QLabel(QString::fromLatin1(kQueueNames[i]) + QStringLiteral(" :"), group);
    queues_[i] = display(QStringLiteral("queue%1").arg(slot));
    queues_[i]->setMinimumWidth(queues_[i]->fontMetrics().horizontalAdvance(QStringLiteral("00000000")));
    const int row = 3 + slot % 5;
    const int column = slot < 5 ? 0 : 2;
    grid->addWidget(queueCaptions_[i], row, column, Qt::AlignRight);
    grid->addWidget(queues_[i], row, column + 1);
  }
  return group;
}

QWidget* CTXRXPage::powerGroup() {
  // Power and frequency offset of the channel; the calibrations trim them.
  auto* group = new QGroupBox(tr("TX Power"), this);
  auto* grid = new QGridLayout(group);
  const std::pair<QString, QString> fields[] = {{tr("TX Power0 (Hex)"), QStringLiteral("tx0Power")},
                                                {tr("TX Power1 (Hex)"), QStringLiteral("tx1Power")},
                                                {tr("Freq. Offset (Hex)"), QStringLiteral("freqOffset")}};
  int row = 0;
  for (const auto& [caption, name] : fields) {
    QPushButton* calibrate = button(tr("Calibrate"), [this, field = name] { onCalibrateTrim(field); });
    calibrate->setObjectName(name + QStringLiteral("Calibrate"));
    Row(grid, row, 0, caption, textField(name, 2));
    grid->addWidget(calibrate, row++, 2);
  }
  tssi_ = checkBox(tr("TSSI"), QStringLiteral("tssi"), [this](bool on) { tester_.setTssi(on); });
  tempCom_ = checkBox(tr("Temp. Com."), QStringLiteral("tempCom"), nullptr);
  auto* boxes = new QHBoxLayout;
  boxes->addWidget(tssi_);
  boxes->addWidget(tempCom_);
  boxes->addWidget(checkBox(tr("Cal TSSI"), QStringLiteral("calTssi"), nullptr));
  boxes->addWidget(checkBox(tr("Cal Temp."), QStringLiteral("calTemp"), nullptr));
  grid->addLayout(boxes, row, 0, 1, 3);
  return group;
}

QWidget* CTXRXPage::toolsGroup() {
  // The second receive counter, one-path reception and the capture dump.
  auto* group = new QGroupBox(tr("Tools"), this);
  auto* grid = new QGridLayout(group);
  startRx2_ = button(tr("Start RX2"), [this] { act([this] { tester_.toggleSecondRx(); }); });
  startRx2_->setObjectName(QStringLiteral("startRx2"));
  grid->addWidget(startRx2_, 0, 0);
  Row(grid, 0, 1, tr("Rx :"), display(QStringLiteral("secondReceive")));
  rxPathList_ = new QComboBox(group);
  rxPathList_->setObjectName(QStringLiteral("rxPathList"));
  connect(rxPathList_, &QComboBox::activated, this,
          [this](int i) { run([this, i] { act([&] { tester_.selectRxPaths(true, i); }); }); });
  onePath_ = checkBox(tr("One RX Path"), QStringLiteral("onePath"), [this](bool on) {
    rxPathList_->clear();
    if (on)
      for (const std::string& name : kqa::txrx::RxPathNames(tester_.radio().rxPaths())) rxPathList_->addItem(ToQString(name));
    rxPathList_->setCurrentIndex(rxPathList_->count() - 1);  // "RX 0"
    tester_.selectRxPaths(on, rxPathList_->currentIndex());
  });
  grid->addWidget(onePath_, 1, 0);
  grid->addWidget(rxPathList_, 1, 1, 1, 2);
  QPushButton* capture = button(tr("Capture Mode"), [] {});
  capture->setEnabled(false);
  capture->setToolTip(tr("Arrives with the capture dump"));
  grid->addWidget(capture, 2, 0);
  return group;
}

QWidget* CTXRXPage::receiveGroup() {
  auto* group = new QGroupBox(tr("Receive"), this);
  auto* grid = new QGridLayout(group);
  startRx_ = button(tr("Start &RX"), [this] { onStartRx(); });
  startRx_->setObjectName(QStringLiteral("startRx"));
  loopback_ = checkBox(tr("Loopback"), QStringLiteral("loopback"), [this](bool on) { tester_.setLoopback(on); });
  auto* top = new QHBoxLayout;
  top->addWidget(startRx_);
  top->addWidget(loopback_);
  top->addWidget(button(tr("R&eset counter"), [this] { act([this] { tester_.resetCounters(); }); }));
  grid->addLayout(top, 0, 0, 1, 3);
  frameLoss_ = checkBox(tr("Frame Loss :"), QStringLiteral("frameLoss"), [](bool) {});
  grid->addWidget(frameLoss_, 1, 0);
  grid->addWidget(display(QStringLiteral("frameLossText")), 1, 1);
  int row = 2;
  for (std::size_t i = 0; i < kqa::txrx::kReceiveCounters; ++i) {
    counters_[i] = display(QStringLiteral("counter%1").arg(i));
    Row(grid, row++, 0, ToQString(kqa::txrx::ReceiveCounterCaptions()[i]), counters_[i]);
  }
  Row(grid, row++, 0, tr("FER :"), display(QStringLiteral("fer")));
  for (std::size_t p = 0; p < 3; ++p) {
    rssi_[p] = display(QStringLiteral("rssi%1").arg(p));
    Row(grid, row, 0, QStringLiteral("RSSI%1 = ").arg(p), rssi_[p]);
    QLineEdit* offset = textField(QStringLiteral("rssiOffset%1").arg(p), 2);
    connect(offset, &QLineEdit::editingFinished, this, [this, offset, p] {
      run([&] { act([&] { tester_.setRssiOffset(static_cast<int>(p), ToStdString(offset->text())); }); });
    });
    auto* line = new QHBoxLayout;
    line->addWidget(new QLabel(tr("Offset"), group));
    line->addWidget(offset);
    grid->addLayout(line, row++, 2);
  }
  for (std::size_t s = 0; s < 2; ++s) {
    snr_[s] = display(QStringLiteral("snr%1").arg(s));
    Row(grid, row++, 0, QStringLiteral("SNR%1 :").arg(s), snr_[s]);
  }
  QLabel* deviation = display(QStringLiteral("deviation"));
  deviation->setMinimumWidth(deviation->fontMetrics().horizontalAdvance(QStringLiteral("-00.0 KHz / 00.0 ppm")));
  Row(grid, row++, 0, tr("Freq. Deviation :"), deviation, 2);
  grid->addWidget(display(QStringLiteral("extLna")), row++, 1);
  grid->setColumnStretch(1, 1);
  return group;
}

// --- Mirroring ------------------------------------------------------------------

void CTXRXPage::readControls() {
  kqa::txrx::RunSettings& run = tester_.run;
  const auto text = [this](const char* name) { return ToStdString(fields_.at(QString::fromLatin1(name))->text()); };
  run.fc = text("fc");
  run.dur = text("dur");
  run.address1 = text("address1");
  run.address2 = text("address2");
  run.address3 = text("address3");
  run.seq = text("seq");
  run.payload = text("payload");
  run.repeatPattern = text("repeatPattern");
  run.totalBytes = text("totalBytes");
  run.repeat = text("repeat");
  run.ipg = text("ipg");
  run.mpduDensity = text("mpduDensity");
  run.qosControl = text("qosControl");
  run.aggregate = aggregate_->isChecked();
  run.aggregateCount = fields_.at(QStringLiteral("aggregateCount"))->text().toInt();
  run.ampdu = ampdu_->isChecked();
  run.waitAck = waitAck_->isChecked();
  run.seqByHw = seqByHw_->isChecked();
  run.wiv = wiv_->isChecked();
  run.debugInfo = debugInfo_->isChecked();
  run.swCrc = swCrc_->isChecked();
  run.inc = inc_->isChecked();
  run.rdg = rdg_->isChecked();
  run.sgi = sgi_->isChecked();
  run.stbc = stbc_->isChecked();
  tester_.macAddress = text("macAddress");
  tester_.frameLoss = frameLoss_->isChecked();
  tester_.japanFilter = japanFilter_->isChecked();
  tester_.sequenceDebug = seqDbg_->isChecked();
  tester_.temperatureCompensation = tempCom_->isChecked();
}

void CTXRXPage::showState() {
  const kqa::txrx::RunSettings& run = tester_.run;
  const kqa::txrx::TxRxDisplays& shown = tester_.displays();
  const auto setText = [this](const char* name, const std::string& value) {
    fields_.at(QString::fromLatin1(name))->setText(ToQString(value));
  };
  setText("fc", run.fc);
  setText("dur", run.dur);
  setText("address1", run.address1);
  setText("address2", run.address2);
  setText("address3", run.address3);
  setText("seq", run.seq);
  setText("payload", run.payload);
  setText("repeatPattern", run.repeatPattern);
  setText("totalBytes", run.totalBytes);
  setText("repeat", run.repeat);
  setText("ipg", run.ipg);
  setText("mpduDensity", run.mpduDensity);
  setText("qosControl", run.qosControl);
  setText("aggregateCount", std::to_string(run.aggregateCount));
  setText("macAddress", tester_.macAddress);
  setText("tx0Power", shown.tx0Power);
  setText("tx1Power", shown.tx1Power);
  setText("freqOffset", shown.frequencyOffset);
  for (std::size_t p = 0; p < 3; ++p) fields_.at(QStringLiteral("rssiOffset%1").arg(p))->setText(ToQString(tester_.rssiOffsets[p]));

  frameTypeList_->setCurrentIndex(run.frameType);
  channelList_->setCurrentIndex(services_.channels.channelIndex);
  bandwidthList_->setCurrentIndex(tester_.radio().wide ? 1 : 0);
  if (modeList_->currentIndex() != run.mode) {
    modeList_->setCurrentIndex(run.mode);
    fillRateList();
  }
  rateList_->setCurrentIndex(run.rate);
  txBandList_->setEnabled(tester_.txBandEnabled());
  stbc_->setEnabled(kqa::txrx::StbcEnabled(run));
  stbc_->setChecked(run.stbc);
  sgi_->setEnabled(kqa::txrx::SgiEnabled(run));
  sgi_->setChecked(run.sgi);
  const bool rdg = kqa::txrx::RdgVisible(run);
  rdg_->setVisible(rdg);
  fields_.at(QStringLiteral("mpduDensity"))->setVisible(rdg);
  mpduDensityLabel_->setVisible(rdg);
  fields_.at(QStringLiteral("aggregateCount"))->setEnabled(aggregate_->isChecked());
  fields_.at(QStringLiteral("tx1Power"))->setEnabled(tester_.tx1PowerEnabled());
  dacBoth_->setChecked(tester_.radio().dac == DacChoice::Both);
  dac0_->setChecked(tester_.radio().dac == DacChoice::Dac0);
  dac1_->setChecked(tester_.radio().dac == DacChoice::Dac1);
  antennaMain_->setChecked(tester_.radio().antenna == Antenna::Main);
  antennaAux_->setChecked(tester_.radio().antenna == Antenna::Aux);

  startTx_->setText(ToQString(tester_.txCaption()));
  startRx_->setText(ToQString(tester_.rxCaption()));
  startRx_->setEnabled(tester_.startRxEnabled());
  startRx2_->setText(ToQString(tester_.secondRxCaption()));
  const ContinuousTest test = tester_.continuousTest();
  contiTx_->setChecked(test == ContinuousTest::Modulated);
  carrier_->setChecked(test == ContinuousTest::Carrier);
  suppression_->setChecked(test == ContinuousTest::Suppression);
  contiTx_->setEnabled(tester_.testEnabled(ContinuousTest::Modulated));
  carrier_->setEnabled(tester_.testEnabled(ContinuousTest::Carrier));
  suppression_->setEnabled(tester_.testEnabled(ContinuousTest::Suppression));
  japanFilter_->setEnabled(tester_.japanFilterEnabled());
  loopback_->setChecked(tester_.loopback());
  frameLoss_->setEnabled(tester_.frameLossEnabled());
  setTxEnv_->setEnabled(frameLoss_->isChecked());
  displays_.at(QStringLiteral("frameLossText"))->setVisible(frameLoss_->isChecked());

  displays_.at(QStringLiteral("chipInfo"))->setText(ToQString(shown.chipInfo));
  displays_.at(QStringLiteral("extLna"))->setText(ToQString(shown.extLna));
  displays_.at(QStringLiteral("transmitted"))->setText(ToQString(shown.transmitted));
  for (std::size_t slot = 0; slot < queues_.size(); ++slot) {
    queues_[slot]->setText(ToQString(shown.queues[slot]));
    queues_[slot]->setVisible(shown.queueCountsShown);
    queueCaptions_[slot]->setVisible(shown.queueCountsShown);
  }
  for (std::size_t i = 0; i < counters_.size(); ++i) counters_[i]->setText(ToQString(shown.counters[i]));
  displays_.at(QStringLiteral("fer"))->setText(ToQString(shown.fer));
  displays_.at(QStringLiteral("frameLossText"))->setText(ToQString(shown.frameLoss));
  for (std::size_t p = 0; p < 3; ++p) rssi_[p]->setText(ToQString(shown.rssi[p]));
  for (std::size_t s = 0; s < 2; ++s) snr_[s]->setText(ToQString(shown.snr[s]));
  displays_.at(QStringLiteral("deviation"))->setText(ToQString(shown.deviation));
  displays_.at(QStringLiteral("secondReceive"))->setText(ToQString(shown.secondReceive));
  syncTimers();
}

void CTXRXPage::syncTimers() {
  for (PageTimer timer : kqa::txrx::kPageTimers) {
    QTimer* qtimer = timers_.at(timer);
    const unsigned starts = tester_.timerStarts(timer);
    if (!tester_.timerRunning(timer)) {
      qtimer->stop();
    } else if (!qtimer->isActive() || timerStarts_[timer] != starts) {
      qtimer->start(kqa::txrx::TimerPeriodMs(timer));
    }
    timerStarts_[timer] = starts;
  }
}

void CTXRXPage::fillRateList() {
  rateList_->clear();
  for (std::string_view name : kqa::txrx::RateNames(tester_.run.mode)) rateList_->addItem(ToQString(name));
}

void CTXRXPage::act(const std::function<void()>& action) {
  readControls();
  action();
  showState();
}

// --- Handlers -------------------------------------------------------------------

void CTXRXPage::onInitDialog() {
  runLong(tr("Starting the TX/RX page"), [this] {
    readControls();
    tools_.firmware.progress = progressSink();
    tester_.activate();
    fillRateList();
    showState();
    showFirmware();
  });
  tellOthers(kqa::page::RadioSettingsChanged{});
}

void CTXRXPage::onSetActive() {
  act([this] { tester_.showSharedSettings(); });
}

void CTXRXPage::onChannelChosen(int index) {
  runLong(tr("Changing the channel"), [&] { act([&] { tester_.selectChannel(index); }); });
  tellOthers(kqa::page::ChannelChanged{services_.channels.channelIndex, false});
  tellOthers(kqa::page::RadioSettingsChanged{});
}

void CTXRXPage::onBandwidthChosen(int index) {
  act([&] { tester_.selectBandwidth(index); });
}

void CTXRXPage::onModeChosen(int index) {
  act([&] {
    tester_.selectMode(index);
    fillRateList();
  });
}

void CTXRXPage::onRateChosen(int index) {
  act([&] { tester_.selectRate(index); });
}

void CTXRXPage::onFrameTypeChosen(int index) {
  act([&] { tester_.selectFrameType(index); });
}

void CTXRXPage::onStartTx() {
  act([this] { tester_.toggleTx(); });
}

void CTXRXPage::onStartRx() {
  act([this] { tester_.toggleRx(); });
}

void CTXRXPage::onTimer(PageTimer timer) {
  act([&] { tester_.tick(timer); });
}

void CTXRXPage::runDescriptorDialog() {
  readControls();
  CSetTxDescriptor dialog(tester_.run.descriptor,
                          [this](int selection) { tester_.chooseWmmSelection(selection); }, this);
  if (runDialog_(dialog) == QDialog::Accepted) tester_.acceptDescriptorDialog(dialog.settings());
  showState();
}

void CTXRXPage::runEnvironmentDialog() {
  readControls();
  CSetTxEnv dialog(tester_.run.environment, this);
  runDialog_(dialog);
  showState();
}

void CTXRXPage::onStopActivities() {
  act([this] { tester_.stopActivities(); });
}

void CTXRXPage::onChannelChanged(const kqa::page::ChannelChanged& event) {
  if (event.tune)
    act([&] { tester_.selectChannel(event.index); });
  else
    channelList_->setCurrentIndex(event.index);
}

void CTXRXPage::onPathSelected(const kqa::page::PathSelected& event) {
  act([&] { tester_.selectRxPaths(event.oneRxPath, event.rxPath); });
}

void CTXRXPage::onBandwidthSelected(const kqa::page::BandwidthSelected& event) {
  act([&] { tester_.selectBandwidth(event.index); });
}

void CTXRXPage::onToggleReceive() {
  act([this] { tester_.toggleRx(); });
}

void CTXRXPage::onRadioSettingsChanged() {
  act([this] { tester_.showSharedSettings(); });
}
