// fuzz/regex_object_fuzz.cc
//
// RegexObject on fuzzed patterns and subjects. Create either refuses the
// pattern, and then every read is empty, or every read is consistent: a
// count of at least 0, matches in subject order at byte offsets inside the
// subject (for an ASCII subject, the very bytes there), sub-matches at a
// place or at -2, and replacing each match by itself ("$&") gives the
// subject back. libFuzzer's time-out catches an expression that runs away.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "net/regex_object.h"
#include "text/text_between.h"

namespace tavrel::fuzz {
namespace {

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The position that reads out of range report: the empty text found at the
// first byte.
std::int32_t EmptyReadPosition(std::string_view subject) { return subject.empty() ? -2 : 0; }

void CheckNothing(const RegexObject& re, std::string_view subject) {
  FUZZ_CHECK(re.MatchCount() == 0);
  FUZZ_CHECK(re.SubMatchCount() == 0);
  std::int32_t position = 99;
  FUZZ_CHECK(re.MatchText(1, &position).empty());
  FUZZ_CHECK(position == EmptyReadPosition(subject));
  FUZZ_CHECK(re.SubMatchText(1, 1).empty());
  FUZZ_CHECK(re.ReplaceMatches("x").empty());
}

void CheckMatches(const RegexObject& re, std::string_view subject, bool all_matches,
                  std::string_view replacement) {
  const std::int32_t count = re.MatchCount();
  FUZZ_CHECK(count >= 0);
  if (!all_matches) FUZZ_CHECK(count <= 1);
  const std::int32_t groups = re.SubMatchCount();
  FUZZ_CHECK(groups >= 0);
  if (count == 0) FUZZ_CHECK(groups == 0);
  const bool ascii = IsAscii(subject);
  const auto size = static_cast<std::int32_t>(subject.size());

  for (const std::int32_t outside : {std::int32_t{0}, count + 1, std::int32_t{-1}}) {
    std::int32_t position = 99;
    FUZZ_CHECK(re.MatchText(outside, &position).empty());
    FUZZ_CHECK(position == EmptyReadPosition(subject));
  }

  // Every match is read without a position (cheap); a few of them with one.
  std::int32_t previous_end = 0;
  std::int32_t previous_start = -1;
  std::size_t matched_bytes = 0;
  for (std::int32_t i = 1; i <= count; ++i) {
    const Text text = re.MatchText(i);
    matched_bytes += text.size();
    if (i > 8 && i < count) continue;
    std::int32_t position = 99;
    FUZZ_CHECK(re.MatchText(i, &position) == text.view());
    FUZZ_CHECK(position >= 0 && position <= size);
    FUZZ_CHECK(position >= previous_start);
    if (ascii) {
      FUZZ_CHECK(subject.substr(static_cast<std::size_t>(position), text.size()) == text.view());
      // Matches do not overlap, and an empty one is never found twice.
      if (i <= 8) FUZZ_CHECK(position >= previous_end && position > previous_start);
      previous_end = position + static_cast<std::int32_t>(text.size());
    }
    previous_start = position;

    for (std::int32_t g = 0; g <= std::min(groups, 12) + 1; ++g) {
      std::int32_t group_position = 99;
      const Text group = re.SubMatchText(i, g, &group_position);
      if (g == 0 || g > groups) {
        FUZZ_CHECK(group.empty());
        FUZZ_CHECK(group_position == EmptyReadPosition(subject));
      } else if (group_position == -2) {
        FUZZ_CHECK(group.empty());
      } else {
        FUZZ_CHECK(group_position >= 0 && group_position <= size);
        if (ascii) {
          FUZZ_CHECK(subject.substr(static_cast<std::size_t>(group_position), group.size()) ==
                     group.view());
        }
      }
    }
  }

  const Text replaced = re.ReplaceMatches(replacement);
  if (ascii) {
    FUZZ_CHECK(re.ReplaceMatches("$&") == subject);
    FUZZ_CHECK(re.ReplaceMatches().size() + matched_bytes == subject.size());
    // The stored subject is not changed by a replacement.
    FUZZ_CHECK(re.ReplaceMatches(replacement) == replaced.view());
  }
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavrel;
  using namespace tavrel::fuzz;
  FuzzedDataProvider in(data, size);
  const bool case_sensitive = in.ConsumeBool();
  const bool multiline = in.ConsumeBool();
  const bool all_matches = in.ConsumeBool();
  const bool quote_placeholder = in.ConsumeBool();
  const std::string pattern = std::string(CutAtZero(in.ConsumeRandomLengthString(96)));
  const std::string replacement = std::string(CutAtZero(in.ConsumeRandomLengthString(16)));
  const std::string subject = std::string(CutAtZero(in.ConsumeRemainingBytesAsString()));

  RegexObject re;
  const bool created =
      re.Create(pattern, subject, case_sensitive, multiline, all_matches, quote_placeholder);
  const std::string compiled =
      quote_placeholder ? RefReplace(pattern, kQuotePlaceholder, "\"", 1, -1, true) : pattern;
  FUZZ_CHECK(re.PatternText() == compiled);
  if (!created) {
    CheckNothing(re, subject);
    return 0;
  }
  CheckMatches(re, subject, all_matches, replacement);

  // A copy reads the same, and keeps doing so after the original runs again.
  const RegexObject copy = re;
  const std::int32_t count = re.MatchCount();
  const Text first = re.MatchText(1);
  re.Create("x", "x");
  FUZZ_CHECK(copy.MatchCount() == count);
  FUZZ_CHECK(copy.MatchText(1) == first.view());
  return 0;
}
