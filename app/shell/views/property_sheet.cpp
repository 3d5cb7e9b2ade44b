#include "app/shell/views/property_sheet.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/shell/views/about_page.h"
#include "app/shell/views/kestrel_icon.h"

using kqa::shell::Page;

CQAPropertySheet::CQAPropertySheet(kqa::shell::PageServices& services,
                                   std::span<const kqa::shell::PageRow> table, QWidget* parent)
    : QDialog(parent),
      table_(table),
      tabs_(new QTabWidget(this)),
      deviceLabel_(new QLabel(this)),
      chipButton_(new QPushButton(this)) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setWindowIcon(KestrelIcon());

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  okButton_ = buttons->button(QDialogButtonBox::Ok);
  exitButton_ = buttons->button(QDialogButtonBox::Cancel);
  okButton_->hide();
  exitButton_->setText(tr("Exit"));
  exitButton_->setIcon(QIcon());
  exitButton_->setAutoDefault(false);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  deviceLabel_->setObjectName(QStringLiteral("deviceDescription"));
  chipButton_->setText(tr("Emulated chip"));
  chipButton_->setAutoDefault(false);
  chipButton_->hide();

  auto* footer = new QHBoxLayout;
  footer->addWidget(deviceLabel_, 1);
  footer->addWidget(chipButton_);
  footer->addWidget(buttons);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  layout->addLayout(footer);

  for (const kqa::shell::PageRow& row : table_) {
    pages_.push_back(kqa::shell::MakePage(row, services));
    pages_.back()->setHost(this);
  }
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index >= 0 && index < static_cast<int>(tabPages_.size()))
      page(tabPages_[static_cast<std::size_t>(index)]).activate();
  });
  tabPages_ = kqa::shell::SheetTabs(services.flags, table_);
  for (Page each : tabPages_) tabs_->addTab(&page(each), page(each).windowTitle());

  // Wide enough for every tab of the usual set; more tabs scroll.
  const QRect screen =
      this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1280, 800);
  const int width = std::max(980, tabs_->tabBar()->sizeHint().width() + 40);
  resize(std::min(width, screen.width() - 40), std::min(680, screen.height() - 40));
}

CQAPropertySheet::~CQAPropertySheet() {
  // The pages go before the tab widget: no page may be activated on the way.
  tabs_->disconnect(this);
}

kqa::PropertyPage* CQAPropertySheet::findPage(Page which) const {
  for (std::size_t i = 0; i < table_.size(); ++i)
    if (table_[i].id == which) return pages_[i].get();
  return nullptr;
}

kqa::PropertyPage& CQAPropertySheet::page(Page which) {
  kqa::PropertyPage* found = findPage(which);
  if (found == nullptr) qFatal("page %d is not in the sheet's page table", static_cast<int>(which));
  return *found;
}

void CQAPropertySheet::setActivePage(Page which) {
  const int index = tabs_->indexOf(findPage(which));
  if (index >= 0) tabs_->setCurrentIndex(index);
}

Page CQAPropertySheet::activePage() const {
  const int index = tabs_->currentIndex();
  return index >= 0 ? tabPages_[static_cast<std::size_t>(index)] : Page::UsbConfig;
}

void CQAPropertySheet::applyPresence(const kqa::shell::PresenceAction& action) {
  if (action.kind == kqa::shell::PresenceAction::Kind::None) return;
  tabs_->tabBar()->setEnabled(action.enablePages);
  for (std::size_t i = 0; i < table_.size(); ++i)
    if (table_[i].presence == kqa::shell::Presence::Governed)
      pages_[i]->setEnabled(action.enablePages);
  if (action.stopActivities) stopRunningActivities();
  frozen_ = action.kind == kqa::shell::PresenceAction::Kind::Freeze;
  showDeviceLine(frozen_);
  if (!action.title.empty())
    setWindowTitle(
        QString::fromUtf8(action.title.data(), static_cast<qsizetype>(action.title.size())));
  setActivePage(action.activeTab);
}

void CQAPropertySheet::stopRunningActivities() {
  for (const auto& each : pages_)
    if (each->hasWindow()) each->receive(kqa::page::StopActivities{});
}

void CQAPropertySheet::passOn(const kqa::page::PageEvent& event, kqa::PropertyPage& from) {
  for (const auto& each : pages_)
    if (each.get() != &from && each->hasWindow()) each->receive(event);
}

void CQAPropertySheet::setDeviceDescription(const QString& text, bool emulated) {
  deviceText_ =
      emulated ? tr("Device: %1 \u2014 not real hardware").arg(text) : tr("Device: %1").arg(text);
  emulated_ = emulated;
  showDeviceLine(frozen_);
  if (auto* about = dynamic_cast<CAboutPage*>(findPage(Page::About)))
    about->setDeviceDescription(text, emulated);
}

void CQAPropertySheet::setFirmwareQuery(std::function<std::optional<std::uint32_t>()> query) {
  if (auto* about = dynamic_cast<CAboutPage*>(findPage(Page::About)))
    about->setFirmwareQuery(std::move(query));
}

void CQAPropertySheet::showDeviceLine(bool frozen) {
  // The title says it too, but a title is easily missed at a test station.
  if (frozen) {
    deviceLabel_->setText(tr("Device unplugged: every page is frozen until the chip is back."));
    deviceLabel_->setStyleSheet(QStringLiteral("color: #B00020; font-weight: bold;"));
  } else {
    deviceLabel_->setText(deviceText_);
    deviceLabel_->setStyleSheet(emulated_ ? QStringLiteral("color: #8A4B00;") : QString());
  }
}

void CQAPropertySheet::setEmulatedChipSwitch(EmulatedChipSwitch chipSwitch) {
  chipSwitch_ = std::move(chipSwitch);
  auto* menu = new QMenu(chipButton_);
  QAction* unplug = menu->addAction(tr("Unplug the emulated chip"), this, [this] {
    if (chipSwitch_.unplug) chipSwitch_.unplug();
  });
  unplug->setShortcut(QKeySequence(tr("Ctrl+Shift+U")));
  QAction* replug = menu->addAction(tr("Re-plug the emulated chip"), this, [this] {
    if (chipSwitch_.replug) chipSwitch_.replug();
  });
  replug->setShortcut(QKeySequence(tr("Ctrl+Shift+R")));
  // On the sheet too, so the shortcuts work with the menu closed.
  addAction(unplug);
  addAction(replug);
  chipButton_->setMenu(menu);
  chipButton_->show();
}

void CQAPropertySheet::done(int result) {
  stopRunningActivities();
  QDialog::done(result);
}

void CQAPropertySheet::keyPressEvent(QKeyEvent* event) {
  // Enter must not reach a button of another page (or "Exit"); Escape still
  // leaves like "Exit".
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
  QDialog::keyPressEvent(event);
}
