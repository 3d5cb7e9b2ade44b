#pragma once

#include <QString>

#include "app/measure/papd_test_tool.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class QCheckBox;
class QLabel;

// "PAPD Test Page": the memories of the power-amplifier predistortion tests
// (packet buffer, share memory, data scope, the packet buffer as a waveform)
// to and from text files, and "PAPD Cal", which dumps the predistortion
// tables. Each Read asks for a file to write, each Write for one to read.
class CPAPDTESTPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CPAPDTESTPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  const kqa::measure::PapdTestTool& tool() const { return tool_; }
  QString status() const;

  void onRead(kqa::measure::PapdMemory memory);
  void onWrite(kqa::measure::PapdMemory memory);
  void onPapdCal(int path);

 private:
  QWidget* memoryGroup(const QString& title, kqa::measure::PapdMemory memory);
  QWidget* calibrationGroup();
  void moving(const QString& what, const std::function<void()>& work);

  kqa::measure::PapdTestTool tool_;
  QCheckBox* papdMode_;
  QLabel* status_;
};
