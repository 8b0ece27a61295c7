#include "window/listbox/list_text_box.h"

#include "window/listbox/dropped_text.h"
#include "window/listbox/list_text_box_internal.h"
#include "window/listbox/text_cursor.h"
#include "window/listbox/wait_cursor.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QString>

#include <algorithm>
#include <optional>

namespace ordwell {

using listbox::EditKind;
using listbox::kLargeInsert;

namespace {

// A drag of a box's selection carries, besides its text, which box and selection it came from,
// so that the box recognises its own drag when it is dropped back and moves the text.
const QString kSelectionDragFormat = QStringLiteral("application/x-ordwell-list-selection");

QByteArray selectionDragTag(const ListTextBox* box, qsizetype start, qsizetype length) {
  return QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
         QByteArray::number(reinterpret_cast<quintptr>(box)) + ' ' + QByteArray::number(start) + ' ' +
         QByteArray::number(length);
}

}  // namespace

bool ListTextBox::pointOnSelection(QPoint viewportPos) {
  if (!hasSelection()) {
    return false;
  }
  // The characters either side of the nearest position: the point lies on one of them or on none.
  const qsizetype pos = positionAt(viewportPos);
  const QPoint point = viewportPos + viewport()->pos();
  for (const qsizetype at : {listbox::previousCodePoint(text_, pos), pos}) {
    if (at >= selectionStart() && at < selectionStart() + selectionLength() &&
        characterRect(at).contains(point)) {
      return true;
    }
  }
  return false;
}

void ListTextBox::startTextDrag() {
  auto* mime = new QMimeData;  // owned by the drag
  mime->setText(selectedText());
  mime->setData(kSelectionDragFormat, selectionDragTag(this, selectionStart(), selectionLength()));
  auto* drag = new QDrag(this);  // Qt deletes it once the drag is over
  drag->setMimeData(mime);
  // Another program gets a copy whatever action it picks; only a drop back into this box moves
  // the text, which that drop does itself.
  if (readOnly_) {
    drag->exec(Qt::CopyAction);
  } else {
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
  }
}

bool ListTextBox::isOwnSelectionDrag(const QMimeData* mime) const {
  return !readOnly_ && hasSelection() && mime != nullptr &&
         mime->data(kSelectionDragFormat) == selectionDragTag(this, selectionStart(), selectionLength()) &&
         mime->text() == selectedText();
}

void ListTextBox::moveSelectionTo(qsizetype pos) {
  const qsizetype start = selectionStart();
  const qsizetype end = start + selectionLength();
  if (pos >= start && pos <= end) {
    return;  // dropped onto itself
  }
  // One edit from the nearer end of the selection to the drop position, so one undo step.
  const qsizetype from = std::min(start, pos);
  const qsizetype to = std::max(end, pos);
  const QString moved = text_.mid(start, end - start);
  const QString passed = pos < start ? text_.mid(pos, start - pos) : text_.mid(end, pos - end);
  const listbox::WaitCursor wait(to - from >= kLargeInsert);
  userEdit(from, to - from, pos < start ? moved + passed : passed + moved, EditKind::Other);
  const qsizetype movedAt = pos < start ? pos : from + passed.size();
  setAnchorAndCaret(movedAt, movedAt + moved.size());
  ensureCaretVisible();
}

bool ListTextBox::canDrop(const QMimeData* mime) const {
  return !readOnly_ && mime != nullptr && (!listbox::localFiles(mime).isEmpty() || mime->hasText());
}

void ListTextBox::setDropCaret(qsizetype pos) {
  if (pos != dropCaret_) {
    dropCaret_ = pos;
    viewport()->update();
  }
}

void ListTextBox::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void ListTextBox::dragMoveEvent(QDragMoveEvent* event) {
  if (!canDrop(event->mimeData())) {
    event->ignore();
    return;
  }
  // The box's own selection moves, or is copied with Ctrl as in other editors.
  if (isOwnSelectionDrag(event->mimeData())) {
    event->setDropAction((event->modifiers() & Qt::ControlModifier) != 0 ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
  } else {
    event->acceptProposedAction();
  }
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
  if (isOwnSelectionDrag(mime) && (event->modifiers() & Qt::ControlModifier) == 0) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
    setFocus(Qt::MouseFocusReason);
    moveSelectionTo(positionAt(event->position().toPoint()));
    return;
  }
  QString why;
  const std::optional<QString> dropped = listbox::droppedText(mime, why);
  if (!dropped) {
    event->ignore();
    emit dropRefused(why);
    return;
  }
  const QString& inserted = *dropped;
  event->acceptProposedAction();
  setFocus(Qt::MouseFocusReason);
  const qsizetype pos = positionAt(event->position().toPoint());
  const listbox::WaitCursor wait(inserted.size() >= kLargeInsert);
  userEdit(pos, 0, inserted, EditKind::Other);
  setAnchorAndCaret(pos, pos + inserted.size());
  ensureCaretVisible();
}

}  // namespace ordwell
