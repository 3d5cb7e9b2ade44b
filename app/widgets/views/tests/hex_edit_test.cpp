#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>
#include <vector>

#include "app/widgets/views/hex_edit.h"

using kqa::nvm::HexColumn;

class HexEditTest : public QObject {
  Q_OBJECT

 private slots:
  void typingEditsTheOwnersBuffer() {
    std::vector<std::uint8_t> bytes(64, 0x00);
    CHexEdit edit;
    edit.setData(bytes.data(), bytes.size());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QSignalSpy edited(&edit, &CHexEdit::bytesEdited);

    QTest::keyClicks(&edit, "a5G3c7");
    QTest::keyClick(&edit, Qt::Key_Tab);  // to the character column
    QTest::keyClicks(&edit, "Hi");
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data()), 5),
             QByteArray("\xA5\x3CHi\0", 5));
    QCOMPARE(edited.count(), 7);  // not for the G

    // Removing bytes would shrink the buffer: Backspace and Insert do nothing.
    const std::vector<std::uint8_t> before = bytes;
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClick(&edit, Qt::Key_Insert);
    QTest::keyClick(&edit, Qt::Key_Delete);  // nothing selected
    QCOMPARE(bytes, before);
    QCOMPARE(edit.model().length(), std::size_t{64});
  }

  void mouseSelectionCopiesAndPastes() {
    std::vector<std::uint8_t> bytes(32, 0x00);
    bytes[9] = 'A';
    bytes[10] = 0x00;
    CHexEdit edit;
    edit.setData(bytes.data(), bytes.size());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));

    // Press on byte 9 in the character column and drag to byte 10.
    const QPoint from = edit.byteRect(9, HexColumn::Characters).center();
    const QPoint to = edit.byteRect(10, HexColumn::Characters).center();
    QTest::mousePress(edit.viewport(), Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, edit.viewport()->mapToGlobal(to), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(edit.viewport(), &move);
    QTest::mouseRelease(edit.viewport(), Qt::LeftButton, {}, to);
    QCOMPARE(edit.model().selectionStart(), std::size_t{9});
    QCOMPARE(edit.model().selectionEnd(), std::size_t{11});

    QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    QCOMPARE(clip->text(), QStringLiteral("A."));
    QCOMPARE(clip->data(QLatin1String(CHexEdit::kBinaryFormat)), QByteArray("A\0", 2));

    // A click in the hex column, then paste: the two bytes overwrite 30, 31
    // and nothing runs past the end.
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {},
                      edit.byteRect(30, HexColumn::Hex).center());
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(bytes[30], std::uint8_t{'A'});
    QCOMPARE(bytes[31], std::uint8_t{0x00});

    // Text from elsewhere pastes as its raw bytes.
    QApplication::clipboard()->setText(QStringLiteral("xyz"));
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, {},
                      edit.byteRect(0, HexColumn::Hex).center());
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data()), 3), QByteArray("xyz"));

    // The cursor now sits behind the paste, on byte 3. Shift+click selects
    // from there; Delete zero-fills the selection.
    QTest::mouseClick(edit.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      edit.byteRect(1, HexColumn::Hex).center());
    QCOMPARE(edit.model().selectionStart(), std::size_t{1});
    QCOMPARE(edit.model().selectionEnd(), std::size_t{4});
    QTest::keyClick(&edit, Qt::Key_Delete);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(bytes.data()), 3), QByteArray("x\0\0", 3));
    QCOMPARE(bytes.size(), std::size_t{32});
  }

  void largeBuffersScrollToTheCursor() {
    std::vector<std::uint8_t> bytes(8192, 0x11);
    CHexEdit edit;
    edit.resize(edit.sizeHint());
    edit.setData(bytes.data(), bytes.size());
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QTest::keyClick(&edit, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(edit.model().cursor(), std::size_t{8191});
    QCOMPARE(edit.verticalScrollBar()->value(), edit.verticalScrollBar()->maximum());
    QVERIFY(!edit.byteRect(8191, HexColumn::Hex).isEmpty());
    QTest::keyClicks(&edit, "ff");
    QCOMPARE(bytes[8191], std::uint8_t{0xFF});
    QTest::keyClick(&edit, Qt::Key_PageUp);
    QCOMPARE(edit.model().cursor(),
             std::size_t(8191 - 8 * static_cast<std::size_t>(edit.visibleRows())));

    edit.setData(nullptr, 0);  // the owner takes its buffer back
    QTest::keyClicks(&edit, "12");
    QCOMPARE(bytes[0], std::uint8_t{0x11});
  }
};

QTEST_MAIN(HexEditTest)
#include "hex_edit_test.moc"
