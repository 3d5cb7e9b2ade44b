#include "app/txrx/views/set_tx_env.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CSetTxEnv::CSetTxEnv(kqa::txrx::EnvironmentSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setWindowTitle(tr("Set Tx environment"));
  packets_ = new QRadioButton(tr("TX Packet"), this);
  freeRun_ = new QRadioButton(tr("Free Run (Packets/Sec)"), this);
  auto* radios = new QButtonGroup(this);
  radios->addButton(packets_, 0);
  radios->addButton(freeRun_, 1);
  const QString count = QString::number(settings.expectedCount);
  packetCount_ = new QLineEdit(count, this);
  packetCount_->setObjectName(QStringLiteral("packetCount"));
  rate_ = new QLineEdit(count, this);
  rate_->setObjectName(QStringLiteral("packetRate"));
  for (QLineEdit* edit : {packetCount_, rate_}) {
    edit->setValidator(new QIntValidator(0, 0x7FFFFFFF, edit));
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 16);
  }
  auto* grid = new QGridLayout;
  grid->addWidget(packets_, 0, 0);
  grid->addWidget(packetCount_, 0, 1);
  grid->addWidget(freeRun_, 1, 0);
  grid->addWidget(rate_, 1, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->addButton(tr("Exit"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CSetTxEnv::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CSetTxEnv::reject);
  connect(radios, &QButtonGroup::idClicked, this, &CSetTxEnv::choose);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("These parameters must cooperate with signal generator."), this));
  layout->addLayout(grid);
  layout->addWidget(buttons);
  packets_->setChecked(true);
  choose(0);
}

void CSetTxEnv::choose(int mode) {
  settings_.frameLossMode = mode;
  packetCount_->setEnabled(mode == 0);
  rate_->setEnabled(mode == 1);
  (mode == 0 ? packetCount_ : rate_)->setFocus();
}

void CSetTxEnv::accept() {
  QLineEdit* edit = settings_.frameLossMode == 0 ? packetCount_ : rate_;
  bool ok = false;
  const long long count = edit->text().toLongLong(&ok);
  if (!ok) {
    edit->setToolTip(tr("Enter the expected count as a decimal number."));
    edit->setFocus();
    return;
  }
  settings_.expectedCount = count;
  QDialog::accept();
}
