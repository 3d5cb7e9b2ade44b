#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class QLabel;

// "About": the program's and the firmware's release versions, the device in
// use, and the project's web address.
class CAboutPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  static constexpr const char* kProgramVersion = "1.0.1.5";
  static constexpr const char* kWebAddress = "https://kestrelqa.example";

  explicit CAboutPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  // The firmware version as the chip reports it; nullopt without a device.
  void setFirmwareQuery(std::function<std::optional<std::uint32_t>()> query) {
    firmwareQuery_ = std::move(query);
  }
  void setDeviceDescription(const QString& text, bool emulated);

  QString firmwareText() const;

 protected:
  void onInitDialog() override { showFirmwareVersion(); }
  void onSetActive() override;

 private:
  void showFirmwareVersion();

  std::function<std::optional<std::uint32_t>()> firmwareQuery_;
  bool firmwareKnown_ = false;
  QLabel* firmware_;
  QLabel* device_;
};
