// Tests of the shared text operations on code-page-936 text.
#include "text/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace tavrel {
namespace {

// Whole double-byte characters put in front of a case to check that a
// character before the searched part shifts positions but never matches.
// Their trail bytes are ASCII bytes that the cases search for.
// Lead bytes 0xC4 and 0xFE occur in none of the cases.
const std::vector<std::string> kPrefixes = {
    "\xC4\xE3",  // 你
    "\xFE" "A",   // trail byte 'A'
    "\xFE\\",    // trail byte 0x5C
    "\xFE|",     // trail byte 0x7C
    "\xFE;",     // trail byte ';'
    "\xFE[",     // trail byte '['
    "\xFE\xA1",  // trail byte 0xA1
};

// ---- Text and Bytes values ----

TEST(TextValue, KeepsTheBytesBeforeTheFirstZeroByte) {
  EXPECT_EQ(Text(std::string("ab\0c", 4)), "ab");
  EXPECT_EQ(Text(std::string_view("ab\0c", 4)), "ab");
  std::string s("x\0y", 3);
  EXPECT_EQ(Text(std::move(s)), "x");
  Text t = "a";
  t += std::string_view("b\0c", 3);
  EXPECT_EQ(t, "ab");
  EXPECT_EQ(Text(static_cast<const char*>(nullptr)), "");
  EXPECT_EQ(Bytes(std::string_view("a\0b", 3)).size(), 3u);
}

TEST(TextValue, PrintsNonPrintableBytesEscaped) {
  std::ostringstream os;
  os << Text("a\x81\n\"\\") << ' ' << Bytes(std::string_view("\0\xff", 2));
  EXPECT_EQ(os.str(), R"("a\x81\x0A\"\\" "\x00\xFF")");
}

// ---- Measuring and cutting ----

TEST(Cutting, CountsBytesAndClampsLengths) {
  EXPECT_EQ(Left("abc", 2), "ab");
  EXPECT_EQ(Left("abc", 10), "abc");
  EXPECT_EQ(Left("abc", 0), "");
  EXPECT_EQ(Left("abc", -1), "");
  EXPECT_EQ(Right("abc", 2), "bc");
  EXPECT_EQ(Right("abc", 10), "abc");
  EXPECT_EQ(Right("abc", -3), "");

  EXPECT_EQ(Middle("abc", 2, 10), "bc");
  EXPECT_EQ(Middle("abc", 3, 1), "c");
  EXPECT_EQ(Middle("abc", 1, 3), "abc");
  // A start below 1 is not moved to 1.
  EXPECT_EQ(Middle("abc", 0, 2), "");
  EXPECT_EQ(Middle("abc", -1, 5), "");
  EXPECT_EQ(Middle("abc", 4, 1), "");
  EXPECT_EQ(Middle("abc", 2, 0), "");
  EXPECT_EQ(Middle("", 1, 1), "");

  // Cuts are byte-wise and may split a double-byte character.
  EXPECT_EQ(Middle("\xD6\xD0", 2, 1), "\xD0");
  EXPECT_EQ(Left("\xD6\xD0", 1), "\xD6");

  const std::string_view bytes("a\0bc", 4);
  EXPECT_EQ(LeftBytes(bytes, 2), Bytes(std::string_view("a\0", 2)));
  EXPECT_EQ(LeftBytes(bytes, 10), Bytes(bytes));
  EXPECT_TRUE(LeftBytes(bytes, 0).empty());
  EXPECT_TRUE(LeftBytes(bytes, -1).empty());
}

// ---- Find ----

struct FindCase {
  const char* name;
  std::string text;
  std::string sought;
  std::int64_t start;
  bool ignore_case;
  std::int64_t expected;
};

const std::vector<FindCase> kFindCases = {
    {"from a start", "abcabc", "c", 4, false, 6},
    {"first match", "abcabc", "c", 0, false, 3},
    {"start on the match", "abcabc", "c", 3, false, 3},
    {"negative start is the first byte", "abcabc", "a", -7, false, 1},
    {"missing", "abc", "x", 0, false, -1},
    {"case kept by default", "abc", "B", 0, false, -1},
    {"case folded on request", "abc", "B", 0, true, 2},
    {"folded lower sought", "xABC", "bc", 0, true, 3},
    {"only letters fold", "`", "@", 0, true, -1},
    {"only letters fold 2", "[{", "{", 0, true, 2},
    {"match at the end", "abc", "bc", 0, false, 2},
    {"longer than the text", "ab", "abc", 0, false, -1},
    {"start at the end", "abc", "c", 4, false, -1},
    {"start past the end", "abc", "c", 9, false, -1},
    {"empty text", "", "a", 0, false, -1},
    {"empty sought", "abc", "", 3, false, 1},
    {"empty sought, start at the end", "abc", "", 4, false, -1},
    {"empty sought and text", "", "", 0, false, -1},
    // Double-byte stepping.
    {"trail byte 'A' skipped", "\x81" "AA", "A", 0, false, 3},
    {"only a trail byte", "\x81" "A", "A", 0, false, -1},
    {"trail byte 'A' skipped, folded", "\x81" "Ab", "ab", 0, true, -1},
    {"folded after trail", "\x81" "AAb", "ab", 0, true, 3},
    {"trail byte 0x5C skipped", "\x81\\\\", "\\", 0, false, 3},
    {"only trail byte 0x5C", "\x81\\", "\\", 0, false, -1},
    {"trail byte 0x7C skipped", "\x81||", "|", 0, false, 3},
    {"high trail byte", "\x81\x81\x41", "\x81\x41", 0, false, -1},
    {"high trail byte then match", "\x81\x81\x81\x41", "\x81\x41", 0, false, 3},
    {"whole character", "a\xD6\xD0", "\xD6\xD0", 0, false, 2},
    {"trail of one and lead of next", "\xB0\xA1\xA1\xA1", "\xA1\xA1", 0, false, 3},
    {"run of high bytes", "\xD6\xD0\xD6\xD0\xD6\xD0x", "\xD0x", 0, false, -1},
    {"lead byte alone at the end ends the scan", "a\x81", "\x81", 0, false, -1},
    {"lead byte with its trail", "a\x81x", "\x81", 0, false, 2},
};

TEST(Find, Cases) {
  for (const FindCase& c : kFindCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Find(c.text, c.sought, c.start, c.ignore_case), c.expected);
  }
}

TEST(Find, CasesAfterADoubleBytePrefix) {
  for (const std::string& prefix : kPrefixes) {
    for (const FindCase& c : kFindCases) {
      if (c.text.empty()) continue;
      SCOPED_TRACE(testing::Message() << c.name << " after " << Text(prefix));
      const std::int64_t shift = static_cast<std::int64_t>(prefix.size());
      const std::int64_t start = c.start > 1 ? c.start + shift : c.start;
      const std::int64_t expected =
          (c.expected == -1 || c.sought.empty()) ? c.expected : c.expected + shift;
      EXPECT_EQ(Find(prefix + c.text, c.sought, start, c.ignore_case), expected);
    }
  }
}

TEST(Find, FoldedAtEveryAlignment) {
  // Bytes one bit away from 'a' or 'A' that must not be taken for them.
  // (0xC1 0xE1 is one double-byte character, so it only closes the padding.)
  const std::string near_misses = "`@\x21\x01qQ[{";
  for (std::size_t pad = 0; pad < 40; ++pad) {
    SCOPED_TRACE(pad);
    std::string text;
    while (text.size() < pad) text += near_misses;
    text.resize(pad);
    if (pad % 3 == 2) text.replace(pad - 2, 2, "\xC1\xE1");
    const auto expected = static_cast<std::int64_t>(pad) + 1;
    EXPECT_EQ(Find(text + "Ab" + near_misses, "aB", 0, true), expected);
    EXPECT_EQ(Find(text + "ab", "AB", 0, true), expected);
    EXPECT_EQ(Find(text + near_misses + "\xC1\xE1", "a", 0, true), -1);
  }
}

TEST(Find, DefaultsToExactCaseFromTheFirstByte) {
  EXPECT_EQ(Find("aA", "A"), 2);
  EXPECT_EQ(Find("Aa", "a"), 2);
}

// ---- Replace ----

struct ReplaceCase {
  const char* name;
  std::string text;
  std::string sought;
  std::string replacement;
  std::int64_t start;
  std::int64_t count;
  bool exact_case;
  std::string expected;
};

const std::vector<ReplaceCase> kReplaceCases = {
    {"folds case", "aAa", "a", "b", 1, -1, false, "bbb"},
    {"exact case", "aAa", "a", "b", 1, -1, true, "bAb"},
    {"resumes after each", "aaa", "aa", "a", 1, -1, false, "aa"},
    {"replacement not scanned again", "abab", "ab", "xab", 1, -1, true, "xabxab"},
    {"empty replacement removes", "a,b,,c", ",", "", 1, -1, false, "abc"},
    {"count limits", "aaa", "a", "b", 1, 2, false, "bba"},
    {"count 0 replaces nothing", "aaa", "a", "b", 1, 0, false, "aaa"},
    {"start", "aaa", "a", "b", 2, -1, false, "abb"},
    {"start on the last byte", "aaa", "a", "b", 3, -1, false, "aab"},
    {"start past the end", "aaa", "a", "b", 4, -1, false, "aaa"},
    {"start below 1", "aaa", "a", "b", -5, 1, false, "baa"},
    {"empty text", "", "a", "b", 1, -1, false, ""},
    {"empty sought", "abc", "", "x", 1, -1, false, "abc"},
    {"longer replacement", "a.b.c", ".", "::", 1, -1, true, "a::b::c"},
    {"only letters fold", "@`", "`", "x", 1, -1, false, "@x"},
    {"trail byte 'A' kept", "\x81" "Aa", "a", "x", 1, -1, false, "\x81" "Ax"},
    {"trail byte 0x5C kept", "\x81\\\\", "\\", "/", 1, -1, true, "\x81\\/"},
    {"trail byte 0x7C kept", "\x81||", "|", "", 1, -1, true, "\x81|"},
    {"lead byte alone at the end", "a\x81", "\x81", "x", 1, -1, true, "a\x81"},
    {"double-byte sought", "\xD6\xD0" "a\xD6\xD0", "\xD6\xD0", "z", 1, -1, true, "zaz"},
};

TEST(Replace, Cases) {
  for (const ReplaceCase& c : kReplaceCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Replace(c.text, c.sought, c.replacement, c.start, c.count, c.exact_case),
              c.expected);
  }
}

TEST(Replace, CasesAfterADoubleBytePrefix) {
  for (const std::string& prefix : kPrefixes) {
    for (const ReplaceCase& c : kReplaceCases) {
      SCOPED_TRACE(testing::Message() << c.name << " after " << Text(prefix));
      const std::int64_t shift = static_cast<std::int64_t>(prefix.size());
      const std::int64_t start = c.start > 1 ? c.start + shift : c.start;
      EXPECT_EQ(Replace(prefix + c.text, c.sought, c.replacement, start, c.count, c.exact_case),
                prefix + c.expected);
    }
  }
}

TEST(Replace, DefaultsFoldCaseAndRemoveEveryOccurrence) {
  EXPECT_EQ(Replace("xXax", "x"), "a");
}

TEST(Replace, EveryOccurrenceInALongText) {
  std::string text;
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    text += "\xD6\xD0" "ab";
    expected += "\xD6\xD0" "XYZ";
  }
  EXPECT_EQ(Replace(text, "AB", "XYZ"), expected);
}

TEST(ReplaceBytes, IsByteWiseAndExact) {
  EXPECT_EQ(ReplaceBytes(std::string_view("a\0b\0", 4), std::string_view("\0", 1), "-"),
            Bytes(std::string_view("a-b-")));
  // No character stepping: the trail byte is replaced too.
  EXPECT_EQ(ReplaceBytes("\x81" "AA", "A", "x"), Bytes(std::string_view("\x81xx")));
  EXPECT_EQ(ReplaceBytes("aA", "a", "x"), Bytes(std::string_view("xA")));
  EXPECT_EQ(ReplaceBytes("aaa", "aa", "a"), Bytes(std::string_view("aa")));
  EXPECT_EQ(ReplaceBytes("a.b", "."), Bytes(std::string_view("ab")));
  EXPECT_EQ(ReplaceBytes("abc", "", "x"), Bytes(std::string_view("abc")));
  EXPECT_TRUE(ReplaceBytes("", "a", "x").empty());
}

// ---- Blanks ----

struct BlankCase {
  const char* name;
  std::string text;
  std::string trimmed;
  std::string without_blanks;
};

const std::vector<BlankCase> kBlankCases = {
    {"full-width and ASCII", "\xA1\xA1x ", "x", "x"},
    {"inner blanks stay in trim", " a \xA1\xA1 b\xA1\xA1\xA1\xA1", "a \xA1\xA1 b", "ab"},
    {"tabs, CR and LF are no blanks", "\ta b\r\n", "\ta b\r\n", "\tab\r\n"},
    {"only blanks", "  \xA1\xA1 ", "", ""},
    {"empty", "", "", ""},
    {"trail byte A1 is not a blank", "\xB0\xA1 ", "\xB0\xA1", "\xB0\xA1"},
    {"A1 A1 across two characters", " \xB0\xA1\xA1\xA1", "\xB0\xA1", "\xB0\xA1"},
    {"single A1 is not a blank", " \xA1", "\xA1", "\xA1"},
    {"lead A1 at the end", "\xA1\xA1\xA1", "\xA1", "\xA1"},
    {"trail byte space is not a blank", " \x81 ", "\x81 ", "\x81 "},
    {"trail space inside", "\x81  x", "\x81  x", "\x81 x"},
    {"high run before the blanks", "a\xD6\xD0\xD6\xD0  \xA1\xA1", "a\xD6\xD0\xD6\xD0",
     "a\xD6\xD0\xD6\xD0"},
};

TEST(Blanks, TrimAndRemove) {
  for (const BlankCase& c : kBlankCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Trim(c.text), c.trimmed);
    EXPECT_EQ(RemoveBlanks(c.text), c.without_blanks);
  }
}

TEST(Blanks, LongRunsAtBothEnds) {
  const std::string blanks = std::string(5000, ' ') + Repeat(3000, "\xA1\xA1").str();
  const std::string middle = "x\xD6\xD0 y";
  EXPECT_EQ(Trim(blanks + middle + blanks), middle);
  EXPECT_EQ(RemoveBlanks(blanks + middle + blanks), "x\xD6\xD0y");
}

// ---- Split ----

struct SplitCase {
  const char* name;
  std::string text;
  std::string separator;
  std::vector<std::string> expected;
};

const std::vector<SplitCase> kSplitCases = {
    {"empty pieces kept except at the end", "a;;b;", ";", {"a", "", "b"}},
    {"separator at the start", ";a", ";", {"", "a"}},
    {"only separators", ";;", ";", {"", ""}},
    {"no separator", "abc", ";", {"abc"}},
    {"empty separator", "a;b", "", {"a;b"}},
    {"longer separator", "a<>b<><>c", "<>", {"a", "b", "", "c"}},
    {"exact case", "aXbxc", "x", {"aXb", "c"}},
    {"trail byte separator skipped", "\x81;x;y", ";", {"\x81;x", "y"}},
    {"trail byte 0x7C skipped", "\x81|a|b", "|", {"\x81|a", "b"}},
    {"trail byte 0x5C skipped", "\x81\\a\\", "\\", {"\x81\\a"}},
    {"double-byte separator", "a\xA1\xA1" "b", "\xA1\xA1", {"a", "b"}},
    {"double-byte separator across characters", "\xB0\xA1\xA1\xA1", "\xA1\xA1", {"\xB0\xA1"}},
};

TextArray ToArray(const std::vector<std::string>& parts) {
  return TextArray(parts.begin(), parts.end());
}

TEST(Split, Cases) {
  for (const SplitCase& c : kSplitCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Split(c.text, c.separator), ToArray(c.expected));
  }
}

TEST(Split, CasesAfterADoubleBytePrefix) {
  for (const std::string& prefix : kPrefixes) {
    for (const SplitCase& c : kSplitCases) {
      SCOPED_TRACE(testing::Message() << c.name << " after " << Text(prefix));
      std::vector<std::string> expected = c.expected;
      expected.front() = prefix + expected.front();
      EXPECT_EQ(Split(prefix + c.text, c.separator), ToArray(expected));
    }
  }
}

TEST(Split, EmptyTextAndDefaultSeparator) {
  EXPECT_TRUE(Split("", ";").empty());
  EXPECT_TRUE(Split("", "").empty());
  EXPECT_EQ(Split("1,2,"), ToArray({"1", "2"}));
}

// ---- Conversions and formatting ----

TEST(Conversions, BytesAndTexts) {
  EXPECT_EQ(TextToBytes("ab"), Bytes(std::string_view("ab")));
  EXPECT_TRUE(TextToBytes("").empty());
  EXPECT_EQ(BytesToText(std::string_view("ab\0c", 4)), "ab");
  EXPECT_EQ(BytesToText("abc"), "abc");
  EXPECT_EQ(BlankBytes(3), Bytes(std::string_view("\0\0\0", 3)));
  EXPECT_TRUE(BlankBytes(0).empty());
  EXPECT_TRUE(BlankBytes(-2).empty());
  EXPECT_EQ(Repeat(3, "ab"), "ababab");
  EXPECT_EQ(Repeat(0, "ab"), "");
  EXPECT_EQ(Repeat(-1, "ab"), "");
}

TEST(Conversions, Integers) {
  EXPECT_EQ(IntegerToText(0), "0");
  EXPECT_EQ(IntegerToText(-42), "-42");
  EXPECT_EQ(IntegerToText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(HexText(10), "A");
  EXPECT_EQ(HexText(0), "0");
  EXPECT_EQ(HexText(0xBEEF), "BEEF");
  EXPECT_EQ(HexText(-1), "FFFFFFFF");
  EXPECT_EQ(HexText(std::numeric_limits<std::int32_t>::min()), "80000000");
  EXPECT_EQ(TruncateToInteger(2.9), 2);
  EXPECT_EQ(TruncateToInteger(-2.9), -2);
  EXPECT_EQ(TruncateToInteger(1587340800042.0), 1587340800042);
  // No integer exists for these; they saturate instead of being undefined.
  EXPECT_EQ(TruncateToInteger(std::nan("")), 0);
  EXPECT_EQ(TruncateToInteger(1e300), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(TruncateToInteger(-1e300), std::numeric_limits<std::int64_t>::min());
}

TEST(Conversions, NumbersAsPercentPoint13g) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {1587340800.0, "1587340800"}, {0.0, "0"},          {-2.5, "-2.5"},
      {9999999999999.0, "9999999999999"}, {1e13, "1e+13"}, {0.0001, "0.0001"},
      {0.00001, "1e-05"},           {1.0 / 3, "0.3333333333333"}, {123.456, "123.456"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(NumberToText(c.value), c.text);
  }
}

}  // namespace
}  // namespace tavrel
