#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "app/measure/iq_calibration.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class QLineEdit;

namespace kqa {
class LogList;
}

// "IQ Cal": measures the receiver's IQ imbalance and group delay with the
// baseband's signal statistics and shows the register values that would
// correct them (R40, R41, R42, R53); it writes none of them. "Load Script"
// sets the chip up first with a register script.
class CIQCalibrationPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CIQCalibrationPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  // The field with this caption ("mi", "theta_0", "Cal R40=", ...).
  QString fieldText(const QString& caption) const;
  QStringList scriptLog() const;

  void onCalibrate(kqa::measure::IqCalibrationKind kind);
  void onLoadScript();

 private:
  QWidget* fieldGroup(const QString& title, const QStringList& captions, QWidget* button = nullptr);
  // The first `fields` of the calibration's fields (IqCalibrationFields).
  void show(const kqa::measure::IqCalibrationResult& result, kqa::measure::IqCalibrationKind kind,
            std::size_t fields = SIZE_MAX);

  kqa::device::DeviceContext& device_;
  kqa::measure::IqCalibration calibration_;
  QMap<QString, QLineEdit*> fields_;
  kqa::LogList* scriptLog_;
};
