// fuzz/code_page_fuzz.cc
//
// The code-page conversions on arbitrary bytes: they never read past their
// input (ASan watches), CodePageToUtf16 ends its units with exactly one zero
// unit, UTF-8 survives the trip through UTF-16 and back byte for byte, and
// the charset re-decoder gives a text for every name ICU knows.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "fuzz/fuzz_support.h"
#include "text/code_page.h"

namespace tavrel::fuzz {
namespace {

// The input as the only bytes of a heap block, so that a read past the end
// is seen.
std::unique_ptr<char[]> ExactCopy(std::string_view s) {
  auto copy = std::make_unique<char[]>(s.size() + 1);
  std::memcpy(copy.get(), s.data(), s.size());
  return copy;
}

// UTF-16LE units in front of the final zero unit; checks that there is
// exactly one zero unit and that it ends the bytes.
std::u16string UnitsOf(const Bytes& utf16) {
  FUZZ_CHECK(utf16.size() >= 2 && utf16.size() % 2 == 0);
  std::u16string units;
  for (std::size_t i = 0; i + 2 < utf16.size(); i += 2) {
    const auto unit = static_cast<char16_t>(utf16[i] | (utf16[i + 1] << 8));
    FUZZ_CHECK(unit != 0);
    units.push_back(unit);
  }
  FUZZ_CHECK(utf16[utf16.size() - 2] == 0 && utf16[utf16.size() - 1] == 0);
  return units;
}

constexpr const char* kCharsets[] = {
    "utf-8", "GBK", "gb2312", "big5", "shift_jis", "euc-kr", "iso-8859-1", "windows-1252",
    "utf-16le", "utf-16be", "utf-32", "gb18030", "iso-2022-jp", "utf-7", "koi8-r", "hz-gb-2312",
};

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavrel;
  using namespace tavrel::fuzz;
  FuzzedDataProvider in(data, size);
  const auto charset_choice = in.ConsumeIntegral<std::uint8_t>();
  const std::string raw = in.ConsumeRemainingBytesAsString();
  const auto copy = ExactCopy(raw);
  const std::string_view input(copy.get(), raw.size());
  const std::string_view text = CutAtZero(input);

  for (const int code_page : {kCodePageAnsi, kCodePageGbk, kCodePageUtf8}) {
    const Bytes utf16 = CodePageToUtf16(input, code_page);
    const std::u16string units = UnitsOf(utf16);
    FUZZ_CHECK(units.empty() == text.empty());
    const Text back = Utf16ToCodePage(utf16, code_page);
    if (code_page == kCodePageUtf8) {
      FUZZ_CHECK(IsValidUtf8(back.view(), false));
      // Valid UTF-8 comes back byte for byte.
      if (IsValidUtf8(text, false)) FUZZ_CHECK(back == text);
    }
    // Re-encoding what was decoded is stable.
    FUZZ_CHECK(Utf16ToCodePage(CodePageToUtf16(back, code_page), code_page) == back.view());
  }
  FUZZ_CHECK(CodePageToUtf16(input, 1234).empty());

  // The raw bytes as UTF-16 (odd last byte and all): any unit sequence,
  // lone surrogates included.
  const Bytes raw16(input);
  for (const int code_page : {kCodePageGbk, kCodePageUtf8}) {
    const Text written = Utf16ToCodePage(raw16, code_page);
    if (code_page == kCodePageUtf8) FUZZ_CHECK(IsValidUtf8(written.view(), false));
  }
  const std::u16string plain16 = GbkToUtf16(input);
  (void)Utf16ToGbk(plain16);
  FUZZ_CHECK(ConvertToUtf8(input) == Utf16ToCodePage(CodePageToUtf16(input, kCodePageGbk),
                                                     kCodePageUtf8).view());

  const char* charset = kCharsets[charset_choice % std::size(kCharsets)];
  const std::optional<Text> decoded = DecodeCharsetToGbk(input, charset);
  FUZZ_CHECK(decoded.has_value());
  if (charset_choice >= 0xF0) {
    // A name made of the bytes themselves: known to ICU or not, no failure.
    (void)DecodeCharsetToGbk(input, text.substr(0, 16));
  }
  return 0;
}
