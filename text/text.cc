// text/text.cc
#include "text/text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "text/text_internal.h"

namespace tavrel {
namespace {

constexpr unsigned char kFullWidthSpaceByte = 0xA1;

[[nodiscard]] constexpr bool IsLeadByte(unsigned char c) { return c >= 0x80; }

[[nodiscard]] constexpr unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c | 0x20) : c;
}

[[nodiscard]] constexpr bool IsAsciiLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

[[nodiscard]] unsigned char ByteAt(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(s[i]);
}

// Whether `sought` matches `text` at `pos` with ASCII letters folded. The
// caller makes sure that pos + sought.size() <= text.size().
[[nodiscard]] bool FoldedEqualAt(std::string_view text, std::size_t pos, std::string_view sought) {
  for (std::size_t i = 0; i < sought.size(); ++i) {
    if (FoldAscii(ByteAt(text, pos + i)) != FoldAscii(ByteAt(sought, i))) return false;
  }
  return true;
}

// The first offset in [pos, end) of the ASCII letter `lower` in either case,
// or npos. Eight bytes at a time: OR-ing 0x20 into every byte maps a letter's
// two cases onto the lower one (and no other byte onto it), then a zero byte
// of the XOR marks a hit; the lowest marked byte is always a real one.
[[nodiscard]] std::size_t FindLetterEitherCase(std::string_view text, std::size_t pos,
                                               std::size_t end, unsigned char lower) {
  const char* base = text.data();
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const std::uint64_t pattern = kOnes * lower;
    for (; pos + 8 <= end; pos += 8) {
      std::uint64_t word;
      std::memcpy(&word, base + pos, 8);
      const std::uint64_t x = (word | (kOnes * 0x20)) ^ pattern;
      const std::uint64_t hits = (x - kOnes) & ~x & kHigh;
      if (hits != 0) return pos + static_cast<std::size_t>(std::countr_zero(hits) >> 3);
    }
  }
  for (; pos < end; ++pos) {
    if ((static_cast<unsigned char>(base[pos]) | 0x20) == lower) return pos;
  }
  return std::string_view::npos;
}

// The first offset at or after `pos` where `sought` (not empty) matches,
// without regard to character boundaries, or npos.
[[nodiscard]] std::size_t NextMatch(std::string_view text, std::string_view sought,
                                    std::size_t pos, bool fold_case) {
  const std::size_t m = sought.size();
  if (pos > text.size() || text.size() - pos < m) return std::string_view::npos;
  if (!fold_case) return text.find(sought, pos);

  // Candidates are the places of the first byte in either case; memchr finds
  // each of them, and a position found for one case stays valid until passed.
  const std::size_t last = text.size() - m;  // last possible start
  const unsigned char first = ByteAt(sought, 0);
  const char* base = text.data();
  auto find_byte = [&](unsigned char c, std::size_t from) -> std::size_t {
    if (from > last) return std::string_view::npos;
    const void* hit = std::memchr(base + from, c, last - from + 1);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - base)
               : std::string_view::npos;
  };
  if (!IsAsciiLetter(first)) {
    while (true) {
      const std::size_t cand = find_byte(first, pos);
      if (cand == std::string_view::npos) return cand;
      if (FoldedEqualAt(text, cand, sought)) return cand;
      pos = cand + 1;
    }
  }
  const auto lower = static_cast<unsigned char>(first | 0x20);
  while (true) {
    const std::size_t cand = FindLetterEitherCase(text, pos, last + 1, lower);
    if (cand == std::string_view::npos) return cand;
    if (FoldedEqualAt(text, cand, sought)) return cand;
    pos = cand + 1;
  }
}

// The end of the leading run of blanks, scanning character-wise from 0.
[[nodiscard]] std::size_t LeadingBlanksEnd(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const unsigned char c = ByteAt(text, i);
    if (c == ' ') {
      ++i;
    } else if (c == kFullWidthSpaceByte && i + 1 < n && ByteAt(text, i + 1) == kFullWidthSpaceByte) {
      i += 2;
    } else {
      break;
    }
  }
  return i;
}

}  // namespace

namespace text_internal {

std::size_t ScanFind(std::string_view text, std::string_view sought, std::size_t from,
                     bool fold_case) {
  const std::size_t n = text.size();
  if (sought.empty()) return from < n ? from : std::string_view::npos;
  // `boundary` is always the first byte of a character. Any byte below 0x80
  // ends a character (it is a single-byte character or a trail byte), so the
  // byte after it starts one; between such a place and a candidate only lead
  // and trail pairs of high bytes remain, and their count's parity tells
  // whether the candidate starts a character. Each byte is looked at once.
  std::size_t boundary = from;
  std::size_t pos = from;
  while (true) {
    const std::size_t cand = NextMatch(text, sought, pos, fold_case);
    if (cand == std::string_view::npos) return cand;
    std::size_t q = cand;
    while (q > boundary && IsLeadByte(ByteAt(text, q - 1))) --q;
    if ((cand - q) % 2 == 0) {
      // A lead byte with nothing after it ends the scan.
      if (cand + 1 == n && IsLeadByte(ByteAt(text, cand))) return std::string_view::npos;
      return cand;
    }
    // The candidate is the trail byte of the character at cand - 1.
    boundary = cand + 1;
    pos = cand + 1;
  }
}

void ReserveLarge(std::string& s, std::size_t n) {
  s.reserve(n);
#ifdef __linux__
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  if (n >= 4 * kHugePage) {
    const auto start = reinterpret_cast<std::uintptr_t>(s.data());
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + n) & ~(kHugePage - 1);
    // Only a hint: a kernel without transparent huge pages refuses it.
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
#endif
}

}  // namespace text_internal

using text_internal::ReserveLarge;

namespace {

// Appends `piece`, growing a full buffer by doubling into a fresh one that is
// reserved through ReserveLarge.
void AppendPiece(std::string& out, std::string_view piece) {
  if (out.capacity() - out.size() < piece.size()) {
    std::string bigger;
    ReserveLarge(bigger, std::max(2 * out.capacity(), out.size() + piece.size()));
    bigger.append(out);
    out.swap(bigger);
  }
  out.append(piece);
}

}  // namespace
using text_internal::ScanFind;

namespace {

void PrintEscaped(std::ostream& os, std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  os << '"';
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      os << ch;
    } else if (c == '\\' || c == '"') {
      os << '\\' << ch;
    } else {
      os << "\\x" << kHex[c >> 4] << kHex[c & 15];
    }
  }
  os << '"';
}

[[nodiscard]] std::size_t StartOffset(std::int64_t start) {
  return start > 1 ? static_cast<std::size_t>(start - 1) : 0;
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const Text& text) {
  PrintEscaped(os, text.view());
  return os;
}

std::ostream& operator<<(std::ostream& os, const Bytes& bytes) {
  PrintEscaped(os, bytes.view());
  return os;
}

// ---- Measuring and cutting ----

Text Left(std::string_view text, std::int64_t n) {
  if (n <= 0) return {};
  return text.substr(0, static_cast<std::size_t>(
                            std::min<std::int64_t>(n, static_cast<std::int64_t>(text.size()))));
}

Text Right(std::string_view text, std::int64_t n) {
  if (n <= 0) return {};
  const auto k = static_cast<std::size_t>(
      std::min<std::int64_t>(n, static_cast<std::int64_t>(text.size())));
  return text.substr(text.size() - k);
}

Text Middle(std::string_view text, std::int64_t start, std::int64_t n) {
  const auto length = static_cast<std::int64_t>(text.size());
  if (start < 1 || start > length || n <= 0) return {};
  const std::int64_t k = std::min(n, length - start + 1);
  return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(k));
}

Bytes LeftBytes(std::string_view bytes, std::int64_t n) {
  if (n < 0) return {};
  const auto k = static_cast<std::size_t>(
      std::min<std::int64_t>(n, static_cast<std::int64_t>(bytes.size())));
  return Bytes(bytes.substr(0, k));
}

// ---- Finding and replacing ----

std::int64_t Find(std::string_view text, std::string_view sought, std::int64_t start,
                  bool ignore_case) {
  const std::size_t offset = StartOffset(start);
  if (offset >= text.size()) return -1;
  if (sought.empty()) return 1;
  const std::size_t hit = ScanFind(text, sought, offset, ignore_case);
  return hit == std::string_view::npos ? -1 : static_cast<std::int64_t>(hit) + 1;
}

Text Replace(std::string_view text, std::string_view sought, std::string_view replacement,
             std::int64_t start, std::int64_t count, bool exact_case) {
  const std::size_t offset = StartOffset(start);
  if (text.empty() || sought.empty() || offset >= text.size() || count == 0) return text;
  std::string out;
  ReserveLarge(out, text.size());
  out.append(text.substr(0, offset));
  std::size_t pos = offset;
  std::int64_t done = 0;
  while (count < 0 || done < count) {
    const std::size_t hit = ScanFind(text, sought, pos, !exact_case);
    if (hit == std::string_view::npos) break;
    AppendPiece(out, text.substr(pos, hit - pos));
    AppendPiece(out, replacement);
    pos = hit + sought.size();
    ++done;
  }
  AppendPiece(out, text.substr(pos));
  return Text(std::move(out));
}

Bytes ReplaceBytes(std::string_view bytes, std::string_view sought, std::string_view replacement) {
  if (bytes.empty() || sought.empty()) return Bytes(bytes);
  std::string out;
  ReserveLarge(out, bytes.size());
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = bytes.find(sought, pos);
    if (hit == std::string_view::npos) break;
    AppendPiece(out, bytes.substr(pos, hit - pos));
    AppendPiece(out, replacement);
    pos = hit + sought.size();
  }
  AppendPiece(out, bytes.substr(pos));
  return Bytes(std::move(out));
}

// ---- Blanks ----

Text Trim(std::string_view text) {
  const std::size_t n = text.size();
  const std::size_t begin = LeadingBlanksEnd(text);
  if (begin == n) return {};
  // Only the tail made of spaces and A1 bytes can hold the trailing run; walk
  // it character-wise from the nearest place known to start a character
  // (after a byte below 0x80, or the end of the leading run).
  std::size_t r = n;
  while (r > begin && (ByteAt(text, r - 1) == ' ' || ByteAt(text, r - 1) == kFullWidthSpaceByte)) {
    --r;
  }
  std::size_t i = r;
  while (i > begin && IsLeadByte(ByteAt(text, i - 1))) --i;
  std::size_t end = i;  // start of the current run of blanks
  while (i < n) {
    const unsigned char c = ByteAt(text, i);
    if (c == ' ') {
      ++i;
    } else if (c == kFullWidthSpaceByte && i + 1 < n && ByteAt(text, i + 1) == kFullWidthSpaceByte) {
      i += 2;
    } else {
      i += (IsLeadByte(c) && i + 1 < n) ? 2 : 1;
      end = i;
    }
  }
  return text.substr(begin, end - begin);
}

Text RemoveBlanks(std::string_view text) {
  const std::size_t n = text.size();
  std::string out;
  ReserveLarge(out, n);
  std::size_t i = 0;
  std::size_t piece = 0;  // start of the current run of kept characters
  while (i < n) {
    const unsigned char c = ByteAt(text, i);
    std::size_t blank = 0;
    if (c == ' ') {
      blank = 1;
    } else if (c == kFullWidthSpaceByte && i + 1 < n && ByteAt(text, i + 1) == kFullWidthSpaceByte) {
      blank = 2;
    }
    if (blank != 0) {
      out.append(text.substr(piece, i - piece));
      i += blank;
      piece = i;
    } else {
      i += (IsLeadByte(c) && i + 1 < n) ? 2 : 1;
    }
  }
  out.append(text.substr(piece));
  return Text(std::move(out));
}

// ---- Splitting ----

TextArray Split(std::string_view text, std::string_view separator) {
  TextArray parts;
  if (text.empty()) return parts;
  if (separator.empty()) {
    parts.emplace_back(text);
    return parts;
  }
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = ScanFind(text, separator, pos, false);
    if (hit == std::string_view::npos) break;
    parts.emplace_back(text.substr(pos, hit - pos));
    pos = hit + separator.size();
  }
  if (pos < text.size()) parts.emplace_back(text.substr(pos));
  return parts;
}

// ---- Conversions and formatting ----

Bytes TextToBytes(std::string_view text) { return Bytes(text); }

Text BytesToText(std::string_view bytes) { return Text(bytes); }

Bytes BlankBytes(std::int64_t n) {
  if (n <= 0) return {};
  return Bytes(std::string(static_cast<std::size_t>(n), '\0'));
}

Text Repeat(std::int64_t n, std::string_view text) {
  if (n <= 0 || text.empty()) return {};
  std::string out;
  out.reserve(static_cast<std::size_t>(n) * text.size());
  for (std::int64_t i = 0; i < n; ++i) out.append(text);
  return Text(std::move(out));
}

Text IntegerToText(std::int64_t value) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string_view(buf, static_cast<std::size_t>(result.ptr - buf));
}

Text NumberToText(double value) {
  char buf[64];
  const int len = std::snprintf(buf, sizeof buf, "%.13g", value);
  if (len <= 0) return {};
  return std::string_view(buf, std::min(static_cast<std::size_t>(len), sizeof buf - 1));
}

Text HexText(std::int32_t value) {
  char buf[16];
  const int len = std::snprintf(buf, sizeof buf, "%X", static_cast<std::uint32_t>(value));
  return std::string_view(buf, static_cast<std::size_t>(len));
}

std::int64_t TruncateToInteger(double value) {
  // Out-of-range values and NaN have no integer; they saturate (NaN gives 0)
  // instead of being undefined.
  if (std::isnan(value)) return 0;
  constexpr double kTwo63 = 9223372036854775808.0;
  if (value >= kTwo63) return std::numeric_limits<std::int64_t>::max();
  if (value < -kTwo63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(value);
}

}  // namespace tavrel
