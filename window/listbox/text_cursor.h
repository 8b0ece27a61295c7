#pragma once

#include <QStringView>
#include <QtGlobal>

namespace ordwell::listbox {

// Caret positions in a plain text, as UTF-16 offsets: where characters, words and lines begin
// and end. Every function takes the whole text and a position in it (0 to size) and never reads
// more than a small window around the position, except where it has to walk a word or a line.

// What a character is for word-wise moves and double-click selection.
enum class CharClass { Space, Word, LineBreak, Other };

// Returns `pos`, moved off the middle of a surrogate pair: forward past it or back before it.
qsizetype snapToCodePoint(QStringView text, qsizetype pos, bool forward);

// Returns the start of the code point before `pos` (0 at the start).
qsizetype previousCodePoint(QStringView text, qsizetype pos);

// Returns the end of the user-perceived character (grapheme cluster) that starts at `pos`.
qsizetype nextGrapheme(QStringView text, qsizetype pos);

// Returns the start of the user-perceived character that ends at `pos`.
qsizetype previousGrapheme(QStringView text, qsizetype pos);

// Returns the class of the character (a whole surrogate pair) at `pos`, which must be < size.
CharClass charClassAt(QStringView text, qsizetype pos);

// Returns where Ctrl+Right goes from `pos`: past the run it is in and the spaces after it.
qsizetype nextWordStart(QStringView text, qsizetype pos);

// Returns where Ctrl+Left goes from `pos`: back over spaces, then to the start of the run before.
qsizetype previousWordStart(QStringView text, qsizetype pos);

// A half-open range of offsets.
struct TextRange {
  qsizetype start = 0;
  qsizetype end = 0;

  friend bool operator==(const TextRange&, const TextRange&) = default;
};

// Returns the word, run of spaces or run of punctuation under `pos` (at a line's end: the run
// before it); an empty range at `pos` when there is none, as on an empty line.
TextRange wordAt(QStringView text, qsizetype pos);

// Returns the logical line around `pos`, from the line break before it to the line break after
// it, that break included so that typing over the selection replaces the whole line.
TextRange lineAt(QStringView text, qsizetype pos);

}  // namespace ordwell::listbox
