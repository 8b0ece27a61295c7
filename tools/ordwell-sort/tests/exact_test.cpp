// Runs the ordwell-sort executable on random lists and compares it with SortListText (--exact)
// and with its own plain order (--reverse, --unique).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "sorting/detail/sort_key.h"
#include "sorting/sort_list.h"
#include "sorting/tests/utf8_text.h"

namespace {

using ordwell::testing::Utf16Of;

std::string Utf8(std::u16string_view text) { return ordwell::testing::ToUtf8(text); }

// The tool writes each CR LF pair as a single LF.
std::string WithLineFeeds(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// A separator as a command-line argument: CR LF as \n, backslash as \\.
std::string SeparatorArgument(std::u16string_view separator) {
  std::string argument;
  for (const char c : WithLineFeeds(Utf8(separator)))
    argument += c == '\n' ? "\\n" : c == '\\' ? "\\\\" : std::string(1, c);
  return argument;
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/ordwell-sort-test-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~TempDir() {
    for (const char* name : {"/in", "/out", "/err"}) std::remove((path_ + name).c_str());
    ::rmdir(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Runs the tool with `args` and `input` as its one FILE.
Outcome RunSorter(const TempDir& dir, const std::string& input, std::vector<std::string> args) {
  const std::string in = dir.path() + "/in";
  std::ofstream(in, std::ios::binary | std::ios::trunc) << input;
  args.insert(args.begin(), ORDWELL_SORT_PATH);
  args.push_back("--");
  args.push_back(in);
  Outcome run;
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open((dir.path() + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open((dir.path() + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
    run.status = WEXITSTATUS(status);
  run.out = ReadAll(dir.path() + "/out");
  run.err = ReadAll(dir.path() + "/err");
  return run;
}

// A random list text: items rich in case variants, empty items and non-ASCII letters, joined by
// `separator` and sometimes by others, with line breaks only as CR LF.
std::u16string RandomList(std::mt19937& rng, std::u16string_view separator) {
  static const std::u16string pieces[] = {u"a",  u"A",      u"b",      u"B",          u"ab",        u"Ab",
                                          u"_",  u" ",      u"1",      u"10",         u"\u00E9",    u"\u00C9",
                                          u"ß",  u"\u03A3", u"\u03C3", u"\r",         u"\r\n",      u",",
                                          u"\\", u"\t",     u"\uFEFF", u"\U00010400", u"\U00010428"};
  std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> small(0, 3);
  std::u16string list;
  const int items = std::uniform_int_distribution<int>(0, 12)(rng);
  for (int i = 0; i < items; ++i) {
    if (i != 0) list += small(rng) == 0 ? std::u16string(pieces[piece(rng)]) : std::u16string(separator);
    for (int n = small(rng); n > 0; --n) list += pieces[piece(rng)];
  }
  return list;
}

TEST(OrdwellSortExact, MatchesSortListTextOnRandomLists) {
  const std::u16string separators[] = {u", ", u",", u"\r\n", u"", u"ab", u"\u00E9", u"\\", u"\t", u"\r"};
  std::mt19937 rng(20261207);
  TempDir dir;
  int refusals = 0;
  for (int round = 0; round < 300; ++round) {
    const std::u16string& in = separators[rng() % std::size(separators)];
    const std::u16string& out = separators[rng() % std::size(separators)];
    const std::u16string list = RandomList(rng, in);
    const ordwell::SortResult want = ordwell::SortListText(list, in, out);
    const Outcome got =
        RunSorter(dir, Utf8(list), {"--exact", "-t", SeparatorArgument(in), "-j", SeparatorArgument(out)});
    SCOPED_TRACE("round " + std::to_string(round) + ", list '" + Utf8(list) + "', -t '" +
                 SeparatorArgument(in) + "', -j '" + SeparatorArgument(out) + "'");
    if (want.refused) {
      ++refusals;
      EXPECT_EQ(got.status, 1);
      EXPECT_EQ(got.out, "");
      EXPECT_NE(got.err.find(Utf8(ordwell::kRefusalMessage)), std::string::npos) << got.err;
    } else {
      EXPECT_EQ(got.status, 0) << got.err;
      EXPECT_EQ(got.out, WithLineFeeds(Utf8(want.text)));
      EXPECT_EQ(got.err, "");
    }
  }
  // Both kinds of outcome were exercised.
  EXPECT_GT(refusals, 10);
  EXPECT_LT(refusals, 200);
}

// What the tool writes for a stream without --exact: SortListText's split and key order
// with equal keys in input order. One final line break ends the last item, every LF is a line
// break (CR LF) to the sort, and the output ends with one; line breaks come out as LF, or as CR LF
// when both separators are line breaks and every line break of the input is CR LF.
std::string ExpectedStreamOutput(const std::string& input, std::u16string_view in, std::u16string_view out) {
  if (input.empty()) return "";
  std::string body = input;
  if (body.ends_with('\n')) body.pop_back();
  if (body.ends_with('\r') && input.ends_with("\r\n")) body.pop_back();
  std::u16string list;
  for (const char16_t c : Utf16Of(body)) {
    if (c == u'\n' && (list.empty() || list.back() != u'\r')) list += u'\r';
    list += c;
  }
  std::u16string text = list;
  if (!ordwell::SortListText(list, in, out).refused) {
    std::vector<std::u16string> items;
    for (std::size_t start = 0;;) {
      const std::size_t found = list.find(in, start);
      items.push_back(list.substr(start, found - start));
      if (found == std::u16string::npos) break;
      start = found + in.size();
    }
    const auto key = [](std::u16string item) {
      ordwell::LowerCaseUnits(item.data(), item.data(), item.size());
      return item;
    };
    std::stable_sort(items.begin(), items.end(),
                     [&](const auto& a, const auto& b) { return key(a) < key(b); });
    text.clear();
    for (std::size_t i = 0; i < items.size(); ++i) text += (i == 0 ? u"" : std::u16string(out)) + items[i];
  }
  std::string written = WithLineFeeds(Utf8(text + u"\r\n"));
  bool allCrLf = input.find("\r\n") != std::string::npos;
  for (std::size_t i = 0; i < input.size(); ++i) {
    if ((input[i] == '\r') != (i + 1 < input.size() && input[i + 1] == '\n' && input[i] == '\r') ||
        (input[i] == '\n' && (i == 0 || input[i - 1] != '\r')))
      allCrLf = false;
  }
  if (allCrLf && in == u"\r\n" && out == u"\r\n") {
    std::string crLf;
    for (const char c : written) crLf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    written = crLf;
  }
  return written;
}

TEST(OrdwellSortExact, StreamsInAnyScriptSortAsSortListTextWithTiesInInputOrder) {
  // Streams of valid UTF-8, with LF only, CR LF only or any mix of line breaks and lone CRs, sort
  // from their bytes and must give SortListText's order, ties in input order. The words come from
  // many scripts, and
  // include letters whose lower case has another UTF-8 length, U+E000-U+FFFF and characters
  // beyond U+FFFF, whose UTF-8 and UTF-16 orders differ.
  static const std::string words[] = {"a",          "A",
                                      "b",          "B",
                                      "ab",         "Ab",
                                      "_",          " ",
                                      "1",          "10",
                                      "@",          "[",
                                      "`",          "{",
                                      ",",          "",
                                      "aaaaaaaaaa", "AAAAAAAAAB",
                                      "\u00E9",     "\u00C9",
                                      "\u0130",     "i",
                                      "I",          "\u0131",
                                      "\u023A",     "\u2C65",
                                      "\u212A",     "k",
                                      "K",          "\u2126",
                                      "\u03C9",     "\u1E9E",
                                      "\u00DF",     "\u0414",
                                      "\u0434",     "\u4E2D",
                                      "\uD55C",     "\u0639",
                                      "\uE000",     "\uFF21",
                                      "\uFF41",     "\uFFFD",
                                      "\U00010400", "\U00010428",
                                      "\U0001F600", "Stem \u0130stanbul \u00C9t\u00E9 "};
  static const std::string breaks[] = {"\n", "\r\n", "\r", ", "};
  const std::u16string separators[] = {u"\r\n", u", ", u",", u"ab", u"\t", u"\u0130", u"\U0001F600"};
  const std::u16string outputs[] = {u"\r\n", u", ", u"\r", u"", u"\u00E9"};
  std::mt19937 rng(8);
  TempDir dir;
  for (int round = 0; round < 300; ++round) {
    const std::u16string& in = separators[rng() % std::size(separators)];
    const std::u16string& out = outputs[rng() % std::size(outputs)];
    // Rounds 0, 1 mod 3: LF only or CR LF only between items; 2 mod 3: any mix.
    std::string input;
    const int items = std::uniform_int_distribution<int>(0, 14)(rng);
    for (int i = 0; i < items; ++i) {
      if (i != 0) {
        input += round % 3 == 0   ? "\n"
                 : round % 3 == 1 ? "\r\n"
                 : rng() % 2 == 0 ? breaks[rng() % std::size(breaks)]
                                  : Utf8(in);
      }
      for (int n = static_cast<int>(rng() % 3); n > 0; --n) input += words[rng() % std::size(words)];
    }
    if (rng() % 2 == 0) input += round % 3 == 1 ? "\r\n" : "\n";
    SCOPED_TRACE("round " + std::to_string(round) + ", input '" + input + "', -t '" + SeparatorArgument(in) +
                 "', -j '" + SeparatorArgument(out) + "'");
    const Outcome got = RunSorter(dir, input, {"-t", SeparatorArgument(in), "-j", SeparatorArgument(out)});
    EXPECT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.out, ExpectedStreamOutput(input, in, out));
    if (round % 4 == 0) {
      // The same input, --exact: no final line break is dropped or added.
      std::u16string list;
      for (const char16_t c : Utf16Of(input)) {
        if (c == u'\n' && (list.empty() || list.back() != u'\r')) list += u'\r';
        list += c;
      }
      const ordwell::SortResult want = ordwell::SortListText(list, in, out);
      const Outcome exact =
          RunSorter(dir, input, {"--exact", "-t", SeparatorArgument(in), "-j", SeparatorArgument(out)});
      EXPECT_EQ(exact.status, want.refused ? 1 : 0);
      EXPECT_EQ(exact.out, want.refused ? "" : WithLineFeeds(Utf8(want.text)));
    }
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

TEST(OrdwellSortExact, ReverseAndUniqueFollowThePlainOrder) {
  std::mt19937 rng(7);
  TempDir dir;
  static const std::string letters[] = {"a", "A", "b", "B", "c", "C", " "};
  for (int round = 0; round < 40; ++round) {
    std::string input;
    const int items = std::uniform_int_distribution<int>(1, 30)(rng);
    for (int i = 0; i < items; ++i) {
      for (int n = static_cast<int>(rng() % 3); n > 0; --n) input += letters[rng() % std::size(letters)];
      input += '\n';
    }
    SCOPED_TRACE("round " + std::to_string(round) + ", input '" + input + "'");
    const Outcome plain = RunSorter(dir, input, {});
    ASSERT_EQ(plain.status, 0) << plain.err;
    std::vector<std::string> lines = Lines(plain.out);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(items));

    // Runs of equal keys: --unique keeps each run's first, --reverse reverses the runs' order
    // and keeps each run as it is.
    std::vector<std::vector<std::string>> runs;
    for (const std::string& line : lines) {
      if (runs.empty() || Lower(runs.back().front()) != Lower(line)) runs.emplace_back();
      runs.back().push_back(line);
    }
    std::vector<std::string> unique;
    for (const auto& run : runs) unique.push_back(run.front());
    EXPECT_EQ(Lines(RunSorter(dir, input, {"-u"}).out), unique);
    std::vector<std::string> reversed;
    for (auto run = runs.rbegin(); run != runs.rend(); ++run)
      reversed.insert(reversed.end(), run->begin(), run->end());
    EXPECT_EQ(Lines(RunSorter(dir, input, {"-r"}).out), reversed);
    std::reverse(unique.begin(), unique.end());
    EXPECT_EQ(Lines(RunSorter(dir, input, {"--unique", "--reverse"}).out), unique);
  }
}

}  // namespace
