// text/code_page.cc
#include "text/code_page.h"

#include <unicode/ucnv.h>
#include <unicode/utypes.h>

#include <memory>
#include <string>

namespace tavrel {
namespace {

struct ConverterClose {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterClose>;

// The Windows table for 936 (0x80 is the euro sign), not ICU's plain "GBK".
constexpr const char* kGbkConverter = "windows-936";
constexpr const char* kUtf8Converter = "UTF-8";

ConverterPtr OpenConverter(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  ConverterPtr converter(ucnv_open(name, &status));
  if (U_FAILURE(status)) return nullptr;
  return converter;
}

const char* ConverterName(int code_page) {
  switch (code_page) {
    case kCodePageAnsi:
    case kCodePageGbk:
      return kGbkConverter;
    case kCodePageUtf8:
      return kUtf8Converter;
    default:
      return nullptr;
  }
}

// Decodes all of `bytes`. Invalid or truncated sequences become U+FFFD (the
// default substitution of ICU's decoders). Empty on a converter failure.
std::u16string Decode(UConverter* converter, std::string_view bytes) {
  if (bytes.empty()) return {};
  const auto length = static_cast<int32_t>(bytes.size());
  // One byte gives at most one unit for the code pages used here; other
  // charsets may need more, and the required size comes back on overflow.
  std::u16string out(bytes.size() + 1, u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t written = ucnv_toUChars(converter, out.data(), static_cast<int32_t>(out.size()),
                                  bytes.data(), length, &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.assign(static_cast<std::size_t>(written) + 1, u'\0');
    status = U_ZERO_ERROR;
    ucnv_resetToUnicode(converter);
    written = ucnv_toUChars(converter, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                            length, &status);
  }
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(written));
  return out;
}

// Encodes all of `utf16`; characters the target lacks become its
// substitution byte ('?' for code page 936, U+FFFD's bytes for UTF-8).
std::string Encode(UConverter* converter, std::u16string_view utf16) {
  if (utf16.empty()) return {};
  const auto length = static_cast<int32_t>(utf16.size());
  std::string out(
      static_cast<std::size_t>(UCNV_GET_MAX_BYTES_FOR_STRING(length, ucnv_getMaxCharSize(converter))),
      '\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t written = ucnv_fromUChars(converter, out.data(), static_cast<int32_t>(out.size()),
                                    utf16.data(), length, &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.assign(static_cast<std::size_t>(written) + 1, '\0');
    status = U_ZERO_ERROR;
    ucnv_resetFromUnicode(converter);
    written = ucnv_fromUChars(converter, out.data(), static_cast<int32_t>(out.size()),
                              utf16.data(), length, &status);
  }
  if (U_FAILURE(status)) return {};
  out.resize(static_cast<std::size_t>(written));
  return out;
}

ConverterPtr OpenEncoder(const char* name) {
  ConverterPtr converter = OpenConverter(name);
  if (converter && name != kUtf8Converter) {
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setSubstChars(converter.get(), "?", 1, &status);
  }
  return converter;
}

}  // namespace

Bytes CodePageToUtf16(std::string_view input, int code_page) {
  const char* name = ConverterName(code_page);
  if (name == nullptr) return {};
  ConverterPtr converter = OpenConverter(name);
  if (!converter) return {};
  input = input.substr(0, input.find('\0'));
  const std::u16string units = Decode(converter.get(), input);
  if (units.empty() && !input.empty()) return {};
  std::string out((units.size() + 1) * 2, '\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    out[2 * i] = static_cast<char>(units[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return Bytes(std::move(out));
}

Text Utf16ToCodePage(const Bytes& utf16, int code_page) {
  const char* name = ConverterName(code_page);
  if (name == nullptr) return {};
  std::u16string units;
  units.reserve(utf16.size() / 2);
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
    const auto unit = static_cast<char16_t>(utf16[i] | (utf16[i + 1] << 8));
    if (unit == 0) break;
    units.push_back(unit);
  }
  if (units.empty()) return {};
  ConverterPtr converter = OpenEncoder(name);
  if (!converter) return {};
  return Text(Encode(converter.get(), units));
}

Text ConvertToUtf8(std::string_view input) {
  input = input.substr(0, input.find('\0'));
  const std::u16string units = GbkToUtf16(input);
  ConverterPtr converter = OpenEncoder(kUtf8Converter);
  if (!converter) return {};
  return Text(Encode(converter.get(), units));
}

std::u16string GbkToUtf16(std::string_view gbk) {
  ConverterPtr converter = OpenConverter(kGbkConverter);
  if (!converter) return {};
  return Decode(converter.get(), gbk);
}

Text Utf16ToGbk(std::u16string_view utf16) {
  ConverterPtr converter = OpenEncoder(kGbkConverter);
  if (!converter) return {};
  return Text(Encode(converter.get(), utf16));
}

std::optional<Text> DecodeCharsetToGbk(std::string_view bytes, std::string_view charset) {
  // An empty name would open ICU's default converter; a zero byte would cut it.
  if (charset.empty() || charset.find('\0') != std::string_view::npos) return std::nullopt;
  const std::string name(charset);
  ConverterPtr decoder = OpenConverter(name.c_str());
  if (!decoder) return std::nullopt;
  const std::u16string units = Decode(decoder.get(), bytes);
  return Utf16ToGbk(units);
}

}  // namespace tavrel
