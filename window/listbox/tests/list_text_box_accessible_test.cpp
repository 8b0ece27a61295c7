#include "window/listbox/list_text_box_accessible.h"
#include "window/listbox/list_text_box.h"

#include <QAccessible>
#include <QApplication>
#include <QTest>

#include <optional>
#include <vector>

using ordwell::ListTextBox;

namespace {

const QString kGrinning = QString::fromUtf8("\xF0\x9F\x98\x80");  // one character, two UTF-16 units

// Three lines: a paragraph of two words, one of two sentences, one ending in a surrogate pair and
// a letter. Offsets: "alpha beta\n" 0-10, "gamma. Delta eps\n" 11-27, grinning face 28-29, 'z' 30.
QString threeLines() {
  return QStringLiteral("alpha beta\ngamma. Delta eps\n") + kGrinning + QStringLiteral("z");
}

// What one accessibility event said.
struct Seen {
  QAccessible::Event type;
  int position;      // the caret, or where the text changed
  int selectionEnd;  // for selection events
  QString removed;
  QString inserted;
};

// Returns what a text event said; nothing for other events.
std::optional<Seen> recordOf(QAccessibleEvent* event) {
  Seen seen{event->type(), -1, -1, {}, {}};
  switch (event->type()) {
    case QAccessible::TextCaretMoved:
      seen.position = static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition();
      break;
    case QAccessible::TextSelectionChanged: {
      const auto* selection = static_cast<QAccessibleTextSelectionEvent*>(event);
      seen.position = selection->selectionStart();
      seen.selectionEnd = selection->selectionEnd();
      break;
    }
    case QAccessible::TextInserted: {
      const auto* insert = static_cast<QAccessibleTextInsertEvent*>(event);
      seen.position = insert->changePosition();
      seen.inserted = insert->textInserted();
      break;
    }
    case QAccessible::TextRemoved: {
      const auto* remove = static_cast<QAccessibleTextRemoveEvent*>(event);
      seen.position = remove->changePosition();
      seen.removed = remove->textRemoved();
      break;
    }
    case QAccessible::TextUpdated: {
      const auto* update = static_cast<QAccessibleTextUpdateEvent*>(event);
      seen.position = update->changePosition();
      seen.removed = update->textRemoved();
      seen.inserted = update->textInserted();
      break;
    }
    default: return std::nullopt;
  }
  return seen;
}

// A shown, active window holding one focused box.
class Harness {
 public:
  explicit Harness(const QString& text, int width = 400) : box(new ListTextBox(&window)) {
    box->setGeometry(0, 0, width, 200);
    window.resize(width, 200);
    box->setPlainText(text);
    window.show();
    QApplication::setActiveWindow(&window);
    box->setFocus();
  }
  bool ready() { return QTest::qWaitForWindowActive(&window) && box->hasFocus(); }
  QAccessibleInterface* accessible() const { return QAccessible::queryAccessibleInterface(box); }
  QAccessibleTextInterface* text() const { return accessible()->textInterface(); }

  QWidget window;
  ListTextBox* box;
};

}  // namespace

class ListTextBoxAccessibleTest : public QObject {
  Q_OBJECT

 private slots:
  void boxIsEditableTextWithTheTextInterface();
  void textAroundAnOffset_data();
  void textAroundAnOffset();
  void linesAreTheWrappedRowsAndParagraphsTheTextLines();
  void selectionAndCaretReadAndSetThroughTheInterface();
  void editingThroughTheInterfaceIsUndoable();
  void readOnlyBoxRefusesEditing();
  void characterGeometryRoundTrips();
  void scrollingBringsASubstringIntoView();
  void eventsFollowTextCaretAndSelection();
};

void ListTextBoxAccessibleTest::boxIsEditableTextWithTheTextInterface() {
  Harness h(threeLines());
  QAccessibleInterface* const iface = h.accessible();
  QVERIFY(iface != nullptr);
  QCOMPARE(iface->role(), QAccessible::EditableText);
  QVERIFY(iface->state().editable);
  QVERIFY(iface->state().multiLine);
  QVERIFY(!iface->state().readOnly);
  QCOMPARE(iface->text(QAccessible::Value), threeLines());
  QCOMPARE(iface->childCount(), 0);
  QVERIFY(iface->textInterface() != nullptr);
  QVERIFY(iface->editableTextInterface() != nullptr);
  QCOMPARE(h.text()->characterCount(), 31);
  QCOMPARE(h.text()->text(0, 31), threeLines());
  QCOMPARE(h.text()->text(6, 13), QStringLiteral("beta\nga"));
  QCOMPARE(h.text()->text(28, 99), kGrinning + QStringLiteral("z"));  // the end is clamped
  QCOMPARE(h.text()->text(28, -1), kGrinning + QStringLiteral("z"));  // -1 is the end
}

void ListTextBoxAccessibleTest::textAroundAnOffset_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("side");  // -1 before, 0 at, 1 after
  QTest::addColumn<int>("boundary");
  QTest::addColumn<int>("offset");
  QTest::addColumn<QString>("expected");
  QTest::addColumn<int>("start");
  QTest::addColumn<int>("end");

  const QString lines = threeLines();
  const int chr = QAccessible::CharBoundary;
  const int word = QAccessible::WordBoundary;
  const int sentence = QAccessible::SentenceBoundary;
  const int paragraph = QAccessible::ParagraphBoundary;
  const int line = QAccessible::LineBoundary;
  const int none = QAccessible::NoBoundary;
  QTest::newRow("character at the start") << lines << 0 << chr << 0 << "a" << 0 << 1;
  QTest::newRow("character at a surrogate pair") << lines << 0 << chr << 28 << kGrinning << 28 << 30;
  QTest::newRow("character before the last") << lines << -1 << chr << 30 << kGrinning << 28 << 30;
  QTest::newRow("character after a surrogate pair") << lines << 1 << chr << 28 << "z" << 30 << 31;
  QTest::newRow("character at the end is none") << lines << 0 << chr << 31 << "" << -1 << -1;
  QTest::newRow("word at the first line") << lines << 0 << word << 2 << "alpha" << 0 << 5;
  QTest::newRow("word at the second line") << lines << 0 << word << 21 << "Delta" << 18 << 23;
  QTest::newRow("word at the second line's end") << lines << 0 << word << 25 << "eps" << 24 << 27;
  QTest::newRow("sentence at the second of a line") << lines << 0 << sentence << 20 << "Delta eps\n"
                                                    << 18 << 28;
  QTest::newRow("paragraph at a line") << lines << 0 << paragraph << 12 << "gamma. Delta eps\n" << 11 << 28;
  QTest::newRow("paragraph before a line") << lines << -1 << paragraph << 12 << "alpha beta\n" << 0 << 11;
  QTest::newRow("paragraph after a line") << lines << 1 << paragraph << 12 << kGrinning + "z" << 28 << 31;
  QTest::newRow("paragraph at the end, as -1")
      << lines << 0 << paragraph << -1 << kGrinning + "z" << 28 << 31;
  QTest::newRow("line at an unwrapped line") << lines << 0 << line << 12 << "gamma. Delta eps\n" << 11 << 28;
  QTest::newRow("line before the first is none") << lines << -1 << line << 3 << "" << -1 << -1;
  QTest::newRow("line after the last is none") << lines << 1 << line << 29 << "" << -1 << -1;
  QTest::newRow("no boundary is the whole text") << lines << 0 << none << 5 << lines << 0 << 31;
  QTest::newRow("offset past the end") << lines << 0 << word << 99 << "" << -1 << -1;
  QTest::newRow("empty text has an empty line") << QString() << 0 << line << 0 << "" << 0 << 0;

  // A 1.2-million-unit text: look-ups read only the lines around the offset yet keep its offsets.
  QString many;
  for (int i = 0; i < 100000; ++i) {
    many += QStringLiteral("line%1 ab\n").arg(i, 6, 10, QLatin1Char('0'));
  }
  const int mid = 50000 * 14;  // the start of "line050000 ab\n"
  QTest::newRow("word in a long list") << many << 0 << word << mid + 3 << "line050000" << mid << mid + 10;
  QTest::newRow("paragraph before, in a long list") << many << -1 << paragraph << mid << "line049999 ab\n"
                                                    << mid - 14 << mid;
  QString longLine;
  for (int i = 0; i < 40000; ++i) {
    longLine += QStringLiteral("w%1 ").arg(i, 5, 10, QLatin1Char('0'));
  }
  QTest::newRow("word in one very long line")
      << longLine << 0 << word << 7 * 20000 + 2 << "w20000" << 7 * 20000 << 7 * 20000 + 6;
}

void ListTextBoxAccessibleTest::textAroundAnOffset() {
  QFETCH(QString, text);
  QFETCH(int, side);
  QFETCH(int, boundary);
  QFETCH(int, offset);
  QFETCH(QString, expected);
  QFETCH(int, start);
  QFETCH(int, end);
  Harness h(text);
  const auto type = static_cast<QAccessible::TextBoundaryType>(boundary);
  int gotStart = -5;
  int gotEnd = -5;
  QString got;
  if (side < 0) {
    got = h.text()->textBeforeOffset(offset, type, &gotStart, &gotEnd);
  } else if (side == 0) {
    got = h.text()->textAtOffset(offset, type, &gotStart, &gotEnd);
  } else {
    got = h.text()->textAfterOffset(offset, type, &gotStart, &gotEnd);
  }
  QCOMPARE(got, expected);
  QCOMPARE(gotStart, start);
  QCOMPARE(gotEnd, end);
}

void ListTextBoxAccessibleTest::linesAreTheWrappedRowsAndParagraphsTheTextLines() {
  const QString first = QStringLiteral("one two three four five six seven eight nine ten eleven twelve\n");
  Harness h(first + QStringLiteral("last"), 100);
  QAccessibleTextInterface* const text = h.text();
  int start = -1;
  int end = -1;
  // Walking line by line covers the text exactly, row after row as the box shows them.
  QStringList rows;
  QString row = text->textAtOffset(0, QAccessible::LineBoundary, &start, &end);
  while (start >= 0) {
    QCOMPARE(h.box->rowAt(start), std::make_pair(qsizetype{start}, qsizetype{end}));
    rows << row;
    row = text->textAfterOffset(start, QAccessible::LineBoundary, &start, &end);
  }
  QVERIFY2(rows.size() > 3, "the first line wraps in a narrow box");
  QCOMPARE(rows.join(QString()), h.box->toPlainText());
  QCOMPARE(rows.last(), QStringLiteral("last"));
  // Back from the last row is the first line's last row, with its line break.
  QCOMPARE(text->textBeforeOffset(first.size() + 2, QAccessible::LineBoundary, &start, &end),
           rows.at(rows.size() - 2));
  QVERIFY(rows.at(rows.size() - 2).endsWith(QLatin1Char('\n')));
  // A paragraph is the whole first line however it wraps.
  QCOMPARE(text->textAtOffset(20, QAccessible::ParagraphBoundary, &start, &end), first);
}

void ListTextBoxAccessibleTest::selectionAndCaretReadAndSetThroughTheInterface() {
  Harness h(threeLines());
  QVERIFY(h.ready());
  QAccessibleTextInterface* const text = h.text();
  int start = -1;
  int end = -1;
  QCOMPARE(text->selectionCount(), 0);

  text->setSelection(0, 2, 7);
  QCOMPARE(h.box->selectedText(), QStringLiteral("pha b"));
  QCOMPARE(text->selectionCount(), 1);
  text->selection(0, &start, &end);
  QCOMPARE(std::make_pair(start, end), std::make_pair(2, 7));
  QCOMPARE(text->cursorPosition(), 7);

  text->setSelection(0, 7, 2);  // backwards: the caret at the start
  text->selection(0, &start, &end);
  QCOMPARE(std::make_pair(start, end), std::make_pair(2, 7));
  QCOMPARE(text->cursorPosition(), 2);

  text->removeSelection(0);
  QCOMPARE(text->selectionCount(), 0);
  QCOMPARE(text->cursorPosition(), 2);

  text->setCursorPosition(12);
  QCOMPARE(h.box->selectionStart(), 12);
  QCOMPARE(h.box->selectionLength(), 0);

  // A selection the user makes reads back the same way.
  QTest::keyClick(h.box, Qt::Key_End, Qt::ShiftModifier);
  text->selection(0, &start, &end);
  QCOMPARE(std::make_pair(start, end), std::make_pair(12, 27));
  QCOMPARE(text->cursorPosition(), 27);

  text->addSelection(28, 29);  // inside a surrogate pair: widened to the whole character
  QCOMPARE(h.box->selectedText(), kGrinning);
}

void ListTextBoxAccessibleTest::editingThroughTheInterfaceIsUndoable() {
  Harness h(QStringLiteral("b\nc"));
  QVERIFY(h.ready());
  QAccessibleEditableTextInterface* const edit = h.accessible()->editableTextInterface();
  QVERIFY(edit != nullptr);
  edit->insertText(0, QStringLiteral("a\r\n"));  // CR LF becomes the box's line break
  QCOMPARE(h.box->toPlainText(), QStringLiteral("a\nb\nc"));
  QCOMPARE(h.box->cursorPosition(), 2);
  edit->replaceText(2, 3, QStringLiteral("B"));
  QCOMPARE(h.box->toPlainText(), QStringLiteral("a\nB\nc"));
  edit->deleteText(3, 5);
  QCOMPARE(h.box->toPlainText(), QStringLiteral("a\nB"));
  edit->deleteText(-4, 1);  // clamped to the text
  QCOMPARE(h.box->toPlainText(), QStringLiteral("\nB"));

  for (const char* before : {"a\nB", "a\nB\nc", "a\nb\nc", "b\nc"}) {
    QTest::keyClick(h.box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(h.box->toPlainText(), QString::fromLatin1(before));
  }
}

void ListTextBoxAccessibleTest::readOnlyBoxRefusesEditing() {
  Harness h(QStringLiteral("sorted"));
  h.box->setReadOnly(true);
  QAccessibleInterface* const iface = h.accessible();
  QVERIFY(iface->state().readOnly);
  QVERIFY(!iface->state().editable);
  QVERIFY(iface->editableTextInterface() == nullptr);
  QVERIFY(iface->textInterface() != nullptr);  // still read and selected
  QVERIFY(!h.box->replaceRange(0, 1, QStringLiteral("x")));
  QCOMPARE(h.box->toPlainText(), QStringLiteral("sorted"));
  h.box->setReadOnly(false);
  QVERIFY(iface->editableTextInterface() != nullptr);
}

void ListTextBoxAccessibleTest::characterGeometryRoundTrips() {
  Harness h(threeLines());
  QVERIFY(h.ready());
  QAccessibleTextInterface* const text = h.text();
  const QRect boxOnScreen(h.box->mapToGlobal(QPoint(0, 0)), h.box->size());
  for (const int offset : {0, 4, 10, 11, 20, 28, 30}) {
    const QRect rect = text->characterRect(offset);
    QVERIFY2(boxOnScreen.contains(rect), qPrintable(QStringLiteral("offset %1").arg(offset)));
    // A point in the character's first quarter lies nearer its start than its end.
    QCOMPARE(text->offsetAtPoint(QPoint(rect.left() + rect.width() / 4, rect.center().y())), offset);
  }
  QVERIFY(text->characterRect(1).left() > text->characterRect(0).left());
  QVERIFY(text->characterRect(11).top() > text->characterRect(0).top());
  QCOMPARE(text->offsetAtPoint(boxOnScreen.bottomRight() + QPoint(5, 5)), -1);
}

void ListTextBoxAccessibleTest::scrollingBringsASubstringIntoView() {
  QString text;
  for (int i = 0; i < 1000; ++i) {
    text += QStringLiteral("row %1\n").arg(i, 4, 10, QLatin1Char('0'));
  }
  Harness h(text);
  QVERIFY(h.ready());
  const int offset = static_cast<int>(text.indexOf(QStringLiteral("row 0500")));
  const QRect viewport(h.box->viewport()->mapToGlobal(QPoint(0, 0)), h.box->viewport()->size());
  QVERIFY(!viewport.contains(h.text()->characterRect(offset)));
  h.text()->scrollToSubstring(offset, offset + 8);
  QVERIFY(viewport.contains(h.text()->characterRect(offset)));
  QCOMPARE(h.text()->cursorPosition(), 0);  // scrolling moves neither the caret nor the selection
}

void ListTextBoxAccessibleTest::eventsFollowTextCaretAndSelection() {
  Harness h{QString()};
  QVERIFY(h.ready());
  std::vector<Seen> seen;
  h.box->setAccessibilityEventReceiver([&seen](QAccessibleEvent* event) {
    if (const auto record = recordOf(event)) {
      seen.push_back(*record);
    }
  });

  QTest::keyClicks(h.box, QStringLiteral("ab"));
  QTest::keyClick(h.box, Qt::Key_Backspace);
  QTest::keyClick(h.box, Qt::Key_Left, Qt::ShiftModifier);
  h.box->setPlainText(QStringLiteral("xyz"));
  h.box->setAccessibilityEventReceiver({});
  QCOMPARE(seen.size(), std::size_t{10});
  QCOMPARE(seen[0].type, QAccessible::TextInserted);
  QCOMPARE(std::make_pair(seen[0].position, seen[0].inserted), std::make_pair(0, QStringLiteral("a")));
  QCOMPARE(std::make_pair(seen[1].type, seen[1].position), std::make_pair(QAccessible::TextCaretMoved, 1));
  QCOMPARE(std::make_pair(seen[2].position, seen[2].inserted), std::make_pair(1, QStringLiteral("b")));
  QCOMPARE(std::make_pair(seen[3].type, seen[3].position), std::make_pair(QAccessible::TextCaretMoved, 2));
  QCOMPARE(seen[4].type, QAccessible::TextRemoved);
  QCOMPARE(std::make_pair(seen[4].position, seen[4].removed), std::make_pair(1, QStringLiteral("b")));
  QCOMPARE(std::make_pair(seen[5].type, seen[5].position), std::make_pair(QAccessible::TextCaretMoved, 1));
  QCOMPARE(seen[6].type, QAccessible::TextSelectionChanged);
  QCOMPARE(std::make_pair(seen[6].position, seen[6].selectionEnd), std::make_pair(0, 1));
  QCOMPARE(std::make_pair(seen[7].type, seen[7].position), std::make_pair(QAccessible::TextCaretMoved, 0));
  QCOMPARE(seen[8].type, QAccessible::TextUpdated);
  QCOMPARE(std::make_pair(seen[8].removed, seen[8].inserted),
           std::make_pair(QStringLiteral("a"), QStringLiteral("xyz")));
  QCOMPARE(seen[9].type, QAccessible::TextSelectionChanged);  // the selection is gone
  QCOMPARE(seen[9].position, -1);
}

QTEST_MAIN(ListTextBoxAccessibleTest)
#include "list_text_box_accessible_test.moc"
