// fuzz/base64_fuzz.cc
//
// Base64Encode on fuzzed bytes, checked against a strict decoder of its own:
// the text is 4 * ceil(n / 3) characters of the standard alphabet with "="
// only as padding at the end, and it decodes back to the bytes. The encoder
// that writes into a caller's buffer writes exactly that many bytes.
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "fuzz/fuzz_support.h"
#include "text/base64.h"

namespace tavrel::fuzz {
namespace {

int AlphabetIndex(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// RFC 4648 section 4, strict: whole groups of four, padding only in the last
// group, and the bits that padding leaves over are zero.
std::optional<std::string> Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (std::size_t g = 0; g < text.size(); g += 4) {
    const bool last = g + 4 == text.size();
    const std::size_t pad = (text[g + 3] == '=') + (text[g + 2] == '=' && text[g + 3] == '=');
    if (pad > 0 && !last) return std::nullopt;
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      int d = 0;
      if (k < 4 - pad) {
        d = AlphabetIndex(text[g + k]);
        if (d < 0) return std::nullopt;
      }
      v = (v << 6) | static_cast<std::uint32_t>(d);
    }
    out += static_cast<char>(v >> 16);
    if (pad < 2) out += static_cast<char>((v >> 8) & 0xFF);
    if (pad < 1) out += static_cast<char>(v & 0xFF);
    if ((pad == 1 && (v & 0xFF) != 0) || (pad == 2 && (v & 0xFFFF) != 0)) return std::nullopt;
  }
  return out;
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavrel;
  using namespace tavrel::fuzz;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string before(bytes);

  const Text encoded = Base64Encode(bytes);
  FUZZ_CHECK(encoded.size() == (size + 2) / 3 * 4);
  FUZZ_CHECK(Base64EncodedSize(size) == encoded.size());
  const std::optional<std::string> decoded = Decode(encoded.view());
  FUZZ_CHECK(decoded.has_value());
  FUZZ_CHECK(*decoded == bytes);
  FUZZ_CHECK(bytes == before);

  // Into a buffer of exactly the encoded size (an overrun is an ASan report).
  if (size > 0) {
    const auto buffer = std::make_unique<char[]>(Base64EncodedSize(size));
    Base64EncodeInto(bytes, buffer.get());
    FUZZ_CHECK(std::memcmp(buffer.get(), encoded.c_str(), encoded.size()) == 0);
  }
  return 0;
}
