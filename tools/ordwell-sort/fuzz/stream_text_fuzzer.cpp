// Decodes arbitrary bytes with DecodeStreamText and, cut into pieces, with DecodeStreamTexts;
// encodes text with StreamWriter, in pieces of varying size through buffers of varying size; and
// aborts on any difference from a straightforward transcoder written unit by unit from the UTF-8
// well-formedness table.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ordwell-sort/byte_path.h"
#include "tools/ordwell-sort/stream_decode.h"
#include "tools/ordwell-sort/stream_writers.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Decoded {
  std::u16string text;
  std::optional<std::size_t> errorOffset;  // where the first ill-formed sequence starts
};

// UTF-8 to UTF-16 with LF, unless the byte before it is CR, becoming CR LF.
Decoded ReferenceDecode(std::string_view bytes) {
  Decoded out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      if (lead == '\n' && (i == 0 || bytes[i - 1] != '\r')) out.text.push_back(u'\r');
      out.text.push_back(lead);
      ++i;
      continue;
    }
    // The length and the range of the second byte; later bytes are 80..BF.
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF)
      length = 2;
    else if (lead == 0xE0)
      length = 3, low = 0xA0;
    else if (lead == 0xED)
      length = 3, high = 0x9F;
    else if (lead >= 0xE1 && lead <= 0xEF)
      length = 3;
    else if (lead == 0xF0)
      length = 4, low = 0x90;
    else if (lead == 0xF4)
      length = 4, high = 0x8F;
    else if (lead >= 0xF1 && lead <= 0xF3)
      length = 4;
    bool wellFormed = length != 0 && i + length <= bytes.size();
    for (std::size_t k = 1; wellFormed && k < length; ++k) {
      const auto byte = static_cast<unsigned char>(bytes[i + k]);
      wellFormed = k == 1 ? (byte >= low && byte <= high) : (byte >= 0x80 && byte <= 0xBF);
    }
    if (!wellFormed) {
      out.errorOffset = i;
      return out;
    }
    char32_t code = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (std::size_t k = 1; k < length; ++k)
      code = code << 6 | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
    if (code >= 0x10000) {
      out.text.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.text.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.text.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// The bytes of the pieces written one after another and then `next`: CR LF across the whole
// stream becomes LF (the CR is dropped when the unit after it in the stream, or `next` at the
// end, is LF); a surrogate pair within one piece becomes one code point, any other surrogate
// half U+FFFD.
std::string ReferenceEncode(const std::vector<std::u16string_view>& pieces, char16_t next) {
  std::string out;
  for (std::size_t p = 0; p < pieces.size(); ++p) {
    const std::u16string_view piece = pieces[p];
    for (std::size_t j = 0; j < piece.size(); ++j) {
      const char16_t unit = piece[j];
      if (unit == u'\r') {
        char16_t following = next;
        if (j + 1 < piece.size()) {
          following = piece[j + 1];
        } else {
          for (std::size_t q = p + 1; q < pieces.size(); ++q) {
            if (!pieces[q].empty()) {
              following = pieces[q][0];
              break;
            }
          }
        }
        if (following != u'\n') out.push_back('\r');
      } else if (unit >= 0xD800 && unit <= 0xDBFF && j + 1 < piece.size() && piece[j + 1] >= 0xDC00 &&
                 piece[j + 1] <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (piece[j + 1] - 0xDC00u));
        ++j;
      } else {
        AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
      }
    }
  }
  return out;
}

// Writes the text in pieces whose lengths come from a small generator seeded by the input.
std::string Encode(std::u16string_view text, std::uint32_t seed, std::size_t bufferBytes, char16_t next,
                   std::vector<std::u16string_view>* pieces) {
  std::string out;
  ordwell::cli::StreamWriter writer(&out, bufferBytes);
  std::uint32_t state = seed | 1;
  while (!text.empty()) {
    state = state * 1103515245u + 12345u;
    const std::size_t limit = (state >> 16) % 4 == 0 ? text.size() : 1 + (state >> 20) % 40;
    std::size_t take = std::min(text.size(), (state >> 8) % (limit + 1));
    // The command writes whole items and separators, so a surrogate pair is never cut in two.
    if (take > 0 && take < text.size() && text[take - 1] >= 0xD800 && text[take - 1] <= 0xDBFF &&
        text[take] >= 0xDC00 && text[take] <= 0xDFFF) {
      ++take;
    }
    pieces->push_back(text.substr(0, take));
    writer.Write(text.substr(0, take));
    text.remove_prefix(take);
  }
  Check(writer.Finish(next));
  return out;
}

std::string WithoutCrBeforeLf(std::string_view bytes, char16_t next) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const bool beforeLf = i + 1 < bytes.size() ? bytes[i + 1] == '\n' : next == u'\n';
    if (bytes[i] != '\r' || !beforeLf) out.push_back(bytes[i]);
  }
  return out;
}

// Decodes `bytes` again cut into pieces with DecodeStreamTexts, once with nothing between them
// (the text of the bytes as a whole) and once with a joint holding no CR (each piece's text on its
// own, joined); ill-formed UTF-8 is reported in the first piece that has it, at its offset there.
void CheckPieces(std::string_view bytes, std::uint8_t config, const Decoded& whole) {
  std::vector<std::string_view> pieces;
  std::uint32_t state = (config * 2654435761u) ^ static_cast<std::uint32_t>(bytes.size());
  for (std::string_view rest = bytes; !rest.empty();) {
    state = state * 1103515245u + 12345u;
    const std::size_t take = std::min<std::size_t>(rest.size(), (state >> 16) % 48);
    pieces.push_back(rest.substr(0, take));
    rest.remove_prefix(take);
  }
  std::optional<std::size_t> badPiece;
  std::u16string joined;
  const std::u16string_view joint = u"\x2028;";
  for (std::size_t k = 0; k < pieces.size() && !badPiece; ++k) {
    const Decoded piece = ReferenceDecode(pieces[k]);
    if (piece.errorOffset) badPiece = k;
    if (k != 0) joined += joint;
    joined += piece.text;
  }
  for (const std::u16string_view between : {std::u16string_view(), joint}) {
    const ordwell::cli::DecodedText actual = ordwell::cli::DecodeStreamTexts(pieces, between);
    Check(actual.valid == !badPiece.has_value());
    if (badPiece) {
      Check(actual.errorPiece == *badPiece);
      Check(actual.errorOffset == *ReferenceDecode(pieces[*badPiece]).errorOffset);
    } else if (between.empty()) {
      Check(!whole.errorOffset.has_value() && actual.Text() == whole.text);
    } else {
      Check(actual.Text() == joined);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t config = data[0];
  const std::size_t bufferBytes = std::size_t{64} << (config & 7);
  const char16_t next = (config & 8) != 0 ? u'\n' : u'\0';
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  const ordwell::cli::DecodedText actual = ordwell::cli::DecodeStreamText(bytes);
  const Decoded expected = ReferenceDecode(bytes);
  Check(actual.valid == !expected.errorOffset.has_value());
  CheckPieces(bytes, config, expected);
  if (!actual.valid) {
    Check(actual.errorOffset == *expected.errorOffset);
    // Ill-formed input: encode its bytes taken as 16-bit units instead, lone surrogates and all.
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
      units[i] = static_cast<char16_t>(data[1 + 2 * i] | data[2 + 2 * i] << 8);
    std::vector<std::u16string_view> pieces;
    const std::string encoded = Encode(units, config, bufferBytes, next, &pieces);
    Check(encoded == ReferenceEncode(pieces, next));
    return 0;
  }
  Check(actual.Text() == expected.text);
  // Well-formed input comes back byte for byte, but for each CR LF, which becomes LF.
  std::vector<std::u16string_view> pieces;
  const std::string encoded = Encode(actual.Text(), config, bufferBytes, next, &pieces);
  Check(encoded == ReferenceEncode(pieces, next));
  Check(encoded == WithoutCrBeforeLf(bytes, next));
  return 0;
}
