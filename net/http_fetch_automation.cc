// net/http_fetch_automation.cc
#include "net/http_fetch_automation.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "net/merge_cookies.h"
#include "text/text_between.h"

namespace tavrel {
namespace {

constexpr std::int32_t kDefaultTimeoutMs = 15000;
constexpr std::int32_t kProxySettingNamed = 2;
constexpr std::int32_t kOptionSslErrorIgnoreFlags = 4;
constexpr std::int32_t kOptionEnableRedirects = 6;
// Unknown authority, wrong usage, wrong common name and wrong date ignored.
constexpr std::int32_t kIgnoreAllCertificateErrors = 13056;

// The caller's block completed with the default lines, in this order.
Text CompleteHeaders(std::string_view headers, std::string_view url) {
  Text block(headers);
  if (block.empty()) {
    block = "Accept: */*";
  } else if (Find(block, "Accept:") == -1) {
    block += "\r\nAccept: */*";
  }
  if (Find(block, "Referer:") == -1) {
    block += "\r\nReferer: ";
    block += Text(url);
  }
  if (Find(block, "Accept-Language:") == -1) block += "\r\nAccept-Language: zh-cn";
  if (Find(block, "User-Agent:") == -1) {
    block += "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
  }
  if (Find(block, "Content-Type:") == -1) {
    block += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  return block;
}

// The name=value parts of the Set-Cookie lines, joined by "; ".
Text CollectCookies(const Text& response_headers) {
  Text received;
  for (const Text& piece : Split(response_headers, "\r\n")) {
    if (Find(piece, "Set-Cookie") == -1) continue;
    const Text cookie = Find(piece, ";") != -1 ? TextBetween(piece, "Set-Cookie:", ";")
                                               : Replace(piece, "Set-Cookie:", "");
    received += Trim(cookie);
    received += "; ";
  }
  if (received.empty()) return received;
  return Left(received, static_cast<std::int64_t>(received.size()) - 2);
}

Bytes Run(const HttpFetchAutomationRequest& request) {
  const std::int32_t method = request.method < 0 || request.method > 2 ? 0 : request.method;
  static constexpr std::string_view kMethodNames[] = {"GET", "POST", "HEAD"};

  // A component given as null stands for an object that answers no call.
  std::unique_ptr<RequestComponent> owned;
  RequestComponent* object = nullptr;
  if (request.request_object.has_value()) {
    object = *request.request_object;
  } else {
    owned = MakeCurlRequest();
    if (!owned) return {};
    object = owned.get();
  }

  if (request.timeout_seconds != -1 && object) {
    // Beyond 2147483 seconds the milliseconds no longer fit: the largest count.
    const std::int64_t wanted = request.timeout_seconds < 1
                                    ? kDefaultTimeoutMs
                                    : std::int64_t{request.timeout_seconds} * 1000;
    const auto ms = static_cast<std::int32_t>(
        std::min<std::int64_t>(wanted, std::numeric_limits<std::int32_t>::max()));
    object->SetTimeouts(ms, ms, ms, ms);
  }
  if (!request.proxy.empty() && object) {
    object->SetProxy(kProxySettingNamed, request.proxy);
    if (!request.proxy_user.empty()) {
      object->SetProxyCredentials(request.proxy_user, request.proxy_password,
                                  request.credential_flags.value_or(1));
    }
  }
  if (object) object->Open(kMethodNames[method], request.url, false);
  if (object) {
    if (request.no_redirect) object->SetOption(kOptionEnableRedirects, 0);
    object->SetOption(kOptionSslErrorIgnoreFlags, kIgnoreAllCertificateErrors);
  }

  const Text headers = CompleteHeaders(request.headers, request.url);
  if (request.completed_headers != nullptr) *request.completed_headers = headers;

  Text no_cookies;
  Text& cookies = request.cookies != nullptr ? *request.cookies : no_cookies;
  if (object) {
    if (!cookies.empty()) object->SetRequestHeader("Cookie", cookies);
    if (Find(headers, "\r\n") == -1) {
      object->SetRequestHeader(HeaderName(headers), HeaderValue(headers));
    } else {
      for (const Text& piece : Split(headers, "\r\n")) {
        if (!piece.empty()) object->SetRequestHeader(HeaderName(piece), HeaderValue(piece));
      }
    }
    if (!request.body_bytes.empty()) {
      object->SendBytes(request.body_bytes);
    } else {
      object->SendText(request.body);
    }
  }

  Bytes body = object ? object->ResponseBody() : Bytes();
  const Text response_headers =
      Replace(object ? object->GetAllResponseHeaders() : Text(), "Set-Cookie", "Set-Cookie");
  const std::int32_t status = object ? object->Status() : 0;
  if (request.response_headers != nullptr) *request.response_headers = response_headers;
  if (request.status_code != nullptr) *request.status_code = status;

  Text received = CollectCookies(response_headers);
  static_cast<void>(MergeCookies(cookies, received));
  if (request.received_cookies != nullptr) *request.received_cookies = std::move(received);
  return body;
}

}  // namespace

Text HeaderName(std::string_view line) {
  const std::int64_t colon = Find(line, ":");
  if (colon == -1) return {};
  return Trim(Left(line, colon - 1));
}

Text HeaderValue(std::string_view line) {
  const std::int64_t colon = Find(line, ":");
  if (colon == -1) return {};
  return Trim(line.substr(static_cast<std::size_t>(colon)));
}

Bytes HttpFetchAutomation(const HttpFetchAutomationRequest& request) {
  try {
    return Run(request);
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace tavrel
