// Tests of cutting a piece out of a text between two markers.
#include "text/text_between.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel {
namespace {

// "#引号" in code page 936, as callers write it inside markers.
const std::string kQ(kQuotePlaceholder);

struct BetweenCase {
  const char* name;
  std::string source;
  std::string begin;
  std::string end;
  std::int32_t start;
  bool fold_case;
  std::string expected;
  bool includes_source_start;  // the piece starts at the source's first byte
};

const std::vector<BetweenCase> kCases = {
    {"reply address, plain quotes", "{\"url\":\"x\",\"sign\":", "{\"url\":\"", "\",\"sign\":", 0,
     false, "x", false},
    {"reply address, placeholders", "{\"url\":\"x\",\"sign\":", "{" + kQ + "url" + kQ + ":" + kQ,
     kQ + "," + kQ + "sign" + kQ + ":", 0, false, "x", false},
    {"placeholder only in the end marker", "a=\"v\";", "a=\"", kQ + ";", 0, false, "v", false},
    {"source is never rewritten", "a" + kQ + "b", "a", "b", 0, false, kQ, false},
    {"placeholder after a trail byte '#' stays", "\x81#\xD2\xFD\xBA\xC5x]",
     "\x81#\xD2\xFD\xBA\xC5", "]", 0, false, "x", false},
    {"end marker only before the begin marker", "]a[b", "[", "]", 0, false, "", false},
    {"first begin, first end after it", "[a][b]", "[", "]", 0, false, "a", false},
    {"end right after begin", "[]x]", "[", "]", 0, false, "", false},
    {"missing begin", "abc", "[", "]", 0, false, "", false},
    {"missing end", "[abc", "[", "]", 0, false, "", false},
    {"begin marker at the very end", "ab[", "[", "]", 0, false, "", false},
    {"empty source", "", "[", "]", 0, false, "", false},
    {"folded header names", "location: x\r\nserver:", "Location: ", "\r\nServer:", 0, true, "x",
     false},
    {"exact header names", "location: x\r\nserver:", "Location: ", "\r\nServer:", 0, false, "",
     false},
    {"cookie value", "Set-Cookie: BAIDUID=ab:FG=1; path=/", "Set-Cookie:", ";", 0, false,
     " BAIDUID=ab:FG=1", false},
    {"begin marker is a trail byte first", "\x81" "AA[x]", "A", "]", 0, false, "[x", false},
    {"trail byte 0x5C skipped", "\x81\\a\\b|", "\\", "|", 0, false, "b", false},
    {"end marker in a trail byte skipped", "[x\x81]y]", "[", "]", 0, false, "x\x81]y", false},
    {"folded markers step over characters", "\x81L=x]l=v]", "L=", "]", 0, true, "v", false},
    {"empty begin marker", "ab]c", "", "]", 0, false, "ab", true},
    {"empty end marker", "[ab]", "[", "", 0, false, "", false},
    {"start below 2 is the first byte", "[a][b]", "[", "]", 1, false, "a", false},
    {"negative start", "[a][b]", "[", "]", -9, false, "a", false},
    {"start skips the first begin", "[a][b]", "[", "]", 2, false, "b", false},
    {"start on the last byte", "[a][b]", "[", "]", 6, false, "", false},
    {"start past the end", "[a]", "[", "]", 4, false, "", false},
    {"start far past the end", "[a]", "[", "]", 1000, false, "", false},
};

TEST(TextBetween, Cases) {
  for (const BetweenCase& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextBetween(c.source, c.begin, c.end, c.start, c.fold_case), c.expected);
  }
}

TEST(TextBetween, CasesAfterADoubleBytePrefix) {
  const std::vector<std::string> prefixes = {"\xD6\xD0", "\x81" "A", "\x81[", "\x81\\",
                                             "\x81\"", "\x81" "a"};
  for (const std::string& prefix : prefixes) {
    for (const BetweenCase& c : kCases) {
      SCOPED_TRACE(testing::Message() << c.name << " after " << Text(prefix));
      const auto shift = static_cast<std::int32_t>(prefix.size());
      const std::int32_t start = c.start > 1 ? c.start + shift : c.start;
      const std::string expected =
          c.includes_source_start && !c.expected.empty() ? prefix + c.expected : c.expected;
      EXPECT_EQ(TextBetween(prefix + c.source, c.begin, c.end, start, c.fold_case), expected);
    }
  }
}

TEST(TextBetween, DefaultsToExactCaseFromTheFirstByte) {
  EXPECT_EQ(TextBetween("<A>1</A><a>2</a>", "<a>", "</a>"), "2");
}

}  // namespace
}  // namespace tavrel
