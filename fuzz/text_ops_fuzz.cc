// fuzz/text_ops_fuzz.cc
//
// The text operations on fuzzed text and operands, each compared with a
// one-character-at-a-time reference and checked for its own invariants:
// Find gives -1 or the start of a character where the sought text occurs;
// Split joined again gives the text back; Replace with count 0 changes
// nothing; Trim leaves no blank at either end; the cuts follow their length
// rules.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "text/text.h"

namespace tavrel::fuzz {
namespace {

void CheckFind(std::string_view text, std::string_view sought, std::int64_t start, bool fold) {
  const std::int64_t got = Find(text, sought, start, fold);
  FUZZ_CHECK(got == RefFind(text, sought, start, fold));
  if (got == -1) return;
  FUZZ_CHECK(got >= 1 && static_cast<std::size_t>(got) <= text.size());
  if (sought.empty()) {
    FUZZ_CHECK(got == 1);
    return;
  }
  const auto at = static_cast<std::size_t>(got - 1);
  // The sought text really is there, and at the start of a character as the
  // scan from the start offset sees them.
  FUZZ_CHECK(EqualAt(text, at, sought, fold));
  const std::vector<std::size_t> starts = CharStarts(text, StartOffset(start));
  FUZZ_CHECK(std::binary_search(starts.begin(), starts.end(), at));
}

void CheckReplace(std::string_view text, std::string_view sought, std::string_view replacement,
                  std::int64_t start, std::int64_t count, bool exact) {
  const Text got = Replace(text, sought, replacement, start, count, exact);
  FUZZ_CHECK(got == RefReplace(text, sought, replacement, start, count, exact));
  FUZZ_CHECK(Replace(text, sought, replacement, start, 0, exact) == text);
  // Replacing an occurrence by itself changes nothing.
  FUZZ_CHECK(Replace(text, sought, sought, start, count, true) == text);
}

void CheckSplit(std::string_view text, std::string_view separator) {
  const TextArray parts = Split(text, separator);
  if (text.empty()) {
    FUZZ_CHECK(parts.empty());
    return;
  }
  if (separator.empty()) {
    FUZZ_CHECK(parts.size() == 1 && parts[0] == text);
    return;
  }
  // The reference: cut at each separator found by the character-wise scan.
  std::vector<std::string> want;
  std::size_t pos = 0;
  for (std::size_t hit; (hit = RefScan(text, separator, pos, false)) != kNone;) {
    want.emplace_back(text.substr(pos, hit - pos));
    pos = hit + separator.size();
  }
  if (pos < text.size()) want.emplace_back(text.substr(pos));
  FUZZ_CHECK(parts.size() == want.size());
  for (std::size_t i = 0; i < parts.size(); ++i) FUZZ_CHECK(parts[i] == want[i]);

  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined += separator;
    joined += parts[i].view();
  }
  // Only a separator at the very end is lost.
  FUZZ_CHECK(joined == text || joined + std::string(separator) == text);
}

void CheckBlanks(std::string_view text) {
  // Trim: the leading run of blank characters and the trailing one go.
  std::size_t begin = 0;
  while (begin < text.size() && BlankLengthAt(text, begin) != 0) begin += BlankLengthAt(text, begin);
  std::size_t end = begin;
  for (std::size_t i = begin; i < text.size(); i += CharLength(text, i)) {
    if (BlankLengthAt(text, i) == 0) end = i + CharLength(text, i);
  }
  const Text trimmed = Trim(text);
  FUZZ_CHECK(trimmed == text.substr(begin, end - begin));
  const std::vector<std::size_t> starts = CharStarts(trimmed);
  if (!starts.empty()) {
    FUZZ_CHECK(BlankLengthAt(trimmed, 0) == 0);
    FUZZ_CHECK(BlankLengthAt(trimmed, starts.back()) == 0);
  }
  FUZZ_CHECK(Trim(trimmed) == trimmed.view());

  // RemoveBlanks: every blank character goes, every other one stays.
  std::string kept;
  for (std::size_t i : CharStarts(text)) {
    if (BlankLengthAt(text, i) == 0) kept.append(text.substr(i, CharLength(text, i)));
  }
  const Text removed = RemoveBlanks(text);
  FUZZ_CHECK(removed == kept);
  FUZZ_CHECK(!HasBlankCharacter(removed));
}

void CheckCuts(std::string_view text, std::int64_t start, std::int64_t n) {
  const auto length = static_cast<std::int64_t>(text.size());
  const std::int64_t k = n <= 0 ? 0 : std::min(n, length);
  FUZZ_CHECK(Left(text, n) == text.substr(0, static_cast<std::size_t>(k)));
  FUZZ_CHECK(Right(text, n) == text.substr(static_cast<std::size_t>(length - k)));
  const Text middle = Middle(text, start, n);
  if (start < 1 || start > length || n <= 0) {
    FUZZ_CHECK(middle.empty());
  } else {
    const std::int64_t m = std::min(n, length - start + 1);
    FUZZ_CHECK(middle == text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(m)));
  }
  const Bytes left_bytes = LeftBytes(text, n);
  FUZZ_CHECK(n < 0 ? left_bytes.empty() : left_bytes.view() == text.substr(0, static_cast<std::size_t>(std::min(n, length))));
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavrel::fuzz;
  FuzzedDataProvider in(data, size);
  const bool fold = in.ConsumeBool();
  const bool exact = in.ConsumeBool();
  const auto piece_from = in.ConsumeIntegral<std::uint16_t>();
  const auto piece_length = in.ConsumeIntegralInRange<std::size_t>(0, 6);
  const std::int64_t start = in.ConsumeIntegralInRange<std::int64_t>(-2, 64);
  const std::int64_t count = in.ConsumeIntegralInRange<std::int64_t>(-1, 4);
  const std::int64_t number = in.ConsumeIntegral<std::int64_t>();
  const std::string raw = std::string(CutAtZero(in.ConsumeRandomLengthString(8)));
  const std::string replacement = std::string(CutAtZero(in.ConsumeRandomLengthString(8)));
  const std::string text = std::string(CutAtZero(in.ConsumeRemainingBytesAsString()));
  // A sought text taken from the text itself, so that matches happen, also
  // ones that begin on the second byte of a character.
  const std::string piece =
      text.empty() ? raw : text.substr(piece_from % text.size(), piece_length);

  for (const std::string& sought : {piece, raw}) {
    CheckFind(text, sought, start, fold);
    CheckReplace(text, sought, replacement, start, count, exact);
    CheckSplit(text, sought);
  }
  CheckBlanks(text);
  CheckCuts(text, start, number);
  CheckCuts(text, number, start);
  CheckCuts(text, start, static_cast<std::int64_t>(piece_length));
  return 0;
}
