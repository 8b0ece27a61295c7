#include "window/listbox/list_text_box.h"

#include "window/listbox/key_table.h"
#include "window/listbox/list_text_box_internal.h"
#include "window/listbox/text_cursor.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QRect>
#include <QScrollBar>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <algorithm>

namespace ordwell {

using listbox::clampTo;
using listbox::EditKind;
using listbox::kSideMargin;
using listbox::toInt;

namespace {

// Input-method look-ups read this many units around the caret, not the whole line.
constexpr qsizetype kSurroundingWindow = 512;

}  // namespace

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

}  // namespace ordwell
