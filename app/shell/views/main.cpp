#include <QApplication>

#include "app/shell/views/property_sheet.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kestrelqa"));
  QApplication::setApplicationDisplayName(QStringLiteral("Kestrel USB QA"));

  CQAPropertySheet sheet;
  sheet.show();
  return app.exec();
}
