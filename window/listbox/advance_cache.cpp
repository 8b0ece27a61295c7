#include "window/listbox/advance_cache.h"

#include <QFont>
#include <QString>

#include <algorithm>
#include <cmath>

namespace ordwell::listbox {

namespace {
// Eight spaces per tab stop, the usual width of a tab in a plain-text editor.
constexpr int kSpacesPerTab = 8;
}  // namespace

AdvanceCache::AdvanceCache(const QFont& font, QPaintDevice* device)
    : font_(font),
      device_(device),
      metrics_(font, device),
      tabStop_(
          std::max(1.0F, static_cast<float>(metrics_.horizontalAdvance(QLatin1Char(' ')) * kSpacesPerTab))),
      bmp_(0x10000, -1.0F) {}

float AdvanceCache::advance(char32_t ucs4) {
  if (ucs4 < 0x10000) {
    return advance(static_cast<char16_t>(ucs4));
  }
  const auto found = astral_.find(ucs4);
  if (found != astral_.end()) {
    return found->second;
  }
  const char32_t one[1] = {ucs4};
  const auto width = static_cast<float>(metrics_.horizontalAdvance(QString::fromUcs4(one, 1)));
  astral_.emplace(ucs4, width);
  return width;
}

float AdvanceCache::tabAdvance(float x) const {
  const float rest = tabStop_ - std::fmod(x, tabStop_);
  return rest < 1.0F ? rest + tabStop_ : rest;
}

float AdvanceCache::measure(char16_t c) {
  const auto width = std::max(0.0F, static_cast<float>(metrics_.horizontalAdvance(QChar(c))));
  bmp_[c] = width;
  return width;
}

}  // namespace ordwell::listbox
