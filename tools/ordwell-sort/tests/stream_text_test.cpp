#include "tools/ordwell-sort/byte_path.h"
#include "tools/ordwell-sort/stream_decode.h"
#include "tools/ordwell-sort/stream_writers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ordwell::cli {
namespace {

std::string Written(std::u16string_view text, std::size_t bufferBytes) {
  std::string out;
  StreamWriter writer(&out, bufferBytes);
  writer.Write(text);
  EXPECT_TRUE(writer.Finish());
  return out;
}

TEST(OrdwellSortStreamWriter, KeepsSurrogatePairsWholeWhereverTheBufferCutsTheText) {
  // A lone high half right before a pair, at every position against the writer's own chunking.
  for (std::size_t lead = 0; lead < 48; ++lead) {
    const std::u16string text = std::u16string(lead, u'a') + u"\xD83D\xD83D\xDE00" + u"b";
    EXPECT_EQ(Written(text, 64), std::string(lead, 'a') +
                                     "\xEF\xBF\xBD\xF0\x9F\x98\x80"
                                     "b")
        << "lead " << lead;
  }
  // A run of pairs, and a run of lone halves of both kinds, through the smallest buffer.
  std::u16string pairs;
  std::string pairsUtf8;
  for (int k = 0; k < 40; ++k) pairs += u"\xD83D\xDE00", pairsUtf8 += "\xF0\x9F\x98\x80";
  EXPECT_EQ(Written(pairs, 64), pairsUtf8);
  EXPECT_EQ(Written(u"x" + pairs, 64), "x" + pairsUtf8);
  std::u16string lone;
  std::string loneUtf8;
  for (int k = 0; k < 30; ++k) lone += u"\xDE00\xD83Dz", loneUtf8 += "\xEF\xBF\xBD\xEF\xBF\xBDz";
  EXPECT_EQ(Written(lone, 64), loneUtf8);
}

TEST(OrdwellSortStreamWriter, TurnsCrLfIntoLfAlsoAcrossWritesAndBeforeTheNextUnit) {
  std::string out;
  StreamWriter writer(&out, 64);
  writer.Write(u"a\r");
  writer.Write(u"");
  writer.Write(u"\nb\r");
  writer.Write(u"c\r\r\n");
  writer.Write(u"d\r");
  EXPECT_TRUE(writer.Finish(u'\n'));
  EXPECT_EQ(out, "a\nb\rc\r\nd");
}

TEST(OrdwellSortStreamDecode, KeepsLfAfterCrAcrossPiecesAndReportsTheBadPiece) {
  const std::array<std::string_view, 3> pieces{"a\r", "\nb\n", "c"};
  const DecodedText joined = DecodeStreamTexts(pieces, {});
  ASSERT_TRUE(joined.valid);
  EXPECT_EQ(joined.Text(), u"a\r\nb\r\nc");
  EXPECT_EQ(DecodeStreamText("\n\r\n").Text(), u"\r\n\r\n");

  const std::array<std::string_view, 3> bad{"ok", "\xC3\xA9x", "y\xE0\x80"};
  const DecodedText failed = DecodeStreamTexts(bad, u"\n");
  EXPECT_FALSE(failed.valid);
  EXPECT_EQ(failed.errorPiece, 2u);
  EXPECT_EQ(failed.errorOffset, 1u);
}

std::optional<std::string> Direct(std::vector<std::string_view> pieces, std::u16string_view separator) {
  return DirectSeparator(pieces, separator);
}

TEST(OrdwellSortDirectSeparator, SortsFromBytesOnlyWhereDecodingWouldSplitTheSame) {
  // The line-break separator: LF only, or CR LF pairs only, in every piece.
  EXPECT_EQ(Direct({"b\na\nc"}, u"\r\n"), "\n");
  EXPECT_EQ(Direct({"b\r\na", "c\r\nd"}, u"\r\n"), "\r\n");
  EXPECT_EQ(Direct({"b\r\na", "c\nd"}, u"\r\n"), std::nullopt);  // CR LF in one piece, LF in another
  EXPECT_EQ(Direct({"b\ra\nc"}, u"\r\n"), std::nullopt);         // a lone CR
  EXPECT_EQ(Direct({"b\r"}, u"\r\n"), std::nullopt);             // a CR at the end
  // Any other separator: no line break anywhere, and none in the separator.
  EXPECT_EQ(Direct({"pear, fig", "apple"}, u", "), ", ");
  EXPECT_EQ(Direct({"pear, fig\napple"}, u", "), std::nullopt);
  EXPECT_EQ(Direct({"pear;\r\nfig"}, u";\r\n"), std::nullopt);
  // Only ASCII, in the pieces and in the separator.
  EXPECT_EQ(Direct({"caf\xC3\xA9\nbar"}, u"\r\n"), std::nullopt);
  EXPECT_EQ(Direct({"pear\u00B7fig"}, u"\u00B7"), std::nullopt);
  EXPECT_EQ(Direct({"0123456789abcdef0123456789abcde\x80"}, u"\r\n"), std::nullopt);
}

TEST(OrdwellSortByteWriter, WritesPiecesInOrderWhateverTheirSizeAgainstTheBuffer) {
  std::FILE* const file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::string expected;
  {
    ByteWriter writer(::fileno(file), 64);
    // Pieces below, at and above the buffer's size, so some fill it, some flush it and some
    // bypass it.
    for (const std::size_t size : {1, 63, 64, 10, 65, 200, 0, 64, 3}) {
      const std::string piece(size, static_cast<char>('a' + expected.size() % 26));
      writer.Write(piece);
      expected += piece;
    }
    EXPECT_TRUE(writer.Finish());
  }
  std::rewind(file);
  std::string written(expected.size() + 1, '\0');
  written.resize(std::fread(written.data(), 1, written.size(), file));
  std::fclose(file);
  EXPECT_EQ(written, expected);
}

}  // namespace
}  // namespace ordwell::cli
