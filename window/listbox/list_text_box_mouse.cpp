#include "window/listbox/list_text_box.h"

#include "window/listbox/list_text_box_internal.h"
#include "window/listbox/text_cursor.h"
#include "window/listbox/wait_cursor.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QRect>
#include <QString>
#include <QStyleHints>

#include <memory>

namespace ordwell {

using listbox::EditKind;
using listbox::withLineFeeds;

namespace {

// How often the view scrolls while a selection is dragged beyond its edge.
constexpr int kDragScrollMs = 50;

}  // namespace

void ListTextBox::mousePressEvent(QMouseEvent* event) {
  if (!preedit_.isEmpty()) {
    // A click ends composing: the input method commits what it has before the caret moves.
    QGuiApplication::inputMethod()->commit();
  }
  if (event->button() == Qt::MiddleButton && !readOnly_ &&
      QGuiApplication::clipboard()->supportsSelection()) {
    // X11 habit: the middle button pastes the most recent selection where it is clicked. Another
    // program's selection is fetched under the wait cursor, as paste() fetches the clipboard.
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString fetched = [clipboard] {
      const listbox::WaitCursor fetching(!clipboard->ownsSelection());
      return clipboard->text(QClipboard::Selection);
    }();
    const listbox::WaitCursor large(fetched.size() >= listbox::kLargeInsert);
    const QString text = withLineFeeds(fetched);
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
  if ((event->modifiers() & Qt::ShiftModifier) == 0 && pointOnSelection(at)) {
    // On the selection a press may start dragging it; a release without moving puts the caret.
    textDragPending_ = true;
    textDragStart_ = at;
    event->accept();
    return;
  }
  moveCaret(pos, (event->modifiers() & Qt::ShiftModifier) != 0);
  dragging_ = true;
  lastDragPos_ = at;
  event->accept();
}

void ListTextBox::mouseMoveEvent(QMouseEvent* event) {
  if (textDragPending_ && (event->buttons() & Qt::LeftButton) != 0 &&
      (event->position().toPoint() - textDragStart_).manhattanLength() >= QApplication::startDragDistance()) {
    textDragPending_ = false;
    startTextDrag();
    return;
  }
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
  if (event->button() == Qt::LeftButton && textDragPending_) {
    textDragPending_ = false;
    moveCaret(positionAt(event->position().toPoint()), false);
  }
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
  textDragPending_ = false;
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

}  // namespace ordwell
