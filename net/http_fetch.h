// net/http_fetch.h
//
// HttpFetch: one HTTP or HTTPS request on its own libcurl handle, with the
// default header lines, cookie collection, redirect control and charset
// re-decoding of this program. Failures are reported in-band: `status_text`
// receives a numbered message ("701 解析URL地址失败!" ... "713 读取数据失败!")
// and the result is the empty text.
//
//   Text headers;
//   Text reply = HttpFetch({.url = "http://127.0.0.1:8080/stu", .method = 1,
//                           .body = form, .headers = kTemplate,
//                           .response_headers = &headers, .no_redirect = true});
#ifndef TAVREL_NET_HTTP_FETCH_H_
#define TAVREL_NET_HTTP_FETCH_H_

#include <cstdint>
#include <string_view>

#include "text/text.h"

namespace tavrel {

// The parameters, in the routine's order. In-values are views the caller
// keeps alive for the call; out-values are the caller's variables, written in
// place, and a null one is not delivered.
struct HttpFetchRequest {
  std::string_view url = {};
  // 0 GET, 1 POST, 2 HEAD, 3 PUT; any other value GET.
  std::int32_t method = 0;
  std::string_view body = {};
  // In/out cookie list. Null means "not given": no Cookie line and no merge.
  // Given (even empty), it is rewritten by merging the received cookies.
  Text* cookies = nullptr;
  Text* received_cookies = nullptr;
  // Extra request header lines "Name: value" separated by CR LF.
  std::string_view headers = {};
  // The raw header block of the final response, status line first, each line
  // ended by CR LF, then one more CR LF.
  Text* response_headers = nullptr;
  bool no_redirect = false;
  std::string_view user_name = {};
  std::string_view password = {};
  // host:port; empty means no proxy.
  std::string_view proxy = {};
  std::string_view proxy_user = {};
  std::string_view proxy_password = {};
  // Below 1 means 30 seconds; applies to resolving, connecting, sending and
  // receiving.
  std::int32_t timeout_seconds = 0;
  Text* redirect_location = nullptr;
  Text* status_text = nullptr;
  Bytes* response_bytes = nullptr;
};

// Performs the request and returns the body as text (cut at its first zero
// byte, re-decoded when a meta tag in its first 1024 bytes declares a charset
// other than "gbk"/"gb2312"). Never throws.
Text HttpFetch(const HttpFetchRequest& request);

}  // namespace tavrel

#endif  // TAVREL_NET_HTTP_FETCH_H_
