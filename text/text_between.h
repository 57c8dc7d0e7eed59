// text/text_between.h
//
// Cuts the piece of a text between a begin marker and an end marker.
//
//   TextBetween("{\"url\":\"x\",\"sign\":", "{#引号url#引号:#引号", "#引号,#引号sign#引号:")
//       == "x"
//
// Inputs are code-page-936 bytes. In both markers the placeholder "#引号"
// stands for one double quote; the source is never rewritten.
#ifndef TAVREL_TEXT_TEXT_BETWEEN_H_
#define TAVREL_TEXT_TEXT_BETWEEN_H_

#include <cstdint>
#include <string_view>

#include "text/text.h"

namespace tavrel {

// The placeholder "#引号" as code-page-936 bytes ("#" D2 FD BA C5). A literal
// written in a UTF-8 source file has other bytes: build markers with this.
inline constexpr std::string_view kQuotePlaceholder = "#\xD2\xFD\xBA\xC5";

// The bytes after the first occurrence of `begin_marker` (searched from the
// 1-based `start_position`; any value below 2 starts at the first byte) up to
// the first occurrence of `end_marker` after it. Empty when either marker is
// missing, when the source is empty or the start is past its end. Searches
// step over double-byte characters; `fold_case` folds ASCII letters only.
[[nodiscard]] Text TextBetween(std::string_view source, std::string_view begin_marker,
                               std::string_view end_marker, std::int32_t start_position = 0,
                               bool fold_case = false);

}  // namespace tavrel

#endif  // TAVREL_TEXT_TEXT_BETWEEN_H_
