#pragma once

#include <QtGlobal>

#include <vector>

class QString;

namespace ordwell::listbox {

class AdvanceCache;

// The visual rows of a text wrapped at a given width: the start offset of every row, in UTF-16
// units. A row ends at a '\n' (which belongs to it but is not shown) or where the next row starts.
// Rows break after spaces (or a hyphen or slash between letters) where possible, else between
// characters, never inside a surrogate pair or before a combining mark; text other than Latin,
// Greek and Cyrillic is broken where QTextLayout would break it.
class RowIndex {
 public:
  // Wraps all of `text` at `width` pixels.
  void rebuild(const QString& text, float width, AdvanceCache& advances);

  // Re-wraps after `text` had `removed` units at `pos` replaced by `inserted` units; only the
  // rows around the change are measured again, the rest are shifted.
  void update(const QString& text, qsizetype pos, qsizetype removed, qsizetype inserted, float width,
              AdvanceCache& advances);

  // Returns the number of rows; an empty text has one.
  qsizetype rowCount() const { return static_cast<qsizetype>(starts_.size()); }

  // Returns the offset where `row` starts.
  qsizetype rowStart(qsizetype row) const { return starts_[static_cast<std::size_t>(row)]; }

  // Returns the offset where the visible part of `row` ends (before its '\n', if any).
  qsizetype rowEnd(const QString& text, qsizetype row) const;

  // Returns true when `row` ends at a '\n' of the text rather than at a wrap.
  bool endsWithLineBreak(const QString& text, qsizetype row) const;

  // Returns the row that shows the caret at `pos`; a position on a wrap shows at the next row's start.
  qsizetype rowOf(qsizetype pos) const;

  // Returns where the row starting at `start` is followed by the next one, or -1 when it runs to
  // the end of the text.
  static qsizetype nextRowStart(const QString& text, qsizetype start, float width, AdvanceCache& advances);

 private:
  std::vector<qsizetype> starts_{0};
};

}  // namespace ordwell::listbox
