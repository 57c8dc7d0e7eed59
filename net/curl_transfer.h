// net/curl_transfer.h
//
// Pieces shared by the two libcurl transports: handle owners, the collector
// of the response header blocks, the body sink, the request header list and
// the reading of a transfer's outcome. Not part of the public interface.
#ifndef TAVREL_NET_CURL_TRANSFER_H_
#define TAVREL_NET_CURL_TRANSFER_H_

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tavrel::net_internal {

struct CurlEasyFree {
  void operator()(CURL* p) const { curl_easy_cleanup(p); }
};
using CurlEasyPtr = std::unique_ptr<CURL, CurlEasyFree>;

struct CurlUrlFree {
  void operator()(CURLU* p) const { curl_url_cleanup(p); }
};
using CurlUrlPtr = std::unique_ptr<CURLU, CurlUrlFree>;

struct SlistFree {
  void operator()(curl_slist* p) const { curl_slist_free_all(p); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistFree>;

// Makes an easy handle after the process-wide initialisation (done once).
[[nodiscard]] CurlEasyPtr MakeEasyHandle();

// Parses an absolute http or https address; null for anything else (an empty
// or malformed address, another scheme, a zero byte inside). Blanks are
// escaped as %20 first.
[[nodiscard]] CurlUrlPtr ParseHttpUrl(std::string_view url);

// Appends one request header line to `list` as it must go on the wire. A line
// without a colon is not a header and is left out; "Name:" with an empty
// value is written "Name;" so that libcurl sends it instead of reading it as
// "drop my own Name header". False when libcurl cannot take the line.
bool AppendHeaderLine(SlistPtr& list, std::string_view line);
// Appends "Name:" as libcurl reads it: do not add your own Name header.
bool AppendSuppression(SlistPtr& list, std::string_view name);

// Collects the response header blocks that the header callback reports and
// keeps the last complete one. A block starts at a status line; "HTTP/1.1 100
// Continue" and the other 1xx blocks are dropped; so are the blocks of
// redirects that libcurl goes on to follow.
class HeaderCollector {
 public:
  explicit HeaderCollector(bool follows_redirects) : follows_redirects_(follows_redirects) {}

  // For CURLOPT_HEADERFUNCTION with CURLOPT_HEADERDATA = the collector.
  static size_t Callback(char* data, size_t size, size_t count, void* collector);

  // The last complete non-1xx block: the status line and the header lines,
  // each ended by CR LF (a bare LF becomes CR LF), then one more CR LF.
  // Empty when none arrived.
  [[nodiscard]] const std::string& block() const { return block_; }
  // True when that block is the answer itself, not a redirect to follow.
  [[nodiscard]] bool final_block() const { return final_; }
  // The status code of block() (0 when none).
  [[nodiscard]] int status() const { return status_; }
  // True when any status line arrived.
  [[nodiscard]] bool any_response() const { return any_response_; }

 private:
  void OnLine(std::string_view line);

  bool follows_redirects_;
  bool in_block_ = false;
  bool any_response_ = false;
  std::string current_;
  int current_status_ = 0;
  bool current_has_location_ = false;
  std::string block_;
  int status_ = 0;
  bool final_ = false;
};

// The body sink: appends into one string, reserving the announced length.
struct BodySink {
  explicit BodySink(CURL* handle) : curl(handle) {}

  CURL* curl;
  std::string body;
  bool reserved = false;

  // For CURLOPT_WRITEFUNCTION with CURLOPT_WRITEDATA = the sink.
  static size_t Callback(char* data, size_t size, size_t count, void* sink);
};

// A PUT body read by libcurl straight from the caller's memory. Uploading,
// rather than a custom verb over POST data, keeps the verb and the body
// together across redirects: a 303 goes on as a GET without the body, the
// other redirects send both again.
struct MemoryUpload {
  std::string_view data;
  std::size_t offset = 0;

  // Sets CURLOPT_UPLOAD with the read and seek callbacks and the size.
  bool Attach(CURL* curl);
  static size_t Read(char* buffer, size_t size, size_t count, void* upload);
  static int Seek(void* upload, curl_off_t offset, int origin);
};

// How far a finished transfer got.
enum class Outcome {
  kDone,         // the answer arrived whole
  kNotSent,      // resolving, connecting, TLS or sending failed
  kNoResponse,   // sent, but no usable response header block arrived
  kReadFailed,   // the answer's header block arrived, its body did not
};

[[nodiscard]] Outcome ReadOutcome(CURL* curl, CURLcode code, const HeaderCollector& headers,
                                  std::uint64_t body_size);

// Runs the transfer on `curl` like curl_easy_perform, with the time-outs of a
// request whose stages each have their own: resolving and connecting
// together within `connect_ms`, and after that the call fails once no byte
// has gone out or come in for `idle_ms` (sending and receiving). A slow but
// steady upload or download therefore goes on as long as it moves. 0 means no
// bound. A call that runs into a bound returns CURLE_OPERATION_TIMEDOUT.
[[nodiscard]] CURLcode PerformWithTimeouts(CURL* curl, std::int64_t connect_ms,
                                           std::int64_t idle_ms);

// Milliseconds for libcurl from a 32-bit count, clamped to what it takes.
[[nodiscard]] long ClampMilliseconds(std::int64_t ms);

}  // namespace tavrel::net_internal

#endif  // TAVREL_NET_CURL_TRANSFER_H_
