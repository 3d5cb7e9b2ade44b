#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "app/txrx/run_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

// "Set Tx Descriptor": the queues, their WMM parameters and TXOPs, the key
// and IV, and the descriptor's other fields. Edits a copy of the page's
// descriptor settings; settings() hands it back after OK. Choosing a WMM
// radio is told at once (the page writes MAC 0x0230 then).
class CSetTxDescriptor : public QDialog {
  Q_OBJECT

 public:
  CSetTxDescriptor(const kqa::txrx::DescriptorSettings& settings,
                   std::function<void(int wmmSelection)> onWmmChosen, QWidget* parent = nullptr);

  kqa::txrx::DescriptorSettings settings() const;

 private:
  QWidget* queueGroup();
  QWidget* wmmGroup();
  QWidget* securityGroup();
  QWidget* fieldGroup();
  void chooseWmm(int selection);
  void toggleAc(int ac);
  void showAcBoxes();

  kqa::txrx::DescriptorSettings settings_;
  std::function<void(int)> onWmmChosen_;
  std::array<QCheckBox*, 8> ac_{};
  QCheckBox* mgmt_ = nullptr;
  QCheckBox* hcca_ = nullptr;
  std::array<QComboBox*, 8> aifsn_{};
  std::array<QComboBox*, 8> cwMin_{};
  std::array<QComboBox*, 8> cwMax_{};
  QComboBox* aifsnMgmt_ = nullptr;
  QComboBox* cwMinMgmt_ = nullptr;
  QComboBox* cwMaxMgmt_ = nullptr;
  std::array<QLineEdit*, 8> txop_{};
  std::array<QRadioButton*, 4> wmm_{};
  QComboBox* cipher_ = nullptr;
  QComboBox* keyTable_ = nullptr;
  QLineEdit* keyValue_ = nullptr;
  QLineEdit* iv_ = nullptr;
  QLineEdit* eiv_ = nullptr;
  QLineEdit* baWinSize_ = nullptr;
  QComboBox* nextValid_ = nullptr;
  QComboBox* cso_ = nullptr;
  QComboBox* tso_ = nullptr;
  QComboBox* qsel_ = nullptr;
  QComboBox* port_ = nullptr;
  QComboBox* ifs_ = nullptr;
  QComboBox* drop_ = nullptr;
  QComboBox* moreFrag_ = nullptr;
  QComboBox* ack_ = nullptr;
  QComboBox* timestamp_ = nullptr;
  QComboBox* retryMode_ = nullptr;
  QComboBox* tkipMic_ = nullptr;
  QComboBox* burst_ = nullptr;
  QComboBox* ivOffset_ = nullptr;
  QComboBox* keyIndex_ = nullptr;
};
