#include "window/listbox/list_text_box.h"

#include "window/listbox/advance_cache.h"
#include "window/listbox/list_text_box_accessible.h"
#include "window/listbox/wait_cursor.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRect>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStringView>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QTextOption>
#include <QTimerEvent>
#include <QVariant>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <utility>

namespace ordwell {

namespace {

// Room between the frame and the text, as in the toolkit's own line edits.
constexpr int kSideMargin = 3;
constexpr int kTopMargin = 1;
// The narrowest width rows wrap at, so a box squeezed to nothing does not make a row per character.
constexpr float kMinWrapWidth = 16.0F;
// Grapheme and input-method look-ups read this many units around the caret, not the whole line.
constexpr qsizetype kGraphemeWindow = 64;
constexpr qsizetype kSurroundingWindow = 512;
// How often the view scrolls while a selection is dragged beyond its edge.
constexpr int kDragScrollMs = 50;
// A paste this long (in UTF-16 units) takes long enough to show the wait cursor.
constexpr qsizetype kLargePaste = qsizetype{1} << 18;

enum CharClass { kSpace, kWord, kLineBreak, kOther };

qsizetype clampTo(qsizetype value, qsizetype low, qsizetype high) { return std::max(low, std::min(value, high)); }

int toInt(qsizetype value) { return static_cast<int>(std::min<qsizetype>(value, INT_MAX)); }

bool isPrintable(const QString& text) {
  if (text.isEmpty()) {
    return false;
  }
  return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
    return c.category() != QChar::Other_Control && c != QChar(0x7F);
  });
}

// Pasted text may carry CR LF or lone CR line breaks; the box keeps '\n' only.
QString withLineFeeds(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace

ListTextBox::ListTextBox(QWidget* parent)
    : QAbstractScrollArea(parent), m_advances(std::make_unique<listbox::AdvanceCache>(font(), viewport())) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAttribute(Qt::WA_MacShowFocusRect);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setCursor(Qt::IBeamCursor);
  verticalScrollBar()->setSingleStep(1);
  listbox::installAccessibility();
}

ListTextBox::~ListTextBox() = default;

// ---------------------------------------------------------------------------------------------
// Public interface

void ListTextBox::setPlainText(const QString& text) {
  const QString old = std::exchange(m_text, text);
  const qsizetype oldAnchor = m_anchor;
  const qsizetype oldCaret = m_caret;
  m_undo.clear();
  m_redo.clear();
  m_mergeOpen = false;
  m_preedit.clear();
  m_anchor = 0;
  m_caret = 0;
  m_goalX = -1.0;
  verticalScrollBar()->setValue(0);
  layoutRows(true);
  restartBlink();
  listbox::notifyTextReplaced(this, 0, old, m_text);
  listbox::notifyCaretMoved(this, oldAnchor, oldCaret, m_anchor, m_caret);
  emit textChanged();
}

QString ListTextBox::toPlainText() const { return m_text; }

void ListTextBox::setReadOnly(bool readOnly) {
  m_readOnly = readOnly;
  setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
  m_preedit.clear();
  viewport()->update();
  listbox::notifyReadOnlyChanged(this);
}

bool ListTextBox::isReadOnly() const { return m_readOnly; }

void ListTextBox::setSelection(qsizetype start, qsizetype length) {
  const qsizetype n = m_text.size();
  const qsizetype anchor = clampTo(start, 0, n);
  qsizetype caret = anchor;
  if (length >= 0) {
    caret = anchor + std::min(length, n - anchor);
  } else {
    caret = length < -anchor ? 0 : anchor + length;
  }
  const bool forwards = caret >= anchor;
  setAnchorAndCaret(snapToCodePoint(anchor, !forwards), snapToCodePoint(caret, forwards));
  m_goalX = -1.0;
  m_mergeOpen = false;
  ensureCaretVisible();
}

qsizetype ListTextBox::selectionStart() const { return std::min(m_anchor, m_caret); }

qsizetype ListTextBox::selectionLength() const { return std::abs(m_caret - m_anchor); }

QString ListTextBox::selectedText() const { return m_text.mid(selectionStart(), selectionLength()); }

void ListTextBox::selectAll() {
  // The view stays where it is, as in other editors: selecting all is not a move to the end.
  setAnchorAndCaret(0, m_text.size());
  m_goalX = -1.0;
  m_mergeOpen = false;
  updateSelectionClipboard();
}

void ListTextBox::copy() {
  if (hasSelection()) {
    QGuiApplication::clipboard()->setText(selectedText());
  }
}

void ListTextBox::cut() {
  if (m_readOnly || !hasSelection()) {
    return;
  }
  copy();
  deleteSelection();
}

void ListTextBox::paste() {
  if (m_readOnly) {
    return;
  }
  const QString text = withLineFeeds(QGuiApplication::clipboard()->text());
  if (!text.isEmpty()) {
    const listbox::WaitCursor wait(text.size() >= kLargePaste);
    userEdit(selectionStart(), selectionLength(), text, EditKind::Other);
  }
}

void ListTextBox::undo() {
  if (m_readOnly || m_undo.empty()) {
    return;
  }
  UndoStep step = std::move(m_undo.back());
  m_undo.pop_back();
  replaceText(step.pos, step.inserted.size(), step.removed);
  setAnchorAndCaret(step.anchorBefore, step.caretBefore);
  m_redo.push_back(std::move(step));
  m_mergeOpen = false;
  m_goalX = -1.0;
  ensureCaretVisible();
}

void ListTextBox::redo() {
  if (m_readOnly || m_redo.empty()) {
    return;
  }
  UndoStep step = std::move(m_redo.back());
  m_redo.pop_back();
  replaceText(step.pos, step.removed.size(), step.inserted);
  const qsizetype caret = step.pos + step.inserted.size();
  setAnchorAndCaret(caret, caret);
  m_undo.push_back(std::move(step));
  m_mergeOpen = false;
  m_goalX = -1.0;
  ensureCaretVisible();
}

// ---------------------------------------------------------------------------------------------
// Layout

float ListTextBox::wrapWidth() const {
  return std::max(kMinWrapWidth, static_cast<float>(viewport()->width() - 2 * kSideMargin - 1));
}

int ListTextBox::lineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int ListTextBox::visibleRows() const { return std::max(1, (viewport()->height() - kTopMargin) / lineHeight()); }

int ListTextBox::topRow() const { return verticalScrollBar()->value(); }

void ListTextBox::ensureLayout() {
  if (!m_rowsValid || wrapWidth() != m_rowsWidth) {
    layoutRows(false);
  }
}

void ListTextBox::layoutRows(bool force) {
  if (m_inLayout) {
    return;
  }
  const QScopedValueRollback guard(m_inLayout, true);
  // Keep the first row in view showing the same text when the rows change width.
  const qsizetype topPos = m_rowsValid ? m_rows.rowStart(std::min<qsizetype>(topRow(), m_rows.rowCount() - 1)) : 0;
  if (verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOn && moreRowsThanFit()) {
    // Decided from the first screenful, so a large text is wrapped once, at the narrower width.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    const float width = wrapWidth();
    if (force || !m_rowsValid || width != m_rowsWidth) {
      m_rows.rebuild(m_text, width, *m_advances);
      m_rowsWidth = width;
      m_rowsValid = true;
      force = false;
    }
    // Showing the scroll bar narrows the rows, which only adds rows: the second pass settles it.
    const bool needBar = m_rows.rowCount() > visibleRows();
    if (needBar == (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn)) {
      break;
    }
    setVerticalScrollBarPolicy(needBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  }
  updateScrollRange();
  verticalScrollBar()->setValue(toInt(m_rows.rowOf(topPos)));
  viewport()->update();
}

bool ListTextBox::moreRowsThanFit() const {
  const float width = wrapWidth();
  qsizetype start = 0;
  for (int rows = 1; rows <= visibleRows(); ++rows) {
    start = listbox::RowIndex::nextRowStart(m_text, start, width, *m_advances);
    if (start < 0) {
      return false;
    }
  }
  return true;
}

void ListTextBox::updateScrollRange() {
  const int page = visibleRows();
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, toInt(std::max<qsizetype>(0, m_rows.rowCount() - page)));
  bar->setPageStep(page);
}

void ListTextBox::setupLayout(QTextLayout& layout, qsizetype row, bool withPreedit) const {
  const qsizetype start = m_rows.rowStart(row);
  layout.setText(m_text.mid(start, m_rows.rowEnd(m_text, row) - start));
  layout.setFont(font());
  QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
  option.setWrapMode(QTextOption::NoWrap);
  option.setTextDirection(Qt::LeftToRight);
  option.setTabStopDistance(m_advances->tabStop());
  layout.setTextOption(option);
  if (withPreedit && !m_preedit.isEmpty() && m_rows.rowOf(m_caret) == row) {
    layout.setPreeditArea(toInt(m_caret - start), m_preedit);
  }
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (line.isValid()) {
    line.setLineWidth(std::max(m_rowsWidth, kMinWrapWidth));
    line.setPosition(QPointF(0, 0));
  }
  layout.endLayout();
}

qreal ListTextBox::caretX() const {
  const qsizetype row = m_rows.rowOf(m_caret);
  QTextLayout layout(QString(), font(), viewport());
  setupLayout(layout, row, false);
  return layout.lineAt(0).cursorToX(toInt(m_caret - m_rows.rowStart(row)));
}

QRect ListTextBox::caretRect() const {
  const qsizetype row = m_rows.rowOf(m_caret);
  const int y = kTopMargin + toInt(row - topRow()) * lineHeight();
  return {kSideMargin + static_cast<int>(std::floor(caretX())), y, 1, lineHeight()};
}

qsizetype ListTextBox::positionInRow(qsizetype row, qreal x) const {
  QTextLayout layout(QString(), font(), viewport());
  setupLayout(layout, row, false);
  const qsizetype start = m_rows.rowStart(row);
  const qsizetype end = m_rows.rowEnd(m_text, row);
  qsizetype pos = start + layout.lineAt(0).xToCursor(x - kSideMargin, QTextLine::CursorBetweenCharacters);
  // The end of a wrapped row is the start of the next one; stay on this row.
  if (pos >= end && row + 1 < m_rows.rowCount() && !m_rows.endsWithLineBreak(m_text, row)) {
    pos = std::max(start, previousGrapheme(end));
  }
  return clampTo(pos, start, end);
}

qsizetype ListTextBox::positionAt(QPoint viewportPos) {
  ensureLayout();
  const int offset = viewportPos.y() - kTopMargin;
  const int rowInView = offset >= 0 ? offset / lineHeight() : -1 - (-offset - 1) / lineHeight();
  const qsizetype row = clampTo(topRow() + static_cast<qsizetype>(rowInView), 0, m_rows.rowCount() - 1);
  return positionInRow(row, viewportPos.x());
}

// ---------------------------------------------------------------------------------------------
// Caret and selection

void ListTextBox::setAnchorAndCaret(qsizetype anchor, qsizetype caret) {
  if (anchor == m_anchor && caret == m_caret) {
    return;
  }
  const qsizetype oldAnchor = std::exchange(m_anchor, anchor);
  const qsizetype oldCaret = std::exchange(m_caret, caret);
  listbox::notifyCaretMoved(this, oldAnchor, oldCaret, m_anchor, m_caret);
  viewport()->update();
  restartBlink();
  if (hasFocus()) {
    QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
  }
}

void ListTextBox::moveCaret(qsizetype pos, bool extend) {
  setAnchorAndCaret(extend ? m_anchor : pos, pos);
  m_mergeOpen = false;
  ensureCaretVisible();
}

void ListTextBox::ensureCaretVisible() { scrollToPosition(m_caret); }

void ListTextBox::scrollToPosition(qsizetype pos) {
  ensureLayout();
  const qsizetype row = m_rows.rowOf(clampTo(pos, 0, m_text.size()));
  const int top = topRow();
  const int page = visibleRows();
  if (row < top) {
    verticalScrollBar()->setValue(toInt(row));
  } else if (row >= top + page) {
    verticalScrollBar()->setValue(toInt(row - page + 1));
  }
}

void ListTextBox::restartBlink() {
  m_caretOn = true;
  const int interval = QGuiApplication::styleHints()->cursorFlashTime() / 2;
  if (hasFocus() && interval > 0) {
    m_blinkTimer.start(interval, this);
  } else {
    m_blinkTimer.stop();
  }
}

void ListTextBox::updateSelectionClipboard() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (hasSelection() && clipboard->supportsSelection()) {
    clipboard->setText(selectedText(), QClipboard::Selection);
  }
}

qsizetype ListTextBox::snapToCodePoint(qsizetype pos, bool forward) const {
  if (pos > 0 && pos < m_text.size() && m_text.at(pos).isLowSurrogate() && m_text.at(pos - 1).isHighSurrogate()) {
    return forward ? pos + 1 : pos - 1;
  }
  return pos;
}

qsizetype ListTextBox::nextGrapheme(qsizetype pos) const {
  const qsizetype n = m_text.size();
  if (pos >= n) {
    return n;
  }
  const qsizetype end = std::min(n, pos + kGraphemeWindow);
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_text.constData() + pos, end - pos);
  const qsizetype next = finder.toNextBoundary();
  return next > 0 ? snapToCodePoint(pos + next, true) : end;
}

qsizetype ListTextBox::previousGrapheme(qsizetype pos) const {
  if (pos <= 0) {
    return 0;
  }
  const qsizetype start = snapToCodePoint(std::max<qsizetype>(0, pos - kGraphemeWindow), true);
  if (start >= pos) {
    return previousCodePoint(pos);
  }
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, m_text.constData() + start, pos - start);
  finder.toEnd();
  const qsizetype previous = finder.toPreviousBoundary();
  return previous >= 0 ? start + previous : start;
}

qsizetype ListTextBox::previousCodePoint(qsizetype pos) const {
  if (pos <= 0) {
    return 0;
  }
  return snapToCodePoint(pos - 1, false);
}

int ListTextBox::charClassAt(qsizetype pos) const {
  const QChar c = m_text.at(pos);
  if (c == QLatin1Char('\n')) {
    return kLineBreak;
  }
  char32_t ucs4 = c.unicode();
  if (c.isHighSurrogate() && pos + 1 < m_text.size() && m_text.at(pos + 1).isLowSurrogate()) {
    ucs4 = QChar::surrogateToUcs4(c, m_text.at(pos + 1));
  }
  if (QChar::isSpace(ucs4)) {
    return kSpace;
  }
  if (QChar::isLetterOrNumber(ucs4) || QChar::isMark(ucs4) || ucs4 == U'_') {
    return kWord;
  }
  return kOther;
}

qsizetype ListTextBox::nextWordStart(qsizetype pos) const {
  const qsizetype n = m_text.size();
  if (pos >= n) {
    return n;
  }
  const int kind = charClassAt(pos);
  if (kind == kLineBreak) {
    return pos + 1;
  }
  while (pos < n && charClassAt(pos) == kind) {
    pos = snapToCodePoint(pos + 1, true);
  }
  while (pos < n && charClassAt(pos) == kSpace) {
    ++pos;
  }
  return pos;
}

qsizetype ListTextBox::previousWordStart(qsizetype pos) const {
  while (pos > 0 && charClassAt(pos - 1) == kSpace) {
    --pos;
  }
  if (pos == 0) {
    return 0;
  }
  const qsizetype before = previousCodePoint(pos);
  const int kind = charClassAt(before);
  if (kind == kLineBreak) {
    return before;
  }
  pos = before;
  while (pos > 0 && charClassAt(previousCodePoint(pos)) == kind) {
    pos = previousCodePoint(pos);
  }
  return pos;
}

// ---------------------------------------------------------------------------------------------
// Editing

void ListTextBox::replaceText(qsizetype pos, qsizetype length, const QString& with) {
  // Only a listening screen reader needs the removed text.
  const QString removed = listbox::accessibilityListening() ? m_text.mid(pos, length) : QString();
  m_text.replace(pos, length, with);
  if (m_rowsValid) {
    m_rows.update(m_text, pos, length, with.size(), m_rowsWidth, *m_advances);
  }
  const bool hasBar = verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
  if (!m_rowsValid || (m_rows.rowCount() > visibleRows()) != hasBar) {
    layoutRows(!m_rowsValid);
  } else {
    updateScrollRange();
    viewport()->update();
  }
  listbox::notifyTextReplaced(this, pos, removed, with);
  emit textChanged();
}

void ListTextBox::userEdit(qsizetype pos, qsizetype length, const QString& with, EditKind kind) {
  if (length == 0 && with.isEmpty()) {
    return;
  }
  UndoStep step{pos, m_text.mid(pos, length), with, m_anchor, m_caret, kind};
  bool merged = false;
  if (m_mergeOpen && !m_undo.empty() && kind != EditKind::Other && m_undo.back().kind == kind) {
    UndoStep& last = m_undo.back();
    if (kind == EditKind::Typing && length == 0 && last.pos + last.inserted.size() == pos) {
      last.inserted += with;
      merged = true;
    } else if (kind == EditKind::DeleteBack && with.isEmpty() && last.inserted.isEmpty() && pos + length == last.pos) {
      last.removed.prepend(step.removed);
      last.pos = pos;
      merged = true;
    } else if (kind == EditKind::DeleteForward && with.isEmpty() && last.inserted.isEmpty() && pos == last.pos) {
      last.removed += step.removed;
      merged = true;
    }
  }
  if (!merged) {
    m_undo.push_back(std::move(step));
  }
  m_redo.clear();
  replaceText(pos, length, with);
  const qsizetype caret = pos + with.size();
  setAnchorAndCaret(caret, caret);
  m_goalX = -1.0;
  m_mergeOpen = kind != EditKind::Other;
  ensureCaretVisible();
}

void ListTextBox::insertTyped(const QString& text, EditKind kind) {
  userEdit(selectionStart(), selectionLength(), text, kind);
}

void ListTextBox::deleteSelection() {
  if (!m_readOnly && hasSelection()) {
    userEdit(selectionStart(), selectionLength(), QString(), EditKind::Other);
  }
}

// ---------------------------------------------------------------------------------------------
// Keys

bool ListTextBox::handleNavigation(QKeyEvent* event) {
  using SK = QKeySequence::StandardKey;
  struct Move {
    SK move;
    SK select;
  };
  static constexpr std::array kMoves{
      Move{SK::MoveToNextChar, SK::SelectNextChar},
      Move{SK::MoveToPreviousChar, SK::SelectPreviousChar},
      Move{SK::MoveToNextWord, SK::SelectNextWord},
      Move{SK::MoveToPreviousWord, SK::SelectPreviousWord},
      Move{SK::MoveToNextLine, SK::SelectNextLine},
      Move{SK::MoveToPreviousLine, SK::SelectPreviousLine},
      Move{SK::MoveToNextPage, SK::SelectNextPage},
      Move{SK::MoveToPreviousPage, SK::SelectPreviousPage},
      Move{SK::MoveToStartOfLine, SK::SelectStartOfLine},
      Move{SK::MoveToEndOfLine, SK::SelectEndOfLine},
      Move{SK::MoveToStartOfDocument, SK::SelectStartOfDocument},
      Move{SK::MoveToEndOfDocument, SK::SelectEndOfDocument},
  };
  const auto found = std::find_if(kMoves.begin(), kMoves.end(), [event](const Move& m) {
    return event->matches(m.move) || event->matches(m.select);
  });
  if (found == kMoves.end()) {
    return false;
  }
  ensureLayout();
  const bool extend = event->matches(found->select);
  const qsizetype n = m_text.size();
  const qsizetype row = m_rows.rowOf(m_caret);
  const bool vertical = found->move == SK::MoveToNextLine || found->move == SK::MoveToPreviousLine ||
                        found->move == SK::MoveToNextPage || found->move == SK::MoveToPreviousPage;
  if (vertical && m_goalX < 0) {
    m_goalX = caretX() + kSideMargin;
  }
  qsizetype target = m_caret;
  switch (found->move) {
    case SK::MoveToNextChar:
      target = !extend && hasSelection() ? std::max(m_anchor, m_caret) : nextGrapheme(m_caret);
      break;
    case SK::MoveToPreviousChar:
      target = !extend && hasSelection() ? std::min(m_anchor, m_caret) : previousGrapheme(m_caret);
      break;
    case SK::MoveToNextWord:
      target = nextWordStart(m_caret);
      break;
    case SK::MoveToPreviousWord:
      target = previousWordStart(m_caret);
      break;
    case SK::MoveToNextLine:
      target = row + 1 < m_rows.rowCount() ? positionInRow(row + 1, m_goalX) : n;
      break;
    case SK::MoveToPreviousLine:
      target = row > 0 ? positionInRow(row - 1, m_goalX) : 0;
      break;
    case SK::MoveToNextPage:
    case SK::MoveToPreviousPage: {
      const int page = visibleRows();
      const qsizetype step = found->move == SK::MoveToNextPage ? page : -page;
      const qsizetype toRow = clampTo(row + step, 0, m_rows.rowCount() - 1);
      verticalScrollBar()->setValue(toInt(std::max<qsizetype>(0, topRow() + step)));
      target = toRow == row ? (step > 0 ? n : 0) : positionInRow(toRow, m_goalX);
      break;
    }
    case SK::MoveToStartOfLine:
      target = m_rows.rowStart(row);
      break;
    case SK::MoveToEndOfLine: {
      target = m_rows.rowEnd(m_text, row);
      // A word-wrapped row ends with the space it broke at; End stops before it, on this row.
      if (row + 1 < m_rows.rowCount() && !m_rows.endsWithLineBreak(m_text, row) && target > m_rows.rowStart(row) &&
          m_text.at(target - 1).isSpace()) {
        --target;
      }
      break;
    }
    case SK::MoveToStartOfDocument:
      target = 0;
      break;
    case SK::MoveToEndOfDocument:
      target = n;
      break;
    default:
      break;
  }
  if (!vertical) {
    m_goalX = -1.0;
  }
  moveCaret(target, extend);
  return true;
}

bool ListTextBox::handleEditing(QKeyEvent* event) {
  if (event->matches(QKeySequence::SelectAll)) {
    selectAll();
    return true;
  }
  if (event->matches(QKeySequence::Copy)) {
    copy();
    return true;
  }
  if (m_readOnly) {
    return false;
  }
  if (event->matches(QKeySequence::Cut)) {
    cut();
  } else if (event->matches(QKeySequence::Paste)) {
    paste();
  } else if (event->matches(QKeySequence::Undo)) {
    undo();
  } else if (event->matches(QKeySequence::Redo)) {
    redo();
  } else if (event->matches(QKeySequence::DeleteStartOfWord)) {
    hasSelection() ? deleteSelection()
                   : userEdit(previousWordStart(m_caret), m_caret - previousWordStart(m_caret), QString(),
                              EditKind::Other);
  } else if (event->matches(QKeySequence::DeleteEndOfWord)) {
    hasSelection() ? deleteSelection()
                   : userEdit(m_caret, nextWordStart(m_caret) - m_caret, QString(), EditKind::Other);
  } else if (event->matches(QKeySequence::Delete)) {
    hasSelection() ? deleteSelection()
                   : userEdit(m_caret, nextGrapheme(m_caret) - m_caret, QString(), EditKind::DeleteForward);
  } else if (event->key() == Qt::Key_Backspace && (event->modifiers() & ~Qt::ShiftModifier) == Qt::NoModifier) {
    // Backspace takes one code point, so a base letter keeps its accent's neighbour intact.
    hasSelection() ? deleteSelection()
                   : userEdit(previousCodePoint(m_caret), m_caret - previousCodePoint(m_caret), QString(),
                              EditKind::DeleteBack);
  } else if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
             (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0) {
    insertTyped(QStringLiteral("\n"), EditKind::Other);
  } else if (const QString text = event->text(); isPrintable(text) &&
             ((event->modifiers() & Qt::ControlModifier) == 0 || (event->modifiers() & Qt::AltModifier) != 0)) {
    // Ctrl+Alt is AltGr on some keyboards and types characters; Ctrl alone never does.
    insertTyped(text, EditKind::Typing);
  } else {
    return false;
  }
  return true;
}

bool ListTextBox::isHandledShortcut(QKeyEvent* event) const {
  using SK = QKeySequence::StandardKey;
  static constexpr std::array kAlways{SK::SelectAll, SK::Copy,
                                      SK::MoveToNextChar, SK::SelectNextChar,
                                      SK::MoveToPreviousChar, SK::SelectPreviousChar,
                                      SK::MoveToNextWord, SK::SelectNextWord,
                                      SK::MoveToPreviousWord, SK::SelectPreviousWord,
                                      SK::MoveToNextLine, SK::SelectNextLine,
                                      SK::MoveToPreviousLine, SK::SelectPreviousLine,
                                      SK::MoveToNextPage, SK::SelectNextPage,
                                      SK::MoveToPreviousPage, SK::SelectPreviousPage,
                                      SK::MoveToStartOfLine, SK::SelectStartOfLine,
                                      SK::MoveToEndOfLine, SK::SelectEndOfLine,
                                      SK::MoveToStartOfDocument, SK::SelectStartOfDocument,
                                      SK::MoveToEndOfDocument, SK::SelectEndOfDocument};
  static constexpr std::array kEditing{SK::Cut, SK::Paste, SK::Undo, SK::Redo,
                                       SK::Delete, SK::DeleteStartOfWord, SK::DeleteEndOfWord};
  const auto matches = [event](SK key) { return event->matches(key); };
  if (std::any_of(kAlways.begin(), kAlways.end(), matches)) {
    return true;
  }
  if (m_readOnly) {
    return false;
  }
  if (std::any_of(kEditing.begin(), kEditing.end(), matches)) {
    return true;
  }
  const Qt::KeyboardModifiers mods = event->modifiers();
  return isPrintable(event->text()) && ((mods & Qt::ControlModifier) == 0 || (mods & Qt::AltModifier) != 0);
}

void ListTextBox::keyPressEvent(QKeyEvent* event) {
  if (handleNavigation(event) || handleEditing(event)) {
    event->accept();
    return;
  }
  event->ignore();
}

bool ListTextBox::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (isHandledShortcut(key)) {
      key->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

// ---------------------------------------------------------------------------------------------
// Input method

void ListTextBox::inputMethodEvent(QInputMethodEvent* event) {
  if (m_readOnly) {
    event->ignore();
    return;
  }
  m_preedit = event->preeditString();
  if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
    qsizetype from = selectionStart();
    qsizetype length = selectionLength();
    if (!hasSelection() && (event->replacementLength() > 0 || event->replacementStart() != 0)) {
      from = snapToCodePoint(clampTo(m_caret + event->replacementStart(), 0, m_text.size()), false);
      length = snapToCodePoint(clampTo(from + event->replacementLength(), from, m_text.size()), true) - from;
    }
    userEdit(from, length, event->commitString(), EditKind::Typing);
  }
  viewport()->update();
  event->accept();
}

QVariant ListTextBox::inputMethodQuery(Qt::InputMethodQuery query) const {
  // The text around the caret: its line, cut to a window so a 10M-character line costs nothing.
  const QStringView all(m_text);
  qsizetype from = std::max<qsizetype>(0, m_caret - kSurroundingWindow);
  qsizetype to = std::min(m_text.size(), m_caret + kSurroundingWindow);
  if (const qsizetype lineStart = all.sliced(from, m_caret - from).lastIndexOf(QLatin1Char('\n')); lineStart >= 0) {
    from += lineStart + 1;
  }
  if (const qsizetype lineEnd = all.sliced(m_caret, to - m_caret).indexOf(QLatin1Char('\n')); lineEnd >= 0) {
    to = m_caret + lineEnd;
  }
  from = snapToCodePoint(from, true);
  to = snapToCodePoint(to, false);
  switch (query) {
    case Qt::ImEnabled:
      return !m_readOnly;
    case Qt::ImReadOnly:
      return m_readOnly;
    case Qt::ImCursorRectangle:
    case Qt::ImAnchorRectangle:
      return m_rowsValid ? QVariant(caretRect().translated(viewport()->pos())) : QVariant(QRect());
    case Qt::ImFont:
      return font();
    case Qt::ImCursorPosition:
      return toInt(m_caret - from);
    case Qt::ImAnchorPosition:
      return toInt(clampTo(m_anchor, from, to) - from);
    case Qt::ImSurroundingText:
      return all.sliced(from, to - from).toString();
    case Qt::ImCurrentSelection: {
      const qsizetype start = clampTo(selectionStart(), from, to);
      const qsizetype end = clampTo(selectionStart() + selectionLength(), from, to);
      return all.sliced(start, end - start).toString();
    }
    case Qt::ImHints:
      return static_cast<int>(Qt::ImhMultiLine);
    default:
      return QAbstractScrollArea::inputMethodQuery(query);
  }
}

// ---------------------------------------------------------------------------------------------
// Mouse, focus, menu

void ListTextBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton && !m_readOnly && QGuiApplication::clipboard()->supportsSelection()) {
    // X11 habit: the middle button pastes the most recent selection where it is clicked.
    const QString text = withLineFeeds(QGuiApplication::clipboard()->text(QClipboard::Selection));
    if (!text.isEmpty()) {
      moveCaret(positionAt(event->position().toPoint()), false);
      userEdit(m_caret, 0, text, EditKind::Other);
    }
    event->accept();
    return;
  }
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  const qsizetype pos = positionAt(event->position().toPoint());
  m_goalX = -1.0;
  moveCaret(pos, (event->modifiers() & Qt::ShiftModifier) != 0);
  m_dragging = true;
  m_lastDragPos = event->position().toPoint();
  event->accept();
}

void ListTextBox::mouseMoveEvent(QMouseEvent* event) {
  if (!m_dragging || (event->buttons() & Qt::LeftButton) == 0) {
    return;
  }
  m_lastDragPos = event->position().toPoint();
  const bool outside = m_lastDragPos.y() < 0 || m_lastDragPos.y() >= viewport()->height();
  if (outside && !m_dragScrollTimer.isActive()) {
    m_dragScrollTimer.start(kDragScrollMs, this);
  } else if (!outside) {
    m_dragScrollTimer.stop();
  }
  moveCaret(positionAt(m_lastDragPos), true);
}

void ListTextBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && m_dragging) {
    m_dragging = false;
    m_dragScrollTimer.stop();
    updateSelectionClipboard();
  }
}

void ListTextBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    return;
  }
  const qsizetype pos = positionAt(event->position().toPoint());
  const qsizetype n = m_text.size();
  // The word (or run of spaces or punctuation) under the pointer; at a line's end, the one before.
  qsizetype at = pos;
  if (at == n || (at > 0 && m_text.at(at) == QLatin1Char('\n'))) {
    at = previousCodePoint(at);
  }
  if (n == 0 || charClassAt(at) == kLineBreak) {
    moveCaret(pos, false);
    return;
  }
  const int kind = charClassAt(at);
  qsizetype start = at;
  while (start > 0 && charClassAt(previousCodePoint(start)) == kind) {
    start = previousCodePoint(start);
  }
  qsizetype end = at;
  while (end < n && charClassAt(end) == kind) {
    end = snapToCodePoint(end + 1, true);
  }
  setAnchorAndCaret(start, end);
  m_mergeOpen = false;
  m_dragging = true;
  ensureCaretVisible();
  updateSelectionClipboard();
}

void ListTextBox::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  restartBlink();
  viewport()->update();
}

void ListTextBox::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  m_blinkTimer.stop();
  m_dragging = false;
  m_dragScrollTimer.stop();
  viewport()->update();
}

std::unique_ptr<QMenu> ListTextBox::createContextMenu() {
  auto menu = std::make_unique<QMenu>(this);
  const auto add = [&menu](const QString& text, QKeySequence::StandardKey key, bool enabled, auto handler,
                           const char* name) {
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    QAction* action = menu->addAction(shortcut.isEmpty() ? text : text + QLatin1Char('\t') + shortcut);
    action->setEnabled(enabled);
    action->setObjectName(QLatin1String(name));
    QObject::connect(action, &QAction::triggered, menu.get(), handler);
  };
  const bool editable = !m_readOnly;
  const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
  const bool canPaste = clip != nullptr && clip->hasText() && !clip->text().isEmpty();
  add(tr("&Undo"), QKeySequence::Undo, editable && !m_undo.empty(), [this] { undo(); }, "edit-undo");
  add(tr("&Redo"), QKeySequence::Redo, editable && !m_redo.empty(), [this] { redo(); }, "edit-redo");
  menu->addSeparator();
  add(tr("Cu&t"), QKeySequence::Cut, editable && hasSelection(), [this] { cut(); }, "edit-cut");
  add(tr("&Copy"), QKeySequence::Copy, hasSelection(), [this] { copy(); }, "edit-copy");
  add(tr("&Paste"), QKeySequence::Paste, editable && canPaste, [this] { paste(); }, "edit-paste");
  add(tr("Delete"), QKeySequence::UnknownKey, editable && hasSelection(), [this] { deleteSelection(); },
      "edit-delete");
  menu->addSeparator();
  add(tr("Select All"), QKeySequence::SelectAll, !m_text.isEmpty() && selectionLength() < m_text.size(),
      [this] { selectAll(); }, "select-all");
  return menu;
}

void ListTextBox::contextMenuEvent(QContextMenuEvent* event) {
  const std::unique_ptr<QMenu> menu = createContextMenu();
  // From the keyboard's menu key the menu opens at the caret rather than the pointer.
  QPoint at = event->globalPos();
  if (event->reason() == QContextMenuEvent::Keyboard) {
    const QRect caret = caretRect();
    at = viewport()->mapToGlobal(viewport()->rect().contains(caret.center()) ? caret.bottomLeft()
                                                                             : viewport()->rect().center());
  }
  menu->exec(at);
}

// ---------------------------------------------------------------------------------------------
// Painting and housekeeping

void ListTextBox::paintEvent(QPaintEvent* event) {
  ensureLayout();
  QPainter painter(viewport());
  const QPalette& pal = palette();
  const int height = lineHeight();
  const qsizetype selStart = selectionStart();
  const qsizetype selEnd = selStart + selectionLength();
  const qsizetype caretRow = m_rows.rowOf(m_caret);
  const bool showCaret = hasFocus() && m_caretOn;
  const QRect exposed = event->rect();
  painter.setPen(pal.color(QPalette::Text));

  int y = kTopMargin;
  for (qsizetype row = topRow(); row < m_rows.rowCount() && y < viewport()->height(); ++row, y += height) {
    if (y + height <= exposed.top() || y > exposed.bottom()) {
      continue;
    }
    const qsizetype start = m_rows.rowStart(row);
    const qsizetype end = m_rows.rowEnd(m_text, row);
    const bool preeditHere = row == caretRow && !m_preedit.isEmpty();
    QTextLayout layout(QString(), font(), viewport());
    setupLayout(layout, row, true);

    QList<QTextLayout::FormatRange> formats;
    if (selEnd > start && selStart < end) {
      QTextLayout::FormatRange range;
      range.start = toInt(std::max(selStart, start) - start);
      range.length = toInt(std::min(selEnd, end) - start) - range.start;
      if (preeditHere && m_caret - start <= range.start) {
        range.start += toInt(m_preedit.size());
      }
      range.format.setBackground(pal.brush(QPalette::Highlight));
      range.format.setForeground(pal.brush(QPalette::HighlightedText));
      formats.append(range);
    }
    if (preeditHere) {
      QTextLayout::FormatRange range;
      range.start = toInt(m_caret - start);
      range.length = toInt(m_preedit.size());
      range.format.setFontUnderline(true);
      formats.append(range);
    }
    const QPointF origin(kSideMargin, y);
    layout.draw(&painter, origin, formats);
    // A selected line break shows as a space-wide mark after the row's text.
    if (selStart <= end && selEnd > end && m_rows.endsWithLineBreak(m_text, row)) {
      const qreal x = origin.x() + layout.lineAt(0).naturalTextWidth();
      painter.fillRect(QRectF(x, y, fontMetrics().horizontalAdvance(QLatin1Char(' ')), height),
                       pal.brush(QPalette::Highlight));
    }
    if (showCaret && row == caretRow) {
      const qsizetype inRow = m_caret - start + (preeditHere ? m_preedit.size() : 0);
      layout.drawCursor(&painter, origin, toInt(inRow), 1);
    }
  }
}

void ListTextBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (!m_inLayout) {
    layoutRows(false);
  }
}

void ListTextBox::scrollContentsBy(int /*dx*/, int /*dy*/) { viewport()->update(); }

void ListTextBox::timerEvent(QTimerEvent* event) {
  if (event->timerId() == m_blinkTimer.timerId()) {
    m_caretOn = !m_caretOn;
    if (m_rowsValid) {
      viewport()->update(caretRect().adjusted(-1, 0, 1, 0));
    }
  } else if (event->timerId() == m_dragScrollTimer.timerId()) {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + (m_lastDragPos.y() < 0 ? -1 : 1));
    moveCaret(positionAt(m_lastDragPos), true);
  } else {
    QAbstractScrollArea::timerEvent(event);
  }
}

void ListTextBox::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    m_advances = std::make_unique<listbox::AdvanceCache>(font(), viewport());
    layoutRows(true);
  } else if (event->type() == QEvent::StyleChange) {
    layoutRows(false);
  }
}

// ---------------------------------------------------------------------------------------------
// Positions and edits for assistive technology

qsizetype ListTextBox::cursorPosition() const { return m_caret; }

bool ListTextBox::replaceRange(qsizetype start, qsizetype length, const QString& text) {
  if (m_readOnly) {
    return false;
  }
  const qsizetype from = snapToCodePoint(clampTo(start, 0, m_text.size()), false);
  const qsizetype to = snapToCodePoint(clampTo(start + std::max<qsizetype>(0, length), from, m_text.size()), true);
  userEdit(from, to - from, withLineFeeds(text), EditKind::Other);
  return true;
}

std::pair<qsizetype, qsizetype> ListTextBox::rowAt(qsizetype pos) {
  ensureLayout();
  const qsizetype row = m_rows.rowOf(clampTo(pos, 0, m_text.size()));
  const qsizetype next = row + 1 < m_rows.rowCount() ? m_rows.rowStart(row + 1) : m_text.size();
  return {m_rows.rowStart(row), next};
}

QRect ListTextBox::characterRect(qsizetype pos) {
  ensureLayout();
  pos = clampTo(pos, 0, m_text.size());
  const qsizetype row = m_rows.rowOf(pos);
  const qsizetype start = m_rows.rowStart(row);
  const qsizetype end = m_rows.rowEnd(m_text, row);
  QTextLayout layout(QString(), font(), viewport());
  setupLayout(layout, row, false);
  const QTextLine line = layout.lineAt(0);
  const qreal left = line.cursorToX(toInt(pos - start));
  // A line break or the end of the text has no width of its own; it gets a caret's.
  const qreal right = pos < end ? line.cursorToX(toInt(std::min(nextGrapheme(pos), end) - start)) : left + 1;
  const int top = kTopMargin + toInt(row - topRow()) * lineHeight();
  const int x = kSideMargin + static_cast<int>(std::floor(left));
  const int width = std::max(1, static_cast<int>(std::ceil(right - left)));
  return QRect(x, top, width, lineHeight()).translated(viewport()->pos());
}

qsizetype ListTextBox::positionAtPoint(QPoint point) { return positionAt(point - viewport()->pos()); }

}  // namespace ordwell
