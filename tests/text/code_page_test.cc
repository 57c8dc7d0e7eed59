// Tests of the code-page conversions on ICU converters.
#include "text/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrel {
namespace {

// Little-endian bytes of `units` followed by one zero unit.
Bytes Utf16Bytes(std::u16string_view units) {
  std::string out;
  for (const char16_t u : units) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  out.append(2, '\0');
  return Bytes(std::move(out));
}

struct GbkCase {
  const char* name;
  std::string gbk;
  std::u16string utf16;
};

const GbkCase kGbkCases[] = {
    {"ASCII", "a", u"a"},
    {"byte 0x80 is the euro sign", "\x80", u"\u20AC"},
    {"zhong", "\xD6\xD0", u"\u4E2D"},
    {"first double-byte character", "\x81\x40", u"\u4E02"},
    {"full-width space", "\xA1\xA1", u"\u3000"},
    {"mixed", "x\xD6\xD0y\x80", u"x\u4E2Dy\u20AC"},
};

TEST(CodePage, GbkBothWays) {
  for (const GbkCase& c : kGbkCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GbkToUtf16(c.gbk), c.utf16);
    EXPECT_EQ(Utf16ToGbk(c.utf16), c.gbk);
    EXPECT_EQ(CodePageToUtf16(c.gbk, kCodePageGbk), Utf16Bytes(c.utf16));
    EXPECT_EQ(CodePageToUtf16(c.gbk, kCodePageAnsi), Utf16Bytes(c.utf16));
    EXPECT_EQ(Utf16ToCodePage(Utf16Bytes(c.utf16), kCodePageGbk), c.gbk);
    EXPECT_EQ(Utf16ToCodePage(Utf16Bytes(c.utf16)), c.gbk);  // 0, the ANSI code page
  }
}

TEST(CodePage, Utf8IsTheDefaultSourceCodePage) {
  EXPECT_EQ(CodePageToUtf16("\xE4\xB8\xAD" "a"), Utf16Bytes(u"\u4E2Da"));
  EXPECT_EQ(CodePageToUtf16("\xF0\x9F\x98\x80"), Utf16Bytes(u"\U0001F600"));
  EXPECT_EQ(Utf16ToCodePage(Utf16Bytes(u"\U0001F600"), kCodePageUtf8), "\xF0\x9F\x98\x80");
  EXPECT_EQ(ConvertToUtf8("\xD6\xD0"), "\xE4\xB8\xAD");
  EXPECT_EQ(ConvertToUtf8("a\x80"), "a\xE2\x82\xAC");
  EXPECT_EQ(ConvertToUtf8(""), "");
}

TEST(CodePage, EmptyTextIsOneZeroUnit) {
  const Bytes empty = CodePageToUtf16("", kCodePageGbk);
  EXPECT_EQ(empty, Bytes(std::string_view("\0\0", 2)));
  EXPECT_EQ(CodePageToUtf16(""), empty);
  EXPECT_EQ(Utf16ToCodePage(empty), "");
  EXPECT_EQ(Utf16ToCodePage(Bytes()), "");
}

TEST(CodePage, UnknownCodePageGivesEmpty) {
  EXPECT_TRUE(CodePageToUtf16("a", 12345).empty());
  EXPECT_EQ(Utf16ToCodePage(Utf16Bytes(u"a"), 12345), "");
}

TEST(CodePage, Utf16StopsAtTheFirstZeroUnitAndIgnoresAnOddByte) {
  EXPECT_EQ(Utf16ToCodePage(Bytes(std::string_view("a\0\0\0b\0", 6)), kCodePageGbk), "a");
  EXPECT_EQ(Utf16ToCodePage(Bytes(std::string_view("a\0b", 3)), kCodePageGbk), "a");
  // A zero low byte alone is no zero unit: U+4E00 is 00 4E.
  EXPECT_EQ(Utf16ToCodePage(Bytes(std::string_view("\0\x4E", 2)), kCodePageUtf8),
            "\xE4\xB8\x80");
}

TEST(CodePage, InvalidInputGivesTheReplacementCharacter) {
  const struct {
    const char* name;
    std::string input;
    int code_page;
    std::u16string expected;
  } cases[] = {
      {"truncated GBK lead byte", "\x81", kCodePageGbk, u"\uFFFD"},
      {"truncated GBK lead byte after text", "a\xD6", kCodePageGbk, u"a\uFFFD"},
      {"lone UTF-8 continuation", "\x80", kCodePageUtf8, u"\uFFFD"},
      {"byte 0xFF in UTF-8", "a\xFF" "b", kCodePageUtf8, u"a\uFFFDb"},
      {"truncated UTF-8 sequence", "\xE4\xB8", kCodePageUtf8, u"\uFFFD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CodePageToUtf16(c.input, c.code_page), Utf16Bytes(c.expected));
  }
}

TEST(CodePage, NeverReadsPastTheInput) {
  // The byte after the view would complete the character.
  const std::string buffer = "a\x81\x40";
  const std::string_view cut(buffer.data(), 2);
  EXPECT_EQ(GbkToUtf16(cut), u"a\uFFFD");
  EXPECT_EQ(CodePageToUtf16(cut, kCodePageGbk), Utf16Bytes(u"a\uFFFD"));
  const std::string utf8 = "\xE4\xB8\xAD";
  EXPECT_EQ(CodePageToUtf16(std::string_view(utf8.data(), 2)), Utf16Bytes(u"\uFFFD"));
  // The text ends at its first zero byte.
  EXPECT_EQ(CodePageToUtf16(std::string_view("a\0b", 3), kCodePageGbk), Utf16Bytes(u"a"));
}

TEST(CodePage, CharactersOutsideGbkBecomeQuestionMarks) {
  EXPECT_EQ(Utf16ToGbk(u"x\u0E01y"), "x?y");
  EXPECT_EQ(Utf16ToCodePage(Utf16Bytes(u"\u0E01\u00E9"), kCodePageGbk), "?\xA8\xA6");
  EXPECT_EQ(Utf16ToGbk(u"\U0001F600"), "?");
  EXPECT_EQ(Utf16ToGbk(u"a\xD800" "b"), "a?b");  // lone surrogate
}

TEST(CodePage, EveryDoubleByteSequenceDecodesWithinItsBytes) {
  // Each lead and trail pair decodes to one unit (a character or U+FFFD for an
  // invalid pair), and every mapped character converts back to its bytes.
  int mapped = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string gbk = {static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string units = GbkToUtf16(gbk);
      ASSERT_EQ(units.size(), 1u) << Text(gbk);
      if (units[0] == u'\uFFFD') continue;
      ++mapped;
      EXPECT_EQ(Utf16ToGbk(units), gbk) << Text(gbk);
    }
  }
  EXPECT_GT(mapped, 21000);
}

TEST(DecodeCharsetToGbk, ByName) {
  const struct {
    const char* charset;
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"utf-8", "\xE4\xB8\xAD" "a", "\xD6\xD0" "a"},
      {"UTF-8", "\xE2\x82\xAC", "\x80"},
      {"utf-8", "\xE0\xB8\x81", "?"},  // Thai, not in code page 936
      {"big5", "\xA4\xA4", "\xD6\xD0"},
      {"shift_jis", "\x92\x86", "\xD6\xD0"},
      {"GBK", "\xD6\xD0\x80", "\xD6\xD0\x80"},
      {"gb2312", "\xD6\xD0", "\xD6\xD0"},
      {"iso-8859-1", "\xE9", "\xA8\xA6"},
      {"utf-16le", std::string("a\0\x2D\x4E", 4), "a\xD6\xD0"},
      {"utf-8", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.charset);
    const std::optional<Text> text = DecodeCharsetToGbk(c.bytes, c.charset);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, c.expected);
  }
}

TEST(DecodeCharsetToGbk, UnknownNameGivesNothing) {
  EXPECT_FALSE(DecodeCharsetToGbk("abc", "x-no-such-charset").has_value());
  EXPECT_FALSE(DecodeCharsetToGbk("abc", "").has_value());
  EXPECT_FALSE(DecodeCharsetToGbk("abc", std::string_view("utf-8\0x", 7)).has_value());
}

}  // namespace
}  // namespace tavrel
