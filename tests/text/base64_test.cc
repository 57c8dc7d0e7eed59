// Tests of Base64 encoding.
#include "text/base64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace tavrel {
namespace {

// A small independent decoder for round trips; nullopt on malformed input.
std::optional<std::string> Decode(std::string_view text) {
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t group = 0;
    int pads = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      std::uint32_t v = 0;
      if (c == '=') {
        if (i + 4 != text.size() || k < 2) return std::nullopt;
        ++pads;
      } else {
        if (pads > 0) return std::nullopt;
        const std::size_t at = kAlphabet.find(c);
        if (at == std::string_view::npos) return std::nullopt;
        v = static_cast<std::uint32_t>(at);
      }
      group = group << 6 | v;
    }
    out += static_cast<char>(group >> 16);
    if (pads < 2) out += static_cast<char>(group >> 8 & 0xFF);
    if (pads < 1) out += static_cast<char>(group & 0xFF);
  }
  return out;
}

TEST(Base64Encode, Rfc4648Vectors) {
  const struct {
    const char* data;
    const char* text;
  } cases[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.data);
    EXPECT_EQ(Base64Encode(c.data), c.text);
  }
}

TEST(Base64Encode, HighBytesDoNotSignExtend) {
  EXPECT_EQ(Base64Encode("\xff"), "/w==");
  EXPECT_EQ(Base64Encode("\xff\xff\xff"), "////");
  EXPECT_EQ(Base64Encode(std::string_view("\x80\0\x7f\xfe", 4)), "gAB//g==");
  EXPECT_EQ(Base64Encode("\xfb\xef\xbe"), "++++");
}

TEST(Base64Encode, LengthAndPadding) {
  const struct {
    std::size_t n;
    const char* ending;
  } cases[] = {{4, "=="}, {5, "A="}, {6, "AA"}};
  for (const auto& c : cases) {
    const std::string data(c.n, '\0');
    const Text text = Base64Encode(data);
    EXPECT_EQ(text.size(), 8u);
    EXPECT_EQ(text.view().substr(6), c.ending);
  }
}

TEST(Base64Encode, RoundTripsRandomBytes) {
  std::mt19937 random(4648);
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::size_t n = 0; n <= 100; ++n) {
    for (int rep = 0; rep < 5; ++rep) {
      std::string data(n, '\0');
      for (char& c : data) c = static_cast<char>(byte(random));
      const std::string copy = data;
      const Text text = Base64Encode(data);
      ASSERT_EQ(text.size(), Base64EncodedSize(n));
      ASSERT_EQ(Decode(text.view()), data) << "length " << n;
      ASSERT_EQ(data, copy);
    }
  }
}

TEST(Base64EncodeInto, WritesExactlyTheEncodedSize) {
  for (const std::string_view data : {"", "a", "ab", "abc", "abcd"}) {
    std::string buffer(16, '#');
    Base64EncodeInto(data, buffer.data() + 1);
    const std::size_t size = Base64EncodedSize(data.size());
    EXPECT_EQ(buffer.front(), '#');
    EXPECT_EQ(buffer.substr(1, size), Base64Encode(data).str());
    EXPECT_EQ(buffer.substr(1 + size), std::string(15 - size, '#'));
  }
}

}  // namespace
}  // namespace tavrel
