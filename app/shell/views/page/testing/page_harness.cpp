// Before any Qt header: see the note on the chip in page_harness.h.
#include "app/device/tests/emulated_rig.h"

#include "app/shell/views/page/testing/page_harness.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

#include "app/shell/views/page_table.h"

namespace kqa::testing {

PageHarness::PageHarness(shell::Page id) : PageHarness(id, chip::KestrelOptions{}) {}

PageHarness::PageHarness(shell::Page id, const chip::KestrelOptions& options)
    : bed_(std::make_unique<device::testing::RigBed>(options)),
      prompt(bed_->prompt),
      device(bed_->device),
      memoryMode(bed_->memoryMode),
      channels(bed_->channels),
      services_{device, memoryMode, channels, snifferBuffer, {}} {
  const shell::PageRow* row = shell::FindPage(shell::PageTable(), id);
  if (row == nullptr) qFatal("page %d is not in the page table", static_cast<int>(id));
  page_ = shell::MakePage(*row, services_);
  page_->setHost(this);
  page_->resize(1000, 640);
  page_->show();
  page_->activate();  // first shown, as on the sheet
}

PageHarness::~PageHarness() = default;

chip::Kestrel& PageHarness::chip() {
  return bed_->bench.chip();
}
void PageHarness::unplug() {
  bed_->bench.unplug();
}
void PageHarness::replug() {
  bed_->bench.replug();
}

void PageHarness::click(const QString& caption) const {
  for (QAbstractButton* each : page_->findChildren<QAbstractButton*>())
    if (each->text() == caption) return each->click();
  qFatal("no button \"%s\" on the page", qPrintable(caption));
}

QLineEdit* PageHarness::field(const QString& name) const {
  auto* edit = page_->findChild<QLineEdit*>(name);
  if (edit == nullptr) qFatal("no line edit \"%s\" on the page", qPrintable(name));
  return edit;
}

void PageHarness::choose(const QString& comboName, int index) const {
  auto* combo = page_->findChild<QComboBox*>(comboName);
  if (combo == nullptr) qFatal("no list \"%s\" on the page", qPrintable(comboName));
  combo->setCurrentIndex(index);
  combo->activated(index);  // as the user's pick emits it
}

std::string PageHarness::file(const QString& name) const {
  return folder_.filePath(name).toStdString();
}

void PageHarness::passOn(const page::PageEvent& event, PropertyPage&) {
  told_.push_back(event);
  if (answer) answer(event);
}

}  // namespace kqa::testing
