#pragma once

// Measures and small helpers shared by the files that implement ListTextBox.

#include <QLatin1Char>
#include <QLatin1String>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <climits>

namespace ordwell::listbox {

// Room between the frame and the text, as in the toolkit's own line edits.
constexpr int kSideMargin = 3;
constexpr int kTopMargin = 1;
// The narrowest width rows wrap at, so a box squeezed to nothing does not make a row per character.
constexpr float kMinWrapWidth = 16.0F;
// A paste or drop this long (in UTF-16 units) takes long enough to show the wait cursor.
constexpr qsizetype kLargeInsert = qsizetype{1} << 18;

// Returns `value` limited to [low, high].
inline qsizetype clampTo(qsizetype value, qsizetype low, qsizetype high) {
  return std::max(low, std::min(value, high));
}

// Returns `value` as an int, saturated at INT_MIN and INT_MAX.
inline int toInt(qsizetype value) { return static_cast<int>(std::clamp<qsizetype>(value, INT_MIN, INT_MAX)); }

// Returns `text` with its CR LF and lone CR line breaks made '\n', the only break the box keeps.
inline QString withLineFeeds(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace ordwell::listbox
