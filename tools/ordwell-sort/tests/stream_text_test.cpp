#include "tools/ordwell-sort/byte_path.h"
#include "tools/ordwell-sort/output.h"
#include "tools/ordwell-sort/stream_decode.h"
#include "tools/ordwell-sort/stream_writers.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <new>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
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

// The byte separator, joint and whether items keep CR LF, or "decode" when the bytes cannot be used.
std::string Plan(std::vector<std::string_view> pieces, std::u16string_view separator, bool exact = false,
                 bool unique = false) {
  const std::optional<ByteSort> plan = PlanByteSort(pieces, separator, exact, unique);
  if (!plan) return "decode";
  return plan->separator + "|" + plan->joint + (plan->crLfInItems ? "|crlf" : "");
}

TEST(OrdwellSortPlanByteSort, SortsFromBytesWhereverSplittingThemGivesTheDecodedItems) {
  // A line break splits at every LF, whatever the mix of line breaks, in any script.
  EXPECT_EQ(Plan({"b\na\nc"}, u"\r\n"), "\r\n|\r\n");
  EXPECT_EQ(Plan({"b\r\na", "c\nd\re"}, u"\r\n"), "\r\n|\r\n");
  EXPECT_EQ(Plan({"caf\xC3\xA9\nbar\r"}, u"\r\n", true), "\r\n|");
  // Any other separator without a line break in it, over text with or without line breaks.
  EXPECT_EQ(Plan({"pear, fig", "apple"}, u", "), ", |, ");
  EXPECT_EQ(Plan({"pear\u00B7fig\napple"}, u"\u00B7"), "\xC2\xB7|\xC2\xB7");
  EXPECT_EQ(Plan({"pear, fig\r\napple"}, u", ", true), ", ||crlf");
  EXPECT_EQ(Plan({"pear, fig\r\napple"}, u", ", false, true), "decode");  // equal keys need CR LF decoded
  EXPECT_EQ(Plan({"pear;\r\nfig"}, u";\r\n"), "decode");
  EXPECT_EQ(Plan({"pear\rfig"}, u"\r"), "decode");
  // An empty separator makes every unit an item: only ASCII without line breaks.
  EXPECT_EQ(Plan({"pear"}, u""), "|");
  EXPECT_EQ(Plan({"p\xC3\xA9"
                  "ar"},
                 u""),
            "decode");
  EXPECT_EQ(Plan({"pe\nar"}, u""), "decode");
  // Invalid UTF-8 anywhere is reported by the decoding path.
  EXPECT_EQ(Plan({"ok", "0123456789abcdef0123456789abcde\x80"}, u"\r\n"), "decode");
  EXPECT_EQ(Plan({"\xED\xA0\x80"}, u", "), "decode");
  // A large input is checked in two halves that meet between two characters.
  std::string large;
  while (large.size() < (std::size_t{5} << 20)) large += "\xC3\xA9\xE4\xB8\xAD\n";
  EXPECT_EQ(Plan({large}, u"\r\n"), "\r\n|\r\n");
  for (const std::size_t at : {large.size() / 2, large.size() - 2}) {
    std::string broken = large;
    broken[at] = '\xFF';
    EXPECT_EQ(Plan({broken}, u"\r\n"), "decode") << at;
  }
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

// Returns what `write` writes on file descriptor `fd`, standard output while it runs.
template <typename Write>
std::string WrittenOnStandardOutput(Write&& write) {
  std::FILE* const file = std::tmpfile();
  const int saved = ::dup(STDOUT_FILENO);
  std::fflush(stdout);
  ::dup2(::fileno(file), STDOUT_FILENO);
  write();
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  std::string written(static_cast<std::size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  written.resize(std::fread(written.data(), 1, written.size(), file));
  std::fclose(file);
  return written;
}

TEST(OrdwellSortBlockWriter, WritesALargeListAsItsItemsJoinedWhateverTheBlocksHold) {
  // Enough items to be copied in blocks on two threads, with items longer than a block's copy
  // is allowed to be, which are written straight from the text.
  std::mt19937 rng(41);
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < 150'000; ++i) {
    const std::size_t size = i % 40'000 == 7 ? (std::size_t{3} << 20) : rng() % 40;
    texts.emplace_back(size, static_cast<char>('a' + i % 26));
  }
  const std::vector<std::string_view> items(texts.begin(), texts.end());
  for (const auto& joints : {std::pair<std::string_view, std::string_view>{"\n", "\n"},
                             std::pair<std::string_view, std::string_view>{", ", ""}}) {
    const std::string_view separator = joints.first;
    const std::string_view ending = joints.second;
    std::string expected;
    for (std::size_t i = 0; i < items.size(); ++i) (expected += i == 0 ? "" : separator) += items[i];
    expected += ending;
    bool written = false;
    const std::string output =
        WrittenOnStandardOutput([&] { written = WriteSortedBytes(items, separator, ending); });
    EXPECT_TRUE(written);
    EXPECT_TRUE(output == expected) << "separator '" << separator << "'";
  }
}

TEST(OrdwellSortBlockWriter, WritesDeclinedAndFailedCopiesItselfAndReportsFailuresOnce) {
  const auto block = [](std::size_t k) {
    return std::string(k * 37 % 5000, static_cast<char>('a' + k % 26));
  };
  const auto copy = [&](std::size_t k, BlockBuffer& out) {
    if (k % 7 == 3) return false;
    if (k % 11 == 5) throw std::bad_alloc();
    const std::string bytes = block(k);
    std::copy(bytes.begin(), bytes.end(), out.Resize(bytes.size()));
    return true;
  };
  const auto write = [&](std::size_t k, ByteWriter& out) { out.Write(block(k)); };
  std::string expected;
  for (std::size_t k = 0; k < 300; ++k) expected += block(k);
  bool written = false;
  EXPECT_EQ(WrittenOnStandardOutput([&] { written = WriteBlocksInOrder(STDOUT_FILENO, 300, copy, write); }),
            expected);
  EXPECT_TRUE(written);

  errno = 0;
  EXPECT_FALSE(WriteBlocksInOrder(-1, 300, copy, write));
  EXPECT_EQ(errno, EBADF);
  const auto failingCopy = [&](std::size_t k, BlockBuffer& out) {
    if (k == 120) throw std::runtime_error("copy failed");
    return copy(k, out);
  };
  std::FILE* const file = std::tmpfile();
  EXPECT_THROW(WriteBlocksInOrder(::fileno(file), 300, failingCopy, write), std::runtime_error);
  std::fclose(file);
}

}  // namespace
}  // namespace ordwell::cli

TEST(OrdwellSortUtf8Check, AgreesWithTheCharacterByCharacterCheckAtEveryPlaceInABlock) {
  // Valid characters of every length and their edges, next to what breaks each rule: stray and
  // missing continuation bytes, overlong forms, surrogate halves, values beyond U+10FFFF.
  const std::vector<std::string> pieces = {"a",
                                           "\x7F",
                                           "\xC2\x80",
                                           "\xDF\xBF",
                                           "\xE0\xA0\x80",
                                           "\xED\x9F\xBF",
                                           "\xEE\x80\x80",
                                           "\xEF\xBF\xBF",
                                           "\xF0\x90\x80\x80",
                                           "\xF4\x8F\xBF\xBF",
                                           "\x80",
                                           "\xBF",
                                           "\xC0\xAF",
                                           "\xC1\xBF",
                                           "\xC2",
                                           "\xE0\x9F\xBF",
                                           "\xE1\x80",
                                           "\xED\xA0\x80",
                                           "\xF0\x8F\xBF\xBF",
                                           "\xF4\x90\x80\x80",
                                           "\xF5\x80\x80\x80",
                                           "\xFF",
                                           "\xF1\x80\x80",
                                           std::string(1, '\0')};
  std::mt19937 rng(21);
  for (int round = 0; round < 20000; ++round) {
    // Mostly valid pieces, so that a single fault lands anywhere in a block or at the end.
    std::string text;
    const int count = std::uniform_int_distribution<int>(0, 24)(rng);
    for (int i = 0; i < count; ++i) {
      const std::size_t which = rng() % 8 == 0 ? rng() % pieces.size() : rng() % 10;
      text += pieces[which];
    }
    ASSERT_EQ(ordwell::cli::IsValidUtf8(text), ordwell::cli::IsValidUtf8Scalar(text)) << round;
  }
}
