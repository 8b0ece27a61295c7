#include "window/listbox/list_text_box.h"

#include "window/listbox/dropped_text.h"
#include "window/listbox/list_text_box_internal.h"
#include "window/listbox/wait_cursor.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QString>

#include <optional>

namespace ordwell {

using listbox::EditKind;
using listbox::kLargeInsert;

bool ListTextBox::canDrop(const QMimeData* mime) const {
  return !readOnly_ && mime != nullptr && (!listbox::localFiles(mime).isEmpty() || mime->hasText());
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
