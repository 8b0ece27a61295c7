#include "window/listbox/list_text_box.h"

#include "window/listbox/advance_cache.h"
#include "window/listbox/list_text_box_internal.h"
#include "window/listbox/text_cursor.h"
#include "window/listbox/visual_order.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QString>
#include <QStringView>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <optional>

namespace ordwell {

using listbox::clampTo;
using listbox::kMinWrapWidth;
using listbox::kSideMargin;
using listbox::kTopMargin;
using listbox::toInt;

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
      paragraph_ = {};
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

void ListTextBox::setupLayout(QTextLayout& layout, qsizetype row) const {
  const qsizetype start = rows_.rowStart(row);
  setupLineLayout(layout, text_.mid(start, rows_.rowEnd(text_, row) - start), rowDirection(row));
}

void ListTextBox::setupLineLayout(QTextLayout& layout, const QString& text,
                                  Qt::LayoutDirection direction) const {
  layout.setText(text);
  layout.setFont(font());
  QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
  option.setWrapMode(QTextOption::NoWrap);
  option.setTextDirection(direction);
  option.setTabStopDistance(advances_->tabStop());
  layout.setTextOption(option);
  // Arrows move visually, so carets and clicks at the edge of a direction run follow them.
  layout.setCursorMoveStyle(Qt::VisualMoveStyle);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (line.isValid()) {
    const float width = std::max(rowsWidth_, kMinWrapWidth);
    line.setLineWidth(width);
    // A right-to-left line starts at the right edge, on a whole pixel so its glyphs stay crisp.
    const qreal x = direction == Qt::RightToLeft ? std::round(width - line.naturalTextWidth()) : 0.0;
    // Every row has the box font's height: a taller fallback font (Thai, Devanagari) keeps the
    // baseline where the box font has it instead of pushing the text into the next row.
    const qreal y = std::round(QFontMetricsF(font()).ascent() - line.ascent());
    line.setPosition(QPointF(x, y));
  }
  layout.endLayout();
}

Qt::LayoutDirection ListTextBox::rowDirection(qsizetype row) const {
  // The rows of one logical line share its direction. Rows are walked rather than the text
  // scanned, a huge line's start is found a row at a time, and the rows already known to belong
  // to the line are not walked again.
  if (paragraph_.firstRow >= 0 && row > paragraph_.lastRow) {
    qsizetype known = paragraph_.lastRow;
    while (known < row && !rows_.endsWithLineBreak(text_, known)) {
      ++known;
    }
    paragraph_.lastRow = known;
  }
  if (paragraph_.firstRow < 0 || row < paragraph_.firstRow || row > paragraph_.lastRow) {
    qsizetype first = row;
    while (first > 0 && !rows_.endsWithLineBreak(text_, first - 1)) {
      --first;
    }
    const QStringView line = QStringView(text_).sliced(rows_.rowStart(first));
    paragraph_ = {first, row, listbox::firstStrongDirection(line).value_or(layoutDirection())};
  }
  return paragraph_.direction;
}

bool ListTextBox::endsParagraph(qsizetype row) const {
  return row + 1 >= rows_.rowCount() || rows_.endsWithLineBreak(text_, row);
}

QList<int> ListTextBox::rowStops(qsizetype row) const {
  QTextLayout layout(QString(), font(), viewport());
  setupLayout(layout, row);
  QList<int> stops = listbox::visualStops(layout);
  // The end of a wrapped row is the next row's start and shows there.
  if (!endsParagraph(row)) {
    stops.removeAll(toInt(rows_.rowEnd(text_, row) - rows_.rowStart(row)));
  }
  return stops;
}

qsizetype ListTextBox::visualNeighbour(qsizetype pos, bool right) const {
  const qsizetype row = rows_.rowOf(pos);
  const qsizetype start = rows_.rowStart(row);
  const bool rtl = rowDirection(row) == Qt::RightToLeft;
  const QList<int> stops = rowStops(row);
  if (const qsizetype i = stops.indexOf(toInt(pos - start)); i >= 0) {
    const qsizetype j = i + (right ? 1 : -1);
    if (j >= 0 && j < stops.size()) {
      return start + stops[j];
    }
  } else {
    return right != rtl ? listbox::nextGrapheme(text_, pos) : listbox::previousGrapheme(text_, pos);
  }
  // Off the row's edge: on to the next row's start in reading order, or back to the previous
  // row's end; a paragraph is entered at its logical start or end.
  if (right != rtl) {
    if (row + 1 >= rows_.rowCount()) {
      return pos;
    }
    if (endsParagraph(row)) {
      return rows_.rowStart(row + 1);
    }
    const QList<int> next = rowStops(row + 1);
    return rows_.rowStart(row + 1) + (rtl ? next.back() : next.front());
  }
  if (row == 0) {
    return pos;
  }
  if (endsParagraph(row - 1)) {
    return rows_.rowEnd(text_, row - 1);
  }
  const QList<int> previous = rowStops(row - 1);
  return rows_.rowStart(row - 1) + (rtl ? previous.front() : previous.back());
}

qreal ListTextBox::caretX() const {
  const qsizetype row = rows_.rowOf(caret_);
  QTextLayout layout(QString(), font(), viewport());
  setupLayout(layout, row);
  return layout.lineAt(0).cursorToX(toInt(caret_ - rows_.rowStart(row)));
}

QRect ListTextBox::caretRect() const {
  if (const std::optional<Composition> composed = composition()) {
    return composedCaretRect(*composed);
  }
  const qsizetype row = rows_.rowOf(caret_);
  const int y = kTopMargin + toInt(row - topRow()) * lineHeight();
  return {kSideMargin + static_cast<int>(std::floor(caretX())), y, 1, lineHeight()};
}

qsizetype ListTextBox::positionInRow(qsizetype row, qreal x) const {
  QTextLayout layout(QString(), font(), viewport());
  setupLayout(layout, row);
  const qsizetype start = rows_.rowStart(row);
  const qsizetype end = rows_.rowEnd(text_, row);
  qsizetype pos = start + layout.lineAt(0).xToCursor(x - kSideMargin, QTextLine::CursorBetweenCharacters);
  // The end of a wrapped row is the start of the next one; stay on this row.
  if (pos >= end && !endsParagraph(row)) {
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

}  // namespace ordwell
