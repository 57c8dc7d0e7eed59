// fuzz/fuzz_support.h
//
// Shared by the fuzz targets: a check that aborts with a message (so that
// libFuzzer saves the input), and plain reference versions of the
// character-wise scans of code-page-936 text to compare the real ones with.
// The references are written for clarity, one character at a time, and share
// no code with text/.
#ifndef TAVREL_FUZZ_FUZZ_SUPPORT_H_
#define TAVREL_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(cond)                                                              \
  do {                                                                                \
    if (!(cond)) {                                                                    \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);   \
      std::abort();                                                                   \
    }                                                                                 \
  } while (false)

namespace tavrel::fuzz {

inline constexpr std::size_t kNone = std::string_view::npos;

inline unsigned char At(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(s[i]);
}

inline bool IsLead(unsigned char c) { return c >= 0x80; }

inline unsigned char Fold(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// The bytes before the first zero byte: what a Text keeps of its argument.
inline std::string_view CutAtZero(std::string_view s) { return s.substr(0, s.find('\0')); }

inline bool EqualAt(std::string_view text, std::size_t pos, std::string_view sought, bool fold) {
  if (pos > text.size() || text.size() - pos < sought.size()) return false;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    const unsigned char a = At(text, pos + i);
    const unsigned char b = At(sought, i);
    if (fold ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

// Byte length of the character that starts at `i`: 2 for a lead byte with a
// byte after it, else 1.
inline std::size_t CharLength(std::string_view s, std::size_t i) {
  return (IsLead(At(s, i)) && i + 1 < s.size()) ? 2 : 1;
}

// Offsets at which characters start, walking from `from` (taken as the
// start of a character) to the end.
inline std::vector<std::size_t> CharStarts(std::string_view s, std::size_t from = 0) {
  std::vector<std::size_t> starts;
  for (std::size_t i = from; i < s.size(); i += CharLength(s, i)) starts.push_back(i);
  return starts;
}

// The character-wise scan: the first offset at or after `from` where
// `sought` matches, trying only the first byte of each character; a lead
// byte that is the last byte ends the scan. An empty `sought` matches at
// `from` when from < size.
inline std::size_t RefScan(std::string_view text, std::string_view sought, std::size_t from,
                           bool fold) {
  if (sought.empty()) return from < text.size() ? from : kNone;
  for (std::size_t i = from; i < text.size(); i += CharLength(text, i)) {
    if (IsLead(At(text, i)) && i + 1 == text.size()) return kNone;
    if (EqualAt(text, i, sought, fold)) return i;
  }
  return kNone;
}

inline std::size_t StartOffset(std::int64_t start) {
  return start > 1 ? static_cast<std::size_t>(start - 1) : 0;
}

// Find of the text operations.
inline std::int64_t RefFind(std::string_view text, std::string_view sought, std::int64_t start,
                            bool ignore_case) {
  const std::size_t offset = StartOffset(start);
  if (offset >= text.size()) return -1;
  if (sought.empty()) return 1;
  const std::size_t hit = RefScan(text, sought, offset, ignore_case);
  return hit == kNone ? -1 : static_cast<std::int64_t>(hit) + 1;
}

// Replace of the text operations.
inline std::string RefReplace(std::string_view text, std::string_view sought,
                              std::string_view replacement, std::int64_t start,
                              std::int64_t count, bool exact_case) {
  const std::size_t offset = StartOffset(start);
  if (text.empty() || sought.empty() || offset >= text.size() || count == 0) {
    return std::string(text);
  }
  std::string out(text.substr(0, offset));
  std::size_t pos = offset;
  for (std::int64_t done = 0; count < 0 || done < count; ++done) {
    const std::size_t hit = RefScan(text, sought, pos, !exact_case);
    if (hit == kNone) break;
    out.append(text.substr(pos, hit - pos));
    out.append(replacement);
    pos = hit + sought.size();
  }
  out.append(text.substr(pos));
  return out;
}

// Whether the character at `i` is a blank: a space, or the pair A1 A1.
inline std::size_t BlankLengthAt(std::string_view s, std::size_t i) {
  if (At(s, i) == ' ') return 1;
  if (At(s, i) == 0xA1 && i + 1 < s.size() && At(s, i + 1) == 0xA1) return 2;
  return 0;
}

inline bool HasBlankCharacter(std::string_view s) {
  for (std::size_t i : CharStarts(s)) {
    if (BlankLengthAt(s, i) != 0) return true;
  }
  return false;
}

// Whether `s` is well-formed UTF-8 (shortest forms, no surrogates, at most
// U+10FFFF); zero bytes count as valid only with `allow_zero`.
inline bool IsValidUtf8(std::string_view s, bool allow_zero = true) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = At(s, i);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (c == 0 && !allow_zero) return false;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 1, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3, cp = c & 0x07;
    } else {
      return false;
    }
    if (s.size() - i < n + 1) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const unsigned char t = At(s, i + k);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += n + 1;
  }
  return true;
}

}  // namespace tavrel::fuzz

#endif  // TAVREL_FUZZ_FUZZ_SUPPORT_H_
