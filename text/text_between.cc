// text/text_between.cc
#include "text/text_between.h"

#include <string>

#include "text/text_internal.h"

namespace tavrel {

Text TextBetween(std::string_view source, std::string_view begin_marker,
                 std::string_view end_marker, std::int32_t start_position, bool fold_case) {
  const std::size_t offset = start_position > 1 ? static_cast<std::size_t>(start_position - 1) : 0;
  if (source.empty() || offset >= source.size()) return {};
  const Text begin = Replace(begin_marker, kQuotePlaceholder, "\"", 1, -1, true);
  const Text end = Replace(end_marker, kQuotePlaceholder, "\"", 1, -1, true);
  if (end.empty()) return {};

  std::size_t piece_start = 0;
  if (!begin.empty()) {
    const std::size_t at = text_internal::ScanFind(source, begin, offset, fold_case);
    if (at == std::string_view::npos) return {};
    piece_start = at + begin.size();
  }
  if (piece_start >= source.size()) return {};
  const std::size_t piece_end = text_internal::ScanFind(source, end, piece_start, fold_case);
  if (piece_end == std::string_view::npos) return {};
  return source.substr(piece_start, piece_end - piece_start);
}

}  // namespace tavrel
