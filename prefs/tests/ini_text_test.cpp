#include "prefs/ini_text.h"

#include <gtest/gtest.h>

namespace ordwell::prefs {
namespace {

TEST(IniText, ClassifiesHeadersKeysAndEverythingElse) {
  EXPECT_EQ(ClassifyLine(" [ Prefs ] trailing").kind, LineKind::Section);
  EXPECT_EQ(ClassifyLine(" [ Prefs ] trailing").name, "Prefs");
  EXPECT_EQ(ClassifyLine("[]").name, "");

  const LineView key = ClassifyLine("\t Key Name \t= \"v=1\" ");
  EXPECT_EQ(key.kind, LineKind::Key);
  EXPECT_EQ(key.name, "Key Name");
  EXPECT_EQ(key.value, " \"v=1\" ");

  EXPECT_EQ(ClassifyLine("[Prefs=x").kind, LineKind::Other);  // no "]": neither header nor key
  EXPECT_EQ(ClassifyLine(" = value").kind, LineKind::Other);  // no name
  EXPECT_EQ(ClassifyLine("just text").kind, LineKind::Other);
  EXPECT_EQ(ClassifyLine("").kind, LineKind::Other);
}

TEST(IniText, FindsFirstKeyOfFirstMatchingSectionIgnoringCase) {
  const std::string_view text =
      "K=global\n[other]\nk=no\n[PREFS]\nx=1\n k =first\nK=second\n[prefs]\nk=later section\n";
  EXPECT_EQ(FindValue(text, "Prefs", "K"), "first");
  EXPECT_EQ(FindValue(text, "Prefs", "missing"), std::nullopt);
  EXPECT_EQ(FindValue(text, "nowhere", "K"), std::nullopt);
  EXPECT_EQ(FindValue("\xEF\xBB\xBF[Prefs]\r\nK=v\r\n", "Prefs", "K"), "v");
  EXPECT_EQ(FindValue("[Prefs]\nK=no final newline", "Prefs", "K"), "no final newline");
}

TEST(IniText, ReplacesOnlyTheValueOfTheKeyLine) {
  EXPECT_EQ(WithValue("[P]\r\n  key = old \r\nz=1\r\n", "P", "KEY", "new"), "[P]\r\n  key =new\r\nz=1\r\n");
  EXPECT_EQ(WithValue("[P]\nk=old", "P", "k", "new"), "[P]\nk=new");
}

TEST(IniText, AddsMissingKeyAfterLastKeyOfItsSection) {
  EXPECT_EQ(WithValue("[P]\na=1\n; note\n\n[Q]\n", "P", "b", "2"), "[P]\na=1\nb=2\n; note\n\n[Q]\n");
  EXPECT_EQ(WithValue("[P]\n\n[Q]\n", "P", "b", "2"), "[P]\nb=2\n\n[Q]\n");
  // The section's last line has no line ending: one is added in the file's own style.
  EXPECT_EQ(WithValue("[Q]\r\n[P]", "P", "b", "2"), "[Q]\r\n[P]\r\nb=2\r\n");
  EXPECT_EQ(WithValue("[P]\r\na=1", "P", "b", "2"), "[P]\r\na=1\r\nb=2\r\n");
}

TEST(IniText, AddsMissingSectionAtTheEnd) {
  EXPECT_EQ(WithValue("", "Prefs", "k", "v"), "[Prefs]\nk=v\n");
  EXPECT_EQ(WithValue("\xEF\xBB\xBF", "Prefs", "k", "v"), "\xEF\xBB\xBF[Prefs]\nk=v\n");
  EXPECT_EQ(WithValue("; c\r\n[Q]\r\nx=1", "Prefs", "k", "v"), "; c\r\n[Q]\r\nx=1\r\n[Prefs]\r\nk=v\r\n");
  // Keys before any header belong to no section.
  EXPECT_EQ(WithValue("k=stray\n", "Prefs", "k", "v"), "k=stray\n[Prefs]\nk=v\n");
}

TEST(IniText, ReadsAndKeepsCrOnlyLineEndings) {
  EXPECT_EQ(FindValue("[P]\rk=a\rx=y", "P", "x"), "y");
  EXPECT_EQ(FindValue("[P]\rk=a\rb", "P", "k"), "a");
  EXPECT_EQ(WithValue("[P]\ra=1", "P", "b", "2"), "[P]\ra=1\rb=2\r");
  EXPECT_EQ(WithValue("[Q]\r", "P", "b", "2"), "[Q]\r[P]\rb=2\r");
  // The first line ending sets the style; a CR then CR LF are two line endings.
  EXPECT_EQ(WithValue("[Q]\r\r\n", "P", "b", "2"), "[Q]\r\r\n[P]\rb=2\r");
}

}  // namespace
}  // namespace ordwell::prefs
