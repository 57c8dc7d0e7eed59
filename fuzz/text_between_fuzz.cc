// fuzz/text_between_fuzz.cc
//
// TextBetween on fuzzed sources and markers: the result is a piece of the
// source that follows the first begin marker and ends right before the first
// end marker after it, as a character-wise reference finds them; writing a
// quote of a marker as the placeholder "#引号" gives the same result.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "text/text_between.h"

namespace tavrel::fuzz {
namespace {

std::string PrepareMarker(std::string_view marker) {
  return RefReplace(marker, kQuotePlaceholder, "\"", 1, -1, true);
}

// The reference cut, from the prepared markers.
std::string RefBetween(std::string_view source, std::string_view begin, std::string_view end,
                       std::int32_t start_position, bool fold) {
  const std::size_t offset = StartOffset(start_position);
  if (source.empty() || offset >= source.size() || end.empty()) return {};
  std::size_t piece_start = 0;  // an empty begin marker is found at the first byte
  if (!begin.empty()) {
    const std::size_t at = RefScan(source, begin, offset, fold);
    if (at == kNone) return {};
    piece_start = at + begin.size();
  }
  if (piece_start >= source.size()) return {};
  const std::size_t piece_end = RefScan(source, end, piece_start, fold);
  if (piece_end == kNone) return {};
  return std::string(source.substr(piece_start, piece_end - piece_start));
}

// The marker with every quote that starts a character written as the
// placeholder.
std::string WithPlaceholders(std::string_view marker) {
  std::string out;
  for (std::size_t i : CharStarts(marker)) {
    if (marker[i] == '"') {
      out += kQuotePlaceholder;
    } else {
      out += marker.substr(i, CharLength(marker, i));
    }
  }
  return out;
}

// A marker: a piece of the source (so that it is found), or fuzzed bytes,
// with a quote or a placeholder mixed in now and then.
std::string PickMarker(FuzzedDataProvider& in, std::string_view source) {
  std::string marker;
  if (!source.empty() && in.ConsumeBool()) {
    const std::size_t from = in.ConsumeIntegralInRange<std::size_t>(0, source.size() - 1);
    marker = source.substr(from, in.ConsumeIntegralInRange<std::size_t>(0, 8));
  } else {
    marker = CutAtZero(in.ConsumeRandomLengthString(40));
  }
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 1: marker += '"'; break;
    case 2: marker += kQuotePlaceholder; break;
    default: break;
  }
  return marker;
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavrel;
  using namespace tavrel::fuzz;
  FuzzedDataProvider in(data, size);
  const bool fold = in.ConsumeBool();
  const auto start_position = in.ConsumeBool() ? in.ConsumeIntegral<std::int32_t>()
                                               : in.ConsumeIntegralInRange<std::int32_t>(-1, 40);
  // The source comes first in the rest, the markers' own bytes after it.
  const std::string source = std::string(CutAtZero(in.ConsumeRandomLengthString(4096)));
  const std::string begin_marker = PickMarker(in, source);
  const std::string end_marker = PickMarker(in, source);

  const Text got = TextBetween(source, begin_marker, end_marker, start_position, fold);
  const std::string begin = PrepareMarker(begin_marker);
  const std::string end = PrepareMarker(end_marker);
  FUZZ_CHECK(got == RefBetween(source, begin, end, start_position, fold));

  if (!got.empty()) {
    // A piece of the source, right after an occurrence of the begin marker
    // and right before one of the end marker.
    const std::size_t at = source.find(got.view());
    FUZZ_CHECK(at != std::string::npos);
    bool placed = false;
    for (std::size_t p = source.find(got.view()); p != std::string::npos && !placed;
         p = source.find(got.view(), p + 1)) {
      placed = p >= begin.size() && EqualAt(source, p - begin.size(), begin, fold) &&
               EqualAt(source, p + got.size(), end, fold);
    }
    FUZZ_CHECK(placed);
  }

  FUZZ_CHECK(TextBetween(source, WithPlaceholders(begin), WithPlaceholders(end), start_position,
                         fold) == got.view());
  return 0;
}
