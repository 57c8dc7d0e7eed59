// text/base64.h
//
// Base64 of RFC 4648 section 4: standard alphabet, "=" padding, no line
// breaks.  Base64Encode(Bytes("\xff", 1).view()) == "/w=="
#ifndef TAVREL_TEXT_BASE64_H_
#define TAVREL_TEXT_BASE64_H_

#include <string_view>

#include "text/text.h"

namespace tavrel {

// Exact output size, 4 * ceil(n / 3).
[[nodiscard]] constexpr std::size_t Base64EncodedSize(std::size_t n) { return (n + 2) / 3 * 4; }

// Writes the encoding of `data` into `out`, which holds Base64EncodedSize(n)
// bytes. Lets a caller put the text straight into a larger buffer.
void Base64EncodeInto(std::string_view data, char* out);

// The encoding of `data` as text, written into one buffer of its final size.
[[nodiscard]] Text Base64Encode(std::string_view data);

}  // namespace tavrel

#endif  // TAVREL_TEXT_BASE64_H_
