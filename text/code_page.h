// text/code_page.h
//
// Conversions between code pages, UTF-16 and UTF-8, on ICU converters.
//
// Code page 936 is the Windows GBK table exactly (byte 0x80 is the euro sign);
// 65001 is UTF-8; 0, the system's ANSI code page, is 936 here, the code page
// of all of this program's text. A byte sequence that is not valid in its code
// page converts to the replacement character, never past the input's end.
#ifndef TAVREL_TEXT_CODE_PAGE_H_
#define TAVREL_TEXT_CODE_PAGE_H_

#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"

namespace tavrel {

inline constexpr int kCodePageAnsi = 0;
inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf8 = 65001;

// UTF-16 form of `input` read in `code_page`, as little-endian code units
// followed by one zero unit (two zero bytes). The empty text gives two zero
// bytes; an unknown code page gives empty Bytes.
[[nodiscard]] Bytes CodePageToUtf16(std::string_view input, int code_page = kCodePageUtf8);

// The UTF-16LE string in `utf16` (up to its first zero unit; an odd last byte
// is ignored) written in `code_page`. Characters the code page lacks become
// '?'. Empty on failure.
[[nodiscard]] Text Utf16ToCodePage(const Bytes& utf16, int code_page = kCodePageAnsi);

// The UTF-8 bytes of a code-page-936 text.
[[nodiscard]] Text ConvertToUtf8(std::string_view input);

// Plain UTF-16 conversions of code-page-936 text, without any terminator.
[[nodiscard]] std::u16string GbkToUtf16(std::string_view gbk);
[[nodiscard]] Text Utf16ToGbk(std::u16string_view utf16);

// Decodes `bytes` in the charset named `charset` (an ICU/IANA name such as
// "utf-8", "big5", "shift_jis", "GBK") and writes the result in code page 936.
// nullopt when ICU does not know the name.
[[nodiscard]] std::optional<Text> DecodeCharsetToGbk(std::string_view bytes,
                                                     std::string_view charset);

}  // namespace tavrel

#endif  // TAVREL_TEXT_CODE_PAGE_H_
