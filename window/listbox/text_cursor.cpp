#include "window/listbox/text_cursor.h"

#include <QChar>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace ordwell::listbox {

namespace {

// Grapheme look-ups read this many units around the position, not the whole line.
constexpr qsizetype kGraphemeWindow = 64;

}  // namespace

qsizetype snapToCodePoint(QStringView text, qsizetype pos, bool forward) {
  if (pos > 0 && pos < text.size() && text.at(pos).isLowSurrogate() && text.at(pos - 1).isHighSurrogate()) {
    return forward ? pos + 1 : pos - 1;
  }
  return pos;
}

qsizetype previousCodePoint(QStringView text, qsizetype pos) {
  if (pos <= 0) {
    return 0;
  }
  return snapToCodePoint(text, pos - 1, false);
}

qsizetype nextGrapheme(QStringView text, qsizetype pos) {
  const qsizetype n = text.size();
  if (pos >= n) {
    return n;
  }
  const qsizetype end = std::min(n, pos + kGraphemeWindow);
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.sliced(pos, end - pos));
  const qsizetype next = finder.toNextBoundary();
  return next > 0 ? snapToCodePoint(text, pos + next, true) : end;
}

qsizetype previousGrapheme(QStringView text, qsizetype pos) {
  if (pos <= 0) {
    return 0;
  }
  const qsizetype start = snapToCodePoint(text, std::max<qsizetype>(0, pos - kGraphemeWindow), true);
  if (start >= pos) {
    return previousCodePoint(text, pos);
  }
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.sliced(start, pos - start));
  finder.toEnd();
  const qsizetype previous = finder.toPreviousBoundary();
  return previous >= 0 ? start + previous : start;
}

CharClass charClassAt(QStringView text, qsizetype pos) {
  const QChar c = text.at(pos);
  if (c == QLatin1Char('\n')) {
    return CharClass::LineBreak;
  }
  char32_t ucs4 = c.unicode();
  if (c.isHighSurrogate() && pos + 1 < text.size() && text.at(pos + 1).isLowSurrogate()) {
    ucs4 = QChar::surrogateToUcs4(c, text.at(pos + 1));
  }
  if (QChar::isSpace(ucs4)) {
    return CharClass::Space;
  }
  if (QChar::isLetterOrNumber(ucs4) || QChar::isMark(ucs4) || ucs4 == U'_') {
    return CharClass::Word;
  }
  return CharClass::Other;
}

qsizetype nextWordStart(QStringView text, qsizetype pos) {
  const qsizetype n = text.size();
  if (pos >= n) {
    return n;
  }
  const CharClass kind = charClassAt(text, pos);
  if (kind == CharClass::LineBreak) {
    return pos + 1;
  }
  while (pos < n && charClassAt(text, pos) == kind) {
    pos = snapToCodePoint(text, pos + 1, true);
  }
  while (pos < n && charClassAt(text, pos) == CharClass::Space) {
    ++pos;
  }
  return pos;
}

qsizetype previousWordStart(QStringView text, qsizetype pos) {
  while (pos > 0 && charClassAt(text, pos - 1) == CharClass::Space) {
    --pos;
  }
  if (pos == 0) {
    return 0;
  }
  const qsizetype before = previousCodePoint(text, pos);
  const CharClass kind = charClassAt(text, before);
  if (kind == CharClass::LineBreak) {
    return before;
  }
  pos = before;
  while (pos > 0 && charClassAt(text, previousCodePoint(text, pos)) == kind) {
    pos = previousCodePoint(text, pos);
  }
  return pos;
}

TextRange wordAt(QStringView text, qsizetype pos) {
  const qsizetype n = text.size();
  pos = std::clamp<qsizetype>(pos, 0, n);
  qsizetype at = pos;
  if (at == n || (at > 0 && text.at(at) == QLatin1Char('\n'))) {
    at = previousCodePoint(text, at);
  }
  if (n == 0 || charClassAt(text, at) == CharClass::LineBreak) {
    return {pos, pos};
  }
  const CharClass kind = charClassAt(text, at);
  qsizetype start = at;
  while (start > 0 && charClassAt(text, previousCodePoint(text, start)) == kind) {
    start = previousCodePoint(text, start);
  }
  qsizetype end = at;
  while (end < n && charClassAt(text, end) == kind) {
    end = snapToCodePoint(text, end + 1, true);
  }
  return {start, end};
}

TextRange lineAt(QStringView text, qsizetype pos) {
  pos = std::clamp<qsizetype>(pos, 0, text.size());
  const qsizetype before = pos == 0 ? -1 : text.first(pos).lastIndexOf(QLatin1Char('\n'));
  const qsizetype after = text.indexOf(QLatin1Char('\n'), pos);
  return {before + 1, after < 0 ? text.size() : after + 1};
}

}  // namespace ordwell::listbox
