// net/curl_transfer.cc
#include "net/curl_transfer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

namespace tavrel::net_internal {
namespace {

// The most a body sink reserves up front on the strength of a Content-Length.
constexpr curl_off_t kMaxReserve = curl_off_t{512} << 20;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimSpaceTab(std::string_view s) {
  while (!s.empty() && IsSpaceOrTab(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpaceOrTab(s.back())) s.remove_suffix(1);
  return s;
}

// The three digits after the first blank of a status line; 0 if there are none.
int StatusOf(std::string_view status_line) {
  const std::size_t blank = status_line.find(' ');
  if (blank == std::string_view::npos) return 0;
  int code = 0;
  int digits = 0;
  for (std::size_t i = blank + 1; i < status_line.size() && digits < 3; ++i, ++digits) {
    const char c = status_line[i];
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  return digits == 3 ? code : 0;
}

}  // namespace

CurlEasyPtr MakeEasyHandle() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  return CurlEasyPtr(curl_easy_init());
}

CurlUrlPtr ParseHttpUrl(std::string_view url) {
  if (url.empty() || url.find('\0') != std::string_view::npos) return nullptr;
  CurlUrlPtr handle(curl_url());
  if (!handle) return nullptr;
  // A blank in the path or query goes out escaped, as browsers send it.
  std::string copy;
  copy.reserve(url.size());
  for (const char c : url) {
    if (c == ' ') {
      copy += "%20";
    } else {
      copy += c;
    }
  }
  if (curl_url_set(handle.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) return nullptr;
  char* scheme = nullptr;
  if (curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return nullptr;
  const std::string_view got(scheme);
  const bool http = got == "http" || got == "https";
  curl_free(scheme);
  char* host = nullptr;
  if (!http || curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) return nullptr;
  const bool has_host = *host != '\0';
  curl_free(host);
  return has_host ? std::move(handle) : nullptr;
}

bool AppendHeaderLine(SlistPtr& list, std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return true;
  std::string entry(line);
  if (TrimSpaceTab(line.substr(colon + 1)).empty()) {
    entry.resize(colon);
    entry += ';';
  }
  curl_slist* grown = curl_slist_append(list.get(), entry.c_str());
  if (grown == nullptr) return false;
  static_cast<void>(list.release());
  list.reset(grown);
  return true;
}

bool AppendSuppression(SlistPtr& list, std::string_view name) {
  std::string entry(name);
  entry += ':';
  curl_slist* grown = curl_slist_append(list.get(), entry.c_str());
  if (grown == nullptr) return false;
  static_cast<void>(list.release());
  list.reset(grown);
  return true;
}

size_t HeaderCollector::Callback(char* data, size_t size, size_t count, void* collector) {
  const size_t n = size * count;
  try {
    static_cast<HeaderCollector*>(collector)->OnLine(std::string_view(data, n));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return n;
}

void HeaderCollector::OnLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (StartsWithIgnoreCase(line, "HTTP/")) {
    in_block_ = true;
    any_response_ = true;
    current_.assign(line);
    current_ += "\r\n";
    current_status_ = StatusOf(line);
    current_has_location_ = false;
    return;
  }
  // Trailer lines after a chunked body are no part of the header block.
  if (!in_block_) return;
  if (!line.empty()) {
    if (StartsWithIgnoreCase(line, "Location:") &&
        !TrimSpaceTab(line.substr(std::string_view("Location:").size())).empty()) {
      current_has_location_ = true;
    }
    current_.append(line);
    current_ += "\r\n";
    return;
  }
  in_block_ = false;
  if (current_status_ >= 100 && current_status_ < 200) return;
  current_ += "\r\n";
  block_.swap(current_);
  current_.clear();
  status_ = current_status_;
  // libcurl follows every 3xx answer that names a Location.
  final_ = !(follows_redirects_ && status_ >= 300 && status_ < 400 && current_has_location_);
}

size_t BodySink::Callback(char* data, size_t size, size_t count, void* sink) {
  auto* self = static_cast<BodySink*>(sink);
  const size_t n = size * count;
  try {
    if (!self->reserved) {
      self->reserved = true;
      curl_off_t length = -1;
      if (self->curl != nullptr &&
          curl_easy_getinfo(self->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
          length > 0) {
        self->body.reserve(static_cast<std::size_t>(std::min(length, kMaxReserve)));
      }
    }
    self->body.append(data, n);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return n;
}

bool MemoryUpload::Attach(CURL* curl) {
  return curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_READFUNCTION, &MemoryUpload::Read) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_READDATA, this) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, &MemoryUpload::Seek) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_SEEKDATA, this) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size())) ==
             CURLE_OK;
}

size_t MemoryUpload::Read(char* buffer, size_t size, size_t count, void* upload) {
  auto* self = static_cast<MemoryUpload*>(upload);
  const size_t n = std::min(size * count, self->data.size() - self->offset);
  std::memcpy(buffer, self->data.data() + self->offset, n);
  self->offset += n;
  return n;
}

int MemoryUpload::Seek(void* upload, curl_off_t offset, int origin) {
  auto* self = static_cast<MemoryUpload*>(upload);
  curl_off_t base = 0;
  if (origin == SEEK_CUR) base = static_cast<curl_off_t>(self->offset);
  if (origin == SEEK_END) base = static_cast<curl_off_t>(self->data.size());
  const curl_off_t target = base + offset;
  if (target < 0 || target > static_cast<curl_off_t>(self->data.size())) return CURL_SEEKFUNC_FAIL;
  self->offset = static_cast<std::size_t>(target);
  return CURL_SEEKFUNC_OK;
}

Outcome ReadOutcome(CURL* curl, CURLcode code, const HeaderCollector& headers,
                    std::uint64_t body_size) {
  if (code == CURLE_OK) return headers.block().empty() ? Outcome::kNoResponse : Outcome::kDone;
  if (!headers.block().empty() && headers.final_block()) return Outcome::kReadFailed;
  if (headers.any_response()) return Outcome::kNoResponse;
  long request_size = 0;
  curl_off_t uploaded = 0;
  curl_easy_getinfo(curl, CURLINFO_REQUEST_SIZE, &request_size);
  curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &uploaded);
  const bool sent = request_size > 0 && static_cast<std::uint64_t>(uploaded) >= body_size;
  return sent ? Outcome::kNoResponse : Outcome::kNotSent;
}

namespace {

using Clock = std::chrono::steady_clock;

struct CurlMultiFree {
  void operator()(CURLM* p) const { curl_multi_cleanup(p); }
};
using CurlMultiPtr = std::unique_ptr<CURLM, CurlMultiFree>;

// When a byte last moved, as the progress callback sees the counters change.
// The body counters leave out header bytes, so those are counted as well.
struct Activity {
  CURL* curl = nullptr;
  Clock::time_point last = Clock::now();
  curl_off_t moved = 0;

  static int Callback(void* activity, curl_off_t, curl_off_t received, curl_off_t,
                      curl_off_t sent) {
    auto* self = static_cast<Activity*>(activity);
    long header_bytes = 0;
    long request_bytes = 0;
    curl_easy_getinfo(self->curl, CURLINFO_HEADER_SIZE, &header_bytes);
    curl_easy_getinfo(self->curl, CURLINFO_REQUEST_SIZE, &request_bytes);
    const curl_off_t moved = received + sent + header_bytes + request_bytes;
    if (moved != self->moved) {
      self->moved = moved;
      self->last = Clock::now();
    }
    return 0;
  }
};

}  // namespace

CURLcode PerformWithTimeouts(CURL* curl, std::int64_t connect_ms, std::int64_t idle_ms) {
  // libcurl's own time-out (CURLOPT_TIMEOUT_MS) bounds the whole transfer,
  // which would cut off a large upload on a slow line; so the transfer runs on
  // a multi handle of its own here, and this loop watches for silence.
  Activity activity{.curl = curl};
  if (curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, ClampMilliseconds(connect_ms)) !=
          CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Activity::Callback) != CURLE_OK ||
      curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &activity) != CURLE_OK) {
    return CURLE_FAILED_INIT;
  }
  const CurlMultiPtr multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), curl) != CURLM_OK) return CURLE_FAILED_INIT;

  constexpr std::int64_t kMaxWaitMs = 100;
  CURLcode result = CURLE_OPERATION_TIMEDOUT;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    int left = 0;
    bool done = false;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == curl) {
        result = message->data.result;
        done = true;
      }
    }
    if (done) break;
    std::int64_t wait_ms = kMaxWaitMs;
    if (idle_ms > 0) {
      const std::int64_t silent_ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - activity.last)
              .count();
      if (silent_ms >= idle_ms) break;  // CURLE_OPERATION_TIMEDOUT
      wait_ms = std::min(wait_ms, idle_ms - silent_ms);
    }
    if (curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(wait_ms), nullptr) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
  }
  curl_multi_remove_handle(multi.get(), curl);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, nullptr);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 1L);
  return result;
}

long ClampMilliseconds(std::int64_t ms) {
  return static_cast<long>(
      std::clamp<std::int64_t>(ms, 0, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace tavrel::net_internal
