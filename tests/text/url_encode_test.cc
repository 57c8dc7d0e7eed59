// Tests of percent-encoding for query strings.
#include "text/url_encode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace tavrel {
namespace {

TEST(UrlEncode, Examples) {
  const struct {
    const char* input;
    bool keep_unreserved;
    bool as_utf8;
    const char* expected;
  } cases[] = {
      {"A-z 9./_~", false, false, "%41%2D%7A%20%39%2E%2F%5F%7E"},
      {"A-z 9./_~", true, false, "A-z%209.%2F%5F%7E"},
      {"*+", true, false, "%2A%2B"},
      {"\xD6\xD0", false, false, "%D6%D0"},
      {"\xD6\xD0", false, true, "%E4%B8%AD"},
      {"a\xD6\xD0", true, true, "a%E4%B8%AD"},
      {"\x80", true, true, "%E2%82%AC"},
      {"\n", false, false, "%0A"},
      {"http://x.cn/a.jpg", false, false,
       "%68%74%74%70%3A%2F%2F%78%2E%63%6E%2F%61%2E%6A%70%67"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(UrlEncode(c.input, c.keep_unreserved, c.as_utf8), c.expected);
  }
}

TEST(UrlEncode, EmptyWhateverTheOptions) {
  for (const bool keep : {false, true}) {
    for (const bool utf8 : {false, true}) {
      EXPECT_EQ(UrlEncode("", keep, utf8), "");
    }
  }
}

TEST(UrlEncode, EveryByte) {
  std::string all;
  std::string escaped;
  std::string kept;
  for (int b = 1; b < 256; ++b) {
    const char c = static_cast<char>(b);
    all += c;
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02X", b);
    escaped += hex;
    const bool unreserved = b == '-' || b == '.' || (b >= '0' && b <= '9') ||
                            (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
    kept += unreserved ? std::string(1, c) : std::string(hex);
  }
  EXPECT_EQ(UrlEncode(all), escaped);
  EXPECT_EQ(UrlEncode(all, true), kept);
  EXPECT_EQ(kept.size(), 3 * 255 - 2 * 64u);
}

}  // namespace
}  // namespace tavrel
