#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "platform/prompt/qt/qt_prompt.h"

namespace kqa {

// Answers the next modal message box from inside its event loop.
static void AnswerNextMessageBox(QMessageBox::StandardButton button, QString* seenText) {
  QTimer::singleShot(0, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box != nullptr);
    *seenText = box->text();
    box->button(button)->click();
  });
}

class QtPromptTest : public QObject {
  Q_OBJECT

 private slots:
  void filterStringKeepsTextsThatAlreadyNameTheirPattern() {
    QCOMPARE(QtPrompt::QtFilterString({{"Script Files(*.txt)", "*.txt"}}),
             QStringLiteral("Script Files(*.txt)"));
    QCOMPARE(QtPrompt::QtFilterString({{"Images", "*.bin;*.img"}, {"All(*.*)", "*.*"}}),
             QStringLiteral("Images (*.bin *.img);;All(*.*)"));
  }

  void messageShowsItsTextAndReturnsOnOk() {
    QtPrompt prompt;
    QString seen;
    AnswerNextMessageBox(QMessageBox::Ok, &seen);
    prompt.showMessage("Dump MAC Registers Done!");
    QCOMPARE(seen, QStringLiteral("Dump MAC Registers Done!"));
  }

  void questionReportsTheButtonChosen() {
    QtPrompt prompt;
    QString seen;
    AnswerNextMessageBox(QMessageBox::Ok, &seen);
    QVERIFY(prompt.askOkCancel("Sure?"));
    AnswerNextMessageBox(QMessageBox::Cancel, &seen);
    QVERIFY(!prompt.askOkCancel("Sure?"));
    QCOMPARE(seen, QStringLiteral("Sure?"));
  }
};

}  // namespace kqa

QTEST_MAIN(kqa::QtPromptTest)
#include "qt_prompt_test.moc"
