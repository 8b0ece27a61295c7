#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <cstdint>
#include <string>
#include <vector>

#include "window/listbox/list_text_box.h"
#include "window/window_services.h"

using ordwell::services::TextBox;

Q_DECLARE_METATYPE(std::u16string)

class WindowServicesTest : public QObject {
  Q_OBJECT

 private slots:
  void textBoxTurnsLineBreaksIntoCrLfBothWays_data();
  void textBoxTurnsLineBreaksIntoCrLfBothWays();
  void selectionInCrLfUnitsLandsOnTheRightCharacters_data();
  void selectionInCrLfUnitsLandsOnTheRightCharacters();
  void selectingFromZeroForTheWholeLengthSelectsEverything_data();
  void selectingFromZeroForTheWholeLengthSelectsEverything();
  void selectAllSelectsTheWholeTextInEitherBox_data();
  void selectAllSelectsTheWholeTextInEitherBox();
  void textBoxKeepsCharactersPlainTextWouldChange();
  void keyDownDeliversKeyCodeAndShiftThenTheBoxHandlesTheKey_data();
  void keyDownDeliversKeyCodeAndShiftThenTheBoxHandlesTheKey();
  void buttonCaptionIsShownLiterallyWithoutAccessKey();
  void messageBoxWithoutTitleShowsTheApplicationTitle();
  void fixedSizeWindowOffersNoMaximiseButton();
};

void WindowServicesTest::textBoxTurnsLineBreaksIntoCrLfBothWays_data() {
  QTest::addColumn<std::u16string>("given");
  QTest::addColumn<QString>("widget");
  QTest::addColumn<std::u16string>("readBack");
  QTest::newRow("several CR LF lines") << std::u16string(u"a\r\nbb\r\n\r\nc\r\n") << QString("a\nbb\n\nc\n")
                                       << std::u16string(u"a\r\nbb\r\n\r\nc\r\n");
  QTest::newRow("lone LF and lone CR become breaks")
      << std::u16string(u"a\nb\rc\r\r\nd") << QString("a\nb\nc\n\nd")
      << std::u16string(u"a\r\nb\r\nc\r\n\r\nd");
  QTest::newRow("only a break") << std::u16string(u"\r\n") << QString("\n") << std::u16string(u"\r\n");
  QTest::newRow("empty") << std::u16string() << QString() << std::u16string();
}

void WindowServicesTest::textBoxTurnsLineBreaksIntoCrLfBothWays() {
  QFETCH(std::u16string, given);
  QFETCH(QString, widget);
  QFETCH(std::u16string, readBack);
  QPlainTextEdit edit;
  TextBox box(&edit);
  box.SetText(given);
  QCOMPARE(edit.toPlainText(), widget);
  QVERIFY(box.Text() == readBack);
}

void WindowServicesTest::selectionInCrLfUnitsLandsOnTheRightCharacters_data() {
  QTest::addColumn<qsizetype>("start");
  QTest::addColumn<qsizetype>("length");
  QTest::addColumn<QString>("selected");
  QTest::addColumn<qsizetype>("readStart");
  QTest::addColumn<qsizetype>("readLength");
  // The text is "ab" CR LF "cd" CR LF CR LF "ef": CR LF offsets 0..11, widget positions 0..8.
  QTest::newRow("inside the first line")
      << qsizetype(1) << qsizetype(1) << "b" << qsizetype(1) << qsizetype(1);
  QTest::newRow("second line") << qsizetype(4) << qsizetype(2) << "cd" << qsizetype(4) << qsizetype(2);
  QTest::newRow("across a break") << qsizetype(1) << qsizetype(4) << QString("b\u2029c") << qsizetype(1)
                                  << qsizetype(4);
  QTest::newRow("the empty line's break")
      << qsizetype(8) << qsizetype(2) << QString("\u2029") << qsizetype(8) << qsizetype(2);
  QTest::newRow("last line") << qsizetype(10) << qsizetype(2) << "ef" << qsizetype(10) << qsizetype(2);
  QTest::newRow("end between CR and LF takes the break")
      << qsizetype(5) << qsizetype(2) << QString("d\u2029") << qsizetype(5) << qsizetype(3);
  QTest::newRow("start between CR and LF starts before it")
      << qsizetype(3) << qsizetype(2) << QString("\u2029") << qsizetype(2) << qsizetype(2);
  QTest::newRow("past the end is clamped")
      << qsizetype(10) << qsizetype(50) << "ef" << qsizetype(10) << qsizetype(2);
}

void WindowServicesTest::selectionInCrLfUnitsLandsOnTheRightCharacters() {
  QFETCH(qsizetype, start);
  QFETCH(qsizetype, length);
  QFETCH(QString, selected);
  QFETCH(qsizetype, readStart);
  QFETCH(qsizetype, readLength);
  QPlainTextEdit edit;
  TextBox box(&edit);
  box.SetText(u"ab\r\ncd\r\n\r\nef");
  box.SetSelStart(start);
  QCOMPARE(box.SelLength(), qsizetype(0));
  box.SetSelLength(length);
  QCOMPARE(edit.textCursor().selectedText(), selected);
  QCOMPARE(box.SelStart(), readStart);
  QCOMPARE(box.SelLength(), readLength);
}

void WindowServicesTest::selectingFromZeroForTheWholeLengthSelectsEverything_data() {
  QTest::addColumn<std::u16string>("text");
  QTest::newRow("lines") << std::u16string(u"one\r\ntwo\r\nthree");
  QTest::newRow("ends with a break") << std::u16string(u"x\r\n\r\n");
  QTest::newRow("no break") << std::u16string(u"plain");
}

void WindowServicesTest::selectingFromZeroForTheWholeLengthSelectsEverything() {
  QFETCH(std::u16string, text);
  QPlainTextEdit edit;
  TextBox box(&edit);
  box.SetText(text);
  edit.moveCursor(QTextCursor::End);
  box.SetSelStart(0);
  box.SetSelLength(static_cast<qsizetype>(box.Text().size()));
  const QTextCursor cursor = edit.textCursor();
  QCOMPARE(cursor.selectionStart(), 0);
  QCOMPARE(cursor.selectionEnd(), edit.document()->characterCount() - 1);
  QCOMPARE(box.SelLength(), static_cast<qsizetype>(text.size()));
}

void WindowServicesTest::selectAllSelectsTheWholeTextInEitherBox_data() {
  selectingFromZeroForTheWholeLengthSelectsEverything_data();
}

void WindowServicesTest::selectAllSelectsTheWholeTextInEitherBox() {
  QFETCH(std::u16string, text);
  QPlainTextEdit edit;
  ordwell::ListTextBox list;
  TextBox boxes[] = {TextBox(&edit), TextBox(&list, ordwell::services::MessageBoxes())};
  for (TextBox& box : boxes) {
    box.SetText(text);
    box.SetSelStart(2);
    box.SelectAll();
    QCOMPARE(box.SelStart(), qsizetype{0});
    QCOMPARE(box.SelLength(), static_cast<qsizetype>(text.size()));
  }
}

void WindowServicesTest::textBoxKeepsCharactersPlainTextWouldChange() {
  QPlainTextEdit edit;
  TextBox box(&edit);
  const std::u16string text = u"a\u00A0b\tc";  // no-break space and tab
  box.SetText(text);
  QVERIFY(box.Text() == text);
  // A typed Shift+Enter puts a line separator into the document; the box reads it as a break.
  edit.moveCursor(QTextCursor::End);
  QTest::keyClick(&edit, Qt::Key_Return, Qt::ShiftModifier);
  QVERIFY(box.Text() == text + u"\r\n");
}

void WindowServicesTest::keyDownDeliversKeyCodeAndShiftThenTheBoxHandlesTheKey_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
  QTest::addColumn<int>("keyCode");
  QTest::addColumn<int>("shift");
  QTest::addColumn<QString>("typed");  // the box's text afterwards
  QTest::newRow("a") << int(Qt::Key_A) << Qt::KeyboardModifiers() << 65 << 0 << "a";
  QTest::newRow("shift+a") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ShiftModifier) << 65 << 1
                           << QString();
  QTest::newRow("ctrl+a") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ControlModifier) << 65 << 2 << "";
  QTest::newRow("ctrl+shift+alt+z") << int(Qt::Key_Z)
                                    << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier |
                                                             Qt::AltModifier)
                                    << 90 << 7 << QString();
  QTest::newRow("meta+a counts as plain a")
      << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::MetaModifier) << 65 << 0 << QString();
  QTest::newRow("7") << int(Qt::Key_7) << Qt::KeyboardModifiers() << 55 << 0 << "7";
  QTest::newRow("return") << int(Qt::Key_Return) << Qt::KeyboardModifiers() << 13 << 0 << "\n";
  QTest::newRow("f2") << int(Qt::Key_F2) << Qt::KeyboardModifiers() << 113 << 0 << "";
}

void WindowServicesTest::keyDownDeliversKeyCodeAndShiftThenTheBoxHandlesTheKey() {
  QFETCH(int, key);
  QFETCH(Qt::KeyboardModifiers, modifiers);
  QFETCH(int, keyCode);
  QFETCH(int, shift);
  QFETCH(QString, typed);
  QPlainTextEdit edit;
  TextBox box(&edit);
  std::vector<std::pair<int, int>> seen;
  box.OnKeyDown([&](std::int16_t KeyCode, std::int16_t Shift) { seen.emplace_back(KeyCode, Shift); });
  QTest::keyClick(&edit, static_cast<Qt::Key>(key), modifiers);
  // Modifier keys arrive first as key-downs of their own; the key itself comes last.
  QVERIFY(!seen.empty());
  QCOMPARE(seen.back().first, keyCode);
  QCOMPARE(seen.back().second, shift);
  // Then the box handles the key (a null expectation: what the box makes of it is not ours).
  if (!typed.isNull()) QCOMPARE(edit.toPlainText(), typed);
}

void WindowServicesTest::buttonCaptionIsShownLiterallyWithoutAccessKey() {
  QPushButton button;
  ordwell::services::CommandButton command(&button);
  command.SetCaption(u"Save && &Exit");
  QVERIFY(command.Caption() == u"Save && &Exit");
  QVERIFY(QKeySequence::mnemonic(button.text()).isEmpty());
  int clicks = 0;
  command.OnClick([&] { ++clicks; });
  QTest::mouseClick(&button, Qt::LeftButton);
  QCOMPARE(clicks, 1);
}

void WindowServicesTest::fixedSizeWindowOffersNoMaximiseButton() {
  for (const bool shownFirst : {false, true}) {
    QWidget window;
    if (shownFirst) window.show();
    ordwell::services::FormWindow form(&window);
    form.SetClientSize(7500, 4620);
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint) && !flags.testFlag(Qt::WindowFullscreenButtonHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint) && flags.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint) && flags.testFlag(Qt::WindowCloseButtonHint));
    QCOMPARE(window.isVisible(), shownFirst);
    // Opening the panel changes the height only; the size stays fixed and the buttons stay.
    form.SetClientHeight(6000);
    QCOMPARE(window.minimumSize(), QSize(500, 400));
    QCOMPARE(window.maximumSize(), window.minimumSize());
    QCOMPARE(window.windowFlags(), flags);
  }
}

void WindowServicesTest::messageBoxWithoutTitleShowsTheApplicationTitle() {
  std::vector<ordwell::services::MsgBoxRecord> shown;
  const ordwell::services::MessageBoxes boxes(
      [&](const ordwell::services::MsgBoxRecord& record) { shown.push_back(record); });
  boxes.MsgBox(nullptr, u"one\r\ntwo", ordwell::services::vbExclamation);
  boxes.MsgBox(nullptr, u"x", ordwell::services::vbInformation, u"About");
  QCOMPARE(shown.size(), std::size_t(2));
  QVERIFY(shown[0].Prompt == u"one\r\ntwo");
  QCOMPARE(shown[0].Style, 48);
  QVERIFY(shown[0].Title == u"Ordwell");
  QVERIFY(shown[1].Title == u"About");
  QCOMPARE(shown[1].Style, 64);
}

QTEST_MAIN(WindowServicesTest)
#include "window_services_test.moc"
