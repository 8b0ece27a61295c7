#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QtGlobal>

#include <unordered_map>
#include <vector>

class QPaintDevice;

namespace ordwell::listbox {

// Horizontal advances of single characters in one font, measured once per character, so that
// wrapping millions of characters costs a table look-up per character instead of a shaping pass.
class AdvanceCache {
 public:
  // Measures with `font` as it is drawn on `device` (null: the screen).
  AdvanceCache(const QFont& font, QPaintDevice* device);

  // Returns the advance of the BMP character `c`.
  float advance(char16_t c) {
    const float cached = bmp_[c];
    return cached >= 0.0F ? cached : measure(c);
  }

  // Returns the advance of the supplementary-plane character `ucs4`.
  float advance(char32_t ucs4);

  // Returns how far a tab character that starts at `x` reaches.
  float tabAdvance(float x) const;

  // Returns the distance between tab stops.
  float tabStop() const { return tabStop_; }

  // Returns the font and the device the advances are measured for.
  const QFont& font() const { return font_; }
  QPaintDevice* device() const { return device_; }

 private:
  float measure(char16_t c);

  QFont font_;
  QPaintDevice* device_;
  QFontMetricsF metrics_;
  float tabStop_;
  std::vector<float> bmp_;
  std::unordered_map<char32_t, float> astral_;
};

}  // namespace ordwell::listbox
