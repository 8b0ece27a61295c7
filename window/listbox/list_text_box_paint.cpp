#include "window/listbox/list_text_box.h"

#include "window/listbox/advance_cache.h"
#include "window/listbox/list_text_box_internal.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QList>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QRect>
#include <QRectF>
#include <QResizeEvent>
#include <QScrollBar>
#include <QString>
#include <QTextLayout>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>

namespace ordwell {

using listbox::kSideMargin;
using listbox::kTopMargin;
using listbox::toInt;

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

  const std::optional<Composition> composed = composition();
  int y = kTopMargin;
  for (qsizetype row = topRow(); row < rows_.rowCount() && y < viewport()->height(); ++row, y += height) {
    if (composed && row == composed->firstRow) {
      // The composed rows stand in for the caret's row and the ones its preedit re-wrapped.
      y = paintComposition(painter, *composed, y, showCaret) - height;
      row += composed->rowsReplaced - 1;
      continue;
    }
    if (y + height <= exposed.top() || y > exposed.bottom()) {
      continue;
    }
    const qsizetype start = rows_.rowStart(row);
    const qsizetype end = rows_.rowEnd(text_, row);
    QTextLayout layout(QString(), font(), viewport());
    setupLayout(layout, row);

    QList<QTextLayout::FormatRange> formats;
    if (selEnd > start && selStart < end) {
      QTextLayout::FormatRange range;
      range.start = toInt(std::max(selStart, start) - start);
      range.length = toInt(std::min(selEnd, end) - start) - range.start;
      range.format.setBackground(pal.brush(QPalette::Highlight));
      range.format.setForeground(pal.brush(QPalette::HighlightedText));
      formats.append(range);
    }
    const QPointF origin(kSideMargin, y);
    layout.draw(&painter, origin, formats);
    if (whitespaceShown_) {
      drawWhitespaceMarks(painter, layout, row, origin, selStart, selEnd);
    }
    // A selected line break shows as a space-wide mark after the row's text.
    if (selStart <= end && selEnd > end && rows_.endsWithLineBreak(text_, row)) {
      const qreal width = fontMetrics().horizontalAdvance(QLatin1Char(' '));
      const qreal x = origin.x() + lineBreakMarkX(layout.lineAt(0), row, width);
      painter.fillRect(QRectF(x, y, width, height), pal.brush(QPalette::Highlight));
    }
    if (showCaret && row == caretRow) {
      layout.drawCursor(&painter, origin, toInt(caret_ - start), 1);
    }
    if (dropCaret_ >= 0 && rows_.rowOf(dropCaret_) == row) {
      layout.drawCursor(&painter, origin, toInt(dropCaret_ - start), 1);
    }
  }
}

namespace {

// Draws `mark` at `baseline` with its ink inside [left, right], narrowed where it is wider (a
// tab's arrow in a short tab), so that a mark never touches the characters beside it.
void drawMarkGlyph(QPainter& painter, QChar mark, qreal left, qreal right, qreal baseline) {
  const QRectF ink = QFontMetricsF(painter.font()).boundingRect(mark);
  // Half a pixel of room each side keeps the anti-aliased edge off the neighbours.
  const qreal from = left + std::max<qreal>(ink.left(), 0.5);
  const qreal to = std::min(left + ink.right(), right - 0.5);
  const qreal scale = ink.width() > 0 ? std::clamp((to - from) / ink.width(), 0.1, 1.0) : 1.0;
  painter.save();
  painter.translate(from - ink.left() * scale, baseline);
  painter.scale(scale, 1.0);
  painter.drawText(QPointF(0, 0), QString(mark));
  painter.restore();
}

}  // namespace

int ListTextBox::paintComposition(QPainter& painter, const Composition& composed, int y, bool showCaret) {
  const int height = lineHeight();
  const Qt::LayoutDirection direction = rowDirection(composed.firstRow);
  const qsizetype preeditEnd = composed.preeditAt + preedit_.size();
  const qsizetype caret = composed.preeditAt + preeditCursor_;
  const auto caretRow = static_cast<std::size_t>(
      std::upper_bound(composed.starts.begin(), composed.starts.end(), caret) - composed.starts.begin() - 1);
  for (std::size_t i = 0; i < composed.starts.size(); ++i, y += height) {
    const qsizetype start = composed.starts[i];
    const QString text = composedRowText(composed, i);
    QTextLayout layout(QString(), font(), viewport());
    setupLineLayout(layout, text, direction);
    // The input method's formats, or an underline when it sends none.
    QList<QTextLayout::FormatRange> formats;
    QList<QTextLayout::FormatRange> wanted = preeditFormats_;
    if (wanted.isEmpty()) {
      QTextLayout::FormatRange underline;
      underline.start = 0;
      underline.length = toInt(preedit_.size());
      underline.format.setFontUnderline(true);
      wanted.append(underline);
    }
    for (const QTextLayout::FormatRange& range : wanted) {
      const qsizetype from = std::max(composed.preeditAt + range.start, start);
      const qsizetype to =
          std::min({composed.preeditAt + range.start + range.length, preeditEnd, start + text.size()});
      if (from < to) {
        formats.append({toInt(from - start), toInt(to - from), range.format});
      }
    }
    const QPointF origin(kSideMargin, y);
    layout.draw(&painter, origin, formats);
    if (showCaret && preeditCursorShown_ && i == caretRow) {
      layout.drawCursor(&painter, origin, toInt(caret - start), 1);
    }
  }
  return y;
}

qreal ListTextBox::lineBreakMarkX(const QTextLine& line, qsizetype row, qreal width) const {
  // After the text in its reading direction: right of a left-to-right line, left of the other.
  return rowDirection(row) == Qt::RightToLeft ? line.x() - width : line.naturalTextWidth();
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
  // A space's mark is a dot in the middle of the space at half the height of a small letter, a
  // fifth of the line high but no wider than the space. It is drawn as a shape set on whole
  // pixels, so that it takes the full mark colour (a middle-dot glyph, or a dot between pixels,
  // comes out as a faint speck).
  const qreal dotSize = std::max<qreal>(2.0, std::round(metrics.height() / 5.0));
  const qreal dotMiddle = baseline - metrics.xHeight() / 2;
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
      const qreal size = std::min(dotSize, std::max<qreal>(2.0, std::floor(std::abs(right - left))));
      painter.setPen(Qt::NoPen);
      painter.setBrush(colourAt(pos));
      // Corners rounded by a third: round at any size, yet the few pixels of a small dot are filled.
      painter.drawRoundedRect(
          QRectF(std::round((left + right - size) / 2), std::round(dotMiddle - size / 2), size, size),
          size / 3, size / 3);
    } else {
      painter.setPen(colourAt(pos));
      drawMarkGlyph(painter, QChar(0x2192), std::min(left, right), std::max(left, right), baseline);
    }
  }
  if (rows_.endsWithLineBreak(text_, row)) {
    painter.setPen(colourAt(end));
    const QChar pilcrow(0x00B6);
    const qreal advance = metrics.horizontalAdvance(pilcrow);
    const qreal left = origin.x() + lineBreakMarkX(line, row, advance);
    // Room to the right of a left-to-right line; a right-to-left line's text starts right after.
    const qreal room = rowDirection(row) == Qt::RightToLeft ? advance : advance + metrics.height();
    drawMarkGlyph(painter, pilcrow, left, left + room, baseline);
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
  } else if (event->type() == QEvent::LayoutDirectionChange) {
    // Lines without a strong character follow the box's direction.
    paragraph_ = {};
    viewport()->update();
  } else if (event->type() == QEvent::StyleChange) {
    layoutRows(false);
  }
}

}  // namespace ordwell
