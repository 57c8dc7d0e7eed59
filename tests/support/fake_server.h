// tests/support/fake_server.h
//
// FakeServer: a scripted HTTP or HTTPS server on 127.0.0.1 for tests. It
// listens on a free port, serves every connection on its own thread, records
// each request as received and answers it from a handler or from a queue of
// replies. A reply is raw bytes plus what to do with the connection after
// them, so malformed answers, stalls and resets are all scriptable.
//
//   FakeServer server;  // or FakeServer server({.https = true});
//   server.Push(Reply::Http(200, "OK", {"Set-Cookie: a=1"}, "<html>hi</html>"));
//   ... client requests server.Url("/path?q=1") ...
//   std::vector<Request> seen = server.Requests();
//   EXPECT_EQ(seen.at(0).method, "GET");
//
// Every connection gets one reply and is then closed; the server reads the
// whole request (Content-Length body) before answering. The destructor stops
// all threads within about a second, even while clients hang.
#ifndef TAVREL_TESTS_SUPPORT_FAKE_SERVER_H_
#define TAVREL_TESTS_SUPPORT_FAKE_SERVER_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::test_support {

// One request as it reached the server.
struct Request {
  // The request line and header lines exactly as received, through the empty
  // line, followed by the body bytes (unless the server drains bodies).
  std::string raw;
  // "GET /a?b=1 HTTP/1.1" without CR LF.
  std::string request_line;
  std::string method;
  std::string target;
  std::string version;
  // Header lines in order of arrival, without their CR LF.
  std::vector<std::string> header_lines;
  // The body bytes (empty when the server drains bodies).
  std::string body;
  // Body bytes received, counted also when drained.
  std::uint64_t body_size = 0;
  // True when the header section and the whole Content-Length body arrived.
  bool complete = false;
  // 0-based number of the connection that carried the request.
  std::size_t connection = 0;

  // The value of the first header line named `name` (case ignored), trimmed
  // of blanks; nullopt when there is none.
  [[nodiscard]] std::optional<std::string> Header(std::string_view name) const;
  // Number of header lines named `name` (case ignored).
  [[nodiscard]] std::size_t HeaderCount(std::string_view name) const;
  // The header names in order of arrival, as spelled by the client.
  [[nodiscard]] std::vector<std::string> HeaderNames() const;
};

// What the server sends back on one connection.
struct Reply {
  enum class After {
    kClose,  // send the bytes, then close the connection normally (FIN)
    kHold,   // send the bytes, then keep the connection open until the
             // client closes it or the server stops
    kReset,  // send the bytes, then reset the connection (RST)
  };

  // Sent as they stand; may be empty.
  std::string bytes;
  After after = After::kClose;
  // Waited before anything is sent (the server keeps reading nothing).
  std::chrono::milliseconds delay{0};
  // When not zero, the bytes go out `pace_bytes` at a time with `pace` between
  // the pieces: a slow but steady sender.
  std::size_t pace_bytes = 0;
  std::chrono::milliseconds pace{0};

  // A well-formed response: "HTTP/1.1 <status> <reason>", the given header
  // lines (each without CR LF), "Content-Length: <body size>" unless a line
  // already names Content-Length, an empty line, then the body.
  static Reply Http(int status, std::string_view reason,
                    const std::vector<std::string>& header_lines = {}, std::string_view body = {});
  // 200 OK with "Content-Type: <content_type>" and the body.
  static Reply Ok(std::string_view body, std::string_view content_type = "text/html");
  // A redirect with a Location line and an empty body.
  static Reply Redirect(int status, std::string_view location);
  // Never answers: the connection stays open and silent.
  static Reply NoAnswer();
  // Sends the bytes, then holds the connection without sending more.
  static Reply Stall(std::string_view bytes);
  // Sends the bytes, then resets the connection.
  static Reply Reset(std::string_view bytes = {});
  // Sends the bytes, then closes the connection normally.
  static Reply Raw(std::string_view bytes);
};

struct FakeServerOptions {
  // Serve TLS with a self-signed certificate for 127.0.0.1/localhost made at
  // start-up.
  bool https = false;
  // Count body bytes without keeping them (for very large bodies).
  bool drain_bodies = false;
};

class FakeServer {
 public:
  using Handler = std::function<Reply(const Request&)>;

  // Starts listening at once; aborts the test program when it cannot.
  FakeServer();
  explicit FakeServer(FakeServerOptions options);
  // Stops: unblocks and joins every thread, closes every socket.
  ~FakeServer();
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  [[nodiscard]] std::uint16_t port() const;
  [[nodiscard]] bool https() const;
  // "http://127.0.0.1:<port>" + path (or https://).
  [[nodiscard]] std::string Url(std::string_view path = "/") const;
  // "127.0.0.1:<port>", e.g. for use as a proxy address.
  [[nodiscard]] std::string HostPort() const;
  // The self-signed certificate in PEM form (empty over plain HTTP).
  [[nodiscard]] std::string CertificatePem() const;

  // Answers every request through `handler` (called on server threads, one
  // call at a time). Takes precedence over the queue.
  void SetHandler(Handler handler);
  // Queues a reply for the next request without a handler. When the queue is
  // empty the server answers with the default reply (404, empty body).
  void Push(Reply reply);
  void SetDefaultReply(Reply reply);

  // Every request received so far, in order of arrival.
  [[nodiscard]] std::vector<Request> Requests() const;
  // Waits until `count` requests were recorded or `timeout` passed; true when
  // they were.
  bool WaitForRequests(std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // Connections accepted so far.
  [[nodiscard]] std::size_t ConnectionCount() const;
  // Forgets the recorded requests.
  void ClearRequests();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tavrel::test_support

#endif  // TAVREL_TESTS_SUPPORT_FAKE_SERVER_H_
