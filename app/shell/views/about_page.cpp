#include "app/shell/views/about_page.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/shell/views/kestrel_icon.h"

CAboutPage::CAboutPage(kqa::shell::PageServices&, QWidget* parent)
    : PropertyPage(parent), firmware_(new QLabel(this)), device_(new QLabel(this)) {
  auto* picture = new QLabel(this);
  picture->setPixmap(KestrelPicture(96));

  auto* title = new QLabel(tr("Kestrel USB QA"), this);
  QFont titleFont = title->font();
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
  titleFont.setBold(true);
  title->setFont(titleFont);

  firmware_->setObjectName(QStringLiteral("firmwareVersion"));
  firmware_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  device_->setObjectName(QStringLiteral("deviceDescription"));
  device_->setWordWrap(true);

  auto* versions = new QGridLayout;
  versions->setHorizontalSpacing(12);
  versions->addWidget(
      new QLabel(QStringLiteral("Single Chip USB QA UI Release Version             :"), this), 0,
      0);
  versions->addWidget(new QLabel(QString::fromLatin1(kProgramVersion), this), 0, 1);
  versions->addWidget(
      new QLabel(QStringLiteral("Single Chip USB QA Firmware Release Version :"), this), 1, 0);
  versions->addWidget(firmware_, 1, 1);
  versions->addWidget(new QLabel(tr("Device:"), this), 2, 0, Qt::AlignTop);
  versions->addWidget(device_, 2, 1);
  versions->setColumnStretch(1, 1);

  auto* web = new QPushButton(QString::fromLatin1(kWebAddress), this);
  web->setAutoDefault(false);
  connect(web, &QPushButton::clicked, this,
          [] { QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebAddress))); });

  auto* heading = new QHBoxLayout;
  heading->addWidget(picture);
  heading->addSpacing(16);
  heading->addWidget(title, 1);

  auto* webRow = new QHBoxLayout;
  webRow->addWidget(web);
  webRow->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 24, 24, 24);
  layout->addLayout(heading);
  layout->addSpacing(24);
  layout->addLayout(versions);
  layout->addSpacing(16);
  layout->addLayout(webRow);
  layout->addStretch(1);

  firmware_->setText(tr("not read yet"));
  device_->setText(tr("none"));
}

void CAboutPage::setDeviceDescription(const QString& text, bool emulated) {
  device_->setText(emulated ? tr("%1\nThe emulated chip: no real hardware is involved.").arg(text)
                            : text);
}

QString CAboutPage::firmwareText() const {
  return firmware_->text();
}

void CAboutPage::onSetActive() {
  // A version read while no device was reachable is read again.
  if (!firmwareKnown_) showFirmwareVersion();
}

void CAboutPage::showFirmwareVersion() {
  const std::optional<std::uint32_t> version =
      firmwareQuery_ ? firmwareQuery_() : std::optional<std::uint32_t>();
  firmwareKnown_ = version.has_value();
  if (version)
    firmware_->setText(QString::asprintf("%d", static_cast<std::int32_t>(*version)));
  else
    firmware_->setText(tr("not available (no device)"));
}
