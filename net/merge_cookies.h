// net/merge_cookies.h
//
// Cookie lists: "name=value" items read with ";" between them (blanks
// anywhere), written with "; " between them and nothing after the last.
//
//   Text cookies = "a=1; b=2", received = "b=3; c=4";
//   MergeCookies(cookies, received);  // cookies "b=3; c=4; a=1", received "b=3;c=4"
#ifndef TAVREL_NET_MERGE_COOKIES_H_
#define TAVREL_NET_MERGE_COOKIES_H_

#include <cstdint>
#include <string_view>

#include "text/text.h"

namespace tavrel {

// Folds `received_cookies` into `cookies`: received items first, then old
// items whose names were not received; items ending in "=deleted" dropped;
// exact repeats kept once. Both variables lose every blank. Returns a copy of
// the new `cookies`.
Text MergeCookies(Text& cookies, Text& received_cookies);

// The bytes before the first "=" (or the whole item), trimmed of blanks.
[[nodiscard]] Text CookieName(std::string_view item);
// True when some element's CookieName equals `name` exactly.
[[nodiscard]] bool ListHasCookieName(const TextArray& list, std::string_view name);
// The distinct pieces of `text` split at `separator`, first occurrences kept,
// joined by `separator`.
[[nodiscard]] Text JoinDistinct(std::string_view text, std::string_view separator);
// 1-based index of the first element equal to `text`, or -1.
[[nodiscard]] std::int64_t IndexOfText(const TextArray& array, std::string_view text);

}  // namespace tavrel

#endif  // TAVREL_NET_MERGE_COOKIES_H_
