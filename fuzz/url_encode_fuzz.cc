// fuzz/url_encode_fuzz.cc
//
// UrlEncode on fuzzed text: the output is "%XX" triples with upper-case hex
// digits, or, with keep_unreserved, single unreserved bytes; decoded, it
// gives back the encoded bytes (the text's own, or its UTF-8 form, which
// must be valid UTF-8).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/fuzz_support.h"
#include "text/code_page.h"
#include "text/url_encode.h"

namespace tavrel::fuzz {
namespace {

bool IsUnreserved(unsigned char c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

int UpperHexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes the output, checking its form on the way; nullopt when the form
// is wrong.
std::optional<std::string> Decode(std::string_view encoded, bool keep_unreserved) {
  std::string out;
  for (std::size_t i = 0; i < encoded.size();) {
    const unsigned char c = At(encoded, i);
    if (c == '%') {
      if (encoded.size() - i < 3) return std::nullopt;
      const int hi = UpperHexValue(encoded[i + 1]);
      const int lo = UpperHexValue(encoded[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      const auto byte = static_cast<unsigned char>(hi * 16 + lo);
      // A byte that may stand as itself must not be escaped.
      if (keep_unreserved && IsUnreserved(byte)) return std::nullopt;
      out += static_cast<char>(byte);
      i += 3;
    } else if (keep_unreserved && IsUnreserved(c)) {
      out += static_cast<char>(c);
      ++i;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavrel;
  using namespace tavrel::fuzz;
  FuzzedDataProvider in(data, size);
  const bool keep_unreserved = in.ConsumeBool();
  const bool as_utf8 = in.ConsumeBool();
  const std::string input = in.ConsumeRemainingBytesAsString();  // zero bytes end the text

  const Text encoded = UrlEncode(input, keep_unreserved, as_utf8);
  const std::optional<std::string> decoded = Decode(encoded.view(), keep_unreserved);
  FUZZ_CHECK(decoded.has_value());
  if (as_utf8) {
    FUZZ_CHECK(*decoded == ConvertToUtf8(input).view());
    FUZZ_CHECK(IsValidUtf8(*decoded));
    FUZZ_CHECK(CutAtZero(input).empty() == decoded->empty());
  } else {
    FUZZ_CHECK(*decoded == CutAtZero(input));
    if (!keep_unreserved) FUZZ_CHECK(encoded.size() == 3 * CutAtZero(input).size());
  }
  return 0;
}
