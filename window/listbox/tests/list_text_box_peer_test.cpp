// Drives a ListTextBox and a QPlainTextEdit side by side, with the same font, wrap width and
// events, over texts in many scripts, and compares what they do: where rows break, where keys put
// the caret and where it is drawn, which position a click lands on, and what an input method is
// told while it composes. Geometry is compared, never pixels, so the fonts installed do not matter.
//
// Right-to-left lines start at the right in the list box but at the left in QPlainTextEdit, so
// x coordinates are compared from the left end of each row's text.

#include "window/listbox/list_text_box.h"

#include <QApplication>
#include <QFont>
#include <QInputMethodEvent>
#include <QList>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTest>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QVariant>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

using ordwell::ListTextBox;

namespace {

constexpr int kHeight = 400;

// The two boxes, sized so that both wrap at `width` pixels.
class Pair {
 public:
  explicit Pair(int width) : ours(new ListTextBox(&window)), peer(new QPlainTextEdit(&window)) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    ours->setFont(font);
    peer->setFont(font);
    ours->setScrollBarShown(false);
    peer->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    peer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Visual arrow moves, as the list box makes them.
    peer->document()->setDefaultCursorMoveStyle(Qt::VisualMoveStyle);
    const int frame = 2 * ours->frameWidth();
    // The list box keeps 3 pixels each side and one for the caret, the peer 4 each side.
    ours->setGeometry(0, 0, width + 7 + frame, kHeight);
    peer->setGeometry(0, kHeight, width + 8 + frame, kHeight);
    window.resize(width + 20 + frame, 2 * kHeight);
    window.show();
  }

  void setText(const QString& text) {
    ours->setPlainText(text);
    peer->setPlainText(text);
  }

  QWidget window;
  ListTextBox* ours;
  QPlainTextEdit* peer;
};

// One side's view of the text: row starts and the caret's x at every position.
struct Geometry {
  std::vector<qsizetype> rowStarts;
  std::vector<int> caretX;  // from the left end of the row's text
  std::vector<int> rowLeft;
  std::vector<int> rowY;

  qsizetype rowOf(qsizetype pos) const {
    return std::upper_bound(rowStarts.begin(), rowStarts.end(), pos) - rowStarts.begin() - 1;
  }
};

QRect ourCaretAt(ListTextBox* box, qsizetype pos) {
  box->setSelection(pos, 0);
  return box->inputMethodQuery(Qt::ImCursorRectangle).toRect().translated(-box->viewport()->pos());
}

QRect peerCaretAt(QPlainTextEdit* edit, qsizetype pos) {
  QTextCursor cursor(edit->document());
  cursor.setPosition(static_cast<int>(pos));
  return edit->cursorRect(cursor);
}

Geometry measure(qsizetype size, const std::vector<qsizetype>& rowStarts,
                 const std::function<QRect(qsizetype)>& caretAt) {
  Geometry g;
  g.rowStarts = rowStarts;
  g.rowLeft.assign(rowStarts.size(), INT_MAX);
  g.rowY.assign(rowStarts.size(), 0);
  std::vector<int> x;
  for (qsizetype pos = 0; pos <= size; ++pos) {
    const QRect rect = caretAt(pos);
    const auto row = static_cast<std::size_t>(g.rowOf(pos));
    x.push_back(rect.x());
    g.rowLeft[row] = std::min(g.rowLeft[row], rect.x());
    g.rowY[row] = rect.y();
  }
  for (qsizetype pos = 0; pos <= size; ++pos) {
    g.caretX.push_back(x[static_cast<std::size_t>(pos)] - g.rowLeft[static_cast<std::size_t>(g.rowOf(pos))]);
  }
  return g;
}

Geometry ourGeometry(ListTextBox* box) {
  const qsizetype size = box->toPlainText().size();
  std::vector<qsizetype> starts;
  for (qsizetype pos = 0;;) {
    const auto [start, next] = box->rowAt(pos);
    starts.push_back(start);
    if (next >= size || next == start) {
      // A text ending in a line break has an empty last row.
      if (size > 0 && next == size && box->toPlainText().endsWith(QLatin1Char('\n')) && start != size) {
        starts.push_back(size);
      }
      break;
    }
    pos = next;
  }
  return measure(size, starts, [box](qsizetype pos) { return ourCaretAt(box, pos); });
}

Geometry peerGeometry(QPlainTextEdit* edit) {
  std::vector<qsizetype> starts;
  for (QTextBlock block = edit->document()->begin(); block.isValid(); block = block.next()) {
    const QTextLayout* layout = block.layout();
    for (int i = 0; i < std::max(1, layout->lineCount()); ++i) {
      starts.push_back(block.position() + (layout->lineCount() > 0 ? layout->lineAt(i).textStart() : 0));
    }
  }
  return measure(edit->toPlainText().size(), starts,
                 [edit](qsizetype pos) { return peerCaretAt(edit, pos); });
}

// Returns whether only spaces lie between two positions, as in a wrapped row's hanging spaces: the
// peer lands any click or vertical move there at the row's last space, the list box at the space
// under the pointer or the caret's x, where its caret is drawn.
bool onlySpacesBetween(const QString& text, qsizetype a, qsizetype b) {
  const QStringView between = QStringView(text).sliced(std::min(a, b), std::abs(a - b));
  return std::all_of(between.begin(), between.end(), [](QChar c) { return c == QLatin1Char(' '); });
}

bool rightToLeft(QPlainTextEdit* edit, qsizetype pos) {
  return edit->document()->findBlock(static_cast<int>(pos)).textDirection() == Qt::RightToLeft;
}

QString rowsText(const QString& text, const std::vector<qsizetype>& starts) {
  QStringList rows;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const qsizetype end = i + 1 < starts.size() ? starts[i + 1] : text.size();
    rows << text.mid(starts[i], end - starts[i]);
  }
  return rows.join(QLatin1Char('|'));
}

struct Key {
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  const char* name;
};

// Arrows through the whole text and back, then selections, lines and words.
std::vector<Key> keySequence(qsizetype length) {
  std::vector<Key> keys{{Qt::Key_Home, Qt::ControlModifier, "Ctrl+Home"}};
  for (qsizetype i = 0; i <= length; ++i) {
    keys.push_back({Qt::Key_Right, Qt::NoModifier, "Right"});
  }
  for (qsizetype i = 0; i <= length; ++i) {
    keys.push_back({Qt::Key_Left, Qt::NoModifier, "Left"});
  }
  const std::vector<Key> rest{
      {Qt::Key_End, Qt::NoModifier, "End"},
      {Qt::Key_Left, Qt::ShiftModifier, "Shift+Left"},
      {Qt::Key_Left, Qt::ShiftModifier, "Shift+Left"},
      {Qt::Key_Right, Qt::NoModifier, "Right"},
      {Qt::Key_Home, Qt::NoModifier, "Home"},
      {Qt::Key_Right, Qt::ShiftModifier, "Shift+Right"},
      {Qt::Key_Right, Qt::ShiftModifier, "Shift+Right"},
      {Qt::Key_Left, Qt::NoModifier, "Left"},
      {Qt::Key_Down, Qt::NoModifier, "Down"},
      {Qt::Key_End, Qt::NoModifier, "End"},
      {Qt::Key_Home, Qt::ControlModifier, "Ctrl+Home"},
  };
  keys.insert(keys.end(), rest.begin(), rest.end());
  for (int i = 0; i < 6; ++i) {
    keys.push_back({Qt::Key_Right, Qt::ControlModifier, "Ctrl+Right"});
  }
  for (int i = 0; i < 6; ++i) {
    keys.push_back({Qt::Key_Left, Qt::ControlModifier, "Ctrl+Left"});
  }
  keys.push_back({Qt::Key_End, Qt::ControlModifier, "Ctrl+End"});
  keys.push_back({Qt::Key_Up, Qt::NoModifier, "Up"});
  keys.push_back({Qt::Key_Home, Qt::NoModifier, "Home"});
  return keys;
}

void addTexts() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("width");
  const auto add = [](const char* name, const char* utf8, int width) {
    QTest::newRow(name) << QString::fromUtf8(utf8) << width;
  };
  add("latin", "The quick brown fox jumps over the lazy dog again", 150);
  add("latin with hyphens and slashes", "A well-known state-of-the-art sample/test, -5 and 10-20 km/h ranges",
      120);
  add("hyphens at 70", "A well-known state-of-the-art sample/test, -5 and 10-20 km/h ranges", 70);
  add("hyphens at 95", "A well-known state-of-the-art sample/test, -5 and 10-20 km/h ranges", 95);
  add("cyrillic and greek",
      "Съешь же ещё этих мягких французских булок, да выпей чаю. Ξεσκεπάζω την ψυχοφθόρα βδελυγμία", 140);
  add("latin accents, precomposed", "Voilà l'été: naïve façade, Ærøskøbing, Łódź, Þórsmörk, São Tomé", 120);
  add("kerning pairs", "AVAVAV WAVE To Tea Yo LTA AWAY VAT Toyota WAVY", 90);
  add("kerning pairs wider", "AVAVAV WAVE To Tea Yo LTA AWAY VAT Toyota WAVY", 131);
  add("runs of spaces", "words        with       many        spaces", 80);
  add("latin with long words and tabs",
      "Supercalifragilisticexpialidocious\tand\tantidisestablishmentarianism", 110);
  add("arabic with digits and latin", "مرحبا بالعالم 123 abc! (Pen)", 400);
  add("arabic wrapped", "مرحبا بالعالم 123 abc! هذا نص عربي طويل للتجربة", 150);
  add("hebrew with latin", "שלום עולם 2024 hello world", 400);
  add("pure right-to-left lines", "שלום עולם\nمرحبا بالعالم\n123 456", 400);
  add("latin then hebrew lines", "abc\nשלום\n", 400);
  add("devanagari", "नमस्ते दुनिया यह एक परीक्षण है", 150);
  add("thai", "ทดสอบการตัดคำภาษาไทยกำลังทำงานได้ดี", 150);
  add("cjk", "日本語のテキストを折り返します。中文文本换行测试。", 150);
  add("hangul", "한국어 텍스트 줄 바꿈 시험입니다", 120);
  add("emoji sequences", "👍🏽 👨‍👩‍👧 🇫🇷 text 😀😀😀", 150);
  add("combining accents", "e\xCC\x81te\xCC\x81 cafe\xCC\x81 n\xCC\x83o\xCC\x88 tre\xCC\x80s", 150);
}

}  // namespace

class ListTextBoxPeerTest : public QObject {
  Q_OBJECT

 private slots:
  void rowsCaretsAndClicksMatch_data() { addTexts(); }
  void rowsCaretsAndClicksMatch();
  void keysMoveTheCaretAlike_data() { addTexts(); }
  void keysMoveTheCaretAlike();
  void typingTurnsLinesAround();
  void inputMethodSeesTheSame_data();
  void inputMethodSeesTheSame();
};

void ListTextBoxPeerTest::rowsCaretsAndClicksMatch() {
  QFETCH(QString, text);
  QFETCH(int, width);
  Pair pair(width);
  pair.setText(text);
  QVERIFY(QTest::qWaitForWindowExposed(&pair.window));
  const Geometry ours = ourGeometry(pair.ours);
  const Geometry peer = peerGeometry(pair.peer);
  QCOMPARE(rowsText(text, ours.rowStarts), rowsText(text, peer.rowStarts));
  QStringList differences;
  for (qsizetype pos = 0; pos <= text.size(); ++pos) {
    const auto i = static_cast<std::size_t>(pos);
    if (std::abs(ours.caretX[i] - peer.caretX[i]) > 1) {
      differences
          << QStringLiteral("caret x at %1: %2 vs %3").arg(pos).arg(ours.caretX[i]).arg(peer.caretX[i]);
    }
    // What a screen reader is told: the character's box has the caret before it on one edge,
    // in the row the caret is drawn in.
    const QRect box = pair.ours->characterRect(pos).translated(-pair.ours->viewport()->pos());
    const auto row = static_cast<std::size_t>(ours.rowOf(pos));
    const int caretX = ours.rowLeft[row] + ours.caretX[i];
    if (std::min(std::abs(box.left() - caretX), std::abs(box.right() + 1 - caretX)) > 1 ||
        box.top() != ours.rowY[row]) {
      differences << QStringLiteral("character box at %1: x %2 to %3, y %4; caret x %5, y %6")
                         .arg(pos)
                         .arg(box.left())
                         .arg(box.right() + 1)
                         .arg(box.top())
                         .arg(caretX)
                         .arg(ours.rowY[row]);
    }
  }
  // Clicks across every row, from before its text to past its end.
  const int rowHeight = pair.ours->fontMetrics().lineSpacing();
  for (std::size_t row = 0; row < ours.rowStarts.size(); ++row) {
    const qsizetype next = row + 1 < ours.rowStarts.size() ? ours.rowStarts[row + 1] : -1;
    const bool wrapped = next > 0 && text.at(next - 1) != QLatin1Char('\n');
    // Not compared: the peer's clicks on a wrapped right-to-left row land a character away from
    // its own carets there (the row's hanging space is counted), where the list box's land on
    // the caret drawn nearest.
    if (wrapped && rightToLeft(pair.peer, ours.rowStarts[row])) {
      continue;
    }
    for (int dx = -6; dx <= width + 6; dx += 3) {
      const QPoint ourPoint(ours.rowLeft[row] + dx, ours.rowY[row] + rowHeight / 2);
      const QPoint peerPoint(peer.rowLeft[row] + dx, peer.rowY[row] + rowHeight / 2);
      const qsizetype mine = pair.ours->positionAtPoint(ourPoint + pair.ours->viewport()->pos());
      const int theirs = pair.peer->cursorForPosition(peerPoint).position();
      // Kept on purpose: past the end of a wrapped row the list box puts the caret at that row's
      // end; the peer puts it at the next row's start, off the row clicked.
      const bool pastWrappedEnd = wrapped && theirs == next && mine < theirs && theirs - mine <= 4;
      if (mine != theirs && !pastWrappedEnd && !(wrapped && onlySpacesBetween(text, mine, theirs))) {
        differences << QStringLiteral("click row %1 dx %2: %3 vs %4").arg(row).arg(dx).arg(mine).arg(theirs);
      }
    }
  }
  QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1String("; "))));
}

void ListTextBoxPeerTest::keysMoveTheCaretAlike() {
  QFETCH(QString, text);
  QFETCH(int, width);
  const bool wordMoves = QTest::currentDataTag() != QLatin1String("cjk");
  Pair pair(width);
  pair.setText(text);
  QVERIFY(QTest::qWaitForWindowExposed(&pair.window));
  QStringList differences;
  int step = 0;
  for (const Key& key : keySequence(text.size())) {
    ++step;
    const QTextCursor before = pair.peer->textCursor();
    QTest::keyClick(pair.ours, key.key, key.modifiers);
    QTest::keyClick(pair.peer, key.key, key.modifiers);
    const QTextCursor cursor = pair.peer->textCursor();
    const qsizetype caret = pair.ours->cursorPosition();
    const qsizetype anchor = caret == pair.ours->selectionStart()
                                 ? pair.ours->selectionStart() + pair.ours->selectionLength()
                                 : pair.ours->selectionStart();
    if (caret == cursor.position() && anchor == cursor.anchor()) {
      continue;
    }
    const bool arrow = key.key == Qt::Key_Left || key.key == Qt::Key_Right;
    const bool peerStayed = cursor.position() == before.position();
    // Kept on purpose: arrows cross line breaks (the peer's visual moves stop at them), an arrow
    // on a selection goes to its edge (the peer's stays), and Up on the first row or Down on the
    // last goes to the text's start or end.
    const bool crossedLineBreak = arrow && peerStayed && std::abs(caret - before.position()) == 1 &&
                                  text.at(std::min<qsizetype>(caret, before.position())) == QLatin1Char('\n');
    const bool collapsed = arrow && key.modifiers == Qt::NoModifier && before.hasSelection() &&
                           anchor == caret && (caret == before.anchor() || caret == before.position());
    // Up and Down keep the caret's x, and right-to-left lines start at the other side in the peer.
    const bool vertical =
        (key.key == Qt::Key_Up || key.key == Qt::Key_Down) &&
        (rightToLeft(pair.peer, before.position()) || rightToLeft(pair.peer, cursor.position()) ||
         onlySpacesBetween(text, caret, cursor.position()));
    // The peer's arrows skip the stop before a wrapped right-to-left row's hanging space.
    const bool hangingSpace = arrow && rightToLeft(pair.peer, cursor.position()) &&
                              std::abs(caret - cursor.position()) == 1 && caret < text.size() &&
                              text.at(caret) == QLatin1Char(' ');
    // Han text has no word starts for the peer, which jumps over it; the list box stops at each run.
    const bool hanWords = key.modifiers == Qt::ControlModifier && arrow && !wordMoves;
    const bool toTheEnd =
        peerStayed && anchor == caret &&
        ((key.key == Qt::Key_Up && caret == 0) || (key.key == Qt::Key_Down && caret == text.size()));
    if (!crossedLineBreak && !collapsed && !toTheEnd && !vertical && !hangingSpace && !hanWords) {
      differences << QStringLiteral("step %1 %2: caret %3 anchor %4 vs caret %5 anchor %6")
                         .arg(step)
                         .arg(QLatin1String(key.name))
                         .arg(caret)
                         .arg(anchor)
                         .arg(cursor.position())
                         .arg(cursor.anchor());
    }
    // Go on from the same place, so one difference is not reported at every later step.
    pair.ours->setSelection(cursor.anchor(), cursor.position() - cursor.anchor());
  }
  QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1String("; "))));
}

void ListTextBoxPeerTest::typingTurnsLinesAround() {
  // A line changes direction as its first strong letter changes, so edits must re-read it.
  Pair pair(150);
  pair.setText(QStringLiteral("abc def"));
  QVERIFY(QTest::qWaitForWindowExposed(&pair.window));
  struct Edit {
    Qt::Key key;
    const char* text;
  };
  const Edit edits[] = {
      {Qt::Key_Home, "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D 12 "},
      {Qt::Key_End,
       " \xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 \xD8\xA8\xD8\xA7\xD9\x84\xD8\xB9\xD8\xA7\xD9\x84\xD9\x85"},
      {Qt::Key_Home, "xyz "},
      {Qt::Key_End, "\n\xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D"}};
  for (const Edit& edit : edits) {
    for (QWidget* box : {static_cast<QWidget*>(pair.ours), static_cast<QWidget*>(pair.peer)}) {
      QTest::keyClick(box, edit.key, Qt::ControlModifier);
      for (const QChar c : QString::fromUtf8(edit.text)) {
        if (c == QLatin1Char('\n')) {
          QTest::keyClick(box, Qt::Key_Return);
        } else {
          QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
          QApplication::sendEvent(box, &typed);
        }
      }
    }
    const QString text = pair.peer->toPlainText();
    QCOMPARE(pair.ours->toPlainText(), text);
    const Geometry ours = ourGeometry(pair.ours);
    const Geometry peer = peerGeometry(pair.peer);
    QCOMPARE(rowsText(text, ours.rowStarts), rowsText(text, peer.rowStarts));
    for (std::size_t i = 0; i < ours.caretX.size(); ++i) {
      QVERIFY2(std::abs(ours.caretX[i] - peer.caretX[i]) <= 1, qPrintable(QString::number(i)));
    }
  }
  QVERIFY(pair.ours->toPlainText().startsWith(QStringLiteral("xyz ")));
  QCOMPARE(pair.ours->toPlainText().count(QLatin1Char('\n')), 1);
}

void ListTextBoxPeerTest::inputMethodSeesTheSame_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("selectFrom");  // the caret is at the text's end; -1: no selection
  QTest::addColumn<QString>("preedit");
  QTest::addColumn<int>("width");
  const auto add = [](const char* name, const char* text, int selectFrom, const char* preedit, int width) {
    QTest::newRow(name) << QString::fromUtf8(text) << selectFrom << QString::fromUtf8(preedit) << width;
  };
  add("at a line's end", "first line\nsecond", -1, "にほんご", 300);
  add("over a selection", "first line\nsecond", 13, "漢字", 300);
  add("across a wrap", "some words that nearly fill", -1, "かんじへんかん", 150);
  add("hangul", "가나다 ", -1, "한", 300);
  add("latin in the middle of a row", "abc def", -1, "xyz", 300);
}

void ListTextBoxPeerTest::inputMethodSeesTheSame() {
  QFETCH(QString, text);
  QFETCH(int, selectFrom);
  QFETCH(QString, preedit);
  QFETCH(int, width);
  Pair pair(width);
  pair.setText(text);
  QVERIFY(QTest::qWaitForWindowExposed(&pair.window));
  QTest::keyClick(pair.ours, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(pair.peer, Qt::Key_End, Qt::ControlModifier);
  if (selectFrom >= 0) {
    pair.ours->setSelection(text.size(), selectFrom - text.size());
    QTextCursor cursor = pair.peer->textCursor();
    cursor.setPosition(selectFrom, QTextCursor::KeepAnchor);
    pair.peer->setTextCursor(cursor);
  }
  // Each box's text origin: the list box keeps 3 pixels at the side and 1 at the top, the peer 4.
  const QPoint ourOrigin = pair.ours->viewport()->pos() + QPoint(3, 1);
  const QPoint peerOrigin = pair.peer->viewport()->pos() + QPoint(4, 4);
  const Qt::InputMethodQuery queries[] = {Qt::ImCursorPosition, Qt::ImAnchorPosition, Qt::ImSurroundingText,
                                          Qt::ImCurrentSelection};
  QStringList differences;
  for (int at = 0; at <= preedit.size(); ++at) {
    QTextCharFormat converted;
    converted.setBackground(Qt::darkBlue);
    converted.setForeground(Qt::white);
    const QList<QInputMethodEvent::Attribute> attributes{
        {QInputMethodEvent::Cursor, at, at == preedit.size() ? 0 : 1, QVariant()},
        {QInputMethodEvent::TextFormat, 0, static_cast<int>(preedit.size()), converted}};
    QInputMethodEvent ourEvent(preedit, attributes);
    QInputMethodEvent peerEvent(preedit, attributes);
    QApplication::sendEvent(pair.ours, &ourEvent);
    QApplication::sendEvent(pair.peer, &peerEvent);
    for (const Qt::InputMethodQuery query : queries) {
      const QVariant mine = pair.ours->inputMethodQuery(query);
      const QVariant theirs = pair.peer->inputMethodQuery(query);
      if (mine != theirs) {
        differences << QStringLiteral("preedit cursor %1, query %2: %3 vs %4")
                           .arg(at)
                           .arg(query)
                           .arg(mine.toString(), theirs.toString());
      }
    }
    for (const Qt::InputMethodQuery query : {Qt::ImCursorRectangle, Qt::ImAnchorRectangle}) {
      const QRect mine = pair.ours->inputMethodQuery(query).toRect().translated(-ourOrigin);
      const QRect theirs = pair.peer->inputMethodQuery(query).toRect().translated(-peerOrigin);
      if (std::abs(mine.x() - theirs.x()) > 1 || std::abs(mine.y() - theirs.y()) > 1) {
        differences << QStringLiteral("preedit cursor %1, rectangle %2: %3,%4 vs %5,%6")
                           .arg(at)
                           .arg(query)
                           .arg(mine.x())
                           .arg(mine.y())
                           .arg(theirs.x())
                           .arg(theirs.y());
      }
    }
  }
  // Committing leaves the same text and caret.
  QInputMethodEvent commit;
  commit.setCommitString(preedit);
  QInputMethodEvent peerCommit;
  peerCommit.setCommitString(preedit);
  QApplication::sendEvent(pair.ours, &commit);
  QApplication::sendEvent(pair.peer, &peerCommit);
  QCOMPARE(pair.ours->toPlainText(), pair.peer->toPlainText());
  QCOMPARE(pair.ours->cursorPosition(), pair.peer->textCursor().position());
  QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1String("; "))));
}

QTEST_MAIN(ListTextBoxPeerTest)
#include "list_text_box_peer_test.moc"
