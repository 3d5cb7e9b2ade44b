#pragma once

#include <QDialog>

#include "app/txrx/run_settings.h"

class QLineEdit;
class QRadioButton;

// "Set Tx environment": what the frame-loss readout expects, a count per
// run ("TX Packet") or per second ("Free Run (Packets/Sec)"). Opening it
// chooses "TX Packet"; the radios set the frame-loss mode at once (kept
// even on "Exit"); OK also takes the count of the chosen radio's edit.
class CSetTxEnv : public QDialog {
  Q_OBJECT

 public:
  explicit CSetTxEnv(kqa::txrx::EnvironmentSettings& settings, QWidget* parent = nullptr);

  void accept() override;

 private:
  void choose(int mode);

  kqa::txrx::EnvironmentSettings& settings_;
  QRadioButton* packets_;
  QRadioButton* freeRun_;
  QLineEdit* packetCount_;
  QLineEdit* rate_;
};
