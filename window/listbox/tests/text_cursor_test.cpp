#include "window/listbox/tests/tests.h"

#include "window/listbox/text_cursor.h"
#include "window/listbox/undo_history.h"

#include <QTest>

using ordwell::listbox::EditKind;
using ordwell::listbox::TextRange;
using ordwell::listbox::UndoHistory;
using ordwell::listbox::UndoStep;

namespace {

const QString kGrinning = QString::fromUtf8("\xF0\x9F\x98\x80");  // one character, two UTF-16 units

}  // namespace

class TextCursorTest : public QObject {
  Q_OBJECT

 private slots:
  void wordAndLineAroundAPosition_data();
  void wordAndLineAroundAPosition();
  void wordMovesStopAtRunsAndLineBreaks();
  void undoHistoryMergesOnlyContinuingRuns();
};

void TextCursorTest::wordAndLineAroundAPosition_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<qsizetype>("pos");
  QTest::addColumn<QString>("word");
  QTest::addColumn<QString>("line");
  QTest::newRow("inside a word") << "one two\nthree" << qsizetype{5} << "two"
                                 << "one two\n";
  QTest::newRow("on a space") << "one  two" << qsizetype{4} << "  "
                              << "one  two";
  QTest::newRow("at a line's end: the word before") << "one\ntwo" << qsizetype{3} << "one"
                                                    << "one\n";
  QTest::newRow("at the text's end") << "one\ntwo" << qsizetype{7} << "two"
                                     << "two";
  QTest::newRow("empty line") << "a\n\nb" << qsizetype{2} << ""
                              << "\n";
  QTest::newRow("empty text") << "" << qsizetype{0} << ""
                              << "";
  QTest::newRow("punctuation run") << "a, b" << qsizetype{1} << ","
                                   << "a, b";
  QTest::newRow("a word with a surrogate pair")
      << "x" + kGrinning + "y z" << qsizetype{1} << kGrinning << "x" + kGrinning + "y z";
  QTest::newRow("position past the end is clamped") << "ab\ncd" << qsizetype{99} << "cd"
                                                    << "cd";
}

void TextCursorTest::wordAndLineAroundAPosition() {
  QFETCH(QString, text);
  QFETCH(qsizetype, pos);
  QFETCH(QString, word);
  QFETCH(QString, line);
  const TextRange w = ordwell::listbox::wordAt(text, pos);
  QCOMPARE(text.mid(w.start, w.end - w.start), word);
  const TextRange l = ordwell::listbox::lineAt(text, pos);
  QCOMPARE(text.mid(l.start, l.end - l.start), line);
}

void TextCursorTest::wordMovesStopAtRunsAndLineBreaks() {
  const QString text = "one, two\n  three";
  QList<qsizetype> forward;
  for (qsizetype pos = 0; pos < text.size(); pos = ordwell::listbox::nextWordStart(text, pos)) {
    forward << pos;
  }
  QCOMPARE(forward, (QList<qsizetype>{0, 3, 5, 8, 9, 11}));
  QList<qsizetype> backward;
  for (qsizetype pos = text.size(); pos > 0;) {
    pos = ordwell::listbox::previousWordStart(text, pos);
    backward << pos;
  }
  QCOMPARE(backward, (QList<qsizetype>{11, 8, 5, 3, 0}));
  // A surrogate pair is never split.
  const QString pair = "a" + kGrinning;
  QCOMPARE(ordwell::listbox::previousCodePoint(pair, 3), qsizetype{1});
  QCOMPARE(ordwell::listbox::nextGrapheme(pair, 1), qsizetype{3});
  QCOMPARE(ordwell::listbox::snapToCodePoint(pair, 2, true), qsizetype{3});
  QCOMPARE(ordwell::listbox::snapToCodePoint(pair, 2, false), qsizetype{1});
}

void TextCursorTest::undoHistoryMergesOnlyContinuingRuns() {
  UndoHistory history;
  QVERIFY(!history.canUndo() && !history.takeUndo());
  // "ab" typed in a row is one step; a typed "c" elsewhere is another.
  history.record({0, "", "a", 0, 0, EditKind::Typing});
  history.record({1, "", "b", 1, 1, EditKind::Typing});
  history.record({5, "", "c", 5, 5, EditKind::Typing});
  auto step = history.takeUndo();
  QVERIFY(step && step->inserted == "c");
  step = history.takeUndo();
  QVERIFY(step && step->inserted == "ab" && step->pos == 0);
  QVERIFY(!history.canUndo() && history.canRedo());

  // Backspaces in a row merge backwards; a closed run or another kind starts a new step.
  history.record({4, "d", "", 5, 5, EditKind::DeleteBack});
  QVERIFY(!history.canRedo());
  history.record({3, "c", "", 4, 4, EditKind::DeleteBack});
  history.closeRun();
  history.record({2, "b", "", 3, 3, EditKind::DeleteBack});
  history.record({2, "x", "", 2, 2, EditKind::DeleteForward});
  history.record({2, "y", "", 2, 2, EditKind::DeleteForward});
  step = history.takeUndo();
  QVERIFY(step && step->removed == "xy" && step->kind == EditKind::DeleteForward);
  step = history.takeUndo();
  QVERIFY(step && step->removed == "b");
  step = history.takeUndo();
  QVERIFY(step && step->removed == "cd" && step->pos == 3 && step->caretBefore == 5);
  step = history.takeRedo();
  QVERIFY(step && step->removed == "cd");
  // A paste (Other) never merges, even with a paste right after it.
  history.clear();
  history.record({0, "", "p", 0, 0, EditKind::Other});
  history.record({1, "", "q", 1, 1, EditKind::Other});
  QVERIFY(history.takeUndo()->inserted == "q");
}

int runTextCursorTests(int argc, char** argv) {
  TextCursorTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "text_cursor_test.moc"
