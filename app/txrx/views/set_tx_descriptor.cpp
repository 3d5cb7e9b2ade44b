#include "app/txrx/views/set_tx_descriptor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/qt_text.h"

using kqa::ToQString;
using kqa::ToStdString;
using kqa::txrx::kAcSlot;

namespace {

QComboBox* Combo(QWidget* parent, const QStringList& entries, int current) {
  auto* combo = new QComboBox(parent);
  combo->addItems(entries);
  combo->setCurrentIndex(current);
  return combo;
}

QStringList Numbers(int last) {
  QStringList entries;
  for (int n = 0; n <= last; ++n) entries << QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
  return entries;
}

const QStringList kBits = {QStringLiteral("(0)"), QStringLiteral("(1)")};

}  // namespace

CSetTxDescriptor::CSetTxDescriptor(const kqa::txrx::DescriptorSettings& settings,
                                   std::function<void(int)> onWmmChosen, QWidget* parent)
    : QDialog(parent), settings_(settings), onWmmChosen_(std::move(onWmmChosen)) {
  setWindowTitle(tr("Set Tx Descriptor"));
  auto* right = new QVBoxLayout;
  right->addWidget(wmmGroup());
  right->addWidget(securityGroup());
  auto* top = new QHBoxLayout;
  top->addWidget(queueGroup());
  top->addLayout(right);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(fieldGroup());
  layout->addWidget(buttons);
  showAcBoxes();
}

QWidget* CSetTxDescriptor::queueGroup() {
  // One row per ring: its box, AIFSN, CWmin, CWmax and, for AC0-AC7, TXOP.
  auto* group = new QGroupBox(tr("Queues"), this);
  auto* grid = new QGridLayout(group);
  int column = 1;
  for (const QString& caption : {tr("AIFSN"), tr("CWmin"), tr("CWmax"), tr("TXOP")})
    grid->addWidget(new QLabel(caption, group), 0, column++);
  const QStringList values = Numbers(15);
  for (int ac = 0; ac < 8; ++ac) {
    const auto i = static_cast<std::size_t>(ac);
    const int row = ac + 1;
    ac_[i] = new QCheckBox(QStringLiteral("AC%1").arg(ac), group);
    ac_[i]->setObjectName(QStringLiteral("ac%1").arg(ac));
    connect(ac_[i], &QCheckBox::clicked, this, [this, ac] { toggleAc(ac); });
    aifsn_[i] = Combo(group, values, settings_.aifsn[i]);
    cwMin_[i] = Combo(group, values, settings_.cwMin[i]);
    cwMax_[i] = Combo(group, values, settings_.cwMax[i]);
    txop_[i] = new QLineEdit(ToQString(settings_.txop[i]), group);
    txop_[i]->setObjectName(QStringLiteral("txop%1").arg(ac));
    txop_[i]->setValidator(new QIntValidator(0, 65535, txop_[i]));
    txop_[i]->setMaximumWidth(txop_[i]->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    grid->addWidget(ac_[i], row, 0);
    grid->addWidget(aifsn_[i], row, 1);
    grid->addWidget(cwMin_[i], row, 2);
    grid->addWidget(cwMax_[i], row, 3);
    grid->addWidget(txop_[i], row, 4);
  }
  mgmt_ = new QCheckBox(tr("MGMT"), group);
  mgmt_->setChecked(settings_.slotEnabled[kqa::txrx::kMgmtSlot]);
  mgmt_->setEnabled(false);
  aifsnMgmt_ = Combo(group, values, settings_.aifsnMgmt);
  cwMinMgmt_ = Combo(group, values, settings_.cwMinMgmt);
  cwMaxMgmt_ = Combo(group, values, settings_.cwMaxMgmt);
  grid->addWidget(mgmt_, 9, 0);
  grid->addWidget(aifsnMgmt_, 9, 1);
  grid->addWidget(cwMinMgmt_, 9, 2);
  grid->addWidget(cwMaxMgmt_, 9, 3);
  hcca_ = new QCheckBox(tr("HCCA"), group);
  hcca_->setChecked(settings_.slotEnabled[kqa::txrx::kHccaSlot]);
  grid->addWidget(hcca_, 10, 0);
  return group;
}

QWidget* CSetTxDescriptor::wmmGroup() {
  auto* group = new QGroupBox(tr("WMM"), this);
  auto* grid = new QGridLayout(group);
  auto* radios = new QButtonGroup(this);
  const QString captions[] = {tr("RG0 WMM"), tr("RG1 WMM"), tr("RG2 WMM0"), tr("RG2 WMM1")};
  for (int i = 0; i < 4; ++i) {
    wmm_[static_cast<std::size_t>(i)] = new QRadioButton(captions[i], group);
    radios->addButton(wmm_[static_cast<std::size_t>(i)], i);
    grid->addWidget(wmm_[static_cast<std::size_t>(i)], i / 2, i % 2);
  }
  wmm_[static_cast<std::size_t>(settings_.wmmSelection & 3)]->setChecked(true);
  connect(radios, &QButtonGroup::idClicked, this, &CSetTxDescriptor::chooseWmm);
  return group;
}

QWidget* CSetTxDescriptor::securityGroup() {
  auto* group = new QGroupBox(tr("Security"), this);
  auto* grid = new QGridLayout(group);
  cipher_ = Combo(group,
                  {QStringLiteral("(0) NO"), QStringLiteral("(1) WEP40"), QStringLiteral("(2) WEP104"),
                   QStringLiteral("(3) TKIP"), QStringLiteral("(4) AES-CCMP"), QStringLiteral("(5) CKIP40"),
                   QStringLiteral("(6) CKIP104"), QStringLiteral("(7) Reserved")},
                  settings_.cipher);
  cipher_->setObjectName(QStringLiteral("cipher"));
  keyTable_ = Combo(group, {QStringLiteral("SharedKeyTable(0)"), QStringLiteral("PairWiseKeyTable(1)")},
                    settings_.keyTable);
  keyValue_ = new kqa::HexLineEdit(QStringLiteral("keyValue"), group, 32);
  keyValue_->setText(ToQString(settings_.keyValue));
  iv_ = new kqa::HexLineEdit(QStringLiteral("iv"), group, 8);
  iv_->setText(ToQString(settings_.iv));
  eiv_ = new kqa::HexLineEdit(QStringLiteral("eiv"), group, 8);
  eiv_->setText(ToQString(settings_.eiv));
  keyIndex_ = Combo(group, Numbers(63), settings_.keyIndex);
  ivOffset_ = Combo(group, Numbers(63), settings_.ivOffset);
  tkipMic_ = Combo(group, {QStringLiteral("(0)"), QStringLiteral("AutoAppend8Bytes(1)")}, settings_.tkipMic);
  int row = 0;
  const auto add = [&](const QString& caption, QWidget* field) {
    grid->addWidget(new QLabel(caption, group), row, 0);
    grid->addWidget(field, row++, 1);
  };
  add(tr("Cypher"), cipher_);
  add(tr("Key Table"), keyTable_);
  add(tr("Key Value"), keyValue_);
  add(tr("IV"), iv_);
  add(tr("EIV"), eiv_);
  add(tr("Key Index"), keyIndex_);
  add(tr("IV Offset"), ivOffset_);
  add(tr("Tkip MIC"), tkipMic_);
  return group;
}

QWidget* CSetTxDescriptor::fieldGroup() {
  auto* group = new QGroupBox(tr("Descriptor"), this);
  auto* grid = new QGridLayout(group);
  baWinSize_ = new QLineEdit(ToQString(settings_.baWinSize), group);
  baWinSize_->setObjectName(QStringLiteral("baWinSize"));
  baWinSize_->setValidator(new QIntValidator(0, 63, baWinSize_));
  baWinSize_->setMaximumWidth(baWinSize_->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
  nextValid_ = Combo(group, kBits, settings_.nextValid);
  cso_ = Combo(group, kBits, settings_.cso);
  tso_ = Combo(group, kBits, settings_.tso);
  qsel_ = Combo(group, Numbers(3), settings_.qsel);
  port_ = Combo(group, Numbers(7), settings_.port);
  ifs_ = Combo(group, {QStringLiteral("Backoff (0)"), QStringLiteral("SIFS (1)")}, settings_.ifs);
  drop_ = Combo(group, kBits, settings_.drop);
  moreFrag_ = Combo(group, kBits, settings_.moreFrag);
  ack_ = Combo(group, kBits, settings_.ack);
  timestamp_ = Combo(group, kBits, settings_.timestamp);
  retryMode_ = Combo(group, kBits, settings_.retryMode);
  burst_ = Combo(group, kBits, settings_.burst);
  const std::pair<QString, QWidget*> fields[] = {
      {tr("BA WinSize (6bits)"), baWinSize_}, {tr("NextVLD"), nextValid_}, {tr("CSO"), cso_},
      {tr("TSO"), tso_},                     {tr("QSEL"), qsel_},         {tr("PORT"), port_},
      {tr("IFS"), ifs_},                     {tr("DROP"), drop_},         {tr("MoreFrag"), moreFrag_},
      {tr("ACK"), ack_},                     {tr("Timestamp"), timestamp_}, {tr("Retry_md"), retryMode_},
      {tr("BURST"), burst_},
  };
  int index = 0;
  for (const auto& [caption, field] : fields) {
    const int row = index / 5;
    const int column = 2 * (index % 5);
    grid->addWidget(new QLabel(caption, group), row, column, Qt::AlignRight);
    grid->addWidget(field, row, column + 1);
    ++index;
  }
  return group;
}

void CSetTxDescriptor::chooseWmm(int selection) {
  settings_.wmmSelection = selection;
  showAcBoxes();
  if (onWmmChosen_) onWmmChosen_(selection);
}

void CSetTxDescriptor::toggleAc(int ac) {
  kqa::txrx::ToggleAc(settings_, ac);
  showAcBoxes();
}

void CSetTxDescriptor::showAcBoxes() {
  // A selection offers the boxes of its group; a checked box its lists.
  const int selection = settings_.wmmSelection;
  for (int ac = 0; ac < 8; ++ac) {
    const auto i = static_cast<std::size_t>(ac);
    const bool checked = settings_.slotEnabled[static_cast<std::size_t>(kAcSlot[i])];
    const bool offered = selection == kqa::txrx::kRg2Wmm1 ? ac >= 4 : selection == kqa::txrx::kRg2Wmm0 ? ac < 4 : false;
    ac_[i]->setChecked(checked);
    ac_[i]->setEnabled(offered);
    for (QComboBox* list : {aifsn_[i], cwMin_[i], cwMax_[i]}) list->setEnabled(checked);
  }
}

kqa::txrx::DescriptorSettings CSetTxDescriptor::settings() const {
  kqa::txrx::DescriptorSettings s = settings_;
  for (std::size_t i = 0; i < 8; ++i) {
    s.aifsn[i] = aifsn_[i]->currentIndex();
    s.cwMin[i] = cwMin_[i]->currentIndex();
    s.cwMax[i] = cwMax_[i]->currentIndex();
    s.txop[i] = ToStdString(txop_[i]->text());
  }
  s.aifsnMgmt = aifsnMgmt_->currentIndex();
  s.cwMinMgmt = cwMinMgmt_->currentIndex();
  s.cwMaxMgmt = cwMaxMgmt_->currentIndex();
  s.slotEnabled[kqa::txrx::kHccaSlot] = hcca_->isChecked();
  s.cipher = cipher_->currentIndex();
  s.keyTable = keyTable_->currentIndex();
  s.keyValue = ToStdString(keyValue_->text());
  s.iv = ToStdString(iv_->text());
  s.eiv = ToStdString(eiv_->text());
  s.baWinSize = ToStdString(baWinSize_->text());
  s.nextValid = nextValid_->currentIndex();
  s.cso = cso_->currentIndex();
  s.tso = tso_->currentIndex();
  s.qsel = qsel_->currentIndex();
  s.port = port_->currentIndex();
  s.ifs = ifs_->currentIndex();
  s.drop = drop_->currentIndex();
  s.moreFrag = moreFrag_->currentIndex();
  s.ack = ack_->currentIndex();
  s.timestamp = timestamp_->currentIndex();
  s.retryMode = retryMode_->currentIndex();
  s.tkipMic = tkipMic_->currentIndex();
  s.burst = burst_->currentIndex();
  s.ivOffset = ivOffset_->currentIndex();
  s.keyIndex = keyIndex_->currentIndex();
  return s;
}
