#include "prefs/value_codec.h"

#include <gtest/gtest.h>

namespace ordwell::prefs {
namespace {

TEST(ValueCodec, EscapesCrLfPairsThenSpacesOnly) {
  EXPECT_EQ(EscapeValue(u", "), u",lsSpc");
  EXPECT_EQ(EscapeValue(u"\r\n"), u"lsCrLf");
  EXPECT_EQ(EscapeValue(u"a \r\r\n\n\tb"), u"alsSpc\rlsCrLf\n\tb");
  EXPECT_EQ(EscapeValue(u"\"x\""), u"\"x\"");
}

TEST(ValueCodec, UnescapesLeftToRightWithoutRescanning) {
  EXPECT_EQ(UnescapeValue(u",lsSpc"), u", ");
  EXPECT_EQ(UnescapeValue(u"lsCrLflsSpc"), u"\r\n ");
  EXPECT_EQ(UnescapeValue(u"lslsSpcSpc"), u"ls Spc");
  EXPECT_EQ(UnescapeValue(u"LSSPC lsSp"), u"LSSPC lsSp");
}

TEST(ValueCodec, ConvertsUtf8AndReplacesWhatCannotBeConverted) {
  const std::u16string text = u"a\u00E9\u4E2D\U0001F600";
  EXPECT_EQ(ToUtf8(text), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  // Unpaired surrogates, leading and trailing.
  EXPECT_EQ(ToUtf8(std::u16string{u'x', char16_t{0xD800}, u'y', char16_t{0xDC00}}),
            "x\xEF\xBF\xBDy\xEF\xBF\xBD");
  // A stray continuation byte, a cut sequence, an overlong form and a NUL that stays a NUL.
  EXPECT_EQ(FromUtf8(std::string("\x80"
                                 "a\xE4\xB8"
                                 "b\xC0\xAF"
                                 "\0",
                                 8)),
            (std::u16string{u'\uFFFD', u'a', u'\uFFFD', u'b', u'\uFFFD', u'\uFFFD', u'\0'}));
}

}  // namespace
}  // namespace ordwell::prefs
