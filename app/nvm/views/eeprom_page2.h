#pragma once

#include <array>

#include "app/nvm/usb_identity_tool.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

// "EEPROM2": how the Kestrel presents itself on USB, from the configuration
// memory: the identity of the WLAN and flash functions, the flash
// function's texts, the string descriptors and the serial number. The
// widget only mirrors its controls; UsbIdentityTool does the work.
class CEEPROMPage2 : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CEEPROMPage2(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  const kqa::nvm::UsbIdentityTool& tool() const { return tool_; }

  // The controls' handlers, public so that tests and the screenshot tool can
  // drive the page like a user.
  void onFunction(bool withFlash);
  void onEdit();
  void onAddOrEdit();
  void onStringClicked(int row);
  void onClearAll();
  void onDefault();
  void onSerialNumber();

 protected:
  void onInitDialog() override { onSetActive(); }
  void onSetActive() override;

 private:
  struct FunctionControls {
    QLineEdit* vendor;
    QLineEdit* product;
    QLineEdit* release;
    std::array<QComboBox*, 3> indices;  // manufacturer, product, serial number
  };

  QWidget* functionGroup(const QString& title, const QString& prefix, FunctionControls& controls);
  QWidget* stringGroup();
  void readFieldsIntoTool();
  void showFieldsFromTool();
  void enableFlashControls(bool enabled);

  kqa::nvm::UsbIdentityTool tool_;

  QLabel* notice_;
  QRadioButton* wlanOnly_;
  QRadioButton* withFlash_;
  FunctionControls wlan_{};
  FunctionControls flash_{};
  QGroupBox* flashGroup_;
  QLineEdit* vendorInformation_;
  QLineEdit* productName_;
  QLineEdit* productRevision_;
  QTableWidget* strings_;
  QLineEdit* stringText_;
  QLabel* serialLabel_;
  QPushButton* serialButton_;
};
