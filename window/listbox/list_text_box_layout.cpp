#include "window/listbox/list_text_box.h"

#include "window/listbox/advance_cache.h"
#include "window/listbox/list_text_box_internal.h"
#include "window/listbox/text_cursor.h"

#include <QFontMetrics>
#include <QPointF>
#include <QRect>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QString>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>

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

}  // namespace ordwell
