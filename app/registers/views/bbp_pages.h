#pragma once

#include <QStringList>
#include <vector>

#include "app/registers/bbp_register_tool.h"
#include "app/registers/views/register_controls.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kqa {
class LogList;
}

// What the three BBP pages share: the grid of the page's registers (read
// only, "%02X"), the single read/write box and "Read ALL", which runs on
// every activation. BbpRegisterTool does the work; the widget mirrors.
class BbpPageBase : public kqa::PropertyPage {
  Q_OBJECT

 public:
  const kqa::registers::BbpRegisterTool& tool() const { return tool_; }
  // The grid field of register `reg` (its object name is "R<reg>"), or null.
  QLineEdit* gridField(int reg) const;

  void onSingleReadWrite();
  void onReadAll();

 protected:
  BbpPageBase(kqa::shell::PageServices& services, kqa::registers::BbpPage page, int columns,
              QWidget* parent);

  void onInitDialog() override { onReadAll(); }
  void onSetActive() override { onReadAll(); }

  QWidget* gridGroup(int columns);
  QWidget* singleGroup(const QString& readAllCaption);
  void showGrid();

  kqa::registers::BbpRegisterTool tool_;
  kqa::registers::RegisterBox box_;
  QPushButton* readAll_ = nullptr;
  std::vector<QLineEdit*> grid_;
  int columns_;
};

// "BBP Page 1": R0-R111, the register-set files, the PAPD table, the
// 184/185 and 195/196 table dumps and the BBP script with its log.
class CBBPPage : public BbpPageBase {
  Q_OBJECT

 public:
  explicit CBBPPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  QStringList scriptLog() const;

  void onSaveRegisterSet();
  void onLoadRegisterSet();
  void onDumpTable(kqa::registers::BbpTable table);
  void onWritePapdTable();
  void onLoadScript();

 private:
  QWidget* filesGroup();
  QWidget* tablesGroup();
  QWidget* scriptGroup();
  // Runs long work that changes registers, then shows the grid.
  void changing(const QString& what, const std::function<void()>& work);

  kqa::LogList* scriptLog_ = nullptr;
};

// "BBP Page 2": R112-R136.
class CBBPPage2 : public BbpPageBase {
  Q_OBJECT

 public:
  explicit CBBPPage2(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};

// "BBP Page 3": R137-R199 and R248-R250.
class CBBPPage3 : public BbpPageBase {
  Q_OBJECT

 public:
  explicit CBBPPage3(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};
