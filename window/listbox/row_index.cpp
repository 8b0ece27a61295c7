#include "window/listbox/row_index.h"

#include "window/listbox/advance_cache.h"

#include <QChar>
#include <QLatin1Char>
#include <QString>
#include <QStringView>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <utility>
#include <vector>

namespace ordwell::listbox {

namespace {

// A row never holds more than this many units, so that a run of zero-width characters (marks,
// controls) cannot make one row that takes seconds to shape each time it is painted.
constexpr qsizetype kMaxRowUnits = 4096;

// Returns true when a row may not start at `i` because the character there belongs to the one
// before it (the second half of a surrogate pair, a combining mark, or the character after a
// zero-width joiner).
bool continuesCluster(const char16_t* d, qsizetype i) {
  const char16_t c = d[i];
  const char16_t before = d[i - 1];
  if (c == u'\n') {
    return false;
  }
  return (QChar::isLowSurrogate(c) && QChar::isHighSurrogate(before)) || QChar::isMark(c) || before == 0x200D;
}

// Returns where the next row starts when the row from `start` must break at `i` (which lies
// inside the text, after `start`): before the cluster holding `i`, or after it when that cluster
// began the row; -1 when that cluster runs to the end of the text.
qsizetype clusterBreak(const char16_t* d, qsizetype n, qsizetype start, qsizetype i) {
  qsizetype j = i;
  while (j - 1 > start && continuesCluster(d, j)) {
    --j;
  }
  if (!continuesCluster(d, j)) {
    return j;
  }
  j = i;
  while (j < n && continuesCluster(d, j)) {
    ++j;
  }
  if (j == n) {
    return -1;
  }
  return d[j] == u'\n' ? j + 1 : j;
}

// Returns true for the characters whose rows the per-character measure wraps as the text layout
// would: Latin, Greek and Cyrillic letters without combining marks, digits, punctuation, spaces
// and tabs. Everything else (joining and shaped scripts, marks, surrogates, CJK with its own
// break rules, Thai with its dictionary breaks, controls) is wrapped by a QTextLayout.
bool measuredByCharacter(char16_t c) {
  if (c < 0x80) {
    return c >= 0x20 ? c < 0x7F : c == u'\t';
  }
  return (c >= 0xA0 && c < 0x300 && c != 0xAD) || (c >= 0x370 && c < 0x483) || (c >= 0x48A && c < 0x530);
}

// A paragraph of shaped text whose characters measured alone take at most this share of the row
// surely fits the row: shaping never widens text this much.
constexpr float kSurelyFits = 0.5F;

// The first window of text laid out to find a row's end, in UTF-16 units; it doubles while the
// row could run past it.
constexpr qsizetype kFirstWindow = 256;
// A row found in a window that cuts its paragraph must end this far before the cut, so that the
// cut word cannot have changed where it breaks.
constexpr qsizetype kCutMargin = 64;

// Returns where the row from `start` ends when QTextLayout wraps it, as nextRowStart does.
qsizetype layoutNextRowStart(const QString& text, qsizetype start, float width, AdvanceCache& advances) {
  const QStringView all(text);
  const qsizetype n = text.size();
  {
    // Short shaped lines, as in a list of names, need no layout.
    float x = 0.0F;
    for (qsizetype i = start; i < n && i - start < kMaxRowUnits && x <= width * kSurelyFits; ++i) {
      const char16_t c = all[i].unicode();
      if (c == u'\n') {
        return i + 1;
      }
      if (c == u'\t') {
        x += advances.tabAdvance(x);
      } else if (QChar::isHighSurrogate(c) && i + 1 < n && all[i + 1].isLowSurrogate()) {
        x += advances.advance(QChar::surrogateToUcs4(c, all[i + 1].unicode()));
        ++i;
      } else {
        x += advances.advance(c);
      }
      if (i + 1 == n && x <= width * kSurelyFits) {
        return -1;
      }
    }
  }
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  option.setTabStopDistance(advances.tabStop());
  for (qsizetype window = kFirstWindow;; window *= 2) {
    const qsizetype limit = std::min(n, start + window);
    const qsizetype lineBreak = all.sliced(start, limit - start).indexOf(QLatin1Char('\n'));
    const qsizetype end = lineBreak >= 0 ? start + lineBreak : limit;
    const bool cut = lineBreak < 0 && limit < n;
    QTextLayout layout(text.mid(start, end - start), advances.font(), advances.device());
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
      return lineBreak >= 0 ? end + 1 : -1;
    }
    line.setLineWidth(width);
    const qsizetype rowEnd = start + line.textLength();
    layout.endLayout();
    if (rowEnd < (cut ? end - kCutMargin : end) && rowEnd > start) {
      return rowEnd;
    }
    if (!cut) {
      return lineBreak >= 0 ? end + 1 : -1;
    }
    if (window >= kMaxRowUnits) {
      return clusterBreak(reinterpret_cast<const char16_t*>(text.constData()), n, start,
                          start + kMaxRowUnits);
    }
  }
}

}  // namespace

void RowIndex::rebuild(const QString& text, float width, AdvanceCache& advances) {
  // Built aside, so the rows stay as they were when memory runs out.
  std::vector<qsizetype> starts;
  // A guess on the low side; the vector grows from there and is trimmed if it overshoots.
  starts.reserve(static_cast<std::size_t>(text.size() / 32 + 1));
  qsizetype start = 0;
  for (;;) {
    starts.push_back(start);
    const qsizetype next = nextRowStart(text, start, width, advances);
    if (next < 0) {
      break;
    }
    start = next;
  }
  if (starts.capacity() > starts.size() + starts.size() / 4) {
    starts.shrink_to_fit();
  }
  starts_ = std::move(starts);
}

void RowIndex::update(const QString& text, qsizetype pos, qsizetype removed, qsizetype inserted, float width,
                      AdvanceCache& advances) {
  const qsizetype delta = inserted - removed;
  const qsizetype editEnd = pos + inserted;
  const auto containing = std::upper_bound(starts_.begin(), starts_.end(), pos) - starts_.begin() - 1;
  // A row's break depends on the word that overflowed it, which lies in the following row: start
  // two rows back so every row whose break could move is measured again.
  const auto first = static_cast<std::size_t>(std::max<qsizetype>(0, containing - 2));

  std::vector<qsizetype> fresh;
  std::size_t resume = starts_.size();
  qsizetype start = starts_[first];
  for (;;) {
    fresh.push_back(start);
    const qsizetype next = nextRowStart(text, start, width, advances);
    if (next < 0) {
      break;
    }
    if (next >= editEnd) {
      // Past the change, a row starting where an old row started wraps the same text the same way
      // from there on: the old rows can be kept.
      const qsizetype old = next - delta;
      const auto found =
          std::lower_bound(starts_.begin() + static_cast<std::ptrdiff_t>(first), starts_.end(), old);
      if (found != starts_.end() && *found == old) {
        resume = static_cast<std::size_t>(found - starts_.begin());
        break;
      }
    }
    start = next;
  }

  const std::size_t replaced = resume - first;
  if (fresh.size() == replaced) {
    std::copy(fresh.begin(), fresh.end(), starts_.begin() + static_cast<std::ptrdiff_t>(first));
  } else {
    starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(first),
                  starts_.begin() + static_cast<std::ptrdiff_t>(resume));
    starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(first), fresh.begin(), fresh.end());
  }
  if (delta != 0) {
    for (auto i = first + fresh.size(); i < starts_.size(); ++i) {
      starts_[i] += delta;
    }
  }
}

qsizetype RowIndex::rowEnd(const QString& text, qsizetype row) const {
  if (row + 1 >= rowCount()) {
    return text.size();
  }
  const qsizetype next = rowStart(row + 1);
  return text.at(next - 1) == QLatin1Char('\n') ? next - 1 : next;
}

bool RowIndex::endsWithLineBreak(const QString& text, qsizetype row) const {
  return row + 1 < rowCount() && text.at(rowStart(row + 1) - 1) == QLatin1Char('\n');
}

qsizetype RowIndex::rowOf(qsizetype pos) const {
  return std::upper_bound(starts_.begin(), starts_.end(), pos) - starts_.begin() - 1;
}

qsizetype RowIndex::nextRowStart(const QString& text, qsizetype start, float width, AdvanceCache& advances) {
  const auto* d = reinterpret_cast<const char16_t*>(text.constData());
  const qsizetype n = text.size();
  float x = 0.0F;
  qsizetype breakAfter = -1;
  qsizetype i = start;
  while (i < n) {
    const char16_t c = d[i];
    if (i - start >= kMaxRowUnits) {
      return c == u'\n' ? i + 1 : clusterBreak(d, n, start, i);
    }
    if (c > u' ' && c < 0x7F) {
      // Printable ASCII, the bulk of most lists: measured from the table, nothing else to decide.
      const float advance = advances.advance(c);
      if (x + advance > width && i > start) {
        return breakAfter > start ? breakAfter : clusterBreak(d, n, start, i);
      }
      x += advance;
      // A hyphen or slash between letters may end a row too ("well-|known", "and/|or"), but not
      // one before a digit, so "10-20" and "-5" stay whole.
      if (c <= u'/' && (c == u'-' || c == u'/') && i > start && i + 1 < n &&
          QChar::isLetterOrNumber(d[i - 1]) && QChar::isLetter(d[i + 1])) {
        breakAfter = i + 1;
      }
      ++i;
      continue;
    }
    if (c == u'\n') {
      return i + 1;
    }
    if (c == u' ' || c == u'\t') {
      // Spaces may hang past the edge so a word-wrapped row ends with its space, but a space that
      // starts beyond the edge goes to the next row, or a run of spaces would run out of sight.
      if (x > width && i > start) {
        return i;
      }
      x += c == u' ' ? advances.advance(c) : advances.tabAdvance(x);
      breakAfter = i + 1;
      ++i;
      continue;
    }
    if (!measuredByCharacter(c)) {
      return layoutNextRowStart(text, start, width, advances);
    }
    const float advance = advances.advance(c);
    if (x + advance > width && i > start) {
      return breakAfter > start ? breakAfter : clusterBreak(d, n, start, i);
    }
    x += advance;
    ++i;
  }
  return -1;
}

}  // namespace ordwell::listbox
