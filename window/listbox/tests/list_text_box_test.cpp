#include "window/listbox/list_text_box.h"
#include "window/listbox/key_table.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

using ordwell::ListTextBox;

namespace {

const QString kGrinning = QString::fromUtf8("\xF0\x9F\x98\x80");  // one character, two UTF-16 units

// A shown, active window holding two boxes one above the other, the first focused.
class Harness {
 public:
  explicit Harness(QSize boxSize = {237, 238})
      : first(new ListTextBox(&window)), second(new ListTextBox(&window)) {
    first->setGeometry(QRect(QPoint(0, 0), boxSize));
    second->setGeometry(QRect(QPoint(0, boxSize.height()), QSize(boxSize.width(), 60)));
    window.resize(boxSize.width(), boxSize.height() + 60);
    window.show();
    QApplication::setActiveWindow(&window);
    first->setFocus();
  }
  bool ready() { return QTest::qWaitForWindowActive(&window) && first->hasFocus(); }

  QWidget window;
  ListTextBox* first;
  ListTextBox* second;
};

// Returns where the caret at `pos` is drawn, in the box's viewport coordinates.
QPoint pointOf(ListTextBox* box, qsizetype pos) {
  const auto anchor = box->selectionStart();
  const auto length = box->selectionLength();
  box->setSelection(pos, 0);
  const QRect rect = box->inputMethodQuery(Qt::ImCursorRectangle).toRect();
  box->setSelection(anchor, length);
  return rect.center() - box->viewport()->pos();
}

// Drops `mime` on the box's viewport at the caret position `pos`, with the keyboard modifiers
// held; returns whether it was accepted.
bool dropAt(ListTextBox* box, qsizetype pos, QMimeData* mime, Qt::KeyboardModifiers modifiers = {}) {
  const QPointF at = pointOf(box, pos);
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, modifiers);
  QApplication::sendEvent(box->viewport(), &enter);
  if (!enter.isAccepted()) {
    return false;
  }
  QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, modifiers);
  QApplication::sendEvent(box->viewport(), &drop);
  return drop.isAccepted();
}

// Writes `bytes` to a file named `name` in `dir` and returns its URL.
QUrl fileWith(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  QFile file(QDir(dir.path()).filePath(name));
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    qFatal("cannot write %s", qPrintable(file.fileName()));
  }
  return QUrl::fromLocalFile(file.fileName());
}

// The font of the pixel checks, bundled so that they see the same glyphs on every machine; no
// other font stands in for a missing glyph.
QFont testFont() {
  static const int id =
      QFontDatabase::addApplicationFont(QStringLiteral(ORDWELL_LISTBOX_TEST_DATA "/test-sans.ttf"));
  QFont font(QFontDatabase::applicationFontFamilies(id).value(0, QStringLiteral("missing test font")));
  font.setPixelSize(13);
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setStyleStrategy(QFont::StyleStrategy(QFont::NoFontMerging | QFont::NoSubpixelAntialias));
  return font;
}

QString numberedLines(int count, const QString& separator) {
  QString text;
  text.reserve(static_cast<qsizetype>(count) * 12);
  for (int i = 0; i < count; ++i) {
    if (i > 0) {
      text += separator;
    }
    text += QStringLiteral("item%1").arg(i);
  }
  return text;
}

}  // namespace

class ListTextBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void editingKeysChangeTextAndCaret_data();
  void editingKeysChangeTextAndCaret();
  void tabMovesFocusAndInsertsNothing();
  void ctrlAAfterTheWindowsFilterKeepsEverythingSelected();
  void readOnlyRefusesEditsButAllowsCopy_data();
  void readOnlyRefusesEditsButAllowsCopy();
  void programSetsTextOfReadOnlyBox();
  void setSelectionClampsAndKeepsPairsWhole_data();
  void setSelectionClampsAndKeepsPairsWhole();
  void longLinesWrapWithoutHorizontalScrolling();
  void undoRedoStepsMergeConsecutiveTyping();
  void mouseClicksDragsAndDoubleClicksSelect();
  void contextMenuEnablesWhatApplies();
  void tripleClickSelectsTheLogicalLine_data();
  void tripleClickSelectsTheLogicalLine();
  void keyboardOpensTheContextMenuAtTheCaret_data();
  void keyboardOpensTheContextMenuAtTheCaret();
  void droppedTextIsInsertedAtTheDropPosition();
  void droppedFilesAreInsertedAsOneUndoStep();
  void onlyALargeDropShowsTheWaitCursor();
  void droppedFileThatIsNotTextIsRefusedWithAMessage_data();
  void droppedFileThatIsNotTextIsRefusedWithAMessage();
  void readOnlyBoxRefusesDrops();
  void selectionDragsMoveWithinTheBoxAndCopyOut_data();
  void selectionDragsMoveWithinTheBoxAndCopyOut();
  void largeUndoRedoAndClipboardFetchShowTheWaitCursor();
  void tableKeysAreKeptFromWindowShortcuts_data();
  void tableKeysAreKeptFromWindowShortcuts();
  void whitespaceMarksChangeNeitherTextNorPositions();
  void boxWithoutScrollBarStillScrollsToTheCaret();
  void inputMethodCommitsAndSeesSurroundingText();
  void millionLinesScrollToEndPaintAndEdit();
  void oneHugeWrappedLineScrollsAndPaints();
};

void ListTextBoxTest::editingKeysChangeTextAndCaret_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<qsizetype>("caret");
  QTest::addColumn<QList<int>>("keys");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("expected");
  QTest::addColumn<qsizetype>("expectedCaret");
  const int ctrl = Qt::ControlModifier;
  const int shift = Qt::ShiftModifier;
  QTest::newRow("typing inserts at the caret") << "ac" << qsizetype{1} << QList<int>{} << "b"
                                               << "abc" << qsizetype{2};
  QTest::newRow("enter inserts a line break") << "ab" << qsizetype{1} << QList<int>{Qt::Key_Return} << ""
                                              << "a\nb" << qsizetype{2};
  QTest::newRow("keypad enter inserts a line break")
      << "ab" << qsizetype{1} << QList<int>{int{Qt::Key_Enter} | int{Qt::KeypadModifier}} << ""
      << "a\nb" << qsizetype{2};
  QTest::newRow("backspace deletes the character before")
      << "abc" << qsizetype{2} << QList<int>{Qt::Key_Backspace} << ""
      << "ac" << qsizetype{1};
  QTest::newRow("backspace at the start changes nothing")
      << "abc" << qsizetype{0} << QList<int>{Qt::Key_Backspace} << ""
      << "abc" << qsizetype{0};
  QTest::newRow("delete deletes the character after")
      << "abc" << qsizetype{1} << QList<int>{Qt::Key_Delete} << ""
      << "ac" << qsizetype{1};
  QTest::newRow("ctrl+backspace deletes the word before")
      << "one two" << qsizetype{7} << QList<int>{ctrl | Qt::Key_Backspace} << ""
      << "one " << qsizetype{4};
  QTest::newRow("ctrl+delete deletes to the next word")
      << "one two" << qsizetype{0} << QList<int>{ctrl | Qt::Key_Delete} << ""
      << "two" << qsizetype{0};
  QTest::newRow("typing replaces a shift-selection")
      << "abcd" << qsizetype{1} << QList<int>{shift | Qt::Key_Right, shift | Qt::Key_Right} << "X"
      << "aXd" << qsizetype{2};
  QTest::newRow("home goes to the line's start")
      << "ab\ncd" << qsizetype{4} << QList<int>{Qt::Key_Home} << "X"
      << "ab\nXcd" << qsizetype{4};
  QTest::newRow("end goes to the line's end") << "ab\ncd" << qsizetype{3} << QList<int>{Qt::Key_End} << "X"
                                              << "ab\ncdX" << qsizetype{6};
  QTest::newRow("ctrl+end goes to the text's end")
      << "ab\ncd" << qsizetype{0} << QList<int>{ctrl | Qt::Key_End} << "X"
      << "ab\ncdX" << qsizetype{6};
  QTest::newRow("ctrl+home goes to the text's start")
      << "ab\ncd" << qsizetype{5} << QList<int>{ctrl | Qt::Key_Home} << "X"
      << "Xab\ncd" << qsizetype{1};
  QTest::newRow("down keeps the column") << "abc\nabc" << qsizetype{1} << QList<int>{Qt::Key_Down} << "X"
                                         << "abc\naXbc" << qsizetype{6};
  QTest::newRow("up on the first line goes to the start")
      << "abc" << qsizetype{2} << QList<int>{Qt::Key_Up} << "X"
      << "Xabc" << qsizetype{1};
  QTest::newRow("ctrl+right goes to the next word")
      << "one two" << qsizetype{0} << QList<int>{ctrl | Qt::Key_Right} << "X"
      << "one Xtwo" << qsizetype{5};
  QTest::newRow("right steps over a surrogate pair")
      << "a" + kGrinning + "b" << qsizetype{1} << QList<int>{Qt::Key_Right} << "X"
      << "a" + kGrinning + "Xb" << qsizetype{4};
  QTest::newRow("backspace deletes a whole surrogate pair")
      << "a" + kGrinning + "b" << qsizetype{3} << QList<int>{Qt::Key_Backspace} << ""
      << "ab" << qsizetype{1};
  QTest::newRow("delete takes a letter with its combining accent")
      << QString::fromUtf8("e\xCC\x81x") << qsizetype{0} << QList<int>{Qt::Key_Delete} << ""
      << "x" << qsizetype{0};
  QTest::newRow("ctrl+a then typing replaces everything")
      << "abc" << qsizetype{1} << QList<int>{ctrl | Qt::Key_A} << "z"
      << "z" << qsizetype{1};
  QTest::newRow("ctrl with a letter types nothing")
      << "ab" << qsizetype{1} << QList<int>{ctrl | Qt::Key_B, ctrl | Qt::Key_Tab} << ""
      << "ab" << qsizetype{1};
}

void ListTextBoxTest::editingKeysChangeTextAndCaret() {
  QFETCH(QString, text);
  QFETCH(qsizetype, caret);
  QFETCH(QList<int>, keys);
  QFETCH(QString, typed);
  QFETCH(QString, expected);
  QFETCH(qsizetype, expectedCaret);
  Harness h;
  QVERIFY(h.ready());
  h.first->setPlainText(text);
  h.first->setSelection(caret, 0);
  for (const int key : keys) {
    const auto combination = QKeyCombination::fromCombined(key);
    QTest::keyClick(h.first, combination.key(), combination.keyboardModifiers());
  }
  QTest::keyClicks(h.first, typed);
  QCOMPARE(h.first->toPlainText(), expected);
  QCOMPARE(h.first->selectionStart(), expectedCaret);
  QCOMPARE(h.first->selectionLength(), qsizetype{0});
}

void ListTextBoxTest::tabMovesFocusAndInsertsNothing() {
  Harness h;
  QVERIFY(h.ready());
  h.first->setPlainText("ab");
  h.second->setPlainText("cd");
  QTest::keyClick(h.first, Qt::Key_Tab);
  QVERIFY(h.second->hasFocus());
  QTest::keyClick(h.second, Qt::Key_Backtab, Qt::ShiftModifier);
  QVERIFY(h.first->hasFocus());
  QCOMPARE(h.first->toPlainText(), QString("ab"));
  QCOMPARE(h.second->toPlainText(), QString("cd"));
}

void ListTextBoxTest::ctrlAAfterTheWindowsFilterKeepsEverythingSelected() {
  // The window selects the whole text in a key filter, then the key reaches the box.
  class SelectAllFilter : public QObject {
   public:
    bool eventFilter(QObject* watched, QEvent* event) override {
      auto* box = qobject_cast<ListTextBox*>(watched);
      if (box != nullptr && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_A && key->modifiers() == Qt::ControlModifier) {
          box->setSelection(0, box->toPlainText().size());
        }
      }
      return false;
    }
  } filter;
  Harness h;
  QVERIFY(h.ready());
  h.first->setPlainText("one\ntwo\nthree");
  h.first->installEventFilter(&filter);
  QTest::keyClick(h.first, Qt::Key_A, Qt::ControlModifier);
  QCOMPARE(h.first->selectionStart(), qsizetype{0});
  QCOMPARE(h.first->selectionLength(), qsizetype{13});
  QCOMPARE(h.first->selectedText(), QString("one\ntwo\nthree"));
}

void ListTextBoxTest::readOnlyRefusesEditsButAllowsCopy_data() {
  QTest::addColumn<QString>("action");
  for (const char* action : {"type", "enter", "backspace", "delete", "ctrl+backspace", "ctrl+v", "ctrl+x",
                             "ctrl+z", "shift+insert", "paste()", "cut()", "undo()", "input method"}) {
    QTest::newRow(action) << QString(action);
  }
}

void ListTextBoxTest::readOnlyRefusesEditsButAllowsCopy() {
  QFETCH(QString, action);
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setPlainText("alpha beta");
  box->setSelection(10, 0);
  QTest::keyClicks(box, "!");  // leaves something to undo
  box->setReadOnly(true);
  QGuiApplication::clipboard()->setText("pasted");
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QSignalSpy changed(box, &ListTextBox::textChanged);

  if (action == "type") {
    QTest::keyClicks(box, "xyz");
  } else if (action == "enter") {
    QTest::keyClick(box, Qt::Key_Return);
  } else if (action == "backspace") {
    QTest::keyClick(box, Qt::Key_Backspace);
  } else if (action == "delete") {
    QTest::keyClick(box, Qt::Key_Delete);
  } else if (action == "ctrl+backspace") {
    QTest::keyClick(box, Qt::Key_Backspace, Qt::ControlModifier);
  } else if (action == "ctrl+v") {
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
  } else if (action == "ctrl+x") {
    QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
  } else if (action == "ctrl+z") {
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
  } else if (action == "shift+insert") {
    QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier);
  } else if (action == "paste()") {
    box->paste();
  } else if (action == "cut()") {
    box->cut();
  } else if (action == "undo()") {
    box->undo();
  } else if (action == "input method") {
    QInputMethodEvent event(QString(), {});
    event.setCommitString("ime");
    QApplication::sendEvent(box, &event);
  }
  QCOMPARE(box->toPlainText(), QString("alpha beta!"));
  QCOMPARE(changed.count(), 0);
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("pasted"));  // a refused cut copies nothing either

  // Caret, selection and copying still work.
  QTest::keyClick(box, Qt::Key_Home);
  QTest::keyClick(box, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(box->selectedText(), QString("alpha "));
  QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("alpha "));
  box->selectAll();
  box->copy();
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("alpha beta!"));
}

void ListTextBoxTest::programSetsTextOfReadOnlyBox() {
  Harness h;
  QVERIFY(h.ready());
  h.first->setReadOnly(true);
  QSignalSpy changed(h.first, &ListTextBox::textChanged);
  h.first->setPlainText("sorted\nlist");
  QCOMPARE(h.first->toPlainText(), QString("sorted\nlist"));
  QCOMPARE(changed.count(), 1);
  QVERIFY(h.first->isReadOnly());
}

void ListTextBoxTest::setSelectionClampsAndKeepsPairsWhole_data() {
  // "ab" + grinning face (units 2 and 3) + "cd": six units.
  QTest::addColumn<qsizetype>("start");
  QTest::addColumn<qsizetype>("length");
  QTest::addColumn<qsizetype>("expectedStart");
  QTest::addColumn<qsizetype>("expectedLength");
  QTest::newRow("inside the text") << qsizetype{0} << qsizetype{2} << qsizetype{0} << qsizetype{2};
  QTest::newRow("caret only") << qsizetype{4} << qsizetype{0} << qsizetype{4} << qsizetype{0};
  QTest::newRow("whole text") << qsizetype{0} << qsizetype{6} << qsizetype{0} << qsizetype{6};
  QTest::newRow("length past the end") << qsizetype{4} << qsizetype{100} << qsizetype{4} << qsizetype{2};
  QTest::newRow("start past the end") << qsizetype{100} << qsizetype{5} << qsizetype{6} << qsizetype{0};
  QTest::newRow("negative start") << qsizetype{-3} << qsizetype{2} << qsizetype{0} << qsizetype{2};
  QTest::newRow("negative length selects backwards")
      << qsizetype{4} << qsizetype{-2} << qsizetype{2} << qsizetype{2};
  QTest::newRow("start inside a pair") << qsizetype{3} << qsizetype{2} << qsizetype{2} << qsizetype{3};
  QTest::newRow("end inside a pair") << qsizetype{1} << qsizetype{2} << qsizetype{1} << qsizetype{3};
  QTest::newRow("huge values") << qsizetype{-1} << std::numeric_limits<qsizetype>::max() << qsizetype{0}
                               << qsizetype{6};
}

void ListTextBoxTest::setSelectionClampsAndKeepsPairsWhole() {
  QFETCH(qsizetype, start);
  QFETCH(qsizetype, length);
  QFETCH(qsizetype, expectedStart);
  QFETCH(qsizetype, expectedLength);
  ListTextBox box;
  const QString text = "ab" + kGrinning + "cd";
  box.setPlainText(text);
  box.setSelection(start, length);
  QCOMPARE(box.selectionStart(), expectedStart);
  QCOMPARE(box.selectionLength(), expectedLength);
  QCOMPARE(box.selectedText(), text.mid(expectedStart, expectedLength));
}

void ListTextBoxTest::longLinesWrapWithoutHorizontalScrolling() {
  Harness h({120, 200});
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  const QString words = QString("alpha beta gamma delta epsilon ").repeated(30);
  box->setPlainText(words);
  QVERIFY(!box->horizontalScrollBar()->isVisible());
  QVERIFY2(box->verticalScrollBar()->isVisible(), "one long line fills more than the box's height");

  // End stops at the first row's end, just before the space the row broke at.
  QTest::keyClick(box, Qt::Key_End);
  const qsizetype firstRowEnd = box->selectionStart();
  QVERIFY(firstRowEnd > 0 && firstRowEnd < 40);
  QCOMPARE(words.at(firstRowEnd), QLatin1Char(' '));
  // Down stays in the same line, on the next row.
  QTest::keyClick(box, Qt::Key_Down);
  QVERIFY(box->selectionStart() > firstRowEnd && box->selectionStart() < 80);

  // A word longer than the box breaks between characters; a wider box holds more per row.
  box->setPlainText(QString("x").repeated(500));
  QTest::keyClick(box, Qt::Key_End);
  const qsizetype narrowRow = box->selectionStart();
  QVERIFY(narrowRow > 0 && narrowRow < 500);
  box->resize(240, 200);
  QTest::keyClick(box, Qt::Key_Home);
  QTest::keyClick(box, Qt::Key_End);
  QVERIFY(box->selectionStart() > narrowRow);
  QVERIFY(!box->horizontalScrollBar()->isVisible());

  // Ctrl+End brings the last row into view.
  QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(box->verticalScrollBar()->value(), box->verticalScrollBar()->maximum());
}

void ListTextBoxTest::undoRedoStepsMergeConsecutiveTyping() {
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  QTest::keyClicks(box, "abc");
  QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(box->toPlainText(), QString());
  QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(box->toPlainText(), QString("abc"));

  // Moving the caret ends a typing step; backspaces in a row are one step.
  QTest::keyClick(box, Qt::Key_Left);
  QTest::keyClicks(box, "XY");
  QTest::keyClick(box, Qt::Key_End);
  QTest::keyClick(box, Qt::Key_Backspace);
  QTest::keyClick(box, Qt::Key_Backspace);
  QCOMPARE(box->toPlainText(), QString("abX"));
  box->undo();
  QCOMPARE(box->toPlainText(), QString("abXYc"));
  box->undo();
  QCOMPARE(box->toPlainText(), QString("abc"));
  box->redo();
  QCOMPARE(box->toPlainText(), QString("abXYc"));

  // Undoing a deletion brings back the text and its selection; a new edit drops the redo steps.
  box->selectAll();
  QTest::keyClick(box, Qt::Key_Delete);
  QCOMPARE(box->toPlainText(), QString());
  box->undo();
  QCOMPARE(box->selectedText(), QString("abXYc"));
  QTest::keyClicks(box, "new");
  box->redo();
  QCOMPARE(box->toPlainText(), QString("new"));

  // The program's own text replaces the history.
  box->setPlainText("fresh");
  box->undo();
  QCOMPARE(box->toPlainText(), QString("fresh"));
}

void ListTextBoxTest::mouseClicksDragsAndDoubleClicksSelect() {
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setPlainText("hello world\nsecond line");
  QWidget* view = box->viewport();

  QTest::mouseClick(view, Qt::LeftButton, {}, pointOf(box, 6));
  QCOMPARE(box->selectionStart(), qsizetype{6});
  QCOMPARE(box->selectionLength(), qsizetype{0});

  QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, pointOf(box, 14));
  QCOMPARE(box->selectedText(), QString("world\nse"));

  QTest::mousePress(view, Qt::LeftButton, {}, pointOf(box, 0));
  QTest::mouseMove(view, pointOf(box, 5));
  QTest::mouseRelease(view, Qt::LeftButton, {}, pointOf(box, 5));
  QCOMPARE(box->selectedText(), QString("hello"));

  QTest::mouseDClick(view, Qt::LeftButton, {}, pointOf(box, 8));
  QCOMPARE(box->selectedText(), QString("world"));
  // A click on the selection, without dragging it, puts the caret there.
  QTest::mouseClick(view, Qt::LeftButton, {}, pointOf(box, 10) + QPoint(0, 1));
  QCOMPARE(std::make_pair(box->selectionStart(), box->selectionLength()),
           std::make_pair(qsizetype{10}, qsizetype{0}));

  // Below and right of the last row: the caret goes to the end of the text.
  QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(view->width() - 5, view->height() - 2));
  QCOMPARE(box->selectionStart(), qsizetype{23});
}

void ListTextBoxTest::contextMenuEnablesWhatApplies() {
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setPlainText("one two");
  QGuiApplication::clipboard()->setText("clip");

  // Opens the menu, reads which actions are enabled, optionally triggers one, and closes it.
  const auto menuState = [box](const QString& trigger) {
    std::map<QString, bool> enabled;
    QTimer::singleShot(0, box, [&enabled, trigger] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) {
        return;
      }
      for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
          enabled[action->objectName()] = action->isEnabled();
        }
        if (action->objectName() == trigger) {
          action->trigger();
        }
      }
      menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            box->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(box->viewport(), &event);
    return enabled;
  };

  auto state = menuState(QString());
  QVERIFY(!state.at("edit-undo") && !state.at("edit-redo") && !state.at("edit-cut") &&
          !state.at("edit-copy") && !state.at("edit-delete"));
  QVERIFY(state.at("edit-paste") && state.at("select-all"));

  box->setSelection(0, 3);
  state = menuState("edit-delete");
  QVERIFY(state.at("edit-cut") && state.at("edit-copy") && state.at("edit-delete"));
  QCOMPARE(box->toPlainText(), QString(" two"));
  state = menuState(QString());
  QVERIFY(state.at("edit-undo"));

  box->setReadOnly(true);
  box->setSelection(1, 3);
  state = menuState("edit-copy");
  QVERIFY(!state.at("edit-undo") && !state.at("edit-cut") && !state.at("edit-paste") &&
          !state.at("edit-delete"));
  QVERIFY(state.at("edit-copy") && state.at("select-all"));
  QCOMPARE(QGuiApplication::clipboard()->text(), QString("two"));
}

void ListTextBoxTest::tripleClickSelectsTheLogicalLine_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<qsizetype>("clickAt");
  QTest::addColumn<QString>("selected");
  QTest::newRow("middle line, with its break") << "one\ntwo words\nthree" << qsizetype{6} << "two words\n";
  QTest::newRow("last line, no break after it") << "one\ntwo\nthree" << qsizetype{10} << "three";
  QTest::newRow("first line") << "one\ntwo" << qsizetype{0} << "one\n";
  QTest::newRow("empty line") << "one\n\nthree" << qsizetype{4} << "\n";
  const QString longLine = QString("alpha beta gamma delta ").repeated(12);
  QTest::newRow("wrapped line, second row: the whole line")
      << "first\n" + longLine + "\nlast" << qsizetype{6 + 40} << longLine + "\n";
}

void ListTextBoxTest::tripleClickSelectsTheLogicalLine() {
  QFETCH(QString, text);
  QFETCH(qsizetype, clickAt);
  QFETCH(QString, selected);
  Harness h({120, 200});
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setPlainText(text);
  const QPoint at = pointOf(box, clickAt);
  QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, at);
  QCOMPARE(box->selectedText(), selected);
  QCOMPARE(box->toPlainText(), text);

  // A fourth click is a plain click again: it puts the caret down.
  QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, at);
  QCOMPARE(box->selectionLength(), qsizetype{0});
  // A click far from the double-click is not a triple-click.
  QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, pointOf(box, text.size()));
  QCOMPARE(box->selectionLength(), qsizetype{0});
}

void ListTextBoxTest::keyboardOpensTheContextMenuAtTheCaret_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
  QTest::addColumn<bool>("readOnly");
  QTest::newRow("shift+f10") << int{Qt::Key_F10} << Qt::KeyboardModifiers(Qt::ShiftModifier) << false;
  QTest::newRow("menu key") << int{Qt::Key_Menu} << Qt::KeyboardModifiers() << false;
  QTest::newRow("shift+f10, read-only")
      << int{Qt::Key_F10} << Qt::KeyboardModifiers(Qt::ShiftModifier) << true;
}

void ListTextBoxTest::keyboardOpensTheContextMenuAtTheCaret() {
  QFETCH(int, key);
  QFETCH(Qt::KeyboardModifiers, modifiers);
  QFETCH(bool, readOnly);
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setPlainText("one\ntwo\nthree");
  box->setReadOnly(readOnly);
  box->setSelection(9, 0);
  const QPoint caret = box->viewport()->mapToGlobal(pointOf(box, 9));
  QPoint menuAt;
  QStringList actions;
  QTimer::singleShot(0, box, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      menuAt = menu->pos();
      for (QAction* action : menu->actions()) {
        actions << action->objectName();
      }
      menu->close();
    }
  });
  QTest::keyClick(box, static_cast<Qt::Key>(key), modifiers);
  QVERIFY2(actions.contains("edit-copy"), "the edit menu opened");
  // Just below the caret, not wherever the pointer happens to be.
  QVERIFY2((menuAt - caret).manhattanLength() < 3 * box->fontMetrics().lineSpacing(),
           qPrintable(QString("menu at %1,%2, caret at %3,%4")
                          .arg(menuAt.x())
                          .arg(menuAt.y())
                          .arg(caret.x())
                          .arg(caret.y())));
  QCOMPARE(box->toPlainText(), QString("one\ntwo\nthree"));
}

void ListTextBoxTest::droppedTextIsInsertedAtTheDropPosition() {
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setPlainText("alpha\ngamma");
  box->setSelection(0, 2);
  QMimeData mime;
  mime.setText("beta\r\n");
  QVERIFY(dropAt(box, 6, &mime));
  QCOMPARE(box->toPlainText(), QString("alpha\nbeta\ngamma"));
  QCOMPARE(box->selectedText(), QString("beta\n"));  // the dropped text, not the old selection
  box->undo();
  QCOMPARE(box->toPlainText(), QString("alpha\ngamma"));
}

void ListTextBoxTest::droppedFilesAreInsertedAsOneUndoStep() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setPlainText("start\nend");
  QSignalSpy refused(box, &ListTextBox::dropRefused);
  QMimeData mime;
  // Two files: UTF-8 with a byte-order mark and CR LF breaks, and one with no final line break.
  mime.setUrls({fileWith(dir, "first.txt", "\xEF\xBB\xBFpear\r\n\xC3\xA4pple\r\n"),
                fileWith(dir, "second.txt", "cherry\nbanana")});
  mime.setText("these paths are not what is inserted");
  QVERIFY(dropAt(box, 6, &mime));
  QCOMPARE(box->toPlainText(), QString::fromUtf8("start\npear\n\xC3\xA4pple\ncherry\nbanana"
                                                 "end"));
  QCOMPARE(refused.count(), 0);
  box->undo();
  QCOMPARE(box->toPlainText(), QString("start\nend"));
  box->redo();
  QVERIFY(box->toPlainText().endsWith("bananaend"));
}

void ListTextBoxTest::onlyALargeDropShowsTheWaitCursor() {
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  std::vector<bool> waitingWhenChanged;
  connect(box, &ListTextBox::textChanged, this, [&] {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    waitingWhenChanged.push_back(cursor != nullptr && cursor->shape() == Qt::WaitCursor);
  });
  QMimeData small;
  small.setText("a few\nlines\n");
  QVERIFY(dropAt(box, 0, &small));
  QMimeData large;
  large.setText(QString("item\n").repeated(60000));
  QVERIFY(dropAt(box, 0, &large));
  QCOMPARE(waitingWhenChanged, (std::vector<bool>{false, true}));
  QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  QCOMPARE(box->toPlainText().size(), 60000 * 5 + 12);
}

void ListTextBoxTest::droppedFileThatIsNotTextIsRefusedWithAMessage_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::newRow("invalid UTF-8") << QByteArray("caf\xE9 latin-1\n");
  QTest::newRow("binary with NUL bytes") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
}

void ListTextBoxTest::droppedFileThatIsNotTextIsRefusedWithAMessage() {
  QFETCH(QByteArray, bytes);
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setPlainText("keep");
  QSignalSpy changed(box, &ListTextBox::textChanged);
  QSignalSpy refused(box, &ListTextBox::dropRefused);
  QMimeData mime;
  // A good file first: the bad one stops the whole drop.
  mime.setUrls({fileWith(dir, "good.txt", "fine\n"), fileWith(dir, "picture.bin", bytes)});
  QVERIFY(!dropAt(box, 4, &mime));
  QCOMPARE(box->toPlainText(), QString("keep"));
  QCOMPARE(changed.count(), 0);
  QCOMPARE(refused.count(), 1);
  const QString message = refused.at(0).at(0).toString();
  QVERIFY2(message.contains("picture.bin") && message.contains("UTF-8"), qPrintable(message));

  // A missing file is refused the same way.
  mime.setUrls({QUrl::fromLocalFile(QDir(dir.path()).filePath("gone.txt"))});
  QVERIFY(!dropAt(box, 4, &mime));
  QCOMPARE(refused.count(), 2);
  QVERIFY(refused.at(1).at(0).toString().contains("gone.txt"));
  QCOMPARE(box->toPlainText(), QString("keep"));
}

void ListTextBoxTest::readOnlyBoxRefusesDrops() {
  QTemporaryDir dir;
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setPlainText("sorted");
  box->setReadOnly(true);
  QVERIFY(!box->viewport()->acceptDrops());
  QMimeData text;
  text.setText("dropped");
  QVERIFY(!dropAt(box, 3, &text));
  QMimeData files;
  files.setUrls({fileWith(dir, "list.txt", "a\nb")});
  QVERIFY(!dropAt(box, 3, &files));
  QCOMPARE(box->toPlainText(), QString("sorted"));
  box->setReadOnly(false);
  QVERIFY(box->viewport()->acceptDrops());
}

void ListTextBoxTest::selectionDragsMoveWithinTheBoxAndCopyOut_data() {
  QTest::addColumn<bool>("readOnly");
  QTest::addColumn<bool>("toOther");  // dropped in the second box instead of the first
  QTest::addColumn<qsizetype>("dropPos");
  QTest::addColumn<bool>("ctrl");
  QTest::addColumn<QString>("first");   // the first box's text after the drop
  QTest::addColumn<QString>("second");  // the second box's
  // The first box holds "one two three" with "two" selected.
  QTest::newRow("moved to the end") << false << false << qsizetype{13} << false << "one  threetwo"
                                    << "";
  QTest::newRow("moved to the start") << false << false << qsizetype{0} << false << "twoone  three"
                                      << "";
  QTest::newRow("ctrl copies within the box") << false << false << qsizetype{13} << true << "one two threetwo"
                                              << "";
  QTest::newRow("dropped on itself") << false << false << qsizetype{5} << false << "one two three"
                                     << "";
  QTest::newRow("another box gets a copy") << false << true << qsizetype{0} << false << "one two three"
                                           << "two";
  QTest::newRow("dragged out of a read-only box") << true << true << qsizetype{0} << false << "one two three"
                                                  << "two";
}

void ListTextBoxTest::selectionDragsMoveWithinTheBoxAndCopyOut() {
  QFETCH(bool, readOnly);
  QFETCH(bool, toOther);
  QFETCH(qsizetype, dropPos);
  QFETCH(bool, ctrl);
  QFETCH(QString, first);
  QFETCH(QString, second);
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  const QString text = "one two three";
  box->setPlainText(text);
  box->setReadOnly(readOnly);
  box->setSelection(4, 3);
  // A press on the selection and a move past the drag distance start a drag of it.
  const QPoint from = pointOf(box, 5);
  QTest::mousePress(box->viewport(), Qt::LeftButton, {}, from);
  QCOMPARE(box->selectedText(), QString("two"));
  QTest::mouseMove(box->viewport(), from + QPoint(QApplication::startDragDistance() + 2, 0));
  QTest::mouseRelease(box->viewport(), Qt::LeftButton, {},
                      from + QPoint(QApplication::startDragDistance() + 2, 0));
  const QList<QDrag*> drags = box->findChildren<QDrag*>();
  QVERIFY(!drags.isEmpty() && drags.last()->mimeData() != nullptr);
  const QDrag* drag = drags.last();
  QCOMPARE(drag->mimeData()->text(), QString("two"));
  QCOMPARE(drag->supportedActions(),
           readOnly ? Qt::DropActions(Qt::CopyAction) : Qt::CopyAction | Qt::MoveAction);
  // What the drag carries, dropped as the platform would hand it over.
  QMimeData carried;
  for (const QString& format : drag->mimeData()->formats()) {
    carried.setData(format, drag->mimeData()->data(format));
  }
  QVERIFY(dropAt(toOther ? h.second : box, dropPos, &carried, ctrl ? Qt::ControlModifier : Qt::NoModifier));
  QCOMPARE(box->toPlainText(), first);
  QCOMPARE(h.second->toPlainText(), second);
  if (first != text) {
    QCOMPARE(box->selectedText(), QString("two"));  // the dropped text is selected
    box->undo();                                    // one step takes the whole drop back
    QCOMPARE(box->toPlainText(), text);
    QCOMPARE(std::make_pair(box->selectionStart(), box->selectionLength()),
             std::make_pair(qsizetype{4}, qsizetype{3}));
  }
}

void ListTextBoxTest::largeUndoRedoAndClipboardFetchShowTheWaitCursor() {
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  const auto waiting = [] {
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
  };
  std::vector<bool> waitingWhenChanged;
  connect(box, &ListTextBox::textChanged, this, [&] { waitingWhenChanged.push_back(waiting()); });
  box->replaceRange(0, 0, "small\n");
  box->replaceRange(0, 0, QString("item\n").repeated(60000));
  waitingWhenChanged.clear();
  box->undo();
  box->undo();
  box->redo();
  box->redo();
  QCOMPARE(waitingWhenChanged, (std::vector<bool>{true, false, false, true}));

  // Another program's clipboard is read under the wait cursor, whatever its size.
  class Clip final : public QMimeData {
   public:
    bool* seenWaiting;
    explicit Clip(bool* seen) : seenWaiting(seen) {}
    QStringList formats() const override { return {"text/plain"}; }
    bool hasFormat(const QString& format) const override { return format == "text/plain"; }

   protected:
    QVariant retrieveData(const QString& /*format*/, QMetaType /*type*/) const override {
      *seenWaiting = QGuiApplication::overrideCursor() != nullptr &&
                     QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
      return QString("x");
    }
  };
  bool seenWaiting = false;
  QGuiApplication::clipboard()->setMimeData(new Clip(&seenWaiting));
  box->paste();
  QCOMPARE(seenWaiting, !QGuiApplication::clipboard()->ownsClipboard());
  QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void ListTextBoxTest::tableKeysAreKeptFromWindowShortcuts_data() {
  QTest::addColumn<int>("combination");
  QTest::addColumn<int>("command");
  for (const ordwell::listbox::KeyBinding& binding : ordwell::listbox::kStandardKeyBindings) {
    // Every sequence the platform binds to the key, as the box would receive it.
    for (const QKeySequence& sequence : QKeySequence::keyBindings(binding.key)) {
      const QString name = sequence.toString() + (binding.extendsSelection ? " (select)" : "");
      QTest::newRow(qPrintable(name)) << sequence[0].toCombined() << static_cast<int>(binding.command);
    }
  }
  using ordwell::listbox::KeyCommand;
  QTest::newRow("Backspace") << int{Qt::Key_Backspace} << static_cast<int>(KeyCommand::DeletePreviousChar);
  QTest::newRow("Return") << int{Qt::Key_Return} << static_cast<int>(KeyCommand::InsertLineBreak);
  QTest::newRow("Shift+F10") << (Qt::ShiftModifier | Qt::Key_F10).toCombined()
                             << static_cast<int>(KeyCommand::ContextMenu);
  QTest::newRow("Menu") << int{Qt::Key_Menu} << static_cast<int>(KeyCommand::ContextMenu);
  QTest::newRow("typed letter") << int{Qt::Key_Q} << static_cast<int>(KeyCommand::InsertText);
}

void ListTextBoxTest::tableKeysAreKeptFromWindowShortcuts() {
  QFETCH(int, combination);
  QFETCH(int, command);
  const auto key = QKeyCombination::fromCombined(combination);
  const auto expected = static_cast<ordwell::listbox::KeyCommand>(command);
  // The press maps back to its command (no earlier table row takes the key first).
  // A plain letter carries the text it types, as from a keyboard.
  const bool letter =
      key.key() >= Qt::Key_A && key.key() <= Qt::Key_Z && key.keyboardModifiers() == Qt::NoModifier;
  const QString text = letter ? QString(QChar(key.key())).toLower() : QString();
  const QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers(), text);
  const auto binding = ordwell::listbox::keyBindingFor(press);
  QVERIFY(binding.has_value());
  QCOMPARE(static_cast<int>(binding->command), command);

  // The box claims the key before any window shortcut, except an edit in a read-only box.
  for (const bool readOnly : {false, true}) {
    ListTextBox box;
    box.setReadOnly(readOnly);
    QKeyEvent override(QEvent::ShortcutOverride, key.key(), key.keyboardModifiers(), text);
    override.ignore();
    QApplication::sendEvent(&box, &override);
    QCOMPARE(override.isAccepted(), !(readOnly && ordwell::listbox::changesText(expected)));
  }
}

void ListTextBoxTest::whitespaceMarksChangeNeitherTextNorPositions() {
  Harness h({160, 120});
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setFont(testFont());
  QCOMPARE(QFontInfo(box->font()).family(), QStringLiteral("Ordwell Test Sans"));
  const QString text = "a, b\tc\n\n  d e";
  box->setPlainText(text);
  QVERIFY(!box->isWhitespaceShown());
  QList<QRect> caretsWithout;
  for (qsizetype pos = 0; pos <= text.size(); ++pos) {
    box->setSelection(pos, 0);
    caretsWithout << box->inputMethodQuery(Qt::ImCursorRectangle).toRect();
  }

  box->setWhitespaceShown(true);
  QVERIFY(box->isWhitespaceShown());
  QCOMPARE(box->toPlainText(), text);
  for (qsizetype pos = 0; pos <= text.size(); ++pos) {
    box->setSelection(pos, 0);
    QCOMPARE(box->inputMethodQuery(Qt::ImCursorRectangle).toRect(), caretsWithout[pos]);
  }
  // Clicking and selecting land where they did without the marks.
  QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, pointOf(box, 3));
  QCOMPARE(box->selectionStart(), qsizetype{3});
  QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, pointOf(box, 14));
  QCOMPARE(box->selectedText(), QString("e"));
  box->selectAll();
  QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), text);

  // The marks are drawn faintly, each in the cell of its own character (a line break's after its
  // row's text), on the background only: the glyphs are left alone, nothing changes elsewhere.
  struct Mark {
    QChar c;
    QRect cell;
    int pixels = 0;
    int darkest = 255;
  };
  std::vector<Mark> marks;
  const QFontMetrics metrics(box->font());
  const QPoint offset = box->viewport()->pos();
  for (qsizetype pos = 0; pos < text.size(); ++pos) {
    const QChar c = text.at(pos);
    if (c == u' ' || c == u'\t' || c == u'\n') {
      const QRect caret = caretsWithout[pos].translated(-offset);
      const int right = c == u'\n' ? caret.x() + metrics.horizontalAdvance(QChar(0x00B6))
                                   : caretsWithout[pos + 1].translated(-offset).x();
      marks.push_back(
          {c, QRect(QPoint(caret.x(), caret.top()), QPoint(right, caret.bottom())).adjusted(-1, 0, 1, 0)});
    }
  }
  box->setSelection(0, 0);
  box->clearFocus();
  h.second->setFocus();
  const QImage with = box->viewport()->grab().toImage();
  box->setWhitespaceShown(false);
  const QImage plain = box->viewport()->grab().toImage();
  const QRgb base = box->palette().color(QPalette::Base).rgb();
  const int textGray = qGray(box->palette().color(QPalette::Text).rgb());
  for (int y = 0; y < with.height(); ++y) {
    for (int x = 0; x < with.width(); ++x) {
      if (with.pixel(x, y) == plain.pixel(x, y)) {
        continue;
      }
      const QString where = QStringLiteral(" at %1,%2").arg(x).arg(y);
      const auto mark =
          std::find_if(marks.begin(), marks.end(), [&](const Mark& m) { return m.cell.contains(x, y); });
      QVERIFY2(mark != marks.end(), qPrintable("a mark outside its cell" + where));
      QVERIFY2(plain.pixel(x, y) == base, qPrintable("a mark over a glyph" + where));
      QVERIFY2(qGray(with.pixel(x, y)) > textGray + 40, qPrintable("a mark as dark as the text" + where));
      ++mark->pixels;
      mark->darkest = std::min(mark->darkest, qGray(with.pixel(x, y)));
    }
  }
  // Every mark shows; a space's is as plain to see as a line break's: as dark, and a dot of a few
  // whole pixels rather than a speck.
  const int pilcrowDarkest =
      std::find_if(marks.begin(), marks.end(), [](const Mark& m) { return m.c == u'\n'; })->darkest;
  for (const Mark& mark : marks) {
    const QString which = QStringLiteral("mark of U+%1 at %2,%3")
                              .arg(mark.c.unicode(), 4, 16, QLatin1Char('0'))
                              .arg(mark.cell.x())
                              .arg(mark.cell.y());
    QVERIFY2(mark.pixels > 0, qPrintable(which + " drawn"));
    if (mark.c == u' ') {
      QVERIFY2(mark.darkest <= pilcrowDarkest + 4,
               qPrintable(which + QStringLiteral(" as dark as the line break's: %1 against %2")
                                      .arg(mark.darkest)
                                      .arg(pilcrowDarkest)));
      QVERIFY2(mark.pixels >= 6, qPrintable(which + QStringLiteral(" covers %1 pixels").arg(mark.pixels)));
    }
  }
}

void ListTextBoxTest::boxWithoutScrollBarStillScrollsToTheCaret() {
  Harness h({80, 50});
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setScrollBarShown(false);
  const QString text = numberedLines(200, "\n");
  box->setPlainText(text);
  QVERIFY(!box->verticalScrollBar()->isVisible());
  QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
  QVERIFY(box->verticalScrollBar()->value() > 150);
  QVERIFY(!box->verticalScrollBar()->isVisible());
  QTest::keyClick(box, Qt::Key_Return);
  QTest::keyClick(box, Qt::Key_Tab);
  QVERIFY(h.second->hasFocus());
  QCOMPARE(box->toPlainText(), text + "\n");
}

void ListTextBoxTest::inputMethodCommitsAndSeesSurroundingText() {
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  box->setPlainText("first\nsecond line");
  box->setSelection(12, 0);
  QCOMPARE(box->inputMethodQuery(Qt::ImSurroundingText).toString(), QString("second line"));
  QCOMPARE(box->inputMethodQuery(Qt::ImCursorPosition).toInt(), 6);
  QVERIFY(box->rect().contains(box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center()));

  QInputMethodEvent event(QString(), {});
  event.setCommitString(QString::fromUtf8("\xC3\xBC"));
  QApplication::sendEvent(box, &event);
  QCOMPARE(box->toPlainText(), QString::fromUtf8("first\nsecond\xC3\xBC line"));
  QCOMPARE(box->selectionStart(), qsizetype{13});
}

void ListTextBoxTest::millionLinesScrollToEndPaintAndEdit() {
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  const QString text = numberedLines(1'000'000, "\n");
  box->setPlainText(text);
  QCOMPARE(box->toPlainText(), text);
  QScrollBar* bar = box->verticalScrollBar();
  QVERIFY(bar->isVisible());
  QVERIFY(bar->maximum() > 990'000);

  QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(bar->value(), bar->maximum());
  QVERIFY(!box->grab().isNull());
  QTest::keyClicks(box, "Z");
  QVERIFY(box->toPlainText().endsWith("item999999Z"));

  // An edit in the middle moves only what follows it.
  box->setSelection(text.indexOf("item500000\n") + 10, 0);
  QTest::keyClick(box, Qt::Key_Return);
  QTest::keyClicks(box, "new");
  QVERIFY(box->toPlainText().contains("item500000\nnew\nitem500001"));
  const int maximum = bar->maximum();
  QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(bar->value(), maximum);
  QCOMPARE(box->selectionStart(), text.size() + 5);

  QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
  QCOMPARE(bar->value(), 0);
  QVERIFY(!box->grab().isNull());
}

void ListTextBoxTest::oneHugeWrappedLineScrollsAndPaints() {
  Harness h;
  QVERIFY(h.ready());
  ListTextBox* box = h.first;
  const QString text = numberedLines(1'000'000, ", ");
  QVERIFY(text.size() > 9'000'000);
  box->setPlainText(text);
  QScrollBar* bar = box->verticalScrollBar();
  QVERIFY2(bar->maximum() > 100'000, "the line wraps into many rows");
  QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
  QCOMPARE(bar->value(), bar->maximum());
  QVERIFY(!box->grab().isNull());

  // Keys move by rows within the line; Ctrl+A selects it all.
  QTest::keyClick(box, Qt::Key_Up);
  QVERIFY(box->selectionStart() > text.size() - 100);
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QCOMPARE(box->selectionLength(), text.size());
  QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
  QCOMPARE(bar->value(), 0);
  QVERIFY(!box->grab().isNull());
}

QTEST_MAIN(ListTextBoxTest)
#include "list_text_box_test.moc"
