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

#include "app/shell/views/kestrel_icon.h"

using kqa::shell::Page;

CQAPropertySheet::CQAPropertySheet(kqa::shell::PageServices& services, QWidget* parent)
    : QDialog(parent),
      services_(services),
      usbConfigPage_(services),
      txrxPage_(services),
      macPage_(services),
      bbpPage_(services),
      bbpPage2_(services),
      bbpPage3_(services),
      rfPage_(services),
      rfPage2_(services),
      eepromPage_(services),
      eepromPage2_(services),
      flashPage_(services),
      flashIIPage_(services),
      snifferPage_(services),
      aboutPage_(services),
      noiseLevelPage_(services),
      fftGraphPage_(services),
      papdTestPage_(services),
      iqCalibrationPage_(services),
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

  for (kqa::PropertyPage* each : std::initializer_list<kqa::PropertyPage*>{
           &usbConfigPage_, &txrxPage_, &macPage_, &bbpPage_, &bbpPage2_, &bbpPage3_, &rfPage_,
           &rfPage2_, &eepromPage_, &eepromPage2_, &flashPage_, &flashIIPage_, &snifferPage_,
           &aboutPage_, &noiseLevelPage_, &fftGraphPage_, &papdTestPage_, &iqCalibrationPage_})
    each->setSheet(this);

  connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
    if (index >= 0 && index < static_cast<int>(tabPages_.size()))
      page(tabPages_[static_cast<std::size_t>(index)]).activate();
  });
  addTabs();

  // Wide enough for every tab of the usual set; more tabs scroll.
  const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1280, 800);
  const int width = std::max(980, tabs_->tabBar()->sizeHint().width() + 40);
  resize(std::min(width, screen.width() - 40), std::min(680, screen.height() - 40));
}

CQAPropertySheet::~CQAPropertySheet() {
  // The pages go before the tab widget: no page may be activated on the way.
  tabs_->disconnect(this);
}

void CQAPropertySheet::addTabs() {
  tabPages_ = kqa::shell::SheetTabs(services_.flags());
  for (Page each : tabPages_) {
    kqa::PropertyPage& widget = page(each);
    tabs_->addTab(&widget, widget.windowTitle());
  }
}

kqa::PropertyPage& CQAPropertySheet::page(Page which) {
  switch (which) {
    case Page::UsbConfig: return usbConfigPage_;
    case Page::TxRx: return txrxPage_;
    case Page::Mac: return macPage_;
    case Page::Bbp1: return bbpPage_;
    case Page::Bbp2: return bbpPage2_;
    case Page::Bbp3: return bbpPage3_;
    case Page::Rf1: return rfPage_;
    case Page::Rf2: return rfPage2_;
    case Page::Eeprom: return eepromPage_;
    case Page::Eeprom2: return eepromPage2_;
    case Page::NandFlash: return flashPage_;
    case Page::NorFlash: return flashIIPage_;
    case Page::Sniffer: return snifferPage_;
    case Page::About: return aboutPage_;
    case Page::NoiseLevel: return noiseLevelPage_;
    case Page::FftGraph: return fftGraphPage_;
    case Page::PapdTest: return papdTestPage_;
    case Page::IqCalibration: return iqCalibrationPage_;
  }
  return aboutPage_;
}

void CQAPropertySheet::setActivePage(Page which) {
  const int index = tabs_->indexOf(&page(which));
  if (index >= 0) tabs_->setCurrentIndex(index);
}

Page CQAPropertySheet::activePage() const {
  const int index = tabs_->currentIndex();
  return index >= 0 ? tabPages_[static_cast<std::size_t>(index)] : Page::UsbConfig;
}

void CQAPropertySheet::applyPresence(const kqa::shell::PresenceAction& action) {
  if (action.kind == kqa::shell::PresenceAction::Kind::None) return;
  tabs_->tabBar()->setEnabled(action.enablePages);
  for (Page each : kqa::shell::PresenceGovernedPages()) page(each).setEnabled(action.enablePages);
  if (action.stopActivities) stopRunningActivities();
  frozen_ = action.kind == kqa::shell::PresenceAction::Kind::Freeze;
  showDeviceLine(frozen_);
  if (!action.title.empty())
    setWindowTitle(QString::fromUtf8(action.title.data(), static_cast<qsizetype>(action.title.size())));
  setActivePage(action.activeTab);
}

void CQAPropertySheet::stopRunningActivities() {
  if (txrxPage_.hasWindow()) txrxPage_.StopAllActivities();
  if (snifferPage_.hasWindow()) snifferPage_.StopCapture();
}

void CQAPropertySheet::setDeviceDescription(const QString& text, bool emulated) {
  deviceText_ = emulated ? tr("Device: %1 \u2014 not real hardware").arg(text)
                         : tr("Device: %1").arg(text);
  emulated_ = emulated;
  showDeviceLine(frozen_);
  aboutPage_.setDeviceDescription(text, emulated);
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

void CQAPropertySheet::SyncChannelSelection() {
  const int channel = services_.device.channelIndex;
  if (rfPage_.hasWindow()) rfPage_.SyncChannelSelection(channel);
  if (txrxPage_.hasWindow()) txrxPage_.SyncChannelSelection(channel);
}

void CQAPropertySheet::SelectTxRxChannel(int index) {
  if (txrxPage_.hasWindow()) txrxPage_.SelectChannel(index);
}

void CQAPropertySheet::SelectTxRxPath(int index) {
  if (txrxPage_.hasWindow()) txrxPage_.SelectRxPath(index);
}

void CQAPropertySheet::SetTxRxOneRxPath(bool on) {
  if (txrxPage_.hasWindow()) txrxPage_.SetOneRxPath(on);
}

void CQAPropertySheet::SelectTxRxBandwidth(int index) {
  if (txrxPage_.hasWindow()) txrxPage_.SelectBandwidth(index);
}

void CQAPropertySheet::ToggleTxRxReceive() {
  if (txrxPage_.hasWindow()) txrxPage_.ToggleReceive();
}

void CQAPropertySheet::StopTxRxActivities() {
  if (txrxPage_.hasWindow()) txrxPage_.StopAllActivities();
}

bool CQAPropertySheet::ReadTxRxOffsets(std::uint8_t& first, std::uint8_t& second,
                                       std::uint8_t& third) {
  return txrxPage_.hasWindow() && txrxPage_.ReadOffsets(first, second, third);
}

void CQAPropertySheet::ShowChipInfoOnTxRx() {
  if (txrxPage_.hasWindow() && rfPage_.hasWindow()) txrxPage_.ShowChipInfo();
}

void CQAPropertySheet::ShowChipInfoOnRf() {
  if (txrxPage_.hasWindow() && rfPage_.hasWindow()) rfPage_.ShowChipInfo();
}
