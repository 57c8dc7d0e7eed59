// net/regex_object.cc
//
// The expression runs on PCRE2's 16-bit library over the subject in UTF-16,
// without UTF mode: like a JavaScript expression without the "u" flag it
// walks code units, so "." takes one code unit and a lone surrogate is just
// another unit (no validity check can fail on the subject).
//
// Options toward the JavaScript dialect:
//   PCRE2_ALT_BSUX            \uHHHH and \xHH; \U is a literal U
//   PCRE2_MATCH_UNSET_BACKREF a back reference to an unset group matches ""
//   PCRE2_ALLOW_EMPTY_CLASS   [] matches nothing, [^] any unit
//   PCRE2_DOLLAR_ENDONLY      without Multiline "$" only at the very end, not
//                             before a final line feed (ignored with Multiline)
//   no PCRE2_UCP              \w, \d, \s and \b stay ASCII-only
//   PCRE2_NEWLINE_ANYCRLF     "." matches neither \r nor \n, and with
//                             Multiline "^" and "$" stop at both
// JavaScript also counts U+2028 and U+2029 as line breaks; here "." matches
// them, but the subject comes from code page 936, which has neither
// character. Case folding with IgnoreCase covers the ASCII letters only.
//
// Matches and groups are kept as UTF-16 offsets; a position asked for is the
// true byte offset of the match or group in the code-page-936 subject.
#include "net/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "text/code_page.h"

namespace tavrel {
namespace {

struct CodeFree {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
using CodePtr = std::unique_ptr<pcre2_code, CodeFree>;
using MatchDataPtr = std::unique_ptr<pcre2_match_data, MatchDataFree>;
using CompileContextPtr = std::unique_ptr<pcre2_compile_context, CompileContextFree>;
struct MatchContextFree {
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
using MatchContextPtr = std::unique_ptr<pcre2_match_context, MatchContextFree>;

// "#引号" in code page 936.
constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";
constexpr std::size_t kUnset = std::numeric_limits<std::size_t>::max();

// A bound on the work of one Create. PCRE2's match limit does not count the
// steps of a repeated single character, so "a*a*a*b|." over a thousand "a"
// still runs for minutes within it. Instead every pattern item that the
// matcher tries calls CountStep (automatic callouts), and one Create may take
// about kWorkBudget / (subject length + 1) such steps over all its searches:
// between two steps the matcher scans the subject at most once, so the whole
// run stays within about kWorkBudget unit comparisons (a second or two). A
// run that uses up its steps fails like one that hits the match limit.
constexpr std::uint64_t kWorkBudget = 2'500'000'000;
constexpr std::uint64_t kMinSteps = 1'000'000;
constexpr std::uint64_t kMaxSteps = 50'000'000;

int CountStep(pcre2_callout_block* /*block*/, void* steps_left) {
  auto* left = static_cast<std::uint64_t*>(steps_left);
  if (*left == 0) return PCRE2_ERROR_MATCHLIMIT;
  --*left;
  return 0;
}

// A span of UTF-16 code units; begin == kUnset for a group that took no part.
struct Span {
  std::size_t begin = kUnset;
  std::size_t end = kUnset;
  [[nodiscard]] bool set() const { return begin != kUnset; }
};

std::int32_t ClampToInt32(std::size_t n) {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(n, static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())));
}

}  // namespace

struct RegexObject::State {
  Text pattern;              // as compiled, after the placeholder step
  Text subject;              // code-page-936 bytes as given
  std::u16string subject16;  // the subject the expression ran over
  bool valid = false;        // compiled and ran
  bool ignore_case = true;
  bool all_matches = true;
  std::size_t group_count = 0;  // capturing groups of the pattern
  // Per match: element 0 is the whole match, then one per group.
  std::vector<std::vector<Span>> matches;

  // Group `group` (0: the whole match) of 1-based match `match_index`.
  Text Read(std::int32_t match_index, std::int32_t group, std::int32_t* position) const;
};

namespace {

// Byte offset in the code-page-936 `subject` of UTF-16 unit `unit` of its
// conversion. Walks the subject character by character (a byte of 0x80 or
// above takes the byte after it) and converts each character alone, which
// gives the same units as converting the whole text: a character never spans
// two of these steps, and a bad byte pair converts the same on its own.
std::size_t ByteOffsetOfUnit(std::string_view subject, std::size_t unit) {
  std::size_t units = 0;
  std::size_t i = 0;
  while (i < subject.size() && units < unit) {
    const auto lead = static_cast<unsigned char>(subject[i]);
    const std::size_t len = (lead >= 0x80 && i + 1 < subject.size()) ? 2 : 1;
    const std::size_t char_units = lead < 0x80 ? 1 : GbkToUtf16(subject.substr(i, len)).size();
    if (units + char_units > unit) {
      // The unit lies inside this step (a bad lead byte and the byte after
      // it came back as two units): point at its byte within the step.
      return i + std::min(unit - units, len - 1);
    }
    units += char_units;
    i += len;
  }
  return i;
}

// Before the first Create nothing has matched: the subject is empty.
Text ReadNothing(std::int32_t* position) {
  if (position) *position = -2;
  return {};
}

}  // namespace

RegexObject::RegexObject() = default;
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(const RegexObject& other) = default;
RegexObject& RegexObject::operator=(const RegexObject& other) = default;

bool RegexObject::Create(std::string_view pattern, std::string_view subject, bool case_sensitive,
                         bool multiline, bool all_matches, bool quote_placeholder) {
  auto state = std::make_shared<State>();
  state->ignore_case = !case_sensitive;
  state->all_matches = all_matches;
  state->pattern =
      quote_placeholder ? Replace(pattern, kQuotePlaceholder, "\"", 1, -1, true) : Text(pattern);
  state->subject = Text(subject);
  state->subject16 = GbkToUtf16(state->subject);
  state_ = state;  // a copy made earlier keeps its own state

  CompileContextPtr context(pcre2_compile_context_create(nullptr));
  if (!context) return false;
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANYCRLF);

  std::uint32_t options =
      PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_DOLLAR_ENDONLY;
  if (state->ignore_case) options |= PCRE2_CASELESS;
  if (multiline) options |= PCRE2_MULTILINE;
  options |= PCRE2_AUTO_CALLOUT;  // the steps that CountStep counts

  const std::u16string pattern16 = GbkToUtf16(state->pattern);
  int error_code = 0;
  PCRE2_SIZE error_offset = 0;
  CodePtr code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern16.data()), pattern16.size(),
                             options, &error_code, &error_offset, context.get()));
  if (!code) return false;

  std::uint32_t capture_count = 0;
  pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &capture_count);
  state->group_count = capture_count;

  MatchDataPtr match_data(pcre2_match_data_create_from_pattern(code.get(), nullptr));
  if (!match_data) return false;

  const auto* units = reinterpret_cast<PCRE2_SPTR>(state->subject16.data());
  const std::size_t length = state->subject16.size();
  MatchContextPtr match_context(pcre2_match_context_create(nullptr));
  if (!match_context) return false;
  std::uint64_t steps_left =
      std::clamp<std::uint64_t>(kWorkBudget / (length + 1), kMinSteps, kMaxSteps);
  pcre2_set_callout(match_context.get(), CountStep, &steps_left);
  std::size_t start = 0;
  while (start <= length) {
    const int rc =
        pcre2_match(code.get(), units, length, start, 0, match_data.get(), match_context.get());
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc < 0) {
      // The run failed (a match limit or the work bound, for one): no match
      // collection.
      state->matches.clear();
      return false;
    }
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match_data.get());
    std::vector<Span> spans(capture_count + 1);
    // rc is 0 only when the vector is too small, which it never is here.
    for (std::size_t g = 0; g <= capture_count; ++g) {
      if (ovector[2 * g] != PCRE2_UNSET) spans[g] = {ovector[2 * g], ovector[2 * g + 1]};
    }
    const Span whole = spans[0];
    state->matches.push_back(std::move(spans));
    if (!all_matches) break;
    // After an empty match the next search starts one code unit further on,
    // as in JavaScript.
    start = whole.end > whole.begin ? whole.end : whole.begin + 1;
  }
  state->valid = true;
  return true;
}

Text RegexObject::PatternText() const { return state_ ? state_->pattern : Text(); }

Text RegexObject::ReplaceMatches(std::string_view replacement) const {
  if (!state_ || !state_->valid) return {};
  const State& s = *state_;
  const std::u16string& subject = s.subject16;
  const std::u16string repl = GbkToUtf16(replacement);
  const std::size_t groups = s.group_count;

  auto digit = [&](std::size_t i) -> int {
    return (i < repl.size() && repl[i] >= u'0' && repl[i] <= u'9') ? repl[i] - u'0' : -1;
  };

  std::u16string out;
  std::size_t copied = 0;  // subject units written so far
  for (const std::vector<Span>& m : s.matches) {
    const Span whole = m[0];
    const std::size_t match_end = std::max(whole.begin, whole.end);
    if (whole.begin > copied) out.append(subject, copied, whole.begin - copied);
    auto append_span = [&](const Span& span) {
      if (span.set() && span.end > span.begin)
        out.append(subject, span.begin, span.end - span.begin);
    };
    for (std::size_t i = 0; i < repl.size(); ++i) {
      if (repl[i] != u'$' || i + 1 >= repl.size()) {
        out.push_back(repl[i]);
        continue;
      }
      const char16_t next = repl[i + 1];
      if (next == u'$') {
        out.push_back(u'$');
        ++i;
      } else if (next == u'&') {
        append_span(whole);
        ++i;
      } else if (next == u'`') {
        out.append(subject, 0, whole.begin);
        ++i;
      } else if (next == u'\'') {
        if (match_end < subject.size()) out.append(subject, match_end, std::u16string::npos);
        ++i;
      } else if (const int d1 = digit(i + 1); d1 >= 0) {
        // "$nn" names group nn when it exists, else "$n" names group n with
        // the second digit literal; "$0" and a missing group stay literal.
        const int d2 = digit(i + 2);
        const std::size_t two = d2 >= 0 ? static_cast<std::size_t>(d1 * 10 + d2) : 0;
        if (two >= 1 && two <= groups) {
          append_span(m[two]);
          i += 2;
        } else if (d1 >= 1 && static_cast<std::size_t>(d1) <= groups) {
          append_span(m[static_cast<std::size_t>(d1)]);
          i += 1;
        } else {
          out.push_back(u'$');
        }
      } else {
        out.push_back(u'$');
      }
    }
    copied = std::max(copied, match_end);
  }
  if (copied < subject.size()) out.append(subject, copied, std::u16string::npos);
  return Utf16ToGbk(out);
}

std::int32_t RegexObject::MatchCount() const {
  return state_ ? ClampToInt32(state_->matches.size()) : 0;
}

Text RegexObject::MatchText(std::int32_t match_index, std::int32_t* position) const {
  return state_ ? state_->Read(match_index, 0, position) : ReadNothing(position);
}

Text RegexObject::SubMatchText(std::int32_t match_index, std::int32_t sub_match_index,
                               std::int32_t* position) const {
  // Index 0 would be the whole match; sub-matches count from 1.
  if (!state_) return ReadNothing(position);
  return state_->Read(match_index, sub_match_index >= 1 ? sub_match_index : -1, position);
}

Text RegexObject::State::Read(std::int32_t match_index, std::int32_t group,
                              std::int32_t* position) const {
  const bool in_range = match_index >= 1 &&
                        static_cast<std::size_t>(match_index) <= matches.size() && group >= 0 &&
                        static_cast<std::size_t>(group) <= group_count;
  if (!in_range) {
    // Out-of-range indexes read as the empty text found at the first byte:
    // 0 for a non-empty subject, -2 for an empty one.
    if (position) {
      const std::int64_t found = Find(subject, "", 1);
      *position = found > 0 ? static_cast<std::int32_t>(found - 1) : -2;
    }
    return {};
  }
  const Span span =
      matches[static_cast<std::size_t>(match_index) - 1][static_cast<std::size_t>(group)];
  if (!span.set()) {
    // A group that took no part in the match has no place in the subject.
    if (position) *position = -2;
    return {};
  }
  if (position) *position = ClampToInt32(ByteOffsetOfUnit(subject, span.begin));
  if (span.end <= span.begin) return {};
  return Utf16ToGbk(std::u16string_view(subject16).substr(span.begin, span.end - span.begin));
}

std::int32_t RegexObject::SubMatchCount() const {
  if (!state_ || state_->matches.empty()) return 0;
  return ClampToInt32(state_->group_count);
}

}  // namespace tavrel
