// text/base64.cc
#include "text/base64.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "text/text_internal.h"

namespace tavrel {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12-bit value: each group of three bytes
// (24 bits) takes two look-ups.
struct PairTable {
  std::array<char, 4096 * 2> chars{};
  constexpr PairTable() {
    for (std::size_t v = 0; v < 4096; ++v) {
      chars[2 * v] = kAlphabet[v >> 6];
      chars[2 * v + 1] = kAlphabet[v & 63];
    }
  }
};

constexpr PairTable kPairs;

inline void PutPair(char* out, std::uint32_t v) { std::memcpy(out, &kPairs.chars[2 * v], 2); }

}  // namespace

void Base64EncodeInto(std::string_view data, char* out) {
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t n = data.size();
  const std::size_t whole = n - n % 3;
  std::size_t i = 0;
  for (; i < whole; i += 3, out += 4) {
    const std::uint32_t v = (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8) | in[i + 2];
    PutPair(out, v >> 12);
    PutPair(out + 2, v & 0xFFF);
  }
  if (n - whole == 1) {
    const std::uint32_t v = std::uint32_t{in[i]} << 16;
    PutPair(out, v >> 12);
    out[2] = '=';
    out[3] = '=';
  } else if (n - whole == 2) {
    const std::uint32_t v = (std::uint32_t{in[i]} << 16) | (std::uint32_t{in[i + 1]} << 8);
    PutPair(out, v >> 12);
    out[2] = kAlphabet[(v >> 6) & 63];
    out[3] = '=';
  }
}

Text Base64Encode(std::string_view data) {
  if (data.empty()) return {};
  std::string out;
  text_internal::ReserveLarge(out, Base64EncodedSize(data.size()));
  out.resize(Base64EncodedSize(data.size()));
  Base64EncodeInto(data, out.data());
  return Text(std::move(out));
}

}  // namespace tavrel
