// HttpFetchAutomation: the calls it makes on its request component (with a
// recording component, no socket), and the libcurl component against the
// loopback server over HTTP and HTTPS.
#include "net/http_fetch_automation.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/request_component.h"
#include "tests/support/fake_server.h"

namespace tavrel {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using test_support::FakeServer;
using test_support::Reply;
using test_support::Request;

constexpr char kUrl[] = "http://host.example/path?q=1";
constexpr char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr char kFormType[] = "application/x-www-form-urlencoded";

// Writes down every call, answers the three reads from its fields.
class RecordingComponent final : public RequestComponent {
 public:
  void SetTimeouts(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) override {
    Note("SetTimeouts(" + std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) +
         "," + std::to_string(d) + ")");
  }
  void SetProxy(std::int32_t setting, std::string_view proxy) override {
    Note("SetProxy(" + std::to_string(setting) + "," + std::string(proxy) + ")");
  }
  void SetProxyCredentials(std::string_view user, std::string_view password,
                           std::int32_t flags) override {
    Note("SetProxyCredentials(" + std::string(user) + "," + std::string(password) + "," +
         std::to_string(flags) + ")");
  }
  void Open(std::string_view method, std::string_view url, bool async) override {
    Note("Open(" + std::string(method) + "," + std::string(url) + "," + (async ? "true" : "false") +
         ")");
  }
  void SetOption(std::int32_t index, std::int32_t value) override {
    Note("SetOption(" + std::to_string(index) + "," + std::to_string(value) + ")");
  }
  void SetRequestHeader(std::string_view name, std::string_view value) override {
    Note("Header(" + std::string(name) + "|" + std::string(value) + ")");
  }
  void SendBytes(std::string_view sent) override { Note("SendBytes(" + std::string(sent) + ")"); }
  void SendText(std::string_view sent) override { Note("SendText(" + std::string(sent) + ")"); }
  Bytes ResponseBody() override {
    Note("ResponseBody");
    return body;
  }
  Text GetAllResponseHeaders() override {
    Note("GetAllResponseHeaders");
    return headers;
  }
  std::int32_t Status() override {
    Note("Status");
    return status;
  }

  // The calls whose text starts with `prefix`.
  [[nodiscard]] std::vector<std::string> CallsOf(std::string_view prefix) const {
    std::vector<std::string> out;
    for (const std::string& call : calls) {
      if (call.rfind(prefix, 0) == 0) out.push_back(call);
    }
    return out;
  }

  std::vector<std::string> calls;
  Bytes body;
  Text headers;
  std::int32_t status = 0;

 private:
  void Note(std::string call) { calls.push_back(std::move(call)); }
};

struct Outs {
  Text cookies;
  Text received = "unset";
  Text completed = "unset";
  Text response_headers = "unset";
  std::int32_t status = -7;
  Bytes result;
};

Outs Call(HttpFetchAutomationRequest request, Text cookies = {}) {
  Outs outs;
  outs.cookies = std::move(cookies);
  request.cookies = &outs.cookies;
  request.received_cookies = &outs.received;
  request.completed_headers = &outs.completed;
  request.response_headers = &outs.response_headers;
  request.status_code = &outs.status;
  outs.result = HttpFetchAutomation(request);
  return outs;
}

// ---- The calls on the component ----

TEST(HttpFetchAutomationCalls, EmptyRequestMakesTheDefaultCallsInOrder) {
  RecordingComponent component;
  component.body = Bytes(std::string("r\0b", 3));
  component.status = 200;
  const Outs outs = Call({.url = kUrl, .request_object = &component});
  const std::vector<std::string> expected = {
      "SetTimeouts(15000,15000,15000,15000)",
      std::string("Open(GET,") + kUrl + ",false)",
      "SetOption(4,13056)",
      "Header(Accept|*/*)",
      std::string("Header(Referer|") + kUrl + ")",
      "Header(Accept-Language|zh-cn)",
      std::string("Header(User-Agent|") + kUserAgent + ")",
      std::string("Header(Content-Type|") + kFormType + ")",
      "SendText()",
      "ResponseBody",
      "GetAllResponseHeaders",
      "Status",
  };
  EXPECT_EQ(component.calls, expected);
  EXPECT_EQ(outs.completed, Text(std::string("Accept: */*\r\nReferer: ") + kUrl +
                                 "\r\nAccept-Language: zh-cn\r\nUser-Agent: " + kUserAgent +
                                 "\r\nContent-Type: " + kFormType));
  EXPECT_EQ(outs.result, Bytes(std::string("r\0b", 3)));
  EXPECT_EQ(outs.status, 200);
  EXPECT_EQ(outs.received, "");
  EXPECT_EQ(outs.response_headers, "");
}

TEST(HttpFetchAutomationCalls, HeaderCompletionAndLines) {
  struct Case {
    const char* name;
    std::string headers;
    std::string completed;
    std::vector<std::string> header_calls;
  };
  const std::string referer = std::string("Referer: ") + kUrl;
  const Case cases[] = {
      {"template ending in CR LF with four of the five",
       "Accept: a\r\nReferer: r\r\nUser-Agent: u\r\nContent-Type: c\r\n",
       "Accept: a\r\nReferer: r\r\nUser-Agent: u\r\nContent-Type: c\r\n\r\nAccept-Language: zh-cn",
       {"Header(Accept|a)", "Header(Referer|r)", "Header(User-Agent|u)", "Header(Content-Type|c)",
        "Header(Accept-Language|zh-cn)"}},
      {"markers are case-sensitive",
       "accept: text/html",
       "accept: text/html\r\nAccept: */*\r\n" + referer +
           "\r\nAccept-Language: zh-cn\r\nUser-Agent: " + kUserAgent + "\r\nContent-Type: " +
           kFormType,
       {"Header(accept|text/html)", "Header(Accept|*/*)", "Header(Referer|" + std::string(kUrl) + ")",
        "Header(Accept-Language|zh-cn)", std::string("Header(User-Agent|") + kUserAgent + ")",
        std::string("Header(Content-Type|") + kFormType + ")"}},
      {"marker inside a value",
       "X-Note: Referer: none\r\nAccept: a\r\nAccept-Language: l\r\nUser-Agent: u\r\nContent-Type: c",
       "X-Note: Referer: none\r\nAccept: a\r\nAccept-Language: l\r\nUser-Agent: u\r\nContent-Type: c",
       {"Header(X-Note|Referer: none)", "Header(Accept|a)", "Header(Accept-Language|l)",
        "Header(User-Agent|u)", "Header(Content-Type|c)"}},
      {"one line holding all five markers",
       "X: Accept: Referer: Accept-Language: User-Agent: Content-Type:",
       "X: Accept: Referer: Accept-Language: User-Agent: Content-Type:",
       {"Header(X|Accept: Referer: Accept-Language: User-Agent: Content-Type:)"}},
      {"no colon, blanks around, empty pieces",
       "no colon here\r\n\r\nHost:  x \r\nAccept: a\r\nReferer: r\r\nAccept-Language: l\r\n"
       "User-Agent: u\r\nContent-Type: c",
       "no colon here\r\n\r\nHost:  x \r\nAccept: a\r\nReferer: r\r\nAccept-Language: l\r\n"
       "User-Agent: u\r\nContent-Type: c",
       {"Header(|)", "Header(Host|x)", "Header(Accept|a)", "Header(Referer|r)",
        "Header(Accept-Language|l)", "Header(User-Agent|u)", "Header(Content-Type|c)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingComponent component;
    const Outs outs = Call({.url = kUrl, .headers = c.headers, .request_object = &component});
    EXPECT_EQ(outs.completed, Text(c.completed));
    EXPECT_EQ(component.CallsOf("Header("), c.header_calls);
  }
}

TEST(HttpFetchAutomationCalls, MethodTimeoutProxyAndBody) {
  struct Case {
    const char* name;
    HttpFetchAutomationRequest request;
    std::vector<std::string> expected;  // the calls before the first Header
  };
  const std::string open_get = std::string("Open(GET,") + kUrl + ",false)";
  const Case cases[] = {
      {"method 3 is GET", {.url = kUrl, .method = 3},
       {"SetTimeouts(15000,15000,15000,15000)", open_get, "SetOption(4,13056)"}},
      {"method -1 is GET", {.url = kUrl, .method = -1, .timeout_seconds = -5},
       {"SetTimeouts(15000,15000,15000,15000)", open_get, "SetOption(4,13056)"}},
      {"HEAD", {.url = kUrl, .method = 2, .timeout_seconds = 20},
       {"SetTimeouts(20000,20000,20000,20000)", std::string("Open(HEAD,") + kUrl + ",false)",
        "SetOption(4,13056)"}},
      {"timeouts left alone, no redirects",
       {.url = kUrl, .method = 1, .no_redirect = true, .timeout_seconds = -1},
       {std::string("Open(POST,") + kUrl + ",false)", "SetOption(6,0)", "SetOption(4,13056)"}},
      {"seconds beyond the range are the largest count",
       {.url = kUrl, .timeout_seconds = 3000000},
       {"SetTimeouts(2147483647,2147483647,2147483647,2147483647)", open_get,
        "SetOption(4,13056)"}},
      {"proxy with credentials for the proxy",
       {.url = kUrl, .proxy = "p:8080", .timeout_seconds = -1, .proxy_user = "u"},
       {"SetProxy(2,p:8080)", "SetProxyCredentials(u,,1)", open_get, "SetOption(4,13056)"}},
      {"credential flags given as 0",
       {.url = kUrl, .proxy = "p:8080", .timeout_seconds = -1, .proxy_user = "u",
        .proxy_password = "pw", .credential_flags = 0},
       {"SetProxy(2,p:8080)", "SetProxyCredentials(u,pw,0)", open_get, "SetOption(4,13056)"}},
      {"proxy user without proxy",
       {.url = kUrl, .timeout_seconds = -1, .proxy_user = "u", .proxy_password = "pw"},
       {open_get, "SetOption(4,13056)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingComponent component;
    HttpFetchAutomationRequest request = c.request;
    request.request_object = &component;
    Call(request);
    const std::vector<std::string> before(
        component.calls.begin(), component.calls.begin() + static_cast<long>(c.expected.size()));
    EXPECT_EQ(before, c.expected);
    EXPECT_EQ(component.calls.at(c.expected.size()), "Header(Accept|*/*)");
  }
}

TEST(HttpFetchAutomationCalls, BodyChoice) {
  struct Case {
    const char* name;
    std::string_view body;
    std::string_view body_bytes;
    std::string sent;
  };
  const Case cases[] = {
      {"bytes win", "text", std::string_view("b\0y", 3), std::string("SendBytes(b\0y)", 14)},
      {"text when no bytes", "text", "", "SendText(text)"},
      {"both empty", "", "", "SendText()"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingComponent component;
    Call({.url = kUrl, .method = 2, .body = c.body, .body_bytes = c.body_bytes,
          .request_object = &component});
    EXPECT_EQ(component.CallsOf("Send"), std::vector<std::string>{c.sent});
  }
}

TEST(HttpFetchAutomationCalls, CookiesOutAndIn) {
  RecordingComponent component;
  component.headers =
      "set-cookie: a=1; Path=/\r\nX-Set-Cookieish; x\r\nSET-COOKIE: b=2\r\nContent-Length: 0\r\n";
  const Outs outs = Call({.url = kUrl, .request_object = &component}, Text("old=1; b=0"));
  EXPECT_EQ(component.CallsOf("Header(").front(), "Header(Cookie|old=1; b=0)");
  EXPECT_EQ(outs.response_headers,
            "Set-Cookie: a=1; Path=/\r\nX-Set-Cookieish; x\r\nSet-Cookie: b=2\r\nContent-Length: 0\r\n");
  // The line with "Set-Cookie" and ";" but no "Set-Cookie:" gives an empty item.
  EXPECT_EQ(outs.received, "a=1;;b=2");
  EXPECT_EQ(outs.cookies, Text("a=1; ; b=2; old=1"));
}

TEST(HttpFetchAutomationCalls, NoCookieHeaderForAnEmptyList) {
  RecordingComponent component;
  const Outs outs = Call({.url = kUrl, .request_object = &component});
  EXPECT_EQ(component.CallsOf("Header(Cookie").size(), 0u);
  EXPECT_EQ(outs.cookies, "");
}

TEST(HttpFetchAutomationCalls, AbsentComponentFailsEveryCallButTheRoutineGoesOn) {
  const Outs outs = Call({.url = kUrl, .headers = "X: 1",
                          .request_object = static_cast<RequestComponent*>(nullptr)},
                         Text("a = 1; a=deleted2"));
  EXPECT_TRUE(outs.result.empty());
  EXPECT_EQ(outs.status, 0);
  EXPECT_EQ(outs.response_headers, "");
  EXPECT_EQ(outs.received, "");
  EXPECT_EQ(outs.completed.view().substr(0, 18), "X: 1\r\nAccept: */*\r");
  // The list still went through the merge: blanks gone, first of a name kept.
  EXPECT_EQ(outs.cookies, "a=1");
}

TEST(HttpFetchAutomationCalls, HeaderNameAndValue) {
  struct Case {
    const char* line;
    const char* name;
    const char* value;
  };
  const Case cases[] = {
      {"X-Time: 12:30", "X-Time", "12:30"},
      {"Host:  x ", "Host", "x"},
      {"no colon", "", ""},
      {":", "", ""},
      {"\xA1\xA1Name\xA1\xA1:\xA1\xA1 v \xA1\xA1", "Name", "v"},
      {"Tab:\tv\t", "Tab", "\tv\t"},
      // The colon inside a double-byte character is no separator; the one
      // after it is.
      {"\x81:x: y", "\x81:x", "y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(HeaderName(c.line), c.name);
    EXPECT_EQ(HeaderValue(c.line), c.value);
  }
}

// ---- Our component against the loopback server ----

class CurlComponentTest : public ::testing::TestWithParam<bool> {
 protected:
  CurlComponentTest() : server_({.https = GetParam()}) {}
  FakeServer server_;
};

TEST_P(CurlComponentTest, PostsBytesUnchangedAndReadsTheAnswer) {
  server_.Push(Reply::Http(201, "Created",
                           {"set-Cookie: s=1; path=/", "X-Multi: a:b"},
                           std::string("re\0ply", 6)));
  const std::string body("--b\r\n\0\x01\xff--b--", 14);
  const Outs outs = Call({.url = server_.Url("/upload?x=1"),
                          .method = 1,
                          .body = "ignored text",
                          .headers = "Content-Type: multipart/form-data; boundary=b\r\nX-Mine: 1",
                          .body_bytes = body,
                          .timeout_seconds = 2},
                         Text("c=3"));
  EXPECT_EQ(outs.result, Bytes(std::string("re\0ply", 6)));
  EXPECT_EQ(outs.status, 201);
  EXPECT_EQ(outs.response_headers,
            "Set-Cookie: s=1; path=/\r\nX-Multi: a:b\r\nContent-Length: 6\r\n");
  EXPECT_EQ(outs.received, "s=1");
  EXPECT_EQ(outs.cookies, "s=1; c=3");

  const std::vector<Request> seen = server_.Requests();
  ASSERT_EQ(seen.size(), 1u);
  const Request& r = seen[0];
  EXPECT_EQ(r.request_line, "POST /upload?x=1 HTTP/1.1");
  EXPECT_EQ(r.body, body);
  const std::vector<std::string> expected = {
      "Host: " + server_.HostPort(),
      "Cookie: c=3",
      "Content-Type: multipart/form-data; boundary=b",
      "X-Mine: 1",
      "Accept: */*",
      "Referer: " + server_.Url("/upload?x=1"),
      "Accept-Language: zh-cn",
      std::string("User-Agent: ") + kUserAgent,
      "Content-Length: 14",
  };
  EXPECT_EQ(r.header_lines, expected);
}

TEST_P(CurlComponentTest, RedirectsFollowedUnlessSwitchedOff) {
  server_.SetHandler([](const Request& r) {
    return r.target == "/from" ? Reply::Redirect(302, "/to") : Reply::Ok("landed");
  });
  const Outs followed = Call({.url = server_.Url("/from"), .timeout_seconds = 2});
  EXPECT_EQ(followed.status, 200);
  EXPECT_EQ(followed.result, Bytes(std::string("landed")));

  const Outs stopped = Call({.url = server_.Url("/from"), .no_redirect = true, .timeout_seconds = 2});
  EXPECT_EQ(stopped.status, 302);
  EXPECT_EQ(stopped.response_headers, "Location: /to\r\nContent-Length: 0\r\n");
  EXPECT_TRUE(stopped.result.empty());
  EXPECT_EQ(server_.Requests().size(), 3u);
}

TEST_P(CurlComponentTest, FailuresLeaveNoResponse) {
  struct Case {
    const char* name;
    Reply reply;
  };
  const Case cases[] = {
      {"no answer", Reply::NoAnswer()},
      {"body cut short", Reply::Reset("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nab")},
      {"garbage", Reply::Raw("garbage\r\n\r\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server_.Push(c.reply);
    const auto start = steady_clock::now();
    const Outs outs = Call({.url = server_.Url("/"), .timeout_seconds = 2}, Text("k = 1"));
    EXPECT_LT(steady_clock::now() - start, milliseconds(3000));
    EXPECT_TRUE(outs.result.empty());
    EXPECT_EQ(outs.status, 0);
    EXPECT_EQ(outs.response_headers, "");
    EXPECT_EQ(outs.cookies, "k=1");
  }
}

INSTANTIATE_TEST_SUITE_P(HttpAndHttps, CurlComponentTest, ::testing::Bool(),
                         [](const auto& param_info) { return param_info.param ? "Https" : "Http"; });

TEST(CurlComponent, CertificatesAreCheckedUnlessTheOptionSaysOtherwise) {
  FakeServer server({.https = true});
  server.SetDefaultReply(Reply::Ok("secret"));
  const std::unique_ptr<RequestComponent> request = MakeCurlRequest();
  request->SetTimeouts(2000, 2000, 2000, 2000);
  request->Open("GET", server.Url("/"), false);
  request->SendText("");
  EXPECT_EQ(request->Status(), 0);
  EXPECT_TRUE(request->ResponseBody().empty());

  request->Open("GET", server.Url("/"), false);
  request->SetOption(4, 13056);
  request->SendText("");
  EXPECT_EQ(request->Status(), 200);
  EXPECT_EQ(request->ResponseBody(), Bytes(std::string("secret")));
  EXPECT_EQ(request->GetAllResponseHeaders(), "Content-Type: text/html\r\nContent-Length: 6\r\n");
}

TEST(CurlComponent, RequestHeadersReplaceAndRemove) {
  FakeServer server;
  const std::unique_ptr<RequestComponent> request = MakeCurlRequest();
  request->SetTimeouts(2000, 2000, 2000, 2000);
  request->SetRequestHeader("Before-Open", "dropped");
  request->Open("PUT", server.Url("/put"), false);
  request->SetRequestHeader("X-A", "1");
  request->SetRequestHeader("X-B", "2");
  request->SetRequestHeader("x-a", "3");
  request->SetRequestHeader("X-B", "");
  request->SetRequestHeader("", "no name");
  request->SetRequestHeader("Bad Name", "x");
  request->SetRequestHeader("X-Split", "a\r\nInjected: 1");
  request->SetRequestHeader("Accept", "text/plain");
  request->SendText("data");
  ASSERT_TRUE(server.WaitForRequests(1));
  const Request r = server.Requests().front();
  EXPECT_EQ(r.request_line, "PUT /put HTTP/1.1");
  const std::vector<std::string> expected = {"Host: " + server.HostPort(), "X-A: 3",
                                             "Accept: text/plain", "Content-Length: 4"};
  EXPECT_EQ(r.header_lines, expected);
  EXPECT_EQ(r.body, "data");
  EXPECT_EQ(request->Status(), 404);
}

TEST(CurlComponent, DefaultAcceptOnlyWhenNoneSet) {
  FakeServer server;
  const std::unique_ptr<RequestComponent> request = MakeCurlRequest();
  request->Open("GET", server.Url("/"), false);
  request->SendText("");
  ASSERT_TRUE(server.WaitForRequests(1));
  const Request r = server.Requests().front();
  EXPECT_EQ(r.header_lines,
            (std::vector<std::string>{"Host: " + server.HostPort(), "Accept: */*"}));
}

TEST(CurlComponent, TimeoutsBoundTheSend) {
  FakeServer server;
  server.SetDefaultReply(Reply::NoAnswer());
  const std::unique_ptr<RequestComponent> request = MakeCurlRequest();
  request->SetTimeouts(1000, 1000, 1000, 1000);
  request->Open("GET", server.Url("/"), false);
  const auto start = steady_clock::now();
  request->SendText("");
  EXPECT_LT(steady_clock::now() - start, milliseconds(2000));
  EXPECT_EQ(request->Status(), 0);
}

TEST(CurlComponent, SlowButSteadyAnswerOutlastsTheTimeouts) {
  FakeServer server;
  Reply slow = Reply::Ok("slow body", "text/plain");
  slow.pace_bytes = slow.bytes.size() / 5 + 1;
  slow.pace = milliseconds(400);
  server.Push(slow);
  const std::unique_ptr<RequestComponent> request = MakeCurlRequest();
  request->SetTimeouts(1000, 1000, 1000, 1000);
  request->Open("GET", server.Url("/"), false);
  const auto start = steady_clock::now();
  request->SendText("");
  EXPECT_GE(steady_clock::now() - start, milliseconds(1500));
  EXPECT_EQ(request->Status(), 200);
  EXPECT_EQ(request->ResponseBody(), Bytes(std::string_view("slow body")));
}

TEST(CurlComponent, BadAddressesAndUnopenedRequestsDoNothing) {
  const std::unique_ptr<RequestComponent> request = MakeCurlRequest();
  request->SendText("x");
  EXPECT_EQ(request->Status(), 0);
  for (const char* url : {"", "ftp://127.0.0.1/", "nonsense"}) {
    request->Open("GET", url, false);
    request->SendText("");
    EXPECT_EQ(request->Status(), 0);
    EXPECT_EQ(request->GetAllResponseHeaders(), "");
  }
}

}  // namespace
}  // namespace tavrel
