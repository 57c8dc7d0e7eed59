// text/text.h
//
// The value types of the whole program and the shared operations over them.
//
// All text the program handles is 8-bit text in code page 936 (GBK). A
// double-byte character is a lead byte of 0x80 or above and the byte after it;
// every other byte is a character by itself. Positions are 1-based byte
// positions counted from the first byte of the whole text, lengths are byte
// counts, and a failed find gives -1. Blanks are the ASCII space and the
// full-width space A1 A1 only (tabs, CR and LF are not blanks).
//
//   Text t = "a;;b;";
//   TextArray parts = Split(t, ";");   // "a", "", "b"
//   Find("\x81" "A", "A");             // 3: the 'A' inside the double-byte
//                                      // character is never a match
#ifndef TAVREL_TEXT_TEXT_H_
#define TAVREL_TEXT_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrel {

// Code-page-936 text. It never holds a zero byte: every constructor keeps the
// bytes before the first zero byte of its argument. The empty text stands for
// an absent one too.
class Text {
 public:
  Text() = default;
  Text(const char* s) : s_(s ? s : "") {}  // NOLINT: implicit on purpose
  Text(std::string_view s) : s_(s.substr(0, s.find('\0'))) {}  // NOLINT
  Text(const std::string& s) : Text(std::string_view(s)) {}    // NOLINT
  Text(std::string&& s) : s_(std::move(s)) { CutAtZero(); }    // NOLINT

  [[nodiscard]] const std::string& str() const& noexcept { return s_; }
  // Hands over the storage without a copy.
  [[nodiscard]] std::string&& str() && noexcept { return std::move(s_); }
  [[nodiscard]] std::string_view view() const noexcept { return s_; }
  operator std::string_view() const noexcept { return s_; }  // NOLINT
  [[nodiscard]] const char* c_str() const noexcept { return s_.c_str(); }
  [[nodiscard]] std::size_t size() const noexcept { return s_.size(); }
  [[nodiscard]] bool empty() const noexcept { return s_.empty(); }
  // Byte at 0-based offset i, as an unsigned value.
  [[nodiscard]] unsigned char operator[](std::size_t i) const noexcept {
    return static_cast<unsigned char>(s_[i]);
  }

  Text& operator+=(std::string_view more) {
    s_.append(more.substr(0, more.find('\0')));
    return *this;
  }
  friend Text operator+(Text a, std::string_view b) { return a += b; }
  // Byte-wise and case-sensitive; compares with Text, std::string and literals.
  friend bool operator==(const Text& a, std::string_view b) noexcept { return a.view() == b; }

 private:
  void CutAtZero() {
    if (auto z = s_.find('\0'); z != std::string::npos) s_.resize(z);
  }
  std::string s_;
};

// Prints the bytes, with bytes outside printable ASCII as \xNN (for tests).
std::ostream& operator<<(std::ostream& os, const Text& text);

// A counted byte string; zero bytes allowed. Empty stands for absent too.
class Bytes {
 public:
  Bytes() = default;
  explicit Bytes(std::string s) noexcept : s_(std::move(s)) {}
  explicit Bytes(std::string_view s) : s_(s) {}
  Bytes(const void* data, std::size_t n) : s_(static_cast<const char*>(data), n) {}

  [[nodiscard]] const std::string& str() const& noexcept { return s_; }
  [[nodiscard]] std::string& str() & noexcept { return s_; }
  [[nodiscard]] std::string&& str() && noexcept { return std::move(s_); }
  [[nodiscard]] std::string_view view() const noexcept { return s_; }
  [[nodiscard]] const char* data() const noexcept { return s_.data(); }
  [[nodiscard]] char* data() noexcept { return s_.data(); }
  [[nodiscard]] std::size_t size() const noexcept { return s_.size(); }
  [[nodiscard]] bool empty() const noexcept { return s_.empty(); }
  [[nodiscard]] unsigned char operator[](std::size_t i) const noexcept {
    return static_cast<unsigned char>(s_[i]);
  }
  void clear() noexcept { s_.clear(); s_.shrink_to_fit(); }

  friend bool operator==(const Bytes& a, const Bytes& b) noexcept { return a.s_ == b.s_; }

 private:
  std::string s_;
};

std::ostream& operator<<(std::ostream& os, const Bytes& bytes);

// The result of a split. The design counts its elements from 1: element i of
// the design is parts[i - 1] here.
using TextArray = std::vector<Text>;

// ---- Measuring and cutting (byte-wise: a cut may split a character) ----

// The first min(n, length) bytes; empty when n <= 0.
[[nodiscard]] Text Left(std::string_view text, std::int64_t n);
// The last min(n, length) bytes; empty when n <= 0.
[[nodiscard]] Text Right(std::string_view text, std::int64_t n);
// min(n, length - start + 1) bytes from 1-based position start; empty when
// start < 1 (it is not moved to 1), start is past the end, or n <= 0.
[[nodiscard]] Text Middle(std::string_view text, std::int64_t start, std::int64_t n);
// The first min(n, count) bytes; empty when n < 0.
[[nodiscard]] Bytes LeftBytes(std::string_view bytes, std::int64_t n);

// ---- Finding and replacing (character-wise scans) ----

// 1-based position of the first match of `sought` at or after position
// `start`, or -1. A start of 1 or less begins at the first byte; a start at or
// past the end gives -1. A match never starts on the second byte of a
// double-byte character; a lead byte that is the last byte ends the scan.
// With ignore_case, ASCII letters match their other case. An empty `sought`
// gives 1 when the searched range is not empty, else -1.
[[nodiscard]] std::int64_t Find(std::string_view text, std::string_view sought,
                                std::int64_t start = 0, bool ignore_case = false);

// Replaces occurrences left to right, resuming after each one (the inserted
// text is never scanned again). count < 0 means all; count 0 replaces
// nothing. NOTE the default: exact_case false folds ASCII case, the opposite
// of Find. The text comes back unchanged when it or `sought` is empty or when
// start is at or past the end.
[[nodiscard]] Text Replace(std::string_view text, std::string_view sought,
                           std::string_view replacement = {}, std::int64_t start = 1,
                           std::int64_t count = -1, bool exact_case = false);

// Replaces every occurrence of `sought` byte by byte (no character stepping,
// exact case). Empty bytes or an empty `sought` give the bytes unchanged.
[[nodiscard]] Bytes ReplaceBytes(std::string_view bytes, std::string_view sought,
                                 std::string_view replacement = {});

// ---- Blanks ----

// Removes the leading and trailing runs of blanks (space, A1 A1).
[[nodiscard]] Text Trim(std::string_view text);
// Removes every blank anywhere in the text.
[[nodiscard]] Text RemoveBlanks(std::string_view text);

// ---- Splitting ----

// Splits at every exact occurrence of `separator` (character-wise). The piece
// before each separator is kept even when empty; the rest after the last one
// only when it is not empty. An empty text gives no element; an empty
// separator gives the whole text as one element.
[[nodiscard]] TextArray Split(std::string_view text, std::string_view separator = ",");

// ---- Conversions and formatting ----

[[nodiscard]] Bytes TextToBytes(std::string_view text);
// The bytes up to, not including, the first zero byte.
[[nodiscard]] Text BytesToText(std::string_view bytes);
// n zero bytes; empty when n <= 0.
[[nodiscard]] Bytes BlankBytes(std::int64_t n);
// The text n times in a row; n < 0 counts as 0.
[[nodiscard]] Text Repeat(std::int64_t n, std::string_view text);
// Plain decimal, "-" for negative values.
[[nodiscard]] Text IntegerToText(std::int64_t value);
// As "%.13g" writes it: 1587340800.0 gives "1587340800".
[[nodiscard]] Text NumberToText(double value);
// Upper-case hexadecimal digits of the 32-bit value, no prefix; 0 gives "0".
[[nodiscard]] Text HexText(std::int32_t value);
// Truncation toward zero.
[[nodiscard]] std::int64_t TruncateToInteger(double value);

}  // namespace tavrel

#endif  // TAVREL_TEXT_TEXT_H_
