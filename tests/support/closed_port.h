// tests/support/closed_port.h
//
// ClosedPort: a loopback port that is bound but never listens, so that every
// connection to it is refused for as long as the object lives (no other test
// can take the port meanwhile).
//
//   ClosedPort closed;
//   HttpFetch({.url = closed.Url("/up")});  // refused
#ifndef TAVREL_TESTS_SUPPORT_CLOSED_PORT_H_
#define TAVREL_TESTS_SUPPORT_CLOSED_PORT_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace tavrel::test_support {

class ClosedPort {
 public:
  ClosedPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~ClosedPort() { ::close(fd_); }
  ClosedPort(const ClosedPort&) = delete;
  ClosedPort& operator=(const ClosedPort&) = delete;

  // "http://127.0.0.1:<port>", no "/" at the end.
  [[nodiscard]] std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  [[nodiscard]] std::string Url(std::string_view path = "/") const {
    return Origin() + std::string(path);
  }

 private:
  int fd_;
  std::uint16_t port_ = 0;
};

}  // namespace tavrel::test_support

#endif  // TAVREL_TESTS_SUPPORT_CLOSED_PORT_H_
