// HttpFetch against the loopback server: what reaches the wire, what comes
// back in every out-value, the numbered failures and the window servicing.
#include "net/http_fetch.h"

#include <arpa/inet.h>
#include <stdlib.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "net/message_pump.h"
#include "tests/support/closed_port.h"
#include "tests/support/fake_server.h"
#include "tests/support/gbk.h"

namespace tavrel {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using test_support::ClosedPort;
using test_support::FakeServer;
using test_support::Gbk;
using test_support::Reply;
using test_support::Request;

constexpr std::string_view kUserAgent =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)";
constexpr std::string_view kAccept = "Accept: text/html, application/xhtml+xml, */*";
constexpr std::string_view kAcceptEncoding = "Accept-Encoding: gbk, GB2312";
constexpr std::string_view kAcceptLanguage = "Accept-Language: zh-cn";
constexpr std::string_view kContentType = "Content-Type: application/x-www-form-urlencoded";
constexpr std::string_view kCacheControl = "Cache-Control: no-cache";

std::atomic<int> g_pumped{0};
void CountingPump() { ++g_pumped; }

// Counts the window servicing of one test.
class PumpCounter {
 public:
  PumpCounter() : previous_(SetMessagePump(&CountingPump)) { g_pumped = 0; }
  ~PumpCounter() { SetMessagePump(previous_); }
  PumpCounter(const PumpCounter&) = delete;
  PumpCounter& operator=(const PumpCounter&) = delete;
  [[nodiscard]] int count() const { return g_pumped; }

 private:
  MessagePump previous_;
};

// Every out-value of one call, pre-set to a marker so that "not written"
// shows.
struct Outs {
  std::optional<Text> cookies;  // given when set
  Text received = "unset";
  Text response_headers = "unset";
  Text redirect_location = "unset";
  Text status_text = "unset";
  Bytes response_bytes{std::string("unset")};
  Text result;
  milliseconds elapsed{0};
};

Outs Call(HttpFetchRequest request, std::optional<Text> cookies = std::nullopt) {
  Outs outs;
  outs.cookies = std::move(cookies);
  request.cookies = outs.cookies ? &*outs.cookies : nullptr;
  request.received_cookies = &outs.received;
  request.response_headers = &outs.response_headers;
  request.redirect_location = &outs.redirect_location;
  request.status_text = &outs.status_text;
  request.response_bytes = &outs.response_bytes;
  const auto start = steady_clock::now();
  outs.result = HttpFetch(request);
  outs.elapsed = std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
  return outs;
}

// The header lines the block contributed: all but Host, Content-Length and
// the credentials, which libcurl writes itself.
std::vector<std::string> BlockLines(const Request& request) {
  std::vector<std::string> lines;
  for (const std::string& line : request.header_lines) {
    const std::string name = line.substr(0, line.find(':'));
    if (name == "Host" || name == "Content-Length" || name == "Authorization" ||
        name == "Proxy-Authorization") {
      continue;
    }
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Lines(std::initializer_list<std::string_view> lines) {
  return {lines.begin(), lines.end()};
}

class HttpFetchTest : public ::testing::Test {
 protected:
  Request OnlyRequest() const {
    const std::vector<Request> seen = server_.Requests();
    EXPECT_EQ(seen.size(), 1u);
    return seen.empty() ? Request{} : seen.front();
  }

  FakeServer server_;
};

// ---- The request on the wire ----

TEST_F(HttpFetchTest, PostReachesServerByteForByte) {
  server_.Push(Reply::Ok("fine"));
  const std::string body("a=1&b=\0\xff&c", 10);
  const Outs outs = Call({.url = server_.Url("/up/load?x=1&y=%41"),
                          .method = 1,
                          .body = body,
                          .headers = "X-First: 1\r\nX-Second: two words",
                          .timeout_seconds = 2},
                         Text("sid=9; lang=cn"));
  EXPECT_EQ(outs.result, "fine");
  const Request r = OnlyRequest();
  EXPECT_EQ(r.request_line, "POST /up/load?x=1&y=%41 HTTP/1.1");
  EXPECT_EQ(r.header_lines.front(), "Host: " + server_.HostPort());
  EXPECT_EQ(BlockLines(r), Lines({"X-First: 1", "X-Second: two words", kUserAgent, kAccept,
                                  kAcceptEncoding, kAcceptLanguage, kContentType, kCacheControl,
                                  "Cookie: sid=9; lang=cn"}));
  EXPECT_EQ(r.Header("Content-Length"), "10");
  EXPECT_EQ(r.HeaderCount("Content-Length"), 1u);
  EXPECT_EQ(r.body, body);
  // Nothing else: no Expect, no Connection, no Accept or User-Agent of libcurl's.
  EXPECT_EQ(r.header_lines.size(), BlockLines(r).size() + 2);
}

TEST_F(HttpFetchTest, VerbFollowsMethod) {
  struct Case {
    std::int32_t method;
    const char* verb;
  };
  const Case cases[] = {{0, "GET"}, {1, "POST"}, {2, "HEAD"}, {3, "PUT"},
                        {-1, "GET"}, {4, "GET"}, {7, "GET"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    FakeServer server;
    // A HEAD answer announces a body it does not send: the call must not wait.
    server.Push(Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n"));
    const Outs outs = Call({.url = server.Url("/v"), .method = c.method, .timeout_seconds = 10});
    ASSERT_TRUE(server.WaitForRequests(1));
    const Request r = server.Requests().front();
    EXPECT_EQ(r.method, c.verb);
    EXPECT_EQ(r.target, "/v");
    if (c.method == 2) {
      EXPECT_EQ(outs.status_text, "200 OK");
      // Waiting for the announced body would take the whole time-out.
      EXPECT_LT(outs.elapsed, milliseconds(5000));
    }
    // POST and PUT announce their empty body; GET and HEAD send none.
    const bool with_length = c.method == 1 || c.method == 3;
    EXPECT_EQ(r.Header("Content-Length"), with_length ? std::optional<std::string>("0") : std::nullopt);
  }
}

TEST_F(HttpFetchTest, LargeBodyGoesAtOnceWithoutExpect) {
  std::string body(3 << 20, 'x');
  body[12345] = '\0';
  const Outs outs = Call({.url = server_.Url("/big"), .method = 1, .body = body,
                          .timeout_seconds = 10});
  EXPECT_EQ(outs.status_text, "404 Not Found");
  const Request r = OnlyRequest();
  EXPECT_EQ(r.HeaderCount("Expect"), 0u);
  EXPECT_EQ(r.body, body);
}

TEST_F(HttpFetchTest, BodyGoesWithEveryVerbButHead) {
  for (std::int32_t method : {0, 2, 3}) {
    SCOPED_TRACE(method);
    FakeServer server;
    server.Push(Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n"));
    const Outs outs =
        Call({.url = server.Url("/"), .method = method, .body = "k=v", .timeout_seconds = 2});
    ASSERT_TRUE(server.WaitForRequests(1));
    const Request r = server.Requests().front();
    EXPECT_EQ(r.body, method == 2 ? "" : "k=v");
    if (method == 2) {
      EXPECT_EQ(r.HeaderCount("Content-Length"), 0u);
      EXPECT_EQ(outs.status_text, "200 OK");
    }
  }
}

TEST(HttpFetchAddress, PathAndQueryAsRequested) {
  struct Case {
    const char* name;
    std::string path;  // after "http://127.0.0.1:port"
    const char* target;
  };
  const Case cases[] = {
      {"no path", "", "/"},
      {"query only", "?a=1", "/?a=1"},
      {"escapes kept", "/p%2Fq?x=%41%20", "/p%2Fq?x=%41%20"},
      {"blanks escaped", "/a b?q=x y", "/a%20b?q=x%20y"},
      {"fragment not sent", "/page?x=1#part", "/page?x=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer server;
    Call({.url = "http://" + server.HostPort() + c.path, .timeout_seconds = 2});
    ASSERT_TRUE(server.WaitForRequests(1));
    EXPECT_EQ(server.Requests().front().target, c.target);
  }
}

TEST(HttpFetchHeaderBlock, DefaultLinesAndTheirComparisons) {
  struct Case {
    const char* name;
    const char* headers;
    std::optional<Text> cookies;
    std::vector<std::string> expected;
  };
  const std::vector<std::string> all_defaults = Lines(
      {kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kContentType, kCacheControl});
  const Case cases[] = {
      {"empty block", "", std::nullopt, all_defaults},
      {"empty cookie list given", "", Text(""), all_defaults},
      {"cookie line last",
       "",
       Text("a=1"),
       Lines({kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kContentType, kCacheControl,
              "Cookie: a=1"})},
      {"user agent in other case",
       "user-agent: mine",
       std::nullopt,
       Lines({"user-agent: mine", kAccept, kAcceptEncoding, kAcceptLanguage, kContentType,
              kCacheControl})},
      // Content-Type is compared exactly: a lower-case one gets the default too.
      {"content type in other case",
       "content-type: text/plain",
       std::nullopt,
       Lines({"content-type: text/plain", kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage,
              kContentType, kCacheControl})},
      {"key inside another line",
       "X-Cookie: 1\r\nX-Accept: 2",
       Text("a=1"),
       Lines({"X-Cookie: 1", "X-Accept: 2", kUserAgent, kAcceptEncoding, kAcceptLanguage,
              kContentType, kCacheControl})},
      // The empty line a final CR LF leaves in the block is not sent: it would
      // end the header section and turn the lines after it into body bytes.
      {"block ending in CR LF",
       "X-One: 1\r\n",
       Text("a=1"),
       Lines({"X-One: 1", kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage, kContentType,
              kCacheControl, "Cookie: a=1"})},
      {"empty value and a line without colon",
       "X-Empty:\r\nnot a header\r\nX-Two: 2",
       std::nullopt,
       Lines({"X-Empty:", "X-Two: 2", kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage,
              kContentType, kCacheControl})},
      {"all keys present",
       "User-Agent: u\r\nAccept: a\r\nAccept-Encoding: e\r\nAccept-Language: l\r\nContent-Type: "
       "c\r\nCache-Control: k\r\nCookie: mine=1",
       Text("a=1"),
       Lines({"User-Agent: u", "Accept: a", "Accept-Encoding: e", "Accept-Language: l",
              "Content-Type: c", "Cache-Control: k", "Cookie: mine=1"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer server;
    const Outs outs = Call({.url = server.Url("/h"), .method = 1, .body = "x=1",
                            .headers = c.headers, .timeout_seconds = 2},
                           c.cookies);
    ASSERT_TRUE(server.WaitForRequests(1));
    const Request r = server.Requests().front();
    EXPECT_EQ(BlockLines(r), c.expected);
    EXPECT_EQ(r.body, "x=1");
    EXPECT_EQ(outs.status_text, "404 Not Found");
  }
}

TEST_F(HttpFetchTest, ServerAndProxyCredentialsAreBasic) {
  server_.SetHandler([](const Request&) { return Reply::Ok("via proxy"); });
  const Outs outs = Call({.url = "http://far.example.invalid/p?q=1", .user_name = "user",
                          .password = "pw", .proxy = server_.HostPort(), .proxy_user = "pu",
                          .proxy_password = "pp", .timeout_seconds = 2});
  EXPECT_EQ(outs.result, "via proxy");
  const Request r = OnlyRequest();
  EXPECT_EQ(r.request_line, "GET http://far.example.invalid/p?q=1 HTTP/1.1");
  EXPECT_EQ(r.Header("Authorization"), "Basic dXNlcjpwdw==");
  EXPECT_EQ(r.Header("Proxy-Authorization"), "Basic cHU6cHA=");
  EXPECT_EQ(BlockLines(r), Lines({kUserAgent, kAccept, kAcceptEncoding, kAcceptLanguage,
                                  kContentType, kCacheControl}));
}

TEST_F(HttpFetchTest, ProxyOfTheEnvironmentIsNotUsed) {
  ClosedPort nowhere;
  ::setenv("http_proxy", nowhere.Url().c_str(), 1);
  ::setenv("HTTP_PROXY", nowhere.Url().c_str(), 1);
  server_.Push(Reply::Ok("direct"));
  const Outs outs = Call({.url = server_.Url("/"), .timeout_seconds = 2});
  ::unsetenv("http_proxy");
  ::unsetenv("HTTP_PROXY");
  EXPECT_EQ(outs.result, "direct");
}

TEST_F(HttpFetchTest, HalfGivenCredentialsAreNotSent) {
  Call({.url = server_.Url("/"), .user_name = "user", .proxy_user = "pu", .timeout_seconds = 2});
  const Request r = OnlyRequest();
  EXPECT_EQ(r.HeaderCount("Authorization"), 0u);
  EXPECT_EQ(r.HeaderCount("Proxy-Authorization"), 0u);
}

TEST_F(HttpFetchTest, NothingIsSharedBetweenCalls) {
  server_.SetHandler([](const Request&) {
    return Reply::Http(200, "OK", {"Set-Cookie: kept=no; path=/"}, "x");
  });
  Call({.url = server_.Url("/1"), .timeout_seconds = 2});
  Call({.url = server_.Url("/2"), .timeout_seconds = 2});
  const std::vector<Request> seen = server_.Requests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].HeaderCount("Cookie"), 0u);
  EXPECT_EQ(server_.ConnectionCount(), 2u);
}

// ---- What comes back ----

TEST_F(HttpFetchTest, EveryOutValueOfAnAnswer) {
  const std::string body("<html>text\0after", 16);
  server_.Push(Reply::Raw(
      "HTTP/1.1 302 Found\r\n"
      "set-cookie: a=1; path=/\r\n"
      "SET-COOKIE: b=2\r\n"
      "X-Note: Set-Cookie inside\r\n"
      "LOCATION: /next\r\n"
      "Content-Length: 16\r\n"
      "\r\n" +
      body));
  const Outs outs = Call({.url = server_.Url("/"), .no_redirect = true, .timeout_seconds = 2});
  EXPECT_EQ(outs.status_text, "302 Found");
  EXPECT_EQ(outs.response_headers,
            "HTTP/1.1 302 Found\r\n"
            "Set-Cookie: a=1; path=/\r\n"
            "Set-Cookie: b=2\r\n"
            "X-Note: Set-Cookie inside\r\n"
            "LOCATION: /next\r\n"
            "Content-Length: 16\r\n"
            "\r\n");
  // "X-Note: Set-Cookie inside" holds the name but no ";": the line less its
  // "Set-Cookie:" (absent) is the item.
  EXPECT_EQ(outs.received, "a=1; b=2; X-Note: Set-Cookie inside");
  EXPECT_EQ(outs.redirect_location, "/next");
  EXPECT_EQ(outs.response_bytes, Bytes(body));
  EXPECT_EQ(outs.result, "<html>text");
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(HttpFetchTest, ReceivedCookiesMergeOnlyWhenListGiven) {
  const Reply reply = Reply::Http(200, "OK", {"Set-Cookie: a=1; path=/", "set-cookie: b=2"}, "");
  server_.Push(reply);
  Outs omitted = Call({.url = server_.Url("/"), .timeout_seconds = 2});
  EXPECT_EQ(omitted.received, "a=1; b=2");
  EXPECT_FALSE(omitted.cookies.has_value());

  server_.Push(reply);
  Outs given = Call({.url = server_.Url("/"), .timeout_seconds = 2}, Text("b=0; c=3"));
  EXPECT_EQ(given.cookies, Text("a=1; b=2; c=3"));
  EXPECT_EQ(given.received, "a=1;b=2");

  server_.Push(Reply::Ok("none"));
  Outs none = Call({.url = server_.Url("/"), .timeout_seconds = 2}, Text("c=3"));
  EXPECT_EQ(none.received, "");
  EXPECT_EQ(none.cookies, Text("c=3"));
}

TEST_F(HttpFetchTest, LocationLines) {
  struct Case {
    const char* line;
    const char* expected;
  };
  const Case cases[] = {
      {"Location: /a?b=1", "/a?b=1"},
      {"location: http://x/y", "http://x/y"},
      {"Location: ", ""},
      {"Location:/nospace", "unset"},
      {"X-Location: /other", "unset"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    server_.Push(Reply::Http(301, "Moved", {c.line}));
    const Outs outs = Call({.url = server_.Url("/"), .no_redirect = true, .timeout_seconds = 2});
    EXPECT_EQ(outs.redirect_location, c.expected);
    EXPECT_EQ(outs.status_text, "301 Moved");
  }
}

TEST_F(HttpFetchTest, StatusTextFromTheStatusLine) {
  struct Case {
    const char* status_line;
    const char* expected;
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK", "200 OK"},
      {"HTTP/1.0 404 Not Found Here", "404 Not Found Here"},
      {"HTTP/1.1 204", "204"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status_line);
    server_.Push(Reply::Raw(std::string(c.status_line) + "\r\nContent-Length: 0\r\n\r\n"));
    EXPECT_EQ(Call({.url = server_.Url("/"), .timeout_seconds = 2}).status_text, c.expected);
  }
}

TEST_F(HttpFetchTest, BareLineFeedsBecomeCrLf) {
  server_.Push(Reply::Raw("HTTP/1.1 200 OK\nSet-Cookie: a=1\nContent-Length: 2\n\nok"));
  const Outs outs = Call({.url = server_.Url("/"), .timeout_seconds = 2});
  EXPECT_EQ(outs.response_headers, "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nContent-Length: 2\r\n\r\n");
  EXPECT_EQ(outs.status_text, "200 OK");
  EXPECT_EQ(outs.received, "a=1");
  EXPECT_EQ(outs.result, "ok");
}

TEST_F(HttpFetchTest, ContinueBlockIsNotPartOfTheHeaders) {
  server_.Push(Reply::Raw(
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
  const Outs outs = Call({.url = server_.Url("/"), .method = 1, .body = "x", .timeout_seconds = 2});
  EXPECT_EQ(outs.response_headers, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n");
  EXPECT_EQ(outs.status_text, "200 OK");
  EXPECT_EQ(outs.result, "ok");
}

TEST_F(HttpFetchTest, ChunkedBodyAndTrailers) {
  server_.Push(Reply::Raw(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
      "3\r\nabc\r\n2\r\nde\r\n0\r\nX-Trailer: t\r\n\r\n"));
  const Outs outs = Call({.url = server_.Url("/"), .timeout_seconds = 2});
  EXPECT_EQ(outs.result, "abcde");
  EXPECT_EQ(outs.response_headers, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
}

// ---- Redirects ----

TEST_F(HttpFetchTest, RedirectsAreFollowedWithTheFinalAnswerOnly) {
  server_.SetHandler([](const Request& r) {
    if (r.target == "/start") {
      return Reply::Http(302, "Found", {"Location: /end", "Set-Cookie: hop=1; path=/"});
    }
    return Reply::Http(200, "OK", {"Set-Cookie: end=2"}, "arrived");
  });
  const Outs outs = Call({.url = server_.Url("/start"), .method = 1, .body = "form=1",
                          .headers = "X-Keep: 1", .timeout_seconds = 2},
                         Text(""));
  EXPECT_EQ(outs.result, "arrived");
  EXPECT_EQ(outs.status_text, "200 OK");
  EXPECT_EQ(outs.response_headers,
            "HTTP/1.1 200 OK\r\nSet-Cookie: end=2\r\nContent-Length: 7\r\n\r\n");
  EXPECT_EQ(outs.redirect_location, "unset");
  EXPECT_EQ(outs.received, "end=2");
  const std::vector<Request> seen = server_.Requests();
  ASSERT_EQ(seen.size(), 2u);
  // A POST answered by 302 goes on as a GET without the body; the caller's
  // lines go along, the cookie of the hop does not.
  EXPECT_EQ(seen[1].request_line, "GET /end HTTP/1.1");
  EXPECT_EQ(seen[1].body_size, 0u);
  EXPECT_EQ(seen[1].HeaderCount("Content-Length"), 0u);
  EXPECT_EQ(seen[1].Header("X-Keep"), "1");
  EXPECT_EQ(seen[1].HeaderCount("Cookie"), 0u);
}

TEST_F(HttpFetchTest, VerbAndBodyAfterARedirect) {
  struct Case {
    std::int32_t method;
    int status;
    const char* second_verb;
    const char* second_body;
  };
  const Case cases[] = {
      {1, 301, "GET", ""},  {1, 302, "GET", ""},      {1, 303, "GET", ""},
      {1, 307, "POST", "form=1"},                     {1, 308, "POST", "form=1"},
      // A PUT keeps its verb and its body unless the answer says "see other".
      {3, 302, "PUT", "form=1"},                      {3, 303, "GET", ""},
      {3, 307, "PUT", "form=1"},
      {0, 302, "GET", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.method) + " " + std::to_string(c.status));
    FakeServer server;
    server.SetHandler([&](const Request& r) {
      return r.target == "/a" ? Reply::Redirect(c.status, "/b") : Reply::Ok("b");
    });
    EXPECT_EQ(Call({.url = server.Url("/a"), .method = c.method, .body = "form=1",
                    .timeout_seconds = 2})
                  .result,
              "b");
    const std::vector<Request> seen = server.Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].body, "form=1");
    EXPECT_EQ(seen[1].method, c.second_verb);
    EXPECT_EQ(seen[1].body, c.second_body);
    EXPECT_EQ(seen[1].HeaderCount("Content-Length"), std::string_view(c.second_body).empty() ? 0u : 1u);
  }
}

TEST_F(HttpFetchTest, NoRedirectReturnsTheRedirect) {
  server_.SetHandler([](const Request&) { return Reply::Redirect(302, "/elsewhere"); });
  const Outs outs = Call({.url = server_.Url("/"), .no_redirect = true, .timeout_seconds = 2});
  EXPECT_EQ(outs.status_text, "302 Found");
  EXPECT_EQ(outs.redirect_location, "/elsewhere");
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(HttpFetchTest, RedirectLoopStopsAfterTen) {
  server_.SetHandler([](const Request&) { return Reply::Redirect(302, "/again"); });
  const Outs outs = Call({.url = server_.Url("/again"), .timeout_seconds = 2});
  // The original request and ten followed redirects; then the routine gives up
  // as for a server that gave no answer.
  EXPECT_EQ(server_.Requests().size(), 11u);
  EXPECT_EQ(outs.status_text, Gbk("712 服务器未响应!"));
  EXPECT_EQ(outs.result, "");
  EXPECT_EQ(outs.response_headers, "unset");
}

TEST_F(HttpFetchTest, RedirectToAnotherSchemeIsNotFollowed) {
  server_.Push(Reply::Redirect(302, "ftp://127.0.0.1/file"));
  const Outs outs = Call({.url = server_.Url("/"), .timeout_seconds = 2});
  EXPECT_EQ(outs.status_text, Gbk("712 服务器未响应!"));
  EXPECT_EQ(server_.Requests().size(), 1u);
}

// ---- Numbered failures ----

struct FailureCase {
  const char* name;
  const char* status_text;
  // Window servicing on the way out: one per stage reached.
  int pumped;
};

void ExpectFailure(const FailureCase& c, const Outs& outs, int pumped) {
  EXPECT_EQ(outs.status_text, Gbk(c.status_text));
  EXPECT_EQ(outs.result, "");
  EXPECT_EQ(pumped, c.pumped);
  // Not reached: the caller's values stay.
  EXPECT_EQ(outs.response_headers, "unset");
  EXPECT_EQ(outs.received, "unset");
  EXPECT_EQ(outs.response_bytes, Bytes(std::string("unset")));
  EXPECT_EQ(outs.cookies, Text("keep=1"));
  // Time-out 2 s: a failing call takes no longer than 3 s.
  EXPECT_LT(outs.elapsed, milliseconds(3000));
}

TEST(HttpFetchFailure, AddressesThatDoNotParse) {
  const char* urls[] = {"", "ftp://127.0.0.1/file", "not an address", "http://", "127.0.0.1/x",
                        "file:///etc/passwd", "gopher://127.0.0.1/"};
  for (const char* url : urls) {
    SCOPED_TRACE(url);
    PumpCounter pump;
    const Outs outs = Call({.url = url, .timeout_seconds = 2}, Text("keep=1"));
    ExpectFailure({url, "701 解析URL地址失败!", 1}, outs, pump.count());
  }
}

TEST(HttpFetchFailure, NothingSent) {
  ClosedPort closed;
  FakeServer https({.https = true});
  FakeServer plain;
  struct Case {
    FailureCase expected;
    std::string url;
  };
  const Case cases[] = {
      {{"connection refused", "711 发送请求失败!", 7}, closed.Url()},
      {{"self-signed certificate", "711 发送请求失败!", 7}, https.Url("/")},
      {{"https to a plain server", "711 发送请求失败!", 7}, "https://" + plain.HostPort() + "/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.name);
    PumpCounter pump;
    const Outs outs = Call({.url = c.url, .timeout_seconds = 2}, Text("keep=1"));
    ExpectFailure(c.expected, outs, pump.count());
  }
  EXPECT_EQ(https.Requests().size(), 0u);
}

TEST(HttpFetchFailure, NoAnswer) {
  struct Case {
    FailureCase expected;
    Reply reply;
  };
  const Case cases[] = {
      {{"never answers", "712 服务器未响应!", 8}, Reply::NoAnswer()},
      {{"closes before answering", "712 服务器未响应!", 8}, Reply::Raw("")},
      {{"resets before answering", "712 服务器未响应!", 8}, Reply::Reset()},
      {{"half a status line, then closes", "712 服务器未响应!", 8}, Reply::Raw("HTTP/1.1 20")},
      {{"headers cut short, then stalls", "712 服务器未响应!", 8},
       Reply::Stall("HTTP/1.1 200 OK\r\nContent-Le")},
      {{"not HTTP", "712 服务器未响应!", 8}, Reply::Raw("\x16\x03garbage\r\n\r\nmore")},
      {{"answers after the time-out", "712 服务器未响应!", 8},
       [] {
         Reply late = Reply::Ok("late");
         late.delay = milliseconds(2600);
         return late;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.name);
    FakeServer server;
    server.Push(c.reply);
    PumpCounter pump;
    const Outs outs =
        Call({.url = server.Url("/"), .method = 1, .body = "b=1", .timeout_seconds = 2},
             Text("keep=1"));
    ExpectFailure(c.expected, outs, pump.count());
    EXPECT_EQ(server.Requests().size(), 1u);
  }
}

TEST(HttpFetchFailure, BodyCutShortKeepsWhatArrived) {
  const std::string head = "HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\nContent-Length: 100\r\n\r\n";
  struct Case {
    const char* name;
    Reply reply;
  };
  const Case cases[] = {
      {"short body, then close", Reply::Raw(head + "partial")},
      {"short body, then reset", Reply::Reset(head + "partial")},
      {"short body, then stall", Reply::Stall(head + "partial")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer server;
    server.Push(c.reply);
    PumpCounter pump;
    const Outs outs = Call({.url = server.Url("/"), .timeout_seconds = 2}, Text("keep=1"));
    // The header block is there, so the status of the answer replaces the
    // message; what was read is delivered.
    EXPECT_EQ(outs.status_text, "200 OK");
    EXPECT_EQ(outs.response_bytes, Bytes(std::string("partial")));
    EXPECT_EQ(outs.result, "partial");
    EXPECT_EQ(outs.response_headers, head);
    EXPECT_EQ(outs.cookies, Text("s=1; keep=1"));
    // Four header lines and the charset step, then the nine stages.
    EXPECT_EQ(pump.count(), 4 + 1 + 9);
    EXPECT_LT(outs.elapsed, milliseconds(3000));
  }
}

TEST(HttpFetchFailure, TimeoutBoundsASilentWait) {
  FakeServer server;
  server.SetDefaultReply(Reply::NoAnswer());
  for (std::int32_t seconds : {1, 2}) {
    SCOPED_TRACE(seconds);
    const Outs outs = Call({.url = server.Url("/"), .timeout_seconds = seconds});
    EXPECT_EQ(outs.status_text, Gbk("712 服务器未响应!"));
    EXPECT_GE(outs.elapsed, milliseconds(seconds * 1000 - 100));
    EXPECT_LT(outs.elapsed, milliseconds(seconds * 1000 + 1000));
  }
}

// The time-out bounds each wait, not the whole exchange: an answer that keeps
// coming, slowly, for longer than the time-out still arrives whole.
TEST(HttpFetchFailure, SlowButSteadyAnswerOutlastsTheTimeout) {
  FakeServer server;
  Reply slow = Reply::Ok(std::string(8, 'x'), "text/plain");
  slow.pace_bytes = slow.bytes.size() / 6 + 1;
  slow.pace = milliseconds(400);
  server.Push(slow);
  const Outs outs = Call({.url = server.Url("/"), .timeout_seconds = 1});
  EXPECT_EQ(outs.status_text, "200 OK");
  EXPECT_EQ(outs.result, std::string(8, 'x'));
  EXPECT_GE(outs.elapsed, milliseconds(1500));
}

// ---- Window servicing ----

TEST_F(HttpFetchTest, WindowIsServicedPerHeaderLineCharsetAndStage) {
  server_.Push(Reply::Http(200, "OK", {"A: 1", "B: 2"}, "body"));
  PumpCounter pump;
  const Outs outs = Call({.url = server_.Url("/"), .timeout_seconds = 2});
  EXPECT_EQ(outs.result, "body");
  // Status line, three header lines and the empty line; the charset step; the
  // nine stages.
  EXPECT_EQ(pump.count(), 5 + 1 + 9);
}

TEST_F(HttpFetchTest, WithoutAHookNothingHappens) {
  server_.Push(Reply::Ok("x"));
  EXPECT_EQ(SetMessagePump(nullptr), nullptr);
  EXPECT_EQ(Call({.url = server_.Url("/"), .timeout_seconds = 2}).result, "x");
}

// ---- Charset ----

// "中文" in the encodings the tests use.
constexpr std::string_view kGbkWord = "\xD6\xD0\xCE\xC4";
constexpr std::string_view kUtf8Word = "\xE4\xB8\xAD\xE6\x96\x87";
constexpr std::string_view kBig5Word = "\xA4\xA4\xA4\xE5";
// "日本" in Shift_JIS and in code page 936.
constexpr std::string_view kSjisWord = "\x93\xFA\x96\x7B";
constexpr std::string_view kGbkJapanWord = "\xC8\xD5\xB1\xBE";

TEST(HttpFetchCharset, DeclaredCharsetIsDecoded) {
  struct Case {
    const char* name;
    std::string body;
    std::string expected;
  };
  const std::string utf8_page = "<html><meta charset=\"utf-8\">" + std::string(kUtf8Word);
  const std::string pad(1024, ' ');
  const Case cases[] = {
      {"utf-8 quoted", utf8_page, "<html><meta charset=\"utf-8\">" + std::string(kGbkWord)},
      {"utf-8 in content attribute",
       "<META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">" +
           std::string(kUtf8Word),
       "<META http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">" +
           std::string(kGbkWord)},
      {"big5", "<meta charset=big5>" + std::string(kBig5Word),
       "<meta charset=big5>" + std::string(kGbkWord)},
      {"shift_jis", "<meta charset='Shift_JIS'>" + std::string(kSjisWord),
       "<meta charset='Shift_JIS'>" + std::string(kGbkJapanWord)},
      // GBK in capitals is decoded again: a lead byte without its trail byte
      // becomes "?". In gbk and gb2312 the bytes stay as received.
      {"GBK in capitals", "<meta charset=GBK>" + std::string(kGbkWord) + "\x81",
       "<meta charset=GBK>" + std::string(kGbkWord) + "?"},
      {"gbk kept", "<meta charset=gbk>" + std::string(kGbkWord) + "\x81",
       "<meta charset=gbk>" + std::string(kGbkWord) + "\x81"},
      {"gb2312 kept", "<meta charset=gb2312>\x81", "<meta charset=gb2312>\x81"},
      {"unknown name", "<meta charset=no-such-set>" + std::string(kUtf8Word),
       "<meta charset=no-such-set>" + std::string(kUtf8Word)},
      {"no declaration", std::string(kUtf8Word), std::string(kUtf8Word)},
      {"declaration after byte 1024", pad + utf8_page, pad + utf8_page},
      {"declaration inside the first 1024 bytes", pad.substr(0, 900) + utf8_page,
       pad.substr(0, 900) + "<html><meta charset=\"utf-8\">" + std::string(kGbkWord)},
  };
  FakeServer server;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.Push(Reply::Ok(c.body));
    PumpCounter pump;
    const Outs outs = Call({.url = server.Url("/"), .timeout_seconds = 2});
    EXPECT_EQ(outs.result, Text(c.expected));
    EXPECT_EQ(outs.response_bytes, Bytes(c.body));
    // Status line, two header lines, the empty line; the charset step; the
    // nine stages.
    EXPECT_EQ(pump.count(), 4 + 1 + 9);
  }
}

TEST(HttpFetchCharset, DecodedTextEndsAtZeroByte) {
  FakeServer server;
  const std::string body = "<meta charset=utf-8>" + std::string(kUtf8Word) + std::string("\0tail", 5);
  server.Push(Reply::Ok(body));
  const Outs outs = Call({.url = server.Url("/"), .timeout_seconds = 2});
  EXPECT_EQ(outs.result, Text("<meta charset=utf-8>" + std::string(kGbkWord)));
  EXPECT_EQ(outs.response_bytes, Bytes(body));
}

}  // namespace
}  // namespace tavrel
