// tests/net/regex_object_test.cc
#include "net/regex_object.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "text/code_page.h"

namespace tavrel {
namespace {

// Code-page-936 text from a UTF-16 literal, so the tests read as Chinese.
Text G(std::u16string_view s) { return Utf16ToGbk(s); }

constexpr std::string_view kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

struct Options {
  bool case_sensitive = false;
  bool multiline = true;
  bool all_matches = true;
  bool quote_placeholder = false;
};

struct MatchCase {
  const char* name;
  Text pattern;
  Text subject;
  Options options;
  bool created;
  std::int32_t count;
  Text first_match;
  Text first_sub_match;  // SubMatchText(1, 1)
};

TEST(RegexObjectCreate, MatchesInTheDialect) {
  const Text placeholder_pattern = G(u"href=#引号(.+?)#引号");
  const MatchCase cases[] = {
      // The page charset probe: case is ignored by default.
      {"charset probe", kCharsetPattern, "<META content=text/html; charset=GBK>", {}, true, 1,
       "<META content=text/html; charset=GBK", "GBK"},
      {"charset probe, quoted", kCharsetPattern, "<meta charset=\"utf-8\">", {}, true, 1,
       "<meta charset=\"utf-8", "utf-8"},
      {"charset probe, no meta tag", kCharsetPattern, "<html><body>charset=GBK</body>", {}, true,
       0, "", ""},
      {"charset probe, case sensitive", kCharsetPattern, "<META content=text/html; charset=GBK>",
       {.case_sensitive = true}, true, 0, "", ""},
      {"case sensitive still matches the same case", "<META", "<META", {.case_sensitive = true},
       true, 1, "<META", ""},
      {"unclosed group", "<meta(.+", "<meta x>", {}, false, 0, "", ""},
      {"unknown group reference", "(?P>x)", "x", {}, false, 0, "", ""},

      // "#引号" stands for a double quote only when asked.
      {"placeholder on", placeholder_pattern, "<a href=\"x.htm\">", {.quote_placeholder = true},
       true, 1, "href=\"x.htm\"", "x.htm"},
      {"placeholder on, subject holds the placeholder", placeholder_pattern,
       G(u"<a href=#引号x.htm#引号>"), {.quote_placeholder = true}, true, 0, "", ""},
      {"placeholder off", placeholder_pattern, "<a href=\"x.htm\">", {}, true, 0, "", ""},
      {"placeholder off, subject holds the placeholder", placeholder_pattern,
       G(u"<a href=#引号x.htm#引号>"), {}, true, 1, G(u"href=#引号x.htm#引号"), "x.htm"},

      // The dot stops at CR and LF, with or without Multiline; other control
      // characters are ordinary.
      {"dot and LF", "a.b", "a\nb", {}, true, 0, "", ""},
      {"dot and CR", "a.b", "a\rb", {}, true, 0, "", ""},
      {"dot and LF, not multiline", "a.b", "a\nb", {.multiline = false}, true, 0, "", ""},
      {"dot and CR, not multiline", "a.b", "a\rb", {.multiline = false}, true, 0, "", ""},
      {"dot and tab", "a.b", "a\tb", {}, true, 1, "a\tb", ""},
      {"dot and vertical tab", "a.b", "a\vb", {}, true, 1, "a\vb", ""},
      {"dot and form feed", "a.b", "a\fb", {}, true, 1, "a\fb", ""},
      {"lazy dot stops at the line end", "<meta.+?charset=(\\w+)", "<meta\ncharset=GBK>", {},
       true, 0, "", ""},
      {"[^] crosses lines", "a[^]b", "a\nb", {}, true, 1, "a\nb", ""},
      {"[] matches nothing", "a[]", "a", {}, true, 0, "", ""},

      // \w, \d and \s are ASCII-only; a Chinese character is a [^\w].
      {"\\w skips double-byte text", "\\w+", G(u"中文abc"), {}, true, 1, "abc", ""},
      {"[^\\w] takes a Chinese character", "([^\\w])x", G(u"中x"), {}, true, 1, G(u"中x"),
       G(u"中")},
      {"\\d skips full-width digits", "\\d+", G(u"１２3"), {}, true, 1, "3", ""},
      {"\\s skips the full-width space", "\\s", G(u"a　b"), {}, true, 0, "", ""},
      {"\\b between ASCII and Chinese", "\\babc\\b", G(u"中abc文"), {}, true, 1, "abc", ""},
      {"\\u escape", "\\u4e2d(.)", G(u"x中文"), {}, true, 1, G(u"中文"), G(u"文")},
      {"\\x escape", "\\x41", "zA", {.case_sensitive = true}, true, 1, "A", ""},
      {"dot takes one double-byte character", "^.$", G(u"中"), {}, true, 1, G(u"中"), ""},

      // Line anchors.
      {"$ multiline before LF", "abc$", "abc\nd", {}, true, 1, "abc", ""},
      {"$ multiline before CR", "abc$", "abc\rd", {}, true, 1, "abc", ""},
      {"$ not multiline: not before a final LF", "abc$", "abc\n", {.multiline = false}, true, 0,
       "", ""},
      {"$ not multiline at the end", "abc$", "xabc", {.multiline = false}, true, 1, "abc", ""},
      {"^ multiline after CR", "^b", "a\rb", {}, true, 1, "b", ""},
      {"^ not multiline", "^b", "a\nb", {.multiline = false}, true, 0, "", ""},

      // A reference to a group that took no part matches the empty text.
      {"unset back reference", "(x)?\\1y", "y", {}, true, 1, "y", ""},
      {"ignore case by default", "abc", "xABC", {}, true, 1, "ABC", ""},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject re;
    EXPECT_EQ(re.Create(c.pattern, c.subject, c.options.case_sensitive, c.options.multiline,
                        c.options.all_matches, c.options.quote_placeholder),
              c.created);
    EXPECT_EQ(re.MatchCount(), c.count);
    EXPECT_EQ(re.MatchText(1), c.first_match);
    EXPECT_EQ(re.SubMatchText(1, 1), c.first_sub_match);
  }
}

TEST(RegexObjectCreate, InvalidPatternReadsAsNothing) {
  RegexObject re;
  ASSERT_TRUE(re.Create("(a)", "a"));
  ASSERT_EQ(re.MatchCount(), 1);

  // A failed Create drops the results of the earlier one.
  EXPECT_FALSE(re.Create("(abc", "abc abc"));
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.SubMatchCount(), 0);
  EXPECT_EQ(re.MatchText(1), "");
  EXPECT_EQ(re.SubMatchText(1, 1), "");
  EXPECT_EQ(re.ReplaceMatches("x"), "");
  EXPECT_EQ(re.PatternText(), "(abc");
}

// Backtracking inside repeats of one character escapes PCRE2's match limit:
// without a bound of its own this Create ran for over a minute.
TEST(RegexObjectCreate, RunawayBacktrackingFailsInsteadOfHanging) {
  RegexObject re;
  const std::string many_a(1000, 'a');
  EXPECT_FALSE(re.Create("a*a*a*b|.", many_a));
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.MatchText(1), "");

  // Runs with many cheap searches stay within the bound.
  const std::string subject(4096, 'a');
  ASSERT_TRUE(re.Create("a", subject));
  EXPECT_EQ(re.MatchCount(), 4096);
  ASSERT_TRUE(re.Create("a*a*b|.", std::string(200, 'a')));
  EXPECT_EQ(re.MatchCount(), 200);
}

TEST(RegexObjectCreate, BeforeCreateNothingMatched) {
  const RegexObject re;
  std::int32_t position = 99;
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.SubMatchCount(), 0);
  EXPECT_EQ(re.MatchText(1, &position), "");
  EXPECT_EQ(position, -2);
  EXPECT_EQ(re.SubMatchText(1, 1), "");
  EXPECT_EQ(re.ReplaceMatches("x"), "");
  EXPECT_EQ(re.PatternText(), "");
}

TEST(RegexObjectCreate, PatternTextIsThePatternAsCompiled) {
  RegexObject re;
  ASSERT_TRUE(re.Create(G(u"href=#引号(.+?)#引号"), "", false, true, true, true));
  EXPECT_EQ(re.PatternText(), "href=\"(.+?)\"");
  ASSERT_TRUE(re.Create(G(u"href=#引号"), ""));
  EXPECT_EQ(re.PatternText(), G(u"href=#引号"));
}

TEST(RegexObjectMatches, GlobalFindsEveryMatch) {
  struct Case {
    const char* name;
    Text pattern;
    Text subject;
    bool all_matches;
    std::vector<Text> matches;
  } const cases[] = {
      {"numbers", "\\d+", "1 22 333", true, {"1", "22", "333"}},
      {"first only", "\\d+", "1 22 333", false, {"1"}},
      {"adjacent", "a", "aaa", true, {"a", "a", "a"}},
      // After an empty match the search moves on by one code unit.
      {"empty matches", "x*", "abc", true, {"", "", "", ""}},
      {"empty and non-empty", "a*", "baa", true, {"", "aa", ""}},
      {"lazy empty", "a*?", "aa", true, {"", "", ""}},
      {"empty subject", "x*", "", true, {""}},
      {"double-byte text", "[^,]+", G(u"中,文字,x"), true, {G(u"中"), G(u"文字"), "x"}},
      {"one code unit per step over double-byte text", "", G(u"中文"), true, {"", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject re;
    ASSERT_TRUE(re.Create(c.pattern, c.subject, false, true, c.all_matches));
    ASSERT_EQ(re.MatchCount(), static_cast<std::int32_t>(c.matches.size()));
    for (std::size_t i = 0; i < c.matches.size(); ++i) {
      EXPECT_EQ(re.MatchText(static_cast<std::int32_t>(i) + 1), c.matches[i]) << "match " << i + 1;
    }
  }
}

TEST(RegexObjectMatches, OutOfRangeIndexesGiveTheEmptyText) {
  RegexObject re;
  ASSERT_TRUE(re.Create("(a)(b)", "ab ab"));
  ASSERT_EQ(re.MatchCount(), 2);
  EXPECT_EQ(re.MatchText(0), "");
  EXPECT_EQ(re.MatchText(-1), "");
  EXPECT_EQ(re.MatchText(3), "");
  EXPECT_EQ(re.SubMatchText(2, 2), "b");
  EXPECT_EQ(re.SubMatchText(1, 0), "");
  EXPECT_EQ(re.SubMatchText(1, 3), "");
  EXPECT_EQ(re.SubMatchText(3, 1), "");
  EXPECT_EQ(re.SubMatchText(0, 1), "");
}

TEST(RegexObjectMatches, SubMatchCountIsTheGroupsOfTheFirstMatch) {
  struct Case {
    const char* name;
    Text pattern;
    Text subject;
    std::int32_t count;
  } const cases[] = {
      {"two groups", "(a)(b)?", "a", 2},  // an unset group still counts
      {"no group", "abc", "abc", 0},
      {"no match", "(a)(b)", "xyz", 0},
      {"non-capturing group", "(?:a)(b)", "ab", 1},
      {"invalid", "(a", "a", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject re;
    (void)re.Create(c.pattern, c.subject);
    EXPECT_EQ(re.SubMatchCount(), c.count);
  }
}

// Positions are 0-based byte offsets into the code-page-936 subject.
TEST(RegexObjectMatches, PositionIsTheByteOffset) {
  struct Case {
    const char* name;
    Text pattern;
    Text subject;
    bool case_sensitive;
    std::int32_t match_index;
    std::int32_t sub_match_index;  // 0: MatchText
    Text text;
    std::int32_t position;
  } const cases[] = {
      {"ASCII", "abc", "xx abc", false, 1, 0, "abc", 3},
      {"ignore case", "ABC", "xx abc", false, 1, 0, "abc", 3},
      {"at the start", "xx", "xx abc", true, 1, 0, "xx", 0},
      // Adjacent matches: each at its own offset, not at the one before.
      {"second of adjacent matches", "a", "aaa", true, 2, 0, "a", 1},
      {"third of adjacent matches", "a", "aaa", true, 3, 0, "a", 2},
      {"second group equal to the first", "(a)(a)", "aa", true, 1, 2, "a", 1},
      {"group inside the match", "x(b)", "ab xb", true, 1, 1, "b", 4},
      // Double-byte characters are one code unit but two bytes.
      {"after double-byte text", "ab", G(u"中中ab ab"), true, 1, 0, "ab", 4},
      {"second match after double-byte text", "ab", G(u"中中ab ab"), true, 2, 0, "ab", 7},
      {"double-byte match", G(u"文"), G(u"中文"), true, 1, 0, G(u"文"), 2},
      {"digits between Chinese", "\\d", G(u"中1文2"), true, 2, 0, "2", 5},
      {"group after double-byte text", "=(\\w+)", G(u"名字=v值x=abc"), true, 2, 1, "abc", 10},
      // Bytes that are not valid text still count as the bytes they are.
      {"after a lead byte with a blank as trail", "abc", "\x81 abc", true, 1, 0, "abc", 2},
      {"at the blank after a lead byte", " a", "\x81 abc", true, 1, 0, " a", 1},
      {"after a lead byte with a LF as trail", "abc", "\x81\nabc", true, 1, 0, "abc", 2},
      {"after an unmapped pair", "abc", "\xA2\xA0" "abc", true, 1, 0, "abc", 2},
      {"after 0xFF", "abc", "\xFF" "abc", true, 1, 0, "abc", 1},
      {"empty match at the end", "$", "ab", true, 1, 0, "", 2},
      {"empty match after double-byte text", "$", G(u"中文"), true, 1, 0, "", 4},
      {"unset group", "(x)?y", "ay", true, 1, 1, "", -2},
      // Out of range: the empty text found at the first byte.
      {"match 0", "abc", "xx abc", true, 0, 0, "", 0},
      {"match past the last", "abc", "xx abc", true, 2, 0, "", 0},
      {"sub-match past the last", "(a)", "xa", true, 1, 2, "", 0},
      {"no match, empty subject", "abc", "", true, 1, 0, "", -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject re;
    ASSERT_TRUE(re.Create(c.pattern, c.subject, c.case_sensitive));
    std::int32_t position = 99;
    if (c.sub_match_index == 0) {
      EXPECT_EQ(re.MatchText(c.match_index, &position), c.text);
    } else {
      EXPECT_EQ(re.SubMatchText(c.match_index, c.sub_match_index, &position), c.text);
    }
    EXPECT_EQ(position, c.position);
  }
}

TEST(RegexObjectReplace, Substitutions) {
  struct Case {
    const char* name;
    Text pattern;
    Text subject;
    bool all_matches;
    Text replacement;
    Text result;
  } const cases[] = {
      {"first only", "o", "foo boo", false, "0", "f0o boo"},
      {"every match", "o", "foo boo", true, "0", "f00 b00"},
      {"no match", "x", "abc", true, "y", "abc"},
      {"empty replacement", "b", "abc", true, "", "ac"},
      {"$&", "b", "abc", true, "[$&]", "a[b]c"},
      {"$1 and $2", "(\\w)(\\d)", "a1 b2", true, "$2$1", "1a 2b"},
      {"$`", "b", "abc", true, "[$`]", "a[a]c"},
      {"$'", "b", "abc", true, "[$']", "a[c]c"},
      {"$` and $' of a later match", "b", "abcb", true, "[$`|$']", "a[a|cb]c[abc|]"},
      {"$$", "b", "abc", true, "[$$]", "a[$]c"},
      {"$ alone at the end", "b", "abc", true, "x$", "ax$c"},
      {"$ before another character", "b", "abc", true, "$x", "a$xc"},
      {"$0 stays literal", "(b)", "abc", true, "$0", "a$0c"},
      {"missing group stays literal", "(b)", "abc", true, "$3", "a$3c"},
      {"$10 with one group is $1 then 0", "(b)", "abc", true, "$10", "ab0c"},
      {"$01 is group 1", "(b)", "abc", true, "[$01]", "a[b]c"},
      {"$10 with ten groups", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij", true, "$10-$1",
       "j-a"},
      {"$11 with ten groups is $1 then 1", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij", true,
       "$11", "a1"},
      {"unset group is empty", "(x)?b", "abc", true, "[$1]", "a[]c"},
      {"empty matches", "x*", "abc", true, "-", "-a-b-c-"},
      {"empty match, first only", "x*", "abc", false, "-", "-abc"},
      {"double-byte text", G(u"文"), G(u"中文字文"), true, G(u"国"), G(u"中国字国")},
      {"double-byte group", G(u"(中)(文)"), G(u"中文"), true, "$2$1", G(u"文中")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject re;
    ASSERT_TRUE(re.Create(c.pattern, c.subject, true, true, c.all_matches));
    EXPECT_EQ(re.ReplaceMatches(c.replacement), c.result);
  }
}

TEST(RegexObjectReplace, SubjectStaysAsItWas) {
  RegexObject re;
  ASSERT_TRUE(re.Create("o", "foo", false, true, false));
  EXPECT_EQ(re.ReplaceMatches("0"), "f0o");
  EXPECT_EQ(re.ReplaceMatches("0"), "f0o");
  EXPECT_EQ(re.ReplaceMatches(), "fo");
  EXPECT_EQ(re.MatchCount(), 1);
  EXPECT_EQ(re.MatchText(1), "o");
}

TEST(RegexObjectCopy, CopiesAreIndependentOfLaterCreates) {
  RegexObject original;
  ASSERT_TRUE(original.Create("(\\d+)", "a1 b22"));

  RegexObject copy = original;
  EXPECT_EQ(copy.MatchCount(), 2);
  EXPECT_EQ(copy.SubMatchText(2, 1), "22");

  // A new Create on the copy leaves the original alone, and the other way
  // round for an assigned object.
  EXPECT_FALSE(copy.Create("(", "x"));
  EXPECT_EQ(copy.MatchCount(), 0);
  EXPECT_EQ(original.MatchCount(), 2);
  EXPECT_EQ(original.SubMatchText(2, 1), "22");
  EXPECT_EQ(original.PatternText(), "(\\d+)");

  RegexObject assigned;
  assigned = original;
  ASSERT_TRUE(original.Create("b", "abc"));
  EXPECT_EQ(original.MatchText(1), "b");
  EXPECT_EQ(assigned.MatchCount(), 2);
  EXPECT_EQ(assigned.ReplaceMatches("#"), "a# b#");
  EXPECT_EQ(assigned.PatternText(), "(\\d+)");
}

}  // namespace
}  // namespace tavrel
