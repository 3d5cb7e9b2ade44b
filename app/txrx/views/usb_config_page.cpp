#include "app/txrx/views/usb_config_page.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "app/shell/views/page/qt_text.h"
#include "app/txrx/usb_descriptor.h"

using kqa::ToQString;

CUSBConfigPage::CUSBConfigPage(kqa::shell::PageServices& services, QWidget* parent)
    : PropertyPage(parent), services_(services) {
  auto* group = new QGroupBox(tr("Device Descriptor"), this);
  auto* grid = new QGridLayout(group);
  const auto layout = kqa::txrx::UsbDescriptorLayout();
  for (std::size_t i = 0; i < layout.size(); ++i) {
    auto* value = new QLabel(group);
    value->setObjectName(ToQString(layout[i].caption));
    value->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    value->setFrameShape(QFrame::StyledPanel);
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("000000")));
    values_[i] = value;
    grid->addWidget(new QLabel(ToQString(layout[i].caption), group), static_cast<int>(i), 0);
    grid->addWidget(value, static_cast<int>(i), 1);
  }
  grid->setColumnStretch(2, 1);
  auto* page = new QVBoxLayout(this);
  page->addWidget(group);
  page->addStretch(1);
  const kqa::txrx::UsbDescriptorFields initial;
  for (std::size_t i = 0; i < layout.size(); ++i) values_[i]->setText(ToQString(initial.*layout[i].text));
}

void CUSBConfigPage::refresh() {
  run([this] {
    const kqa::txrx::UsbDescriptorReading reading = kqa::txrx::ReadUsbConfiguration(services_.device);
    const auto layout = kqa::txrx::UsbDescriptorLayout();
    for (std::size_t i = 0; i < layout.size(); ++i) values_[i]->setText(ToQString(reading.fields.*layout[i].text));
  });
}
