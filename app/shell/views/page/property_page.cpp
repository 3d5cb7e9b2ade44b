#include "app/shell/views/page/property_page.h"

#include <QLabel>
#include <QVBoxLayout>

namespace kqa {

PropertyPage::PropertyPage(const QString& caption, QWidget* parent) : QWidget(parent) {
  setWindowTitle(caption);
}

void PropertyPage::activate() {
  if (!initialised_) {
    initialised_ = true;
    onInitDialog();
    return;
  }
  onSetActive();
}

void PropertyPage::showLaterVersionNotice(const QString& functions) {
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(
      tr("%1\n\nThese functions arrive in a later version of kestrelqa.").arg(functions), this);
  text->setObjectName(QStringLiteral("laterVersionNotice"));
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignCenter);
  layout->addStretch(1);
  layout->addWidget(text);
  layout->addStretch(2);
}

}  // namespace kqa
