#include "window/listbox/text_cursor.h"
#include "window/listbox/undo_history.h"

#include <QTest>

#include <algorithm>

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
  void undoHistoryKeepsTheNewestStepsWithinItsBound_data();
  void undoHistoryKeepsTheNewestStepsWithinItsBound();
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

void TextCursorTest::undoHistoryKeepsTheNewestStepsWithinItsBound_data() {
  QTest::addColumn<qsizetype>("minBudget");
  QTest::addColumn<qsizetype>("textLength");
  QTest::addColumn<QList<int>>("stepSizes");  // the text each step replaces, oldest first
  QTest::newRow("all fit under the floor") << qsizetype{1000} << qsizetype{10} << QList<int>{10, 20, 30};
  QTest::newRow("the floor drops the oldest")
      << qsizetype{300} << qsizetype{10} << QList<int>{100, 50, 100, 20, 60};
  QTest::newRow("four times a long text")
      << qsizetype{10} << qsizetype{100} << QList<int>{90, 90, 90, 90, 90, 90};
  QTest::newRow("a huge newest step is kept alone")
      << qsizetype{100} << qsizetype{0} << QList<int>{10, 10, 5000};
  QTest::newRow("many small edits") << qsizetype{1000} << qsizetype{0} << QList<int>(200, 1);
}

void TextCursorTest::undoHistoryKeepsTheNewestStepsWithinItsBound() {
  QFETCH(qsizetype, minBudget);
  QFETCH(qsizetype, textLength);
  QFETCH(QList<int>, stepSizes);
  UndoHistory history(minBudget);
  // Steps that never merge; each is told apart by its position, its index.
  for (int i = 0; i < stepSizes.size(); ++i) {
    history.record({i, QString(stepSizes[i], u'r'), "", 0, 0, EditKind::Other}, textLength);
  }
  // Reference: the newest step, then older ones while the rest fit in the bound.
  const qsizetype budget = std::max(minBudget, 4 * textLength);
  qsizetype held = stepSizes.back() + UndoHistory::kStepCharge;
  qsizetype rest = 0;
  int kept = 1;
  for (auto i = stepSizes.size() - 2; i >= 0; --i) {
    const qsizetype cost = stepSizes[i] + UndoHistory::kStepCharge;
    if (rest + cost > budget) {
      break;
    }
    rest += cost;
    held += cost;
    ++kept;
  }
  QCOMPARE(history.heldUnits(), held);
  for (int k = 0; k < kept; ++k) {
    const auto step = history.takeUndo();
    QVERIFY(step);
    QCOMPARE(step->pos, stepSizes.size() - 1 - k);
  }
  QVERIFY(!history.canUndo());
  // Undoing moves the steps to the redo list without changing what is held; a new edit drops them.
  QCOMPARE(history.heldUnits(), held);
  history.record({0, "", "x", 0, 0, EditKind::Other}, textLength);
  QCOMPARE(history.heldUnits(), 1 + UndoHistory::kStepCharge);
  // Typing merged into the last step adds its text but no second charge.
  history.record({1, "", "y", 1, 1, EditKind::Typing}, textLength);
  history.record({2, "", "z", 2, 2, EditKind::Typing}, textLength);
  QCOMPARE(history.heldUnits(), 3 + 2 * UndoHistory::kStepCharge);
  history.clear();
  QCOMPARE(history.heldUnits(), qsizetype{0});
}

QTEST_MAIN(TextCursorTest)
#include "text_cursor_test.moc"
