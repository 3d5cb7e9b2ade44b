#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <thread>

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

  void aMessageFromTheCaptureWorkerIsShownOnTheWindowsThread() {
    QtPrompt prompt;
    bool asked = true;
    std::thread worker([&] {
      prompt.showMessage("DeviceIoControl read failed!");
      asked = prompt.askOkCancel("Go on?");
    });
    worker.join();  // the worker did not wait for anybody
    QVERIFY(!asked);
    QString seen;
    AnswerNextMessageBox(QMessageBox::Ok, &seen);
    QTRY_COMPARE(seen, QStringLiteral("DeviceIoControl read failed!"));
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
