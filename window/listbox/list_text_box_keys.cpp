#include "window/listbox/list_text_box.h"

#include "window/listbox/key_table.h"
#include "window/listbox/list_text_box_internal.h"
#include "window/listbox/text_cursor.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QString>

#include <algorithm>

namespace ordwell {

using listbox::clampTo;
using listbox::EditKind;
using listbox::kSideMargin;
using listbox::toInt;

// ---------------------------------------------------------------------------------------------
// Keys

qsizetype ListTextBox::motionTarget(listbox::KeyCommand command, bool extend) {
  using listbox::KeyCommand;
  ensureLayout();
  const qsizetype n = text_.size();
  const qsizetype row = rows_.rowOf(caret_);
  const bool rtl = rowDirection(row) == Qt::RightToLeft;
  const bool vertical = command == KeyCommand::MoveNextLine || command == KeyCommand::MovePreviousLine ||
                        command == KeyCommand::MoveNextPage || command == KeyCommand::MovePreviousPage;
  if (!vertical) {
    goalX_ = -1.0;
  } else if (goalX_ < 0) {
    goalX_ = caretX() + kSideMargin;
  }
  switch (command) {
    // An arrow on a selection goes to its edge on that side: its end in the reading direction.
    case KeyCommand::MoveNextChar:
      if (!extend && hasSelection()) {
        return rtl ? std::min(anchor_, caret_) : std::max(anchor_, caret_);
      }
      return visualNeighbour(caret_, true);
    case KeyCommand::MovePreviousChar:
      if (!extend && hasSelection()) {
        return rtl ? std::max(anchor_, caret_) : std::min(anchor_, caret_);
      }
      return visualNeighbour(caret_, false);
    // Word moves are logical; in a right-to-left line the arrow pointing to its end goes forwards.
    case KeyCommand::MoveNextWord:
      return rtl ? listbox::previousWordStart(text_, caret_) : listbox::nextWordStart(text_, caret_);
    case KeyCommand::MovePreviousWord:
      return rtl ? listbox::nextWordStart(text_, caret_) : listbox::previousWordStart(text_, caret_);
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

}  // namespace ordwell
