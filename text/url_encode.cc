// text/url_encode.cc
#include "text/url_encode.h"

#include <string>

#include "text/code_page.h"

namespace tavrel {
namespace {

[[nodiscard]] constexpr bool IsKept(unsigned char c) {
  return c == '-' || c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
         (c >= 'a' && c <= 'z');
}

}  // namespace

Text UrlEncode(std::string_view input, bool keep_unreserved, bool as_utf8) {
  input = input.substr(0, input.find('\0'));
  if (input.empty()) return {};
  Text utf8;
  if (as_utf8) {
    utf8 = ConvertToUtf8(input);
    input = utf8.view();
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out(input.size() * 3, '\0');
  std::size_t k = 0;
  for (const char ch : input) {
    const auto c = static_cast<unsigned char>(ch);
    if (keep_unreserved && IsKept(c)) {
      out[k++] = ch;
    } else {
      out[k++] = '%';
      out[k++] = kHex[c >> 4];
      out[k++] = kHex[c & 15];
    }
  }
  out.resize(k);
  return Text(std::move(out));
}

}  // namespace tavrel
