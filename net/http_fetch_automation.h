// net/http_fetch_automation.h
//
// HttpFetchAutomation: one request through a request component (by default
// our own on libcurl) that can send a byte body unchanged and returns the
// response body as raw Bytes. It completes the header block with five default
// lines, always accepts certificates that do not verify, optionally turns
// redirects off and merges the received cookies into the caller's list.
// Failures show only as empty results and a status code of 0.
#ifndef TAVREL_NET_HTTP_FETCH_AUTOMATION_H_
#define TAVREL_NET_HTTP_FETCH_AUTOMATION_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "net/request_component.h"
#include "text/text.h"

namespace tavrel {

struct HttpFetchAutomationRequest {
  std::string_view url = {};
  // 0 GET, 1 POST, 2 HEAD; anything else is 0.
  std::int32_t method = 0;
  // Sent as text when body_bytes is empty.
  std::string_view body = {};
  // In/out cookie list; null behaves as an empty list.
  Text* cookies = nullptr;
  Text* received_cookies = nullptr;
  // Request header lines separated by CR LF.
  std::string_view headers = {};
  // When given, receives the header block as completed with the default lines.
  Text* completed_headers = nullptr;
  // All response header lines (no status line), each ended by CR LF, with
  // every spelling of "Set-Cookie" rewritten to "Set-Cookie".
  Text* response_headers = nullptr;
  std::int32_t* status_code = nullptr;
  bool no_redirect = false;
  // Sent unchanged, zero bytes included, when not empty.
  std::string_view body_bytes = {};
  std::string_view proxy = {};
  // -1 leaves the component's time-outs alone; below 1 means 15 s.
  std::int32_t timeout_seconds = 0;
  std::string_view proxy_user = {};
  std::string_view proxy_password = {};
  // Omitted means 1 (the credentials are for the proxy).
  std::optional<std::int32_t> credential_flags = std::nullopt;
  // Omitted: a new component is made for the call. Given as nullptr: there is
  // no component and every operation fails silently.
  std::optional<RequestComponent*> request_object = std::nullopt;
};

Bytes HttpFetchAutomation(const HttpFetchAutomationRequest& request);

// The text before / after the first ":" of a header line, trimmed of blanks;
// empty when the line holds no ":".
[[nodiscard]] Text HeaderName(std::string_view line);
[[nodiscard]] Text HeaderValue(std::string_view line);

}  // namespace tavrel

#endif  // TAVREL_NET_HTTP_FETCH_AUTOMATION_H_
