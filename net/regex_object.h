// net/regex_object.h
//
// A regular expression run over one subject at once, in the JavaScript-like
// dialect (PCRE2, 16-bit, with JavaScript-compatible options; \w, \d, \s are
// ASCII-only; "." does not match a line break). Matching works on the subject
// converted to UTF-16; positions come back as 0-based byte offsets into the
// code-page-936 subject.
//
//   RegexObject re;
//   if (re.Create("<meta.+?charset=[^\\w]?([-\\w]+)", page)) charset = re.SubMatchText(1, 1);
#ifndef TAVREL_NET_REGEX_OBJECT_H_
#define TAVREL_NET_REGEX_OBJECT_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "text/text.h"

namespace tavrel {

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject& other);
  RegexObject& operator=(const RegexObject& other);

  // Compiles the pattern (with "#引号" turned into '"' when
  // `quote_placeholder`) and runs it over `subject`, keeping the matches.
  // False when the pattern is not valid, or when the run backtracks past its
  // bounded amount of work (about a second); true otherwise, matches or not.
  bool Create(std::string_view pattern, std::string_view subject, bool case_sensitive = false,
              bool multiline = true, bool all_matches = true, bool quote_placeholder = false);

  // The pattern as compiled; empty before Create.
  [[nodiscard]] Text PatternText() const;
  // The subject with the first match (every match when all_matches) replaced;
  // "$&", "$1".."$99", "$`", "$'" and "$$" are substituted.
  [[nodiscard]] Text ReplaceMatches(std::string_view replacement = {}) const;
  [[nodiscard]] std::int32_t MatchCount() const;
  // 1-based match index; empty when out of range. `position`, when given,
  // receives the match's 0-based byte offset (-2 when not found).
  [[nodiscard]] Text MatchText(std::int32_t match_index, std::int32_t* position = nullptr) const;
  [[nodiscard]] Text SubMatchText(std::int32_t match_index, std::int32_t sub_match_index,
                                  std::int32_t* position = nullptr) const;
  // Sub-matches of the first match; 0 when there is no match.
  [[nodiscard]] std::int32_t SubMatchCount() const;

 private:
  struct State;
  std::shared_ptr<const State> state_;
};

}  // namespace tavrel

#endif  // TAVREL_NET_REGEX_OBJECT_H_
