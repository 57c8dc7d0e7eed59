// net/request_component.h
//
// The request component behind HttpFetchAutomation: the operations of an
// HTTP request object, each of which may fail silently. CurlRequest is ours,
// on libcurl; tests may pass a recording one.
#ifndef TAVREL_NET_REQUEST_COMPONENT_H_
#define TAVREL_NET_REQUEST_COMPONENT_H_

#include <cstdint>
#include <memory>
#include <string_view>

#include "text/text.h"

namespace tavrel {

class RequestComponent {
 public:
  virtual ~RequestComponent() = default;

  // Milliseconds for resolving, connecting, sending and receiving.
  virtual void SetTimeouts(std::int32_t resolve_ms, std::int32_t connect_ms,
                           std::int32_t send_ms, std::int32_t receive_ms) = 0;
  // setting 2: use the named proxy.
  virtual void SetProxy(std::int32_t setting, std::string_view proxy) = 0;
  virtual void SetProxyCredentials(std::string_view user, std::string_view password,
                                   std::int32_t flags) = 0;
  virtual void Open(std::string_view method, std::string_view url, bool async) = 0;
  // Index 6 value 0: redirects off. Index 4 value 13056: accept certificates
  // that do not verify. Other indexes are ignored.
  virtual void SetOption(std::int32_t index, std::int32_t value) = 0;
  virtual void SetRequestHeader(std::string_view name, std::string_view value) = 0;
  // Sends a byte body unchanged.
  virtual void SendBytes(std::string_view body) = 0;
  // Sends a text body.
  virtual void SendText(std::string_view body) = 0;
  // Empty when there is none.
  [[nodiscard]] virtual Bytes ResponseBody() = 0;
  // The header lines without the status line, each ended by CR LF.
  [[nodiscard]] virtual Text GetAllResponseHeaders() = 0;
  // 0 when there is no response.
  [[nodiscard]] virtual std::int32_t Status() = 0;
};

// Our own component on libcurl: one easy handle per Send.
[[nodiscard]] std::unique_ptr<RequestComponent> MakeCurlRequest();

}  // namespace tavrel

#endif  // TAVREL_NET_REQUEST_COMPONENT_H_
