#include "window/listbox/list_text_box.h"

#include "window/listbox/advance_cache.h"
#include "window/listbox/list_text_box_internal.h"
#include "window/listbox/row_index.h"
#include "window/listbox/text_cursor.h"

#include <QAbstractScrollArea>
#include <QInputMethodEvent>
#include <QLatin1Char>
#include <QList>
#include <QRect>
#include <QScrollBar>
#include <QString>
#include <QStringView>
#include <QTextCharFormat>
#include <QTextFormat>
#include <QTextLayout>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

namespace ordwell {

using listbox::clampTo;
using listbox::EditKind;
using listbox::kSideMargin;
using listbox::kTopMargin;
using listbox::toInt;

namespace {

// Input-method look-ups read this many units around the caret, not the whole line.
constexpr qsizetype kSurroundingWindow = 512;
// The most rows a preedit re-wraps after the caret's; rows beyond keep their breaks.
constexpr qsizetype kComposedRows = 8;

}  // namespace

void ListTextBox::inputMethodEvent(QInputMethodEvent* event) {
  if (readOnly_) {
    event->ignore();
    return;
  }
  const bool commits = !event->commitString().isEmpty() || event->replacementLength() > 0;
  if (commits) {
    qsizetype from = selectionStart();
    qsizetype length = selectionLength();
    if (!hasSelection() && (event->replacementLength() > 0 || event->replacementStart() != 0)) {
      from = listbox::snapToCodePoint(text_, clampTo(caret_ + event->replacementStart(), 0, text_.size()),
                                      false);
      const qsizetype to = clampTo(from + event->replacementLength(), from, text_.size());
      length = listbox::snapToCodePoint(text_, to, true) - from;
    }
    userEdit(from, length, event->commitString(), EditKind::Typing);
  } else if (hasSelection() && event->preeditString() != preedit_) {
    // Composing over a selection replaces it, as typing would.
    deleteSelection();
  }
  preedit_ = event->preeditString();
  preeditCursor_ = toInt(preedit_.size());
  preeditCursorShown_ = true;
  preeditFormats_.clear();
  for (const QInputMethodEvent::Attribute& attribute : event->attributes()) {
    if (attribute.type == QInputMethodEvent::Cursor) {
      preeditCursor_ = std::clamp(attribute.start, 0, toInt(preedit_.size()));
      preeditCursorShown_ = attribute.length != 0;
    } else if (attribute.type == QInputMethodEvent::TextFormat) {
      const QTextCharFormat format = qvariant_cast<QTextFormat>(attribute.value).toCharFormat();
      const int start = std::clamp(attribute.start, 0, toInt(preedit_.size()));
      const int length = std::min(attribute.length, toInt(preedit_.size()) - start);
      if (format.isValid() && length > 0) {
        preeditFormats_.append({start, length, format});
      }
    }
  }
  // Keep the row the input method's caret is on in sight.
  if (const std::optional<Composition> composed = composition()) {
    const QRect caret = composedCaretRect(*composed);
    if (caret.bottom() >= viewport()->height()) {
      verticalScrollBar()->setValue(topRow() + (caret.bottom() - viewport()->height()) / lineHeight() + 1);
    }
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

std::optional<ListTextBox::Composition> ListTextBox::composition() const {
  if (preedit_.isEmpty() || !rowsValid_) {
    return std::nullopt;
  }
  Composition composed;
  composed.firstRow = rows_.rowOf(caret_);
  const qsizetype lastRow = std::min(rows_.rowCount(), composed.firstRow + kComposedRows);
  const qsizetype from = rows_.rowStart(composed.firstRow);
  const qsizetype to = lastRow < rows_.rowCount() ? rows_.rowStart(lastRow) : text_.size();
  composed.text = text_.mid(from, to - from);
  composed.preeditAt = caret_ - from;
  composed.text.insert(composed.preeditAt, preedit_);
  composed.rowsReplaced = lastRow - composed.firstRow;
  composed.end = composed.text.size();
  const qsizetype afterPreedit = composed.preeditAt + preedit_.size();
  composed.starts.push_back(0);
  for (qsizetype start = 0;;) {
    const qsizetype next = listbox::RowIndex::nextRowStart(composed.text, start, rowsWidth_, *advances_);
    if (next < 0 || next >= composed.text.size()) {
      break;
    }
    // Past the preedit, a row that starts where one of the box's rows starts ends the composition.
    if (next >= afterPreedit) {
      const qsizetype old = from + next - preedit_.size();
      if (const qsizetype row = rows_.rowOf(old); rows_.rowStart(row) == old) {
        composed.rowsReplaced = row - composed.firstRow;
        composed.end = next;
        break;
      }
    }
    composed.starts.push_back(next);
    start = next;
  }
  return composed;
}

QString ListTextBox::composedRowText(const Composition& composed, std::size_t index) const {
  const qsizetype start = composed.starts[index];
  qsizetype end = index + 1 < composed.starts.size() ? composed.starts[index + 1] : composed.end;
  if (end > start && composed.text.at(end - 1) == QLatin1Char('\n')) {
    --end;
  }
  return composed.text.mid(start, end - start);
}

QRect ListTextBox::composedCaretRect(const Composition& composed) const {
  const qsizetype caret = composed.preeditAt + preeditCursor_;
  const auto index = static_cast<std::size_t>(
      std::upper_bound(composed.starts.begin(), composed.starts.end(), caret) - composed.starts.begin() - 1);
  QTextLayout layout(QString(), font(), viewport());
  setupLineLayout(layout, composedRowText(composed, index), rowDirection(composed.firstRow));
  const qreal x = layout.lineAt(0).cursorToX(toInt(caret - composed.starts[index]));
  const int y =
      kTopMargin + toInt(composed.firstRow + static_cast<qsizetype>(index) - topRow()) * lineHeight();
  return {kSideMargin + static_cast<int>(std::floor(x)), y, 1, lineHeight()};
}

}  // namespace ordwell
