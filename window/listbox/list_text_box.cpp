#include "window/listbox/list_text_box.h"

#include "window/listbox/advance_cache.h"
#include "window/listbox/key_table.h"
#include "window/listbox/list_text_box_accessible.h"
#include "window/listbox/text_cursor.h"
#include "window/listbox/wait_cursor.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFontMetricsF>
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
#include <QPalette>
#include <QRect>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStringDecoder>
#include <QStringList>
#include <QStringView>
#include <QStyleHints>
#include <QTextLayout>
#include <QTextOption>
#include <QTimerEvent>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <optional>
#include <utility>

namespace ordwell {

using listbox::EditKind;

namespace {

// Room between the frame and the text, as in the toolkit's own line edits.
constexpr int kSideMargin = 3;
constexpr int kTopMargin = 1;
// The narrowest width rows wrap at, so a box squeezed to nothing does not make a row per character.
constexpr float kMinWrapWidth = 16.0F;
// Input-method look-ups read this many units around the caret, not the whole line.
constexpr qsizetype kSurroundingWindow = 512;
// How often the view scrolls while a selection is dragged beyond its edge.
constexpr int kDragScrollMs = 50;
// A paste or drop this long (in UTF-16 units) takes long enough to show the wait cursor.
constexpr qsizetype kLargeInsert = qsizetype{1} << 18;

qsizetype clampTo(qsizetype value, qsizetype low, qsizetype high) {
  return std::max(low, std::min(value, high));
}

int toInt(qsizetype value) { return static_cast<int>(std::min<qsizetype>(value, INT_MAX)); }

// Pasted text may carry CR LF or lone CR line breaks; the box keeps '\n' only.
QString withLineFeeds(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace

ListTextBox::ListTextBox(QWidget* parent)
    : QAbstractScrollArea(parent), advances_(std::make_unique<listbox::AdvanceCache>(font(), viewport())) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setAttribute(Qt::WA_MacShowFocusRect);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAcceptDrops(true);
  verticalScrollBar()->setSingleStep(1);
  listbox::installAccessibility();
}

ListTextBox::~ListTextBox() = default;

// ---------------------------------------------------------------------------------------------
// Public interface

void ListTextBox::setPlainText(const QString& text) {
  QString old = std::exchange(text_, text);
  const qsizetype oldAnchor = anchor_;
  const qsizetype oldCaret = caret_;
  const int oldTop = verticalScrollBar()->value();
  const Qt::ScrollBarPolicy oldPolicy = verticalScrollBarPolicy();
  anchor_ = 0;
  caret_ = 0;
  verticalScrollBar()->setValue(0);
  try {
    layoutRows(true);
  } catch (const std::bad_alloc&) {
    // No memory to lay the new text out: the box keeps its old text, caret and place.
    text_ = std::move(old);
    anchor_ = oldAnchor;
    caret_ = oldCaret;
    setVerticalScrollBarPolicy(oldPolicy);
    rowsValid_ = false;
    try {
      layoutRows(true);
    } catch (const std::bad_alloc&) {
      // Laid out when next shown.
    }
    verticalScrollBar()->setValue(oldTop);
    throw;
  }
  history_.clear();
  preedit_.clear();
  goalX_ = -1.0;
  restartBlink();
  listbox::notifyTextReplaced(this, 0, old, text_);
  listbox::notifyCaretMoved(this, oldAnchor, oldCaret, anchor_, caret_);
  emit textChanged();
}

QString ListTextBox::toPlainText() const { return text_; }

void ListTextBox::setReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
  viewport()->setAcceptDrops(!readOnly);
  preedit_.clear();
  viewport()->update();
  listbox::notifyReadOnlyChanged(this);
}

bool ListTextBox::isReadOnly() const { return readOnly_; }

void ListTextBox::setScrollBarShown(bool shown) {
  scrollBarShown_ = shown;
  if (!shown) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  layoutRows(false);
}

void ListTextBox::setWhitespaceShown(bool shown) {
  whitespaceShown_ = shown;
  viewport()->update();
}

bool ListTextBox::isWhitespaceShown() const { return whitespaceShown_; }

void ListTextBox::setSelection(qsizetype start, qsizetype length) {
  const qsizetype n = text_.size();
  const qsizetype anchor = clampTo(start, 0, n);
  qsizetype caret = anchor;
  if (length >= 0) {
    caret = anchor + std::min(length, n - anchor);
  } else {
    caret = length < -anchor ? 0 : anchor + length;
  }
  const bool forwards = caret >= anchor;
  setAnchorAndCaret(listbox::snapToCodePoint(text_, anchor, !forwards),
                    listbox::snapToCodePoint(text_, caret, forwards));
  goalX_ = -1.0;
  history_.closeRun();
  ensureCaretVisible();
}

qsizetype ListTextBox::selectionStart() const { return std::min(anchor_, caret_); }

qsizetype ListTextBox::selectionLength() const { return std::abs(caret_ - anchor_); }

QString ListTextBox::selectedText() const { return text_.mid(selectionStart(), selectionLength()); }

void ListTextBox::selectAll() {
  // The view stays where it is, as in other editors: selecting all is not a move to the end.
  setAnchorAndCaret(0, text_.size());
  goalX_ = -1.0;
  history_.closeRun();
  updateSelectionClipboard();
}

void ListTextBox::copy() {
  if (hasSelection()) {
    QGuiApplication::clipboard()->setText(selectedText());
  }
}

void ListTextBox::cut() {
  if (readOnly_ || !hasSelection()) {
    return;
  }
  copy();
  deleteSelection();
}

void ListTextBox::paste() {
  if (readOnly_) {
    return;
  }
  const QString text = withLineFeeds(QGuiApplication::clipboard()->text());
  if (!text.isEmpty()) {
    const listbox::WaitCursor wait(text.size() >= kLargeInsert);
    userEdit(selectionStart(), selectionLength(), text, EditKind::Other);
  }
}

void ListTextBox::undo() {
  if (readOnly_) {
    return;
  }
  if (const auto step = history_.takeUndo()) {
    replaceText(step->pos, step->inserted.size(), step->removed);
    setAnchorAndCaret(step->anchorBefore, step->caretBefore);
    goalX_ = -1.0;
    ensureCaretVisible();
  }
}

void ListTextBox::redo() {
  if (readOnly_) {
    return;
  }
  if (const auto step = history_.takeRedo()) {
    replaceText(step->pos, step->removed.size(), step->inserted);
    const qsizetype caret = step->pos + step->inserted.size();
    setAnchorAndCaret(caret, caret);
    goalX_ = -1.0;
    ensureCaretVisible();
  }
}

// ---------------------------------------------------------------------------------------------
// Layout

float ListTextBox::wrapWidth() const {
  return std::max(kMinWrapWidth, static_cast<float>(viewport()->width() - 2 * kSideMargin - 1));
}

int ListTextBox::lineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int ListTextBox::visibleRows() const {
  return std::max(1, (viewport()->height() - kTopMargin) / lineHeight());
}

int ListTextBox::topRow() const { return verticalScrollBar()->value(); }

void ListTextBox::ensureLayout() {
  if (!rowsValid_ || wrapWidth() != rowsWidth_) {
    layoutRows(false);
  }
}

void ListTextBox::layoutRows(bool force) {
  if (inLayout_) {
    return;
  }
  const QScopedValueRollback guard(inLayout_, true);
  // Keep the first row in view showing the same text when the rows change width.
  const qsizetype topPos =
      rowsValid_ ? rows_.rowStart(std::min<qsizetype>(topRow(), rows_.rowCount() - 1)) : 0;
  if (scrollBarShown_ && verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOn && moreRowsThanFit()) {
    // Decided from the first screenful, so a large text is wrapped once, at the narrower width.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    const float width = wrapWidth();
    if (force || !rowsValid_ || width != rowsWidth_) {
      rows_.rebuild(text_, width, *advances_);
      rowsWidth_ = width;
      rowsValid_ = true;
      force = false;
    }
    // Showing the scroll bar narrows the rows, which only adds rows: the second pass settles it.
    const bool needBar = scrollBarShown_ && rows_.rowCount() > visibleRows();
    if (needBar == (verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn)) {
      break;
    }
    setVerticalScrollBarPolicy(needBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  }
  updateScrollRange();
  verticalScrollBar()->setValue(toInt(rows_.rowOf(topPos)));
  viewport()->update();
}

bool ListTextBox::moreRowsThanFit() const {
  const float width = wrapWidth();
  qsizetype start = 0;
  for (int rows = 1; rows <= visibleRows(); ++rows) {
    start = listbox::RowIndex::nextRowStart(text_, start, width, *advances_);
    if (start < 0) {
      return false;
    }
  }
  return true;
}

void ListTextBox::updateScrollRange() {
  const int page = visibleRows();
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, toInt(std::max<qsizetype>(0, rows_.rowCount() - page)));
  bar->setPageStep(page);
}

void ListTextBox::setupLayout(QTextLayout& layout, qsizetype row, bool withPreedit) const {
  const qsizetype start = rows_.rowStart(row);
  layout.setText(text_.mid(start, rows_.rowEnd(text_, row) - start));
  layout.setFont(font());
  QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
  option.setWrapMode(QTextOption::NoWrap);
  option.setTextDirection(Qt::LeftToRight);
  option.setTabStopDistance(advances_->tabStop());
  layout.setTextOption(option);
  if (withPreedit && !preedit_.isEmpty() && rows_.rowOf(caret_) == row) {
    layout.setPreeditArea(toInt(caret_ - start), preedit_);
  }
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (line.isValid()) {
    line.setLineWidth(std::max(rowsWidth_, kMinWrapWidth));
    line.setPosition(QPointF(0, 0));
  }
  layout.endLayout();
}

qreal ListTextBox::caretX() const {
  const qsizetype row = rows_.rowOf(caret_);
  QTextLayout layout(QString(), font(), viewport());
  setupLayout(layout, row, false);
  return layout.lineAt(0).cursorToX(toInt(caret_ - rows_.rowStart(row)));
}

QRect ListTextBox::caretRect() const {
  const qsizetype row = rows_.rowOf(caret_);
  const int y = kTopMargin + toInt(row - topRow()) * lineHeight();
  return {kSideMargin + static_cast<int>(std::floor(caretX())), y, 1, lineHeight()};
}

qsizetype ListTextBox::positionInRow(qsizetype row, qreal x) const {
  QTextLayout layout(QString(), font(), viewport());
  setupLayout(layout, row, false);
  const qsizetype start = rows_.rowStart(row);
  const qsizetype end = rows_.rowEnd(text_, row);
  qsizetype pos = start + layout.lineAt(0).xToCursor(x - kSideMargin, QTextLine::CursorBetweenCharacters);
  // The end of a wrapped row is the start of the next one; stay on this row.
  if (pos >= end && row + 1 < rows_.rowCount() && !rows_.endsWithLineBreak(text_, row)) {
    pos = std::max(start, listbox::previousGrapheme(text_, end));
  }
  return clampTo(pos, start, end);
}

qsizetype ListTextBox::positionAt(QPoint viewportPos) {
  ensureLayout();
  const int offset = viewportPos.y() - kTopMargin;
  const int rowInView = offset >= 0 ? offset / lineHeight() : -1 - (-offset - 1) / lineHeight();
  const qsizetype row = clampTo(topRow() + static_cast<qsizetype>(rowInView), 0, rows_.rowCount() - 1);
  return positionInRow(row, viewportPos.x());
}

// ---------------------------------------------------------------------------------------------
// Caret and selection

void ListTextBox::setAnchorAndCaret(qsizetype anchor, qsizetype caret) {
  if (anchor == anchor_ && caret == caret_) {
    return;
  }
  const qsizetype oldAnchor = std::exchange(anchor_, anchor);
  const qsizetype oldCaret = std::exchange(caret_, caret);
  listbox::notifyCaretMoved(this, oldAnchor, oldCaret, anchor_, caret_);
  viewport()->update();
  restartBlink();
  if (hasFocus()) {
    QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
  }
}

void ListTextBox::moveCaret(qsizetype pos, bool extend) {
  setAnchorAndCaret(extend ? anchor_ : pos, pos);
  history_.closeRun();
  ensureCaretVisible();
}

void ListTextBox::ensureCaretVisible() { scrollToPosition(caret_); }

void ListTextBox::scrollToPosition(qsizetype pos) {
  ensureLayout();
  const qsizetype row = rows_.rowOf(clampTo(pos, 0, text_.size()));
  const int top = topRow();
  const int page = visibleRows();
  if (row < top) {
    verticalScrollBar()->setValue(toInt(row));
  } else if (row >= top + page) {
    verticalScrollBar()->setValue(toInt(row - page + 1));
  }
}

void ListTextBox::restartBlink() {
  caretOn_ = true;
  const int interval = QGuiApplication::styleHints()->cursorFlashTime() / 2;
  if (hasFocus() && interval > 0) {
    blinkTimer_.start(interval, this);
  } else {
    blinkTimer_.stop();
  }
}

void ListTextBox::updateSelectionClipboard() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (hasSelection() && clipboard->supportsSelection()) {
    clipboard->setText(selectedText(), QClipboard::Selection);
  }
}

// ---------------------------------------------------------------------------------------------
// Editing

void ListTextBox::replaceText(qsizetype pos, qsizetype length, const QString& with) {
  // Only a listening screen reader needs the removed text.
  const QString removed = listbox::accessibilityListening() ? text_.mid(pos, length) : QString();
  text_.replace(pos, length, with);
  if (rowsValid_) {
    rows_.update(text_, pos, length, with.size(), rowsWidth_, *advances_);
  }
  const bool hasBar = verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
  if (!rowsValid_ || (scrollBarShown_ && rows_.rowCount() > visibleRows()) != hasBar) {
    layoutRows(!rowsValid_);
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
  history_.record({pos, text_.mid(pos, length), with, anchor_, caret_, kind});
  replaceText(pos, length, with);
  const qsizetype caret = pos + with.size();
  setAnchorAndCaret(caret, caret);
  goalX_ = -1.0;
  ensureCaretVisible();
}

void ListTextBox::insertTyped(const QString& text, EditKind kind) {
  userEdit(selectionStart(), selectionLength(), text, kind);
}

void ListTextBox::deleteSelection() {
  if (!readOnly_ && hasSelection()) {
    userEdit(selectionStart(), selectionLength(), QString(), EditKind::Other);
  }
}

// ---------------------------------------------------------------------------------------------
// Keys

qsizetype ListTextBox::motionTarget(listbox::KeyCommand command, bool extend) {
  using listbox::KeyCommand;
  ensureLayout();
  const qsizetype n = text_.size();
  const qsizetype row = rows_.rowOf(caret_);
  const bool vertical = command == KeyCommand::MoveNextLine || command == KeyCommand::MovePreviousLine ||
                        command == KeyCommand::MoveNextPage || command == KeyCommand::MovePreviousPage;
  if (!vertical) {
    goalX_ = -1.0;
  } else if (goalX_ < 0) {
    goalX_ = caretX() + kSideMargin;
  }
  switch (command) {
    case KeyCommand::MoveNextChar:
      return !extend && hasSelection() ? std::max(anchor_, caret_) : listbox::nextGrapheme(text_, caret_);
    case KeyCommand::MovePreviousChar:
      return !extend && hasSelection() ? std::min(anchor_, caret_) : listbox::previousGrapheme(text_, caret_);
    case KeyCommand::MoveNextWord: return listbox::nextWordStart(text_, caret_);
    case KeyCommand::MovePreviousWord: return listbox::previousWordStart(text_, caret_);
    case KeyCommand::MoveNextLine: return row + 1 < rows_.rowCount() ? positionInRow(row + 1, goalX_) : n;
    case KeyCommand::MovePreviousLine: return row > 0 ? positionInRow(row - 1, goalX_) : 0;
    case KeyCommand::MoveNextPage:
    case KeyCommand::MovePreviousPage: {
      const int page = visibleRows();
      const qsizetype step = command == KeyCommand::MoveNextPage ? page : -page;
      const qsizetype toRow = clampTo(row + step, 0, rows_.rowCount() - 1);
      verticalScrollBar()->setValue(toInt(std::max<qsizetype>(0, topRow() + step)));
      return toRow == row ? (step > 0 ? n : 0) : positionInRow(toRow, goalX_);
    }
    case KeyCommand::MoveStartOfLine: return rows_.rowStart(row);
    case KeyCommand::MoveEndOfLine: {
      qsizetype target = rows_.rowEnd(text_, row);
      // A word-wrapped row ends with the space it broke at; End stops before it, on this row.
      if (row + 1 < rows_.rowCount() && !rows_.endsWithLineBreak(text_, row) &&
          target > rows_.rowStart(row) && text_.at(target - 1).isSpace()) {
        --target;
      }
      return target;
    }
    case KeyCommand::MoveStartOfDocument: return 0;
    case KeyCommand::MoveEndOfDocument: return n;
    default: return caret_;
  }
}

void ListTextBox::runKey(const listbox::KeyBinding& binding, const QKeyEvent& event) {
  using listbox::KeyCommand;
  switch (binding.command) {
    case KeyCommand::SelectAll: selectAll(); break;
    case KeyCommand::Copy: copy(); break;
    case KeyCommand::ContextMenu: showContextMenu(caretMenuPos()); break;
    case KeyCommand::Cut: cut(); break;
    case KeyCommand::Paste: paste(); break;
    case KeyCommand::Undo: undo(); break;
    case KeyCommand::Redo: redo(); break;
    case KeyCommand::DeleteStartOfWord:
      hasSelection()
          ? deleteSelection()
          : userEdit(listbox::previousWordStart(text_, caret_),
                     caret_ - listbox::previousWordStart(text_, caret_), QString(), EditKind::Other);
      break;
    case KeyCommand::DeleteEndOfWord:
      hasSelection()
          ? deleteSelection()
          : userEdit(caret_, listbox::nextWordStart(text_, caret_) - caret_, QString(), EditKind::Other);
      break;
    case KeyCommand::DeleteNextChar:
      hasSelection() ? deleteSelection()
                     : userEdit(caret_, listbox::nextGrapheme(text_, caret_) - caret_, QString(),
                                EditKind::DeleteForward);
      break;
    case KeyCommand::DeletePreviousChar: {
      // Backspace takes one code point, so a base letter keeps its accent's neighbour intact.
      const qsizetype from = listbox::previousCodePoint(text_, caret_);
      hasSelection() ? deleteSelection() : userEdit(from, caret_ - from, QString(), EditKind::DeleteBack);
      break;
    }
    case KeyCommand::InsertLineBreak: insertTyped(QStringLiteral("\n"), EditKind::Other); break;
    case KeyCommand::InsertText: insertTyped(event.text(), EditKind::Typing); break;
    default:
      moveCaret(motionTarget(binding.command, binding.extendsSelection), binding.extendsSelection);
      break;
  }
}

void ListTextBox::keyPressEvent(QKeyEvent* event) {
  const auto binding = listbox::keyBindingFor(*event);
  if (!binding || (readOnly_ && listbox::changesText(binding->command))) {
    event->ignore();
    return;
  }
  runKey(*binding, *event);
  event->accept();
}

bool ListTextBox::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    // The keys the box handles itself are not taken by the window's shortcuts.
    auto* key = static_cast<QKeyEvent*>(event);
    if (const auto binding = listbox::keyBindingFor(*key);
        binding && !(readOnly_ && listbox::changesText(binding->command))) {
      key->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

// ---------------------------------------------------------------------------------------------
// Input method

void ListTextBox::inputMethodEvent(QInputMethodEvent* event) {
  if (readOnly_) {
    event->ignore();
    return;
  }
  preedit_ = event->preeditString();
  if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
    qsizetype from = selectionStart();
    qsizetype length = selectionLength();
    if (!hasSelection() && (event->replacementLength() > 0 || event->replacementStart() != 0)) {
      from = listbox::snapToCodePoint(text_, clampTo(caret_ + event->replacementStart(), 0, text_.size()),
                                      false);
      const qsizetype to = clampTo(from + event->replacementLength(), from, text_.size());
      length = listbox::snapToCodePoint(text_, to, true) - from;
    }
    userEdit(from, length, event->commitString(), EditKind::Typing);
  }
  viewport()->update();
  event->accept();
}

QVariant ListTextBox::inputMethodQuery(Qt::InputMethodQuery query) const {
  // The text around the caret: its line, cut to a window so a 10M-character line costs nothing.
  const QStringView all(text_);
  qsizetype from = std::max<qsizetype>(0, caret_ - kSurroundingWindow);
  qsizetype to = std::min(text_.size(), caret_ + kSurroundingWindow);
  if (const qsizetype lineStart = all.sliced(from, caret_ - from).lastIndexOf(QLatin1Char('\n'));
      lineStart >= 0) {
    from += lineStart + 1;
  }
  if (const qsizetype lineEnd = all.sliced(caret_, to - caret_).indexOf(QLatin1Char('\n')); lineEnd >= 0) {
    to = caret_ + lineEnd;
  }
  from = listbox::snapToCodePoint(text_, from, true);
  to = listbox::snapToCodePoint(text_, to, false);
  switch (query) {
    case Qt::ImEnabled: return !readOnly_;
    case Qt::ImReadOnly: return readOnly_;
    case Qt::ImCursorRectangle:
    case Qt::ImAnchorRectangle:
      return rowsValid_ ? QVariant(caretRect().translated(viewport()->pos())) : QVariant(QRect());
    case Qt::ImFont: return font();
    case Qt::ImCursorPosition: return toInt(caret_ - from);
    case Qt::ImAnchorPosition: return toInt(clampTo(anchor_, from, to) - from);
    case Qt::ImSurroundingText: return all.sliced(from, to - from).toString();
    case Qt::ImCurrentSelection: {
      const qsizetype start = clampTo(selectionStart(), from, to);
      const qsizetype end = clampTo(selectionStart() + selectionLength(), from, to);
      return all.sliced(start, end - start).toString();
    }
    case Qt::ImHints: return static_cast<int>(Qt::ImhMultiLine);
    default: return QAbstractScrollArea::inputMethodQuery(query);
  }
}

// ---------------------------------------------------------------------------------------------
// Mouse, focus, menu

void ListTextBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton && !readOnly_ &&
      QGuiApplication::clipboard()->supportsSelection()) {
    // X11 habit: the middle button pastes the most recent selection where it is clicked.
    const QString text = withLineFeeds(QGuiApplication::clipboard()->text(QClipboard::Selection));
    if (!text.isEmpty()) {
      moveCaret(positionAt(event->position().toPoint()), false);
      userEdit(caret_, 0, text, EditKind::Other);
    }
    event->accept();
    return;
  }
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  const QPoint at = event->position().toPoint();
  const qsizetype pos = positionAt(at);
  goalX_ = -1.0;
  if (tripleClickTimer_.isActive() &&
      (at - tripleClickPos_).manhattanLength() < QApplication::startDragDistance()) {
    // The third click of a quick series selects the whole line, its line break included.
    tripleClickTimer_.stop();
    const listbox::TextRange line = listbox::lineAt(text_, pos);
    setAnchorAndCaret(line.start, line.end);
    history_.closeRun();
    ensureCaretVisible();
    updateSelectionClipboard();
    dragging_ = false;
    event->accept();
    return;
  }
  moveCaret(pos, (event->modifiers() & Qt::ShiftModifier) != 0);
  dragging_ = true;
  lastDragPos_ = at;
  event->accept();
}

void ListTextBox::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || (event->buttons() & Qt::LeftButton) == 0) {
    return;
  }
  lastDragPos_ = event->position().toPoint();
  const bool outside = lastDragPos_.y() < 0 || lastDragPos_.y() >= viewport()->height();
  if (outside && !dragScrollTimer_.isActive()) {
    dragScrollTimer_.start(kDragScrollMs, this);
  } else if (!outside) {
    dragScrollTimer_.stop();
  }
  moveCaret(positionAt(lastDragPos_), true);
}

void ListTextBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && dragging_) {
    dragging_ = false;
    dragScrollTimer_.stop();
    updateSelectionClipboard();
  }
}

void ListTextBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    return;
  }
  const QPoint at = event->position().toPoint();
  const listbox::TextRange word = listbox::wordAt(text_, positionAt(at));
  setAnchorAndCaret(word.start, word.end);
  history_.closeRun();
  dragging_ = true;
  ensureCaretVisible();
  updateSelectionClipboard();
  tripleClickPos_ = at;
  tripleClickTimer_.start(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this);
}

void ListTextBox::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  restartBlink();
  viewport()->update();
}

void ListTextBox::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  blinkTimer_.stop();
  dragging_ = false;
  dragScrollTimer_.stop();
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
  const bool editable = !readOnly_;
  const QMimeData* clip = QGuiApplication::clipboard()->mimeData();
  const bool canPaste = clip != nullptr && clip->hasText() && !clip->text().isEmpty();
  add(
      tr("&Undo"), QKeySequence::Undo, editable && history_.canUndo(), [this] { undo(); }, "edit-undo");
  add(
      tr("&Redo"), QKeySequence::Redo, editable && history_.canRedo(), [this] { redo(); }, "edit-redo");
  menu->addSeparator();
  add(
      tr("Cu&t"), QKeySequence::Cut, editable && hasSelection(), [this] { cut(); }, "edit-cut");
  add(
      tr("&Copy"), QKeySequence::Copy, hasSelection(), [this] { copy(); }, "edit-copy");
  add(
      tr("&Paste"), QKeySequence::Paste, editable && canPaste, [this] { paste(); }, "edit-paste");
  add(
      tr("Delete"), QKeySequence::UnknownKey, editable && hasSelection(), [this] { deleteSelection(); },
      "edit-delete");
  menu->addSeparator();
  add(
      tr("Select All"), QKeySequence::SelectAll, !text_.isEmpty() && selectionLength() < text_.size(),
      [this] { selectAll(); }, "select-all");
  return menu;
}

void ListTextBox::contextMenuEvent(QContextMenuEvent* event) {
  // From the keyboard's menu key the menu opens at the caret rather than the pointer.
  showContextMenu(event->reason() == QContextMenuEvent::Keyboard ? caretMenuPos() : event->globalPos());
}

void ListTextBox::showContextMenu(QPoint globalPos) {
  const std::unique_ptr<QMenu> menu = createContextMenu();
  menu->exec(globalPos);
}

QPoint ListTextBox::caretMenuPos() const {
  const QRect caret = rowsValid_ ? caretRect() : QRect();
  const QRect view = viewport()->rect();
  return viewport()->mapToGlobal(view.contains(caret.center()) ? caret.bottomLeft() : view.center());
}

// ---------------------------------------------------------------------------------------------
// Drops

namespace {

// Files larger than this are refused rather than read whole into a box.
constexpr qint64 kMaxDroppedFileBytes = qint64{256} * 1024 * 1024;

// The local files among the dropped URLs; empty unless every URL is one.
QStringList localFiles(const QMimeData* mime) {
  QStringList files;
  if (mime == nullptr || !mime->hasUrls()) {
    return files;
  }
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) {
      return {};
    }
    files << url.toLocalFile();
  }
  return files;
}

// Reads a file as UTF-8 text with '\n' line breaks; on failure returns nothing and says why.
std::optional<QString> readTextFile(const QString& path, QString& why) {
  const QString name = QFileInfo(path).fileName();
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
    why = ListTextBox::tr("The file \u201c%1\u201d could not be read, so nothing was inserted.").arg(name);
    return std::nullopt;
  }
  if (file.size() > kMaxDroppedFileBytes) {
    why =
        ListTextBox::tr("The file \u201c%1\u201d is too large to insert, so nothing was inserted.").arg(name);
    return std::nullopt;
  }
  const QByteArray bytes = file.readAll();
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = decoder.decode(bytes);
  // A NUL byte is valid UTF-8 but marks a binary file, not a list.
  if (decoder.hasError() || bytes.contains('\0')) {
    why = ListTextBox::tr("The file \u201c%1\u201d is not UTF-8 text, so nothing was inserted.").arg(name);
    return std::nullopt;
  }
  if (text.startsWith(QChar(0xFEFF))) {
    text.remove(0, 1);
  }
  return withLineFeeds(std::move(text));
}

}  // namespace

bool ListTextBox::canDrop(const QMimeData* mime) const {
  return !readOnly_ && mime != nullptr && (!localFiles(mime).isEmpty() || mime->hasText());
}

void ListTextBox::setDropCaret(qsizetype pos) {
  if (pos != dropCaret_) {
    dropCaret_ = pos;
    viewport()->update();
  }
}

void ListTextBox::dragEnterEvent(QDragEnterEvent* event) {
  if (!canDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  setDropCaret(positionAt(event->position().toPoint()));
}

void ListTextBox::dragMoveEvent(QDragMoveEvent* event) {
  if (!canDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  setDropCaret(positionAt(event->position().toPoint()));
}

void ListTextBox::dragLeaveEvent(QDragLeaveEvent* /*event*/) { setDropCaret(-1); }

void ListTextBox::dropEvent(QDropEvent* event) {
  setDropCaret(-1);
  const QMimeData* mime = event->mimeData();
  if (!canDrop(mime)) {
    event->ignore();
    return;
  }
  QString inserted;
  if (const QStringList files = localFiles(mime); !files.isEmpty()) {
    // All files or none: one that cannot be read as text stops the whole drop.
    for (const QString& path : files) {
      QString why;
      const std::optional<QString> text = readTextFile(path, why);
      if (!text) {
        event->ignore();
        emit dropRefused(why);
        return;
      }
      if (!inserted.isEmpty() && !inserted.endsWith(QLatin1Char('\n'))) {
        inserted += QLatin1Char('\n');
      }
      inserted += *text;
    }
  } else {
    inserted = withLineFeeds(mime->text());
  }
  event->acceptProposedAction();
  setFocus(Qt::MouseFocusReason);
  const qsizetype pos = positionAt(event->position().toPoint());
  const listbox::WaitCursor wait(inserted.size() >= kLargeInsert);
  userEdit(pos, 0, inserted, EditKind::Other);
  setAnchorAndCaret(pos, pos + inserted.size());
  ensureCaretVisible();
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
  const qsizetype caretRow = rows_.rowOf(caret_);
  const bool showCaret = hasFocus() && caretOn_;
  const QRect exposed = event->rect();
  painter.setPen(pal.color(QPalette::Text));

  int y = kTopMargin;
  for (qsizetype row = topRow(); row < rows_.rowCount() && y < viewport()->height(); ++row, y += height) {
    if (y + height <= exposed.top() || y > exposed.bottom()) {
      continue;
    }
    const qsizetype start = rows_.rowStart(row);
    const qsizetype end = rows_.rowEnd(text_, row);
    const bool preeditHere = row == caretRow && !preedit_.isEmpty();
    QTextLayout layout(QString(), font(), viewport());
    setupLayout(layout, row, true);

    QList<QTextLayout::FormatRange> formats;
    if (selEnd > start && selStart < end) {
      QTextLayout::FormatRange range;
      range.start = toInt(std::max(selStart, start) - start);
      range.length = toInt(std::min(selEnd, end) - start) - range.start;
      if (preeditHere && caret_ - start <= range.start) {
        range.start += toInt(preedit_.size());
      }
      range.format.setBackground(pal.brush(QPalette::Highlight));
      range.format.setForeground(pal.brush(QPalette::HighlightedText));
      formats.append(range);
    }
    if (preeditHere) {
      QTextLayout::FormatRange range;
      range.start = toInt(caret_ - start);
      range.length = toInt(preedit_.size());
      range.format.setFontUnderline(true);
      formats.append(range);
    }
    const QPointF origin(kSideMargin, y);
    layout.draw(&painter, origin, formats);
    if (whitespaceShown_) {
      drawWhitespaceMarks(painter, layout, row, origin, selStart, selEnd);
    }
    // A selected line break shows as a space-wide mark after the row's text.
    if (selStart <= end && selEnd > end && rows_.endsWithLineBreak(text_, row)) {
      const qreal x = origin.x() + layout.lineAt(0).naturalTextWidth();
      painter.fillRect(QRectF(x, y, fontMetrics().horizontalAdvance(QLatin1Char(' ')), height),
                       pal.brush(QPalette::Highlight));
    }
    if (showCaret && row == caretRow) {
      const qsizetype inRow = caret_ - start + (preeditHere ? preedit_.size() : 0);
      layout.drawCursor(&painter, origin, toInt(inRow), 1);
    }
    if (dropCaret_ >= 0 && rows_.rowOf(dropCaret_) == row) {
      layout.drawCursor(&painter, origin, toInt(dropCaret_ - start), 1);
    }
  }
}

void ListTextBox::drawWhitespaceMarks(QPainter& painter, const QTextLayout& layout, qsizetype row,
                                      QPointF origin, qsizetype selStart, qsizetype selEnd) {
  const qsizetype start = rows_.rowStart(row);
  const qsizetype end = rows_.rowEnd(text_, row);
  const QTextLine line = layout.lineAt(0);
  const QFontMetricsF metrics(font());
  const qreal baseline = origin.y() + metrics.ascent();
  // Faint: a little under half the way from the background to the text's colour.
  const auto faint = [this](QPalette::ColorRole text, QPalette::ColorRole background) {
    constexpr float kWeight = 0.45F;
    const QColor fg = palette().color(text);
    const QColor bg = palette().color(background);
    return QColor::fromRgbF(bg.redF() + (fg.redF() - bg.redF()) * kWeight,
                            bg.greenF() + (fg.greenF() - bg.greenF()) * kWeight,
                            bg.blueF() + (fg.blueF() - bg.blueF()) * kWeight);
  };
  const QColor plain = faint(QPalette::Text, QPalette::Base);
  const QColor selected = faint(QPalette::HighlightedText, QPalette::Highlight);
  const auto colourAt = [&](qsizetype pos) { return pos >= selStart && pos < selEnd ? selected : plain; };
  // A space's mark is a dot in the middle of the space at half the height of a small letter,
  // drawn as a shape because a middle-dot glyph is too thin to see in a narrow space.
  const qreal dot = std::max<qreal>(2.0, metrics.height() / 7.0);
  const qreal dotY = baseline - metrics.xHeight() / 2 - dot / 2;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  for (qsizetype pos = start; pos < end; ++pos) {
    const QChar c = text_.at(pos);
    if (c != QLatin1Char(' ') && c != QLatin1Char('\t')) {
      continue;
    }
    const qreal left = origin.x() + line.cursorToX(toInt(pos - start));
    const qreal right = origin.x() + line.cursorToX(toInt(pos + 1 - start));
    if (c == QLatin1Char(' ')) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(colourAt(pos));
      painter.drawEllipse(QRectF((left + right - dot) / 2, dotY, dot, dot));
    } else {
      painter.setPen(colourAt(pos));
      painter.drawText(QPointF(left, baseline), QString(QChar(0x2192)));
    }
  }
  if (rows_.endsWithLineBreak(text_, row)) {
    painter.setPen(colourAt(end));
    painter.drawText(QPointF(origin.x() + line.naturalTextWidth(), baseline), QString(QChar(0x00B6)));
  }
  painter.restore();
}

void ListTextBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (!inLayout_) {
    layoutRows(false);
  }
}

void ListTextBox::scrollContentsBy(int /*dx*/, int /*dy*/) { viewport()->update(); }

void ListTextBox::timerEvent(QTimerEvent* event) {
  if (event->timerId() == blinkTimer_.timerId()) {
    caretOn_ = !caretOn_;
    if (rowsValid_) {
      viewport()->update(caretRect().adjusted(-1, 0, 1, 0));
    }
  } else if (event->timerId() == tripleClickTimer_.timerId()) {
    tripleClickTimer_.stop();
  } else if (event->timerId() == dragScrollTimer_.timerId()) {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->value() + (lastDragPos_.y() < 0 ? -1 : 1));
    moveCaret(positionAt(lastDragPos_), true);
  } else {
    QAbstractScrollArea::timerEvent(event);
  }
}

void ListTextBox::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    advances_ = std::make_unique<listbox::AdvanceCache>(font(), viewport());
    layoutRows(true);
  } else if (event->type() == QEvent::StyleChange) {
    layoutRows(false);
  }
}

// ---------------------------------------------------------------------------------------------
// Positions and edits for assistive technology

qsizetype ListTextBox::cursorPosition() const { return caret_; }

bool ListTextBox::replaceRange(qsizetype start, qsizetype length, const QString& text) {
  if (readOnly_) {
    return false;
  }
  const qsizetype from = listbox::snapToCodePoint(text_, clampTo(start, 0, text_.size()), false);
  const qsizetype end = clampTo(start + std::max<qsizetype>(0, length), from, text_.size());
  const qsizetype to = listbox::snapToCodePoint(text_, end, true);
  userEdit(from, to - from, withLineFeeds(text), EditKind::Other);
  return true;
}

std::pair<qsizetype, qsizetype> ListTextBox::rowAt(qsizetype pos) {
  ensureLayout();
  const qsizetype row = rows_.rowOf(clampTo(pos, 0, text_.size()));
  const qsizetype next = row + 1 < rows_.rowCount() ? rows_.rowStart(row + 1) : text_.size();
  return {rows_.rowStart(row), next};
}

QRect ListTextBox::characterRect(qsizetype pos) {
  ensureLayout();
  pos = clampTo(pos, 0, text_.size());
  const qsizetype row = rows_.rowOf(pos);
  const qsizetype start = rows_.rowStart(row);
  const qsizetype end = rows_.rowEnd(text_, row);
  QTextLayout layout(QString(), font(), viewport());
  setupLayout(layout, row, false);
  const QTextLine line = layout.lineAt(0);
  const qreal left = line.cursorToX(toInt(pos - start));
  // A line break or the end of the text has no width of its own; it gets a caret's.
  const qreal right =
      pos < end ? line.cursorToX(toInt(std::min(listbox::nextGrapheme(text_, pos), end) - start)) : left + 1;
  const int top = kTopMargin + toInt(row - topRow()) * lineHeight();
  const int x = kSideMargin + static_cast<int>(std::floor(left));
  const int width = std::max(1, static_cast<int>(std::ceil(right - left)));
  return QRect(x, top, width, lineHeight()).translated(viewport()->pos());
}

qsizetype ListTextBox::positionAtPoint(QPoint point) { return positionAt(point - viewport()->pos()); }

}  // namespace ordwell
