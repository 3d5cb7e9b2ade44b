#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include "app/shell/views/property_sheet.h"

class PropertySheetTest : public QObject {
  Q_OBJECT

 private slots:
  void showsWithItsCaption() {
    CQAPropertySheet sheet;
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QCOMPARE(sheet.windowTitle(), QStringLiteral("Kestrel USB V1.0.1.5"));
    QVERIFY(sheet.tabs() != nullptr);
  }

  void exitClosesTheSheet() {
    CQAPropertySheet sheet;
    sheet.show();
    QPushButton* exitButton = nullptr;
    for (QPushButton* button : sheet.findChildren<QPushButton*>())
      if (button->text() == QStringLiteral("Exit")) exitButton = button;
    QVERIFY(exitButton != nullptr);
    QSignalSpy rejected(&sheet, &QDialog::rejected);
    exitButton->click();
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!sheet.isVisible());
  }
};

QTEST_MAIN(PropertySheetTest)
#include "property_sheet_test.moc"
