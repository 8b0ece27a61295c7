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
    : m_metrics(font, device),
      m_tabStop(std::max(1.0F, static_cast<float>(m_metrics.horizontalAdvance(QLatin1Char(' ')) * kSpacesPerTab))),
      m_bmp(0x10000, -1.0F) {}

float AdvanceCache::advance(char32_t ucs4) {
  if (ucs4 < 0x10000) {
    return advance(static_cast<char16_t>(ucs4));
  }
  const auto found = m_astral.find(ucs4);
  if (found != m_astral.end()) {
    return found->second;
  }
  const char32_t one[1] = {ucs4};
  const auto width = static_cast<float>(m_metrics.horizontalAdvance(QString::fromUcs4(one, 1)));
  m_astral.emplace(ucs4, width);
  return width;
}

float AdvanceCache::tabAdvance(float x) const {
  const float rest = m_tabStop - std::fmod(x, m_tabStop);
  return rest < 1.0F ? rest + m_tabStop : rest;
}

float AdvanceCache::measure(char16_t c) {
  const auto width = std::max(0.0F, static_cast<float>(m_metrics.horizontalAdvance(QChar(c))));
  m_bmp[c] = width;
  return width;
}

}  // namespace ordwell::listbox
