#include "window/listbox/visual_order.h"

#include <QChar>
#include <QTextLayout>

#include <cstddef>
#include <vector>

namespace ordwell::listbox {

std::optional<Qt::LayoutDirection> firstStrongDirection(QStringView text) {
  int isolates = 0;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    char32_t c = text[i].unicode();
    if (c == u'\n') {
      break;
    }
    if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(static_cast<char16_t>(c), text[i + 1].unicode());
      ++i;
    }
    switch (QChar::direction(c)) {
      case QChar::DirLRI:
      case QChar::DirRLI:
      case QChar::DirFSI: ++isolates; break;
      case QChar::DirPDI:
        if (isolates > 0) {
          --isolates;
        }
        break;
      case QChar::DirL:
        if (isolates == 0) {
          return Qt::LeftToRight;
        }
        break;
      case QChar::DirR:
      case QChar::DirAL:
        if (isolates == 0) {
          return Qt::RightToLeft;
        }
        break;
      default: break;
    }
  }
  return std::nullopt;
}

QList<int> visualStops(const QTextLayout& layout) {
  const int length = static_cast<int>(layout.text().size());
  // Every step visits a new stop, so a walk takes at most one step per unit and one more.
  int leftmost = 0;
  for (int step = 0; step <= length; ++step) {
    const int next = layout.leftCursorPosition(leftmost);
    if (next == leftmost) {
      break;
    }
    leftmost = next;
  }
  QList<int> stops{leftmost};
  std::vector<bool> seen(static_cast<std::size_t>(length) + 1, false);
  seen[static_cast<std::size_t>(leftmost)] = true;
  for (int step = 0; step <= length; ++step) {
    const int next = layout.rightCursorPosition(stops.back());
    if (next < 0 || next > length || seen[static_cast<std::size_t>(next)]) {
      break;
    }
    seen[static_cast<std::size_t>(next)] = true;
    stops.append(next);
  }
  return stops;
}

}  // namespace ordwell::listbox
