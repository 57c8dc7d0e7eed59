// net/curl_request.cc
//
// The request component on libcurl. Settings collect until Send, which makes
// one easy handle, performs the request and keeps the final response. Every
// operation that cannot be done is ignored; a failed Send leaves no response
// (empty body and headers, status 0). libcurl adds no Expect, Accept-Encoding,
// User-Agent or Content-Type of its own; its "Accept: */*" goes out only when
// no Accept header was set.
#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "net/curl_transfer.h"
#include "net/request_component.h"

namespace tavrel {
namespace {

using net_internal::BodySink;
using net_internal::CurlEasyPtr;
using net_internal::CurlUrlPtr;
using net_internal::HeaderCollector;
using net_internal::Outcome;
using net_internal::SlistPtr;

constexpr std::int32_t kOptionSslErrorIgnoreFlags = 4;
constexpr std::int32_t kOptionEnableRedirects = 6;
constexpr std::int32_t kIgnoreUnknownCa = 0x0100;
constexpr std::int32_t kIgnoreInvalidCommonName = 0x1000;
constexpr std::int32_t kProxySettingNamed = 2;
constexpr std::int32_t kCredentialsForProxy = 1;
constexpr long kMaxRedirects = 10;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

template <typename T>
bool Set(CURL* curl, CURLoption option, T value) {
  return curl_easy_setopt(curl, option, value) == CURLE_OK;
}

class CurlRequest final : public RequestComponent {
 public:
  void SetTimeouts(std::int32_t resolve_ms, std::int32_t connect_ms, std::int32_t send_ms,
                   std::int32_t receive_ms) override {
    resolve_ms_ = std::max(resolve_ms, 0);
    connect_ms_ = std::max(connect_ms, 0);
    send_ms_ = std::max(send_ms, 0);
    receive_ms_ = std::max(receive_ms, 0);
  }

  void SetProxy(std::int32_t setting, std::string_view proxy) override {
    proxy_ = setting == kProxySettingNamed ? std::string(proxy) : std::string();
  }

  void SetProxyCredentials(std::string_view user, std::string_view password,
                           std::int32_t flags) override {
    Credentials& target = flags == kCredentialsForProxy ? proxy_credentials_ : server_credentials_;
    target = {std::string(user), std::string(password), true};
  }

  void Open(std::string_view method, std::string_view url, bool /*async*/) override {
    ClearResponse();
    headers_.clear();
    method_.clear();
    url_.reset();
    url_ = net_internal::ParseHttpUrl(url);
    if (!url_ || method.empty() || method.find_first_of(" \r\n\0", 0, 4) != std::string_view::npos) {
      url_.reset();
      return;
    }
    method_ = method;
  }

  void SetOption(std::int32_t index, std::int32_t value) override {
    if (index == kOptionEnableRedirects) {
      follow_redirects_ = value != 0;
    } else if (index == kOptionSslErrorIgnoreFlags) {
      verify_peer_ = (value & kIgnoreUnknownCa) == 0;
      verify_host_ = (value & kIgnoreInvalidCommonName) == 0;
    }
  }

  // A header of a name already set replaces it in place; an empty value
  // removes it. A name that cannot be a header name is ignored.
  void SetRequestHeader(std::string_view name, std::string_view value) override {
    if (!url_ || name.empty() ||
        name.find_first_of(":\r\n \t\0", 0, 6) != std::string_view::npos ||
        value.find_first_of("\r\n\0", 0, 3) != std::string_view::npos) {
      return;
    }
    auto same = std::find_if(headers_.begin(), headers_.end(),
                             [&](const Header& h) { return EqualsIgnoreCase(h.name, name); });
    if (value.empty()) {
      if (same != headers_.end()) headers_.erase(same);
      return;
    }
    if (same != headers_.end()) {
      same->value = value;
    } else {
      headers_.push_back({std::string(name), std::string(value)});
    }
  }

  void SendBytes(std::string_view body) override { Send(body); }
  void SendText(std::string_view body) override { Send(body); }

  Bytes ResponseBody() override { return Bytes(body_); }

  Text GetAllResponseHeaders() override {
    // Without the status line and without the empty line that ends the block.
    std::string_view block = header_block_;
    const std::size_t first = block.find("\r\n");
    if (first == std::string_view::npos) return {};
    block.remove_prefix(first + 2);
    if (block.size() >= 2) block.remove_suffix(2);
    return Text(block);
  }

  std::int32_t Status() override { return status_; }

 private:
  struct Header {
    std::string name;
    std::string value;
  };
  struct Credentials {
    std::string user;
    std::string password;
    bool set = false;
  };

  void ClearResponse() {
    body_.clear();
    header_block_.clear();
    status_ = 0;
  }

  void Send(std::string_view body) {
    ClearResponse();
    if (!url_) return;
    try {
      Perform(body);
    } catch (const std::exception&) {
      ClearResponse();
    }
  }

  void Perform(std::string_view body) {
    const CurlEasyPtr handle = net_internal::MakeEasyHandle();
    if (!handle) return;
    CURL* curl = handle.get();
    HeaderCollector collector(follow_redirects_);
    BodySink sink(curl);
    SlistPtr header_list;
    for (const Header& header : headers_) {
      if (!net_internal::AppendHeaderLine(header_list, header.name + ": " + header.value)) return;
    }
    if (!net_internal::AppendSuppression(header_list, "Expect") ||
        !net_internal::AppendSuppression(header_list, "Content-Type")) {
      return;
    }
    const std::string proxy = proxy_;
    bool ok = Set(curl, CURLOPT_CURLU, url_.get()) && Set(curl, CURLOPT_NOSIGNAL, 1L) &&
              Set(curl, CURLOPT_PROTOCOLS_STR, "http,https") &&
              Set(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) &&
              Set(curl, CURLOPT_FORBID_REUSE, 1L) && Set(curl, CURLOPT_FRESH_CONNECT, 1L) &&
              Set(curl, CURLOPT_PROXY, proxy.c_str()) &&
              Set(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) &&
              Set(curl, CURLOPT_HTTPHEADER, header_list.get()) &&
              Set(curl, CURLOPT_HEADERFUNCTION, &HeaderCollector::Callback) &&
              Set(curl, CURLOPT_HEADERDATA, &collector) &&
              Set(curl, CURLOPT_WRITEFUNCTION, &BodySink::Callback) &&
              Set(curl, CURLOPT_WRITEDATA, &sink) &&
              Set(curl, CURLOPT_SSL_VERIFYPEER, verify_peer_ ? 1L : 0L) &&
              Set(curl, CURLOPT_SSL_VERIFYHOST, verify_host_ ? 2L : 0L) &&
              SetRedirectOptions(curl) && SetCredentialOptions(curl) && SetVerb(curl, body);
    if (!ok) return;
    // Resolving and connecting share their two bounds; after that, sending
    // and receiving each may be silent for as long as their own bound allows.
    const CURLcode code = net_internal::PerformWithTimeouts(
        curl, std::int64_t{resolve_ms_} + connect_ms_, std::max(send_ms_, receive_ms_));
    const std::size_t sent = method_ == "HEAD" ? 0 : body.size();
    if (net_internal::ReadOutcome(curl, code, collector, sent) != Outcome::kDone) return;
    header_block_ = collector.block();
    status_ = collector.status();
    body_ = std::move(sink.body);
  }

  bool SetRedirectOptions(CURL* curl) const {
    if (!follow_redirects_) return Set(curl, CURLOPT_FOLLOWLOCATION, 0L);
    return Set(curl, CURLOPT_FOLLOWLOCATION, 1L) && Set(curl, CURLOPT_MAXREDIRS, kMaxRedirects) &&
           Set(curl, CURLOPT_POSTREDIR, 0L) &&
           Set(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  }

  bool SetCredentialOptions(CURL* curl) const {
    const auto basic = static_cast<unsigned long>(CURLAUTH_BASIC);
    if (server_credentials_.set &&
        !(Set(curl, CURLOPT_HTTPAUTH, basic) &&
          Set(curl, CURLOPT_USERNAME, server_credentials_.user.c_str()) &&
          Set(curl, CURLOPT_PASSWORD, server_credentials_.password.c_str()))) {
      return false;
    }
    if (proxy_credentials_.set &&
        !(Set(curl, CURLOPT_PROXYAUTH, basic) &&
          Set(curl, CURLOPT_PROXYUSERNAME, proxy_credentials_.user.c_str()) &&
          Set(curl, CURLOPT_PROXYPASSWORD, proxy_credentials_.password.c_str()))) {
      return false;
    }
    return true;
  }

  // The body is the caller's memory and is sent as it stands.
  bool SetVerb(CURL* curl, std::string_view body) {
    static constexpr char kEmpty[] = "";
    auto set_body = [&] {
      return Set(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())) &&
             Set(curl, CURLOPT_POSTFIELDS, body.empty() ? kEmpty : body.data());
    };
    if (method_ == "POST") return set_body();
    // A HEAD goes without the body: libcurl sending one would also wait for
    // the body the answer announces but never sends.
    if (method_ == "HEAD") return Set(curl, CURLOPT_NOBODY, 1L);
    if (method_ == "GET" && body.empty()) return Set(curl, CURLOPT_HTTPGET, 1L);
    if (method_ == "PUT") {
      upload_ = {.data = body};
      return upload_.Attach(curl);
    }
    return set_body() && Set(curl, CURLOPT_CUSTOMREQUEST, method_.c_str());
  }

  // Settings, kept from call to call like those of the object they stand for.
  std::int32_t resolve_ms_ = 0;
  std::int32_t connect_ms_ = 60000;
  std::int32_t send_ms_ = 30000;
  std::int32_t receive_ms_ = 30000;
  std::string proxy_;
  Credentials server_credentials_;
  Credentials proxy_credentials_;
  bool follow_redirects_ = true;
  bool verify_peer_ = true;
  bool verify_host_ = true;

  // The body of the PUT being sent.
  net_internal::MemoryUpload upload_;

  // The request opened last.
  std::string method_;
  CurlUrlPtr url_;
  std::vector<Header> headers_;

  // The response of the last Send.
  std::string body_;
  std::string header_block_;
  std::int32_t status_ = 0;
};

}  // namespace

std::unique_ptr<RequestComponent> MakeCurlRequest() { return std::make_unique<CurlRequest>(); }

}  // namespace tavrel
