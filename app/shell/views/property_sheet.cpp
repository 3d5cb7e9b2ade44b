#include "app/shell/views/property_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

CQAPropertySheet::CQAPropertySheet(QWidget* parent) : QDialog(parent), tabs_(new QTabWidget(this)) {
  setWindowTitle(QString::fromLatin1(kCaption));
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* exitButton = buttons->addButton(tr("Exit"), QDialogButtonBox::RejectRole);
  connect(exitButton, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  layout->addWidget(buttons);
  resize(720, 560);
}
