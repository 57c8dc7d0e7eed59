// text/url_encode.h
//
// Percent-encoding for query strings.
//
//   UrlEncode("ab")                   == "%61%62"   (every byte, by default)
//   UrlEncode("A-z 9./_~", true)      == "A-z%209.%2F%5F%7E"
//   UrlEncode("中", false, true)      == "%E4%B8%AD" (UTF-8 bytes)
#ifndef TAVREL_TEXT_URL_ENCODE_H_
#define TAVREL_TEXT_URL_ENCODE_H_

#include <string_view>

#include "text/text.h"

namespace tavrel {

// Each byte of `input` (code page 936, or its UTF-8 form with `as_utf8`)
// becomes "%" and two upper-case hex digits; with `keep_unreserved`, the
// bytes of "-", ".", digits and ASCII letters stay as they are.
[[nodiscard]] Text UrlEncode(std::string_view input, bool keep_unreserved = false,
                             bool as_utf8 = false);

}  // namespace tavrel

#endif  // TAVREL_TEXT_URL_ENCODE_H_
