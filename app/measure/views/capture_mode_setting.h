#pragma once

#include <QDialog>

#include "app/measure/capture_dump.h"
#include "platform/prompt/prompt.h"

class QLineEdit;
class QRadioButton;

// "Capture Setting": the modal dialog behind the TX/RX page's "Capture Mode".
// It edits the capture settings the page owns. On opening it checks "Auto
// Trigger Mode", "ADC Mode" and "ADC8" and sets those three settings at once;
// each radio sets its setting when clicked, also if the dialog is then
// cancelled. "Start Capture" takes "Offset" (hexadecimal) and "Times"
// (decimal) and accepts; a field that is not a number is refused with a
// message and the dialog stays open. Cancel leaves those two as they were.
class CCaptureModeSetting : public QDialog {
  Q_OBJECT

 public:
  CCaptureModeSetting(kqa::measure::CaptureSettings& settings, kqa::Prompt& prompt,
                      QWidget* parent = nullptr);

  QLineEdit& offsetField() const { return *offset_; }
  QLineEdit& timesField() const { return *times_; }
  // "Start Capture".
  void onStartCapture();

 private:
  QRadioButton* radio(const QString& caption, const std::function<void()>& apply);

  kqa::measure::CaptureSettings& settings_;
  kqa::Prompt& prompt_;
  QLineEdit* offset_;
  QLineEdit* times_;
};
