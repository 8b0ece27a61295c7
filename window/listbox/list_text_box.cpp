#include "window/listbox/list_text_box.h"

#include "window/listbox/advance_cache.h"
#include "window/listbox/list_text_box_accessible.h"
#include "window/listbox/list_text_box_internal.h"
#include "window/listbox/text_cursor.h"
#include "window/listbox/wait_cursor.h"

#include <QAbstractScrollArea>
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethod>
#include <QRect>
#include <QScrollBar>
#include <QString>
#include <QStyleHints>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <utility>

namespace ordwell {

using listbox::clampTo;
using listbox::EditKind;
using listbox::kLargeInsert;
using listbox::kSideMargin;
using listbox::kTopMargin;
using listbox::toInt;
using listbox::withLineFeeds;

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
  paragraph_ = {};
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
    paragraph_ = {};
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
  accessibility_.textReplaced(this, 0, old, text_);
  accessibility_.caretMoved(this, oldAnchor, oldCaret, anchor_, caret_);
  emit textChanged();
}

QString ListTextBox::toPlainText() const { return text_; }

void ListTextBox::setReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  setAttribute(Qt::WA_InputMethodEnabled, !readOnly);
  viewport()->setAcceptDrops(!readOnly);
  preedit_.clear();
  viewport()->update();
  accessibility_.readOnlyChanged(this);
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

void ListTextBox::setAccessibilityEventReceiver(listbox::AccessibilityEvents::Receiver receiver) {
  accessibility_.setReceiver(std::move(receiver));
}

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
  // Another program's clipboard comes over the display connection, which takes a while when it
  // is large, so the wait cursor shows while it is fetched; a large text keeps it while its line
  // breaks are converted and it is inserted.
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QString fetched = [clipboard] {
    const listbox::WaitCursor fetching(!clipboard->ownsClipboard());
    return clipboard->text();
  }();
  const listbox::WaitCursor large(fetched.size() >= kLargeInsert);
  const QString text = withLineFeeds(fetched);
  if (!text.isEmpty()) {
    userEdit(selectionStart(), selectionLength(), text, EditKind::Other);
  }
}

void ListTextBox::undo() {
  if (readOnly_) {
    return;
  }
  if (const auto step = history_.takeUndo()) {
    const listbox::WaitCursor wait(step->removed.size() + step->inserted.size() >= kLargeInsert);
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
    const listbox::WaitCursor wait(step->removed.size() + step->inserted.size() >= kLargeInsert);
    replaceText(step->pos, step->removed.size(), step->inserted);
    const qsizetype caret = step->pos + step->inserted.size();
    setAnchorAndCaret(caret, caret);
    goalX_ = -1.0;
    ensureCaretVisible();
  }
}

// ---------------------------------------------------------------------------------------------
// Caret and selection

void ListTextBox::setAnchorAndCaret(qsizetype anchor, qsizetype caret) {
  if (anchor == anchor_ && caret == caret_) {
    return;
  }
  const qsizetype oldAnchor = std::exchange(anchor_, anchor);
  const qsizetype oldCaret = std::exchange(caret_, caret);
  accessibility_.caretMoved(this, oldAnchor, oldCaret, anchor_, caret_);
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
  const QString removed = accessibility_.listening() ? text_.mid(pos, length) : QString();
  text_.replace(pos, length, with);
  paragraph_ = {};
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
  accessibility_.textReplaced(this, pos, removed, with);
  emit textChanged();
}

void ListTextBox::userEdit(qsizetype pos, qsizetype length, const QString& with, EditKind kind) {
  if (length == 0 && with.isEmpty()) {
    return;
  }
  history_.record({pos, text_.mid(pos, length), with, anchor_, caret_, kind},
                  text_.size() - length + with.size());
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
  setupLayout(layout, row);
  const QTextLine line = layout.lineAt(0);
  const qreal from = line.cursorToX(toInt(pos - start));
  // A line break or the end of the text has no width of its own; it gets a caret's.
  const qreal to =
      pos < end ? line.cursorToX(toInt(std::min(listbox::nextGrapheme(text_, pos), end) - start)) : from + 1;
  // In right-to-left text a character's end lies left of its start.
  const qreal left = std::min(from, to);
  const qreal right = std::max(from, to);
  const int top = kTopMargin + toInt(row - topRow()) * lineHeight();
  const int x = kSideMargin + static_cast<int>(std::floor(left));
  const int width = std::max(1, static_cast<int>(std::ceil(right - left)));
  return QRect(x, top, width, lineHeight()).translated(viewport()->pos());
}

qsizetype ListTextBox::positionAtPoint(QPoint point) { return positionAt(point - viewport()->pos()); }

}  // namespace ordwell
