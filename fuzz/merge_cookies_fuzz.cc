// fuzz/merge_cookies_fuzz.cc
//
// MergeCookies on fuzzed cookie lists. For lists of whole characters (every
// lead byte followed by a trail byte of 0x80 or above, so that no ";" or
// blank hides inside a character) the merged list holds no blank inside an
// item, no deleted item and no repeat; every received item is in it, and
// every other item is an old one whose name was not received. On raw bytes
// it must not fail and keeps its simple rules.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "net/merge_cookies.h"
#include "text/text.h"

namespace tavrel::fuzz {
namespace {

// Rewrites raw bytes into a cookie list of whole characters, drawing on the
// bytes that matter to the merge: ";", "=", blanks, and "deleted".
std::string WholeCharacterList(std::string_view raw) {
  static constexpr std::string_view kPieces[] = {
      ";", "=", " ", "\xA1\xA1", "deleted", "=deleted", "\xD6\xD0", "\xB0\xA1", "a", "b", "A", "1",
  };
  std::string out;
  for (const char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80) {
      out += kPieces[c % std::size(kPieces)];
    } else if (c != 0) {
      out += ch;
    }
  }
  return out;
}

std::string WithoutBlanks(std::string_view s) {
  std::string out;
  for (std::size_t i : CharStarts(s)) {
    if (BlankLengthAt(s, i) == 0) out.append(s.substr(i, CharLength(s, i)));
  }
  return out;
}

// Pieces between separators, character-wise; the rest after the last
// separator only when not empty (or always, with `keep_last`).
std::vector<std::string> Pieces(std::string_view s, std::string_view separator, bool keep_last) {
  std::vector<std::string> out;
  if (s.empty()) return out;
  std::size_t pos = 0;
  for (std::size_t hit; (hit = RefScan(s, separator, pos, false)) != kNone;) {
    out.emplace_back(s.substr(pos, hit - pos));
    pos = hit + separator.size();
  }
  if (pos < s.size() || keep_last) out.emplace_back(s.substr(pos));
  return out;
}

std::string NameOf(std::string_view item) {
  std::string_view name = item.substr(0, item.find('='));
  // Items hold no blanks here, so there is nothing to trim.
  return std::string(name);
}

bool IsDeleted(std::string_view item) { return item.ends_with("=deleted"); }

bool Contains(const std::vector<std::string>& list, std::string_view s) {
  return std::find(list.begin(), list.end(), s) != list.end();
}

void CheckWholeCharacterMerge(const std::string& cookies_in, const std::string& received_in) {
  Text cookies = cookies_in;
  Text received = received_in;
  const Text returned = MergeCookies(cookies, received);
  FUZZ_CHECK(returned == cookies.view());
  FUZZ_CHECK(received == WithoutBlanks(received_in));

  const std::vector<std::string> received_items = Pieces(received.view(), ";", false);
  const std::vector<std::string> old_items = Pieces(WithoutBlanks(cookies_in), ";", false);
  // The merged list is written with "; " between items; a last empty item
  // leaves a final "; ".
  const std::vector<std::string> merged = Pieces(cookies.view(), "; ", true);
  std::vector<std::string> received_names;
  for (const std::string& item : received_items) received_names.push_back(NameOf(item));

  for (std::size_t i = 0; i < merged.size(); ++i) {
    const std::string& item = merged[i];
    FUZZ_CHECK(!HasBlankCharacter(item));
    FUZZ_CHECK(!IsDeleted(item));
    for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(merged[j] != item);
    // Either received, or old with a name that was not received.
    FUZZ_CHECK(Contains(received_items, item) ||
               (Contains(old_items, item) && !Contains(received_names, NameOf(item))));
  }
  for (const std::string& item : received_items) {
    if (!item.empty() && !IsDeleted(item)) FUZZ_CHECK(Contains(merged, item));
  }
  // The first old item of each name that was not received is kept.
  std::vector<std::string> seen_names;
  for (const std::string& item : old_items) {
    const std::string name = NameOf(item);
    if (Contains(seen_names, name)) continue;
    seen_names.push_back(name);
    if (!item.empty() && !IsDeleted(item) && !Contains(received_names, name)) {
      FUZZ_CHECK(Contains(merged, item));
    }
  }
  // Received items come first.
  bool old_seen = false;
  for (const std::string& item : merged) {
    const bool from_received = Contains(received_items, item);
    if (!from_received) old_seen = true;
    FUZZ_CHECK(!(old_seen && from_received));
  }
}

void CheckRawMerge(const std::string& cookies_in, const std::string& received_in) {
  Text cookies = cookies_in;
  Text received = received_in;
  const Text returned = MergeCookies(cookies, received);
  FUZZ_CHECK(returned == cookies.view());
  FUZZ_CHECK(received == WithoutBlanks(CutAtZero(received_in)));
  // Each item is written once at most, with two bytes of separator.
  const std::size_t in_size = CutAtZero(cookies_in).size() + CutAtZero(received_in).size();
  FUZZ_CHECK(cookies.size() <= 3 * in_size + 4);
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavrel::fuzz;
  FuzzedDataProvider in(data, size);
  const bool whole_characters = in.ConsumeBool();
  const std::string cookies = in.ConsumeRandomLengthString(512);
  const std::string received = in.ConsumeRemainingBytesAsString();
  if (whole_characters) {
    CheckWholeCharacterMerge(WholeCharacterList(cookies), WholeCharacterList(received));
  } else {
    CheckRawMerge(cookies, received);
  }
  return 0;
}
