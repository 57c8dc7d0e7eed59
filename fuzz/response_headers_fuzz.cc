// fuzz/response_headers_fuzz.cc
//
// The collector of response header blocks on fuzzed header lines, delivered
// one line at a time as libcurl's header callback does. The kept block is
// empty or one whole block: a status line that starts with "HTTP/", lines
// ended by CR LF, then an empty line; it is never a 1xx block, and with
// redirects not followed it is always the final one.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "net/curl_transfer.h"

namespace tavrel::fuzz {
namespace {

bool StartsWithHttp(std::string_view s) {
  if (s.size() < 5) return false;
  for (std::size_t i = 0; i < 4; ++i) {
    if (Fold(At(s, i)) != static_cast<unsigned char>("http"[i])) return false;
  }
  return s[4] == '/';
}

void CheckBlock(const net_internal::HeaderCollector& collector, bool follows_redirects) {
  const std::string& block = collector.block();
  FUZZ_CHECK(collector.status() >= 0 && collector.status() <= 999);
  if (block.empty()) {
    FUZZ_CHECK(collector.status() == 0 || collector.any_response());
    return;
  }
  FUZZ_CHECK(collector.any_response());
  FUZZ_CHECK(StartsWithHttp(block));
  FUZZ_CHECK(block.size() >= 4 && block.ends_with("\r\n\r\n"));
  FUZZ_CHECK(!(collector.status() >= 100 && collector.status() < 200));
  if (!follows_redirects) FUZZ_CHECK(collector.final_block());
  // Lines end in CR LF; the only empty line is the last one.
  std::size_t pos = 0;
  std::size_t lines = 0;
  while (pos < block.size()) {
    const std::size_t end = block.find("\r\n", pos);
    FUZZ_CHECK(end != std::string::npos);
    const std::string_view line(block.data() + pos, end - pos);
    FUZZ_CHECK(line.find('\n') == std::string_view::npos);
    if (line.empty()) FUZZ_CHECK(end + 2 == block.size());
    pos = end + 2;
    ++lines;
  }
  FUZZ_CHECK(lines >= 2);
}

}  // namespace
}  // namespace tavrel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavrel;
  using namespace tavrel::fuzz;
  FuzzedDataProvider in(data, size);
  const bool follows_redirects = in.ConsumeBool();
  const bool bare_line_feeds = in.ConsumeBool();
  const std::string raw = in.ConsumeRemainingBytesAsString();

  // The header callback gets one line at a time, each with its line end.
  net_internal::HeaderCollector collector(follows_redirects);
  std::size_t pos = 0;
  while (pos < raw.size()) {
    std::size_t end = raw.find('\n', pos);
    end = end == std::string::npos ? raw.size() : end + 1;
    std::string line = raw.substr(pos, end - pos);
    if (!bare_line_feeds && line.ends_with('\n') && !line.ends_with("\r\n")) {
      line.insert(line.size() - 1, "\r");
    }
    const std::size_t taken =
        net_internal::HeaderCollector::Callback(line.data(), 1, line.size(), &collector);
    FUZZ_CHECK(taken == line.size());
    CheckBlock(collector, follows_redirects);
    pos = end;
  }
  return 0;
}
