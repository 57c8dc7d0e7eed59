// net/http_fetch.cc
//
// One request on its own libcurl easy handle. libcurl is kept from adding
// anything of its own beyond what the request needs (Host, Content-Length and
// the credentials): no "Expect: 100-continue", no Accept, Content-Type,
// Proxy-Connection or User-Agent of its own, no compression, no cookie engine, no connection kept
// for later and no proxy taken from the environment. The header block goes
// out as the code-page-936 bytes it is made of.
#include "net/http_fetch.h"

#include <curl/curl.h>

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "net/curl_transfer.h"
#include "net/merge_cookies.h"
#include "net/message_pump.h"
#include "net/regex_object.h"
#include "text/code_page.h"
#include "text/text_between.h"

namespace tavrel {
namespace {

using net_internal::AppendHeaderLine;
using net_internal::AppendSuppression;
using net_internal::BodySink;
using net_internal::CurlEasyPtr;
using net_internal::CurlUrlPtr;
using net_internal::HeaderCollector;
using net_internal::Outcome;
using net_internal::SlistPtr;

constexpr std::int64_t kDefaultTimeoutMs = 30000;
constexpr long kMaxRedirects = 10;
constexpr std::int64_t kCharsetWindow = 1024;
constexpr std::string_view kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// The messages of the numbered failures.
constexpr std::string_view kUrlFailed = "701 \xBD\xE2\xCE\xF6URL\xB5\xD8\xD6\xB7\xCA\xA7\xB0\xDC!";  // 701 解析URL地址失败!
constexpr std::string_view kSessionFailed = "702 \xB4\xB4\xBD\xA8WinHttp\xBB\xE1\xBB\xB0\xCA\xA7\xB0\xDC!";  // 702 创建WinHttp会话失败!
constexpr std::string_view kConnectionFailed = "703 \xB4\xB4\xBD\xA8WinHttp\xC1\xAC\xBD\xD3\xCA\xA7\xB0\xDC!";  // 703 创建WinHttp连接失败!
constexpr std::string_view kRequestFailed = "704 \xB4\xB4\xBD\xA8WinHttp\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";  // 704 创建WinHttp请求失败!
constexpr std::string_view kTimeoutsFailed = "705 \xC9\xE8\xD6\xC3\xB3\xAC\xCA\xB1\xCA\xB1\xBC\xE4\xCA\xA7\xB0\xDC!";  // 705 设置超时时间失败!
constexpr std::string_view kProxyCredentialsFailed = "707 \xC9\xE8\xD6\xC3\xB4\xFA\xC0\xED\xC6\xBE\xD6\xA4\xCA\xA7\xB0\xDC!";  // 707 设置代理凭证失败!
constexpr std::string_view kServerCredentialsFailed = "707 \xC9\xE8\xD6\xC3\xB7\xFE\xCE\xF1\xC6\xF7\xC6\xBE\xD6\xA4\xCA\xA7\xB0\xDC!";  // 707 设置服务器凭证失败!
constexpr std::string_view kRedirectsFailed = "709 \xD6\xD8\xB6\xA8\xCF\xF2\xC9\xE8\xD6\xC3\xCA\xA7\xB0\xDC!";  // 709 重定向设置失败!
constexpr std::string_view kHeadersFailed = "710 \xC9\xE8\xD6\xC3\xD0\xAD\xD2\xE9\xCD\xB7\xCA\xA7\xB0\xDC!";  // 710 设置协议头失败!
constexpr std::string_view kSendFailed = "711 \xB7\xA2\xCB\xCD\xC7\xEB\xC7\xF3\xCA\xA7\xB0\xDC!";  // 711 发送请求失败!
constexpr std::string_view kNoResponse = "712 \xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xCF\xEC\xD3\xA6!";  // 712 服务器未响应!
constexpr std::string_view kReadFailed = "713 \xB6\xC1\xC8\xA1\xCA\xFD\xBE\xDD\xCA\xA7\xB0\xDC!";  // 713 读取数据失败!

// The stages of a request, in the order they are reached. Leaving, the window
// is serviced once for each stage reached.
enum Stage : int {
  kStageNone = 0,
  kStageUrl,        // the address is parsed
  kStageSession,    // the easy handle is made
  kStageConnect,    // the address and the proxy are set
  kStageRequest,    // the verb and the receiving callbacks are set
  kStageTimeouts,
  kStageHeaders,
  kStageSend,
  kStageReceive,
  kStageRead,
};

// The default header lines, added in this order when their key is missing.
struct DefaultLine {
  std::string_view key;
  bool ignore_case;
  std::string_view line;
};
constexpr DefaultLine kDefaultLines[] = {
    {"User-Agent: ", true,
     "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"},
    {"Accept: ", true, "Accept: text/html, application/xhtml+xml, */*\r\n"},
    {"Accept-Encoding: ", true, "Accept-Encoding: gbk, GB2312\r\n"},
    {"Accept-Language: ", true, "Accept-Language: zh-cn\r\n"},
    {"Content-Type:", false, "Content-Type: application/x-www-form-urlencoded\r\n"},
    {"Cache-Control: ", true, "Cache-Control: no-cache\r\n"},
};

// The caller's lines completed with the default lines. A `headers` text that
// already ends in CR LF leaves an empty line in the block.
Text BuildHeaderBlock(std::string_view headers, const Text& cookies) {
  Text block;
  if (!Text(headers).empty()) block = Text(headers) + "\r\n";
  for (const DefaultLine& row : kDefaultLines) {
    if (Find(block, row.key, 1, row.ignore_case) == -1) block += row.line;
  }
  if (!cookies.empty() && Find(block, "Cookie: ", 1, true) == -1) {
    block += "Cookie: ";
    block += cookies;
    block += "\r\n";
  }
  return block;
}

// The request header list for libcurl. The block's empty lines are left out:
// libcurl writes every entry as a line of its own, and an empty one would end
// the header section early and turn the rest into body bytes.
bool BuildHeaderList(const Text& block, SlistPtr& list) {
  for (const Text& line : Split(block, "\r\n")) {
    if (line.empty()) continue;
    if (!AppendHeaderLine(list, line)) return false;
  }
  // Whatever the block holds, libcurl adds none of these of its own.
  return AppendSuppression(list, "Expect") && AppendSuppression(list, "Accept") &&
         AppendSuppression(list, "Content-Type") && AppendSuppression(list, "Proxy-Connection");
}

template <typename T>
bool Set(CURL* curl, CURLoption option, T value) {
  return curl_easy_setopt(curl, option, value) == CURLE_OK;
}

class Fetch {
 public:
  explicit Fetch(const HttpFetchRequest& request) : request_(request) {}

  Text Run() {
    Text result;
    const bool service_window = Perform(result);
    if (service_window) {
      for (int i = 0; i < stage_; ++i) ProcessPendingMessages();
    }
    return result;
  }

 private:
  // Runs the request; false when it ended early without servicing the window.
  bool Perform(Text& result) {
    stage_ = kStageUrl;
    const CurlUrlPtr url = net_internal::ParseHttpUrl(Text(request_.url));
    if (!url) return Fail(kUrlFailed);

    stage_ = kStageSession;
    const CurlEasyPtr handle = net_internal::MakeEasyHandle();
    if (!handle) return Fail(kSessionFailed);
    CURL* curl = handle.get();

    stage_ = kStageConnect;
    const std::string proxy(request_.proxy);
    if (!Set(curl, CURLOPT_CURLU, url.get()) || !Set(curl, CURLOPT_NOSIGNAL, 1L) ||
        !Set(curl, CURLOPT_PROTOCOLS_STR, "http,https") ||
        !Set(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) ||
        !Set(curl, CURLOPT_FORBID_REUSE, 1L) || !Set(curl, CURLOPT_FRESH_CONNECT, 1L) ||
        // An empty proxy also keeps libcurl from the *_proxy variables.
        !Set(curl, CURLOPT_PROXY, proxy.c_str()) ||
        !Set(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L)) {
      return Fail(kConnectionFailed);
    }

    stage_ = kStageRequest;
    const bool follows = !request_.no_redirect;
    HeaderCollector collector(follows);
    BodySink sink(curl);
    if (!SetVerb(curl) || !Set(curl, CURLOPT_HEADERFUNCTION, &HeaderCollector::Callback) ||
        !Set(curl, CURLOPT_HEADERDATA, &collector) ||
        !Set(curl, CURLOPT_WRITEFUNCTION, &BodySink::Callback) ||
        !Set(curl, CURLOPT_WRITEDATA, &sink)) {
      return Fail(kRequestFailed);
    }

    stage_ = kStageTimeouts;
    const std::int64_t timeout_ms = request_.timeout_seconds >= 1
                                        ? std::int64_t{request_.timeout_seconds} * 1000
                                        : kDefaultTimeoutMs;
    // One bound for each stage: resolving and connecting, sending, and
    // receiving. A transfer that keeps moving is not cut off.
    timeout_ms_ = net_internal::ClampMilliseconds(timeout_ms);
    if (!Set(curl, CURLOPT_CONNECTTIMEOUT_MS, timeout_ms_)) return Fail(kTimeoutsFailed);

    if (!request_.user_name.empty() && !request_.password.empty()) {
      const std::string user(request_.user_name), password(request_.password);
      if (!Set(curl, CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_BASIC)) ||
          !Set(curl, CURLOPT_USERNAME, user.c_str()) ||
          !Set(curl, CURLOPT_PASSWORD, password.c_str())) {
        return EndAtOnce(kServerCredentialsFailed);
      }
    }
    if (!request_.proxy_user.empty() && !request_.proxy_password.empty()) {
      const std::string user(request_.proxy_user), password(request_.proxy_password);
      if (!Set(curl, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC)) ||
          !Set(curl, CURLOPT_PROXYUSERNAME, user.c_str()) ||
          !Set(curl, CURLOPT_PROXYPASSWORD, password.c_str())) {
        return EndAtOnce(kProxyCredentialsFailed);
      }
    }
    // Cookies reach the server only through the header block: the handle has
    // no cookie engine as long as no cookie file is named, so there is
    // nothing to switch off here.
    if (follows) {
      // POSTREDIR 0: a POST answered by 301, 302 or 303 goes on as a GET.
      if (!Set(curl, CURLOPT_FOLLOWLOCATION, 1L) || !Set(curl, CURLOPT_MAXREDIRS, kMaxRedirects) ||
          !Set(curl, CURLOPT_POSTREDIR, 0L) ||
          !Set(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https")) {
        return EndAtOnce(kRedirectsFailed);
      }
    } else if (!Set(curl, CURLOPT_FOLLOWLOCATION, 0L)) {
      return EndAtOnce(kRedirectsFailed);
    }

    stage_ = kStageHeaders;
    Text no_cookies;
    const Text block =
        BuildHeaderBlock(request_.headers, request_.cookies ? *request_.cookies : no_cookies);
    SlistPtr header_list;
    if (!BuildHeaderList(block, header_list) ||
        !Set(curl, CURLOPT_HTTPHEADER, header_list.get())) {
      return Fail(kHeadersFailed);
    }

    stage_ = kStageSend;
    const CURLcode code = net_internal::PerformWithTimeouts(curl, timeout_ms_, timeout_ms_);
    switch (net_internal::ReadOutcome(curl, code, collector, SentBodySize())) {
      case Outcome::kNotSent:
        return Fail(kSendFailed);
      case Outcome::kNoResponse:
        stage_ = kStageReceive;
        return Fail(kNoResponse);
      case Outcome::kReadFailed:
        stage_ = kStageRead;
        SetStatus(kReadFailed);
        break;
      case Outcome::kDone:
        stage_ = kStageRead;
        break;
    }
    ProcessResponse(collector.block(), std::move(sink.body), result);
    return true;
  }

  // Verb and body. The body is the caller's memory, sent as it stands.
  bool SetVerb(CURL* curl) {
    static constexpr char kEmpty[] = "";
    const char* body = request_.body.empty() ? kEmpty : request_.body.data();
    const auto size = static_cast<curl_off_t>(request_.body.size());
    auto set_body = [&] {
      return Set(curl, CURLOPT_POSTFIELDSIZE_LARGE, size) && Set(curl, CURLOPT_POSTFIELDS, body);
    };
    switch (request_.method) {
      case 1:
        return set_body();
      case 2:
        // A HEAD goes without the body: libcurl sending one would also wait
        // for the body the answer announces but never sends.
        return Set(curl, CURLOPT_NOBODY, 1L);
      case 3:
        return upload_.Attach(curl);
      default:
        if (request_.body.empty()) return Set(curl, CURLOPT_HTTPGET, 1L);
        return set_body() && Set(curl, CURLOPT_CUSTOMREQUEST, "GET");
    }
  }

  std::uint64_t SentBodySize() const { return request_.method == 2 ? 0 : request_.body.size(); }

  void ProcessResponse(const std::string& raw_block, std::string body, Text& result) {
    // Status text: from byte 10 of the block up to the next CR LF.
    Text headers(raw_block);
    const std::int64_t end = Find(headers, "\r\n", 10);
    SetStatus(end == -1 ? Text() : Middle(headers, 10, end - 10));

    // Every spelling of Set-Cookie becomes "Set-Cookie"; the cookie items and
    // the redirect target are taken line by line.
    headers = Replace(headers, "Set-Cookie", "Set-Cookie");
    Text received;
    for (const Text& line : Split(headers, "\r\n")) {
      if (Find(line, "Set-Cookie") != -1) {
        const Text item = Find(line, ";") != -1 ? TextBetween(line, "Set-Cookie:", ";")
                                                : Replace(line, "Set-Cookie:", "");
        received += Trim(item);
        received += "; ";
      }
      if (line.size() >= 10 && Find(Left(line, 10), "Location: ", 1, true) == 1 &&
          request_.redirect_location != nullptr) {
        *request_.redirect_location = Middle(line, 11, static_cast<std::int64_t>(line.size()));
      }
      ProcessPendingMessages();
    }
    if (!received.empty()) received = Left(received, static_cast<std::int64_t>(received.size()) - 2);
    if (request_.response_headers != nullptr) *request_.response_headers = headers;

    if (request_.cookies != nullptr) {
      static_cast<void>(MergeCookies(*request_.cookies, received));
    }
    if (request_.received_cookies != nullptr) *request_.received_cookies = std::move(received);

    // The text ends at the body's first zero byte.
    const bool has_zero = body.find('\0') != std::string::npos;
    Text text = (has_zero || request_.response_bytes != nullptr) ? Text(std::string_view(body))
                                                                 : Text(std::move(body));

    RegexObject regex;
    if (regex.Create(kCharsetPattern, Left(text, kCharsetWindow))) {
      const Text charset = regex.SubMatchText(1, 1);
      if (!charset.empty() && !(charset == "gbk") && !(charset == "gb2312")) {
        // The whole body is decoded, as received; a name the converters do
        // not know leaves the text as it is.
        const std::string_view source =
            (has_zero || request_.response_bytes != nullptr) ? std::string_view(body)
                                                             : text.view();
        if (std::optional<Text> decoded = DecodeCharsetToGbk(source, charset)) {
          text = std::move(*decoded);
        }
      }
      ProcessPendingMessages();
    }
    if (request_.response_bytes != nullptr) *request_.response_bytes = Bytes(std::move(body));
    result = std::move(text);
  }

  // A failure after which the window is serviced for the stages reached.
  bool Fail(std::string_view message) const {
    SetStatus(message);
    return true;
  }
  // A failure that ends the call without servicing the window.
  bool EndAtOnce(std::string_view message) const {
    SetStatus(message);
    return false;
  }

  void SetStatus(std::string_view message) const {
    if (request_.status_text != nullptr) *request_.status_text = Text(message);
  }

  const HttpFetchRequest& request_;
  int stage_ = kStageNone;
  long timeout_ms_ = 0;
  net_internal::MemoryUpload upload_{.data = request_.body};
};

}  // namespace

Text HttpFetch(const HttpFetchRequest& request) {
  try {
    return Fetch(request).Run();
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace tavrel
