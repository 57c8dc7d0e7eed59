// net/merge_cookies.cc
#include "net/merge_cookies.h"

#include <cstddef>
#include <utility>

namespace tavrel {
namespace {

constexpr std::string_view kItemSeparator = ";";
constexpr std::string_view kListSeparator = "; ";
constexpr std::string_view kDeletedSuffix = "=deleted";

// A server deletes a cookie by setting it to "deleted"; the suffix is
// compared byte for byte, so "sid=DELETED" is an ordinary value.
bool IsDeletedItem(std::string_view item) { return item.ends_with(kDeletedSuffix); }

}  // namespace

Text MergeCookies(Text& cookies, Text& received_cookies) {
  cookies = RemoveBlanks(cookies);
  received_cookies = RemoveBlanks(received_cookies);

  const TextArray old_items = Split(cookies, kItemSeparator);
  TextArray merged = Split(received_cookies, kItemSeparator);
  // Received items win; of several old items with one name only the first
  // is taken, since the check sees the items appended before it.
  for (const Text& item : old_items) {
    if (!ListHasCookieName(merged, CookieName(item))) merged.push_back(item);
  }

  Text joined;
  for (const Text& item : merged) {
    if (IsDeletedItem(item)) continue;
    joined += item;
    joined += kListSeparator;
  }
  joined = Left(joined, static_cast<std::int64_t>(joined.size()) -
                            static_cast<std::int64_t>(kListSeparator.size()));
  cookies = JoinDistinct(joined, kListSeparator);
  return cookies;
}

Text CookieName(std::string_view item) {
  const std::int64_t equals = Find(item, "=");
  return Trim(equals > 0 ? Left(item, equals - 1) : Text(item));
}

bool ListHasCookieName(const TextArray& list, std::string_view name) {
  for (const Text& item : list) {
    if (CookieName(item) == name) return true;
  }
  return false;
}

Text JoinDistinct(std::string_view text, std::string_view separator) {
  TextArray kept;
  Text result;
  for (Text& piece : Split(text, separator)) {
    if (IndexOfText(kept, piece) != -1) continue;
    result += piece;
    result += separator;
    kept.push_back(std::move(piece));
  }
  return Left(result, static_cast<std::int64_t>(result.size()) -
                          static_cast<std::int64_t>(separator.size()));
}

std::int64_t IndexOfText(const TextArray& array, std::string_view text) {
  for (std::size_t i = 0; i < array.size(); ++i) {
    if (array[i] == text) return static_cast<std::int64_t>(i) + 1;
  }
  return -1;
}

}  // namespace tavrel
