// tests/net/fault_matrix_test.cc
//
// One table of faults, each tried against both request routines on the
// loopback server: what the caller gets back, and that no fault holds a call
// longer than its time-out plus one second.
//
// HttpFetch reports a failure in its status text (a numbered message) and
// returns the empty text; once the header block of the answer has arrived,
// the status line replaces the message and what was read is delivered.
// HttpFetchAutomation reports nothing: a failed exchange leaves no response
// (empty body and headers, status 0).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "net/http_fetch.h"
#include "net/http_fetch_automation.h"
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
using namespace std::string_literals;

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Open file descriptors of the process.
std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++n;
  }
  return n - 1;  // the iterator's own
}

// ---- The faults ----

enum class Fault {
  kRefused,
  kUnresolvable,
  kNoAnswer,
  kHeadersThenSilence,
  kShortBodyThenClose,
  kBrokenChunks,
  kResetMidBody,
  kNotHttp,
  kLongHeaderLine,
  kManyCookies,
  kRedirectLoop,
  kRedirectToAnotherHost,
  kCertificateDoesNotVerify,
  kFiftyMegabytesOfZeros,
  kUnknownCharset,
  kInvalidUtf8,
};

const char* NameOf(Fault fault) {
  switch (fault) {
    case Fault::kRefused: return "connection refused";
    case Fault::kUnresolvable: return "name does not resolve";
    case Fault::kNoAnswer: return "no answer until the time-out";
    case Fault::kHeadersThenSilence: return "headers, then silence";
    case Fault::kShortBodyThenClose: return "Content-Length larger than the body, then close";
    case Fault::kBrokenChunks: return "broken chunked encoding";
    case Fault::kResetMidBody: return "reset mid-body";
    case Fault::kNotHttp: return "a reply that is not HTTP";
    case Fault::kLongHeaderLine: return "a 64 KiB header line";
    case Fault::kManyCookies: return "2000 Set-Cookie lines";
    case Fault::kRedirectLoop: return "redirect loop";
    case Fault::kRedirectToAnotherHost: return "redirect to another host";
    case Fault::kCertificateDoesNotVerify: return "certificate that does not verify";
    case Fault::kFiftyMegabytesOfZeros: return "50 MB of zero bytes";
    case Fault::kUnknownCharset: return "charset name the converters do not know";
    case Fault::kInvalidUtf8: return "declared UTF-8 holding invalid UTF-8";
  }
  return "?";
}

constexpr std::size_t kCookieLines = 2000;
constexpr std::size_t kLongLine = 64 * 1024;
constexpr std::size_t kZeroBody = 50u << 20;

// "中文" in code page 936.
constexpr std::string_view kGbkWord = "\xD6\xD0\xCE\xC4";

const std::string kLongHeader = "X-Long: " + std::string(kLongLine, 'a');

const std::string kUnknownCharsetPage =
    "<html><meta charset=\"x-tavrel-unknown\">"s + std::string(kGbkWord) + "\x81\xFF tail";

// Invalid sequences: two bytes that never occur in UTF-8, a lead byte
// followed by ASCII, and a sequence cut off by the end of the body; valid
// text ("中文", ASCII) between them.
const std::string kInvalidUtf8Page =
    "<html><meta charset=\"utf-8\"><p>ab\xFF\xFE" "cd\xE4\xB8\xAD\xE6\x96\x87" "ef\xC3(gh</p>\xE4\xB8";
// Each invalid sequence becomes one replacement character, which code page
// 936 writes as "?"; the rest is intact.
const std::string kInvalidUtf8AsGbk =
    "<html><meta charset=\"utf-8\"><p>ab??cd"s + std::string(kGbkWord) + "ef?(gh</p>?";

std::string CookieLine(std::size_t i) {
  return "Set-Cookie: c" + std::to_string(i) + "=v" + std::to_string(i) + "; Path=/; HttpOnly";
}
std::string CookieList(std::string_view separator) {
  std::string list;
  for (std::size_t i = 0; i < kCookieLines; ++i) {
    if (i != 0) list += separator;
    list += "c" + std::to_string(i) + "=v" + std::to_string(i);
  }
  return list;
}

// The servers of one case and the address the request goes to.
class Scene {
 public:
  explicit Scene(Fault fault) : fault_(fault) {
    const std::string head100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    switch (fault) {
      case Fault::kRefused:
        url_ = closed_.Url("/up");
        return;
      case Fault::kUnresolvable:
        url_ = "http://tavrel-fault-matrix.invalid/up";
        return;
      case Fault::kCertificateDoesNotVerify:
        https_ = std::make_unique<FakeServer>(test_support::FakeServerOptions{.https = true});
        https_->SetDefaultReply(Reply::Ok("secret"));
        url_ = https_->Url("/up");
        return;
      case Fault::kNoAnswer:
        server_.Push(Reply::NoAnswer());
        break;
      case Fault::kHeadersThenSilence:
        server_.Push(Reply::Stall(head100 + "partial"));
        break;
      case Fault::kShortBodyThenClose:
        server_.Push(Reply::Raw(head100 + "only this"));
        break;
      case Fault::kBrokenChunks:
        // A chunk, then a size line that is no hexadecimal number.
        server_.Push(Reply::Raw(
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nfirst\r\nzz\r\nrest\r\n0\r\n\r\n"));
        break;
      case Fault::kResetMidBody:
        server_.Push(Reply::Reset(head100 + "half"));
        break;
      case Fault::kNotHttp:
        server_.Push(Reply::Raw("SSH-2.0-OpenSSH_9.2p1\r\n\r\nProtocol mismatch.\r\n"));
        break;
      case Fault::kLongHeaderLine:
        server_.Push(Reply::Http(200, "OK", {kLongHeader, "X-After: 1"}, "long"));
        break;
      case Fault::kManyCookies: {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < kCookieLines; ++i) lines.push_back(CookieLine(i));
        server_.Push(Reply::Http(200, "OK", lines, "cookies"));
        break;
      }
      case Fault::kRedirectLoop:
        server_.SetHandler([](const Request&) { return Reply::Redirect(302, "/up"); });
        break;
      case Fault::kRedirectToAnotherHost:
        second_ = std::make_unique<FakeServer>();
        second_->Push(Reply::Ok("arrived"));
        server_.Push(
            Reply::Redirect(302, "http://localhost:" + std::to_string(second_->port()) + "/there"));
        break;
      case Fault::kFiftyMegabytesOfZeros:
        server_.Push(Reply::Ok(std::string(kZeroBody, '\0'), "application/octet-stream"));
        break;
      case Fault::kUnknownCharset:
        server_.Push(Reply::Ok(kUnknownCharsetPage));
        break;
      case Fault::kInvalidUtf8:
        server_.Push(Reply::Ok(kInvalidUtf8Page));
        break;
    }
    url_ = server_.Url("/up");
  }

  [[nodiscard]] const std::string& url() const { return url_; }
  [[nodiscard]] FakeServer& server() { return server_; }
  [[nodiscard]] FakeServer& second() { return *second_; }
  [[nodiscard]] bool Stalls() const {
    return fault_ == Fault::kNoAnswer || fault_ == Fault::kHeadersThenSilence;
  }

 private:
  Fault fault_;
  FakeServer server_;
  std::unique_ptr<FakeServer> second_;
  std::unique_ptr<FakeServer> https_;
  ClosedPort closed_;
  std::string url_;
};

// The redirect reached the other host, which saw its own name in Host.
void ExpectRedirectFollowed(Scene& scene) {
  const std::vector<Request> first = scene.server().Requests();
  const std::vector<Request> second = scene.second().Requests();
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(first[0].Header("Host"), "127.0.0.1:" + std::to_string(scene.server().port()));
  EXPECT_EQ(second[0].Header("Host"), "localhost:" + std::to_string(scene.second().port()));
  EXPECT_EQ(second[0].request_line, "GET /there HTTP/1.1");
  EXPECT_EQ(second[0].HeaderCount("Host"), 1u);
}

// ---- HttpFetch ----

struct FetchOuts {
  Text result;
  Text status_text = "unset";
  Text response_headers = "unset";
  Text received = "unset";
  Bytes response_bytes{std::string("unset")};
  milliseconds elapsed{0};
};

struct FetchCase {
  Fault fault;
  std::int32_t timeout_seconds;
  std::function<void(const FetchOuts&, Scene&)> expect;
};

// Failed before an answer arrived: the message, and nothing else written.
std::function<void(const FetchOuts&, Scene&)> FetchFails(std::string_view message) {
  return [message = std::string(message)](const FetchOuts& outs, Scene&) {
    EXPECT_EQ(outs.status_text, Gbk(message));
    EXPECT_EQ(outs.result, "");
    EXPECT_EQ(outs.response_headers, "unset");
    EXPECT_EQ(outs.received, "unset");
    EXPECT_EQ(outs.response_bytes, Bytes(std::string("unset")));
  };
}

// The answer's header block arrived, its body only in part: the status line
// stands in the status text and the bytes read so far are delivered.
std::function<void(const FetchOuts&, Scene&)> FetchKeepsWhatArrived(std::string partial) {
  return [partial = std::move(partial)](const FetchOuts& outs, Scene&) {
    EXPECT_EQ(outs.status_text, "200 OK");
    EXPECT_EQ(outs.result, partial);
    EXPECT_EQ(outs.response_bytes, Bytes(partial));
    EXPECT_TRUE(Contains(outs.response_headers, "HTTP/1.1 200 OK\r\n")) << outs.response_headers;
  };
}

std::function<void(const FetchOuts&, Scene&)> FetchAnswers(std::string text) {
  return [text = std::move(text)](const FetchOuts& outs, Scene&) {
    EXPECT_EQ(outs.status_text, "200 OK");
    EXPECT_EQ(outs.result, text);
  };
}

TEST(FaultMatrix, HttpFetch) {
  const std::string kSend = "711 发送请求失败!";
  const std::string kNoResponse = "712 服务器未响应!";
  const FetchCase cases[] = {
      {Fault::kRefused, 2, FetchFails(kSend)},
      {Fault::kUnresolvable, 2, FetchFails(kSend)},
      {Fault::kNoAnswer, 2, FetchFails(kNoResponse)},
      {Fault::kHeadersThenSilence, 2, FetchKeepsWhatArrived("partial")},
      {Fault::kShortBodyThenClose, 2, FetchKeepsWhatArrived("only this")},
      {Fault::kBrokenChunks, 2, FetchKeepsWhatArrived("first")},
      {Fault::kResetMidBody, 2, FetchKeepsWhatArrived("half")},
      {Fault::kNotHttp, 2, FetchFails(kNoResponse)},
      {Fault::kLongHeaderLine, 2,
       [](const FetchOuts& outs, Scene&) {
         EXPECT_EQ(outs.status_text, "200 OK");
         EXPECT_EQ(outs.result, "long");
         EXPECT_TRUE(Contains(outs.response_headers, "\r\n" + kLongHeader + "\r\nX-After: 1\r\n"));
       }},
      {Fault::kManyCookies, 2,
       [](const FetchOuts& outs, Scene&) {
         EXPECT_EQ(outs.result, "cookies");
         EXPECT_TRUE(outs.received == CookieList("; ")) << "first bytes: "
                                                          << outs.received.view().substr(0, 80);
         EXPECT_TRUE(Contains(outs.response_headers,
                              "\r\n" + CookieLine(0) + "\r\n" + CookieLine(1) + "\r\n"));
         EXPECT_TRUE(Contains(outs.response_headers, "\r\n" + CookieLine(kCookieLines - 1) + "\r\n"));
       }},
      {Fault::kRedirectLoop, 2,
       [kNoResponse](const FetchOuts& outs, Scene& scene) {
         FetchFails(kNoResponse)(outs, scene);
         EXPECT_EQ(scene.server().Requests().size(), 11u);
       }},
      {Fault::kRedirectToAnotherHost, 2,
       [](const FetchOuts& outs, Scene& scene) {
         FetchAnswers("arrived")(outs, scene);
         ExpectRedirectFollowed(scene);
       }},
      {Fault::kCertificateDoesNotVerify, 2, FetchFails(kSend)},
      {Fault::kFiftyMegabytesOfZeros, 10,
       [](const FetchOuts& outs, Scene&) {
         EXPECT_EQ(outs.status_text, "200 OK");
         // The text ends at the first zero byte; the bytes are all kept.
         EXPECT_EQ(outs.result, "");
         EXPECT_EQ(outs.response_bytes.size(), kZeroBody);
         EXPECT_TRUE(std::all_of(outs.response_bytes.view().begin(), outs.response_bytes.view().end(),
                                 [](char c) { return c == '\0'; }));
       }},
      {Fault::kUnknownCharset, 2, FetchAnswers(kUnknownCharsetPage)},
      {Fault::kInvalidUtf8, 2,
       [](const FetchOuts& outs, Scene& scene) {
         FetchAnswers(kInvalidUtf8AsGbk)(outs, scene);
         EXPECT_EQ(outs.response_bytes, Bytes(kInvalidUtf8Page));
       }},
  };
  // Whatever libcurl and TLS set up once for the process is set up first.
  for (const Fault fault : {Fault::kRedirectToAnotherHost, Fault::kCertificateDoesNotVerify}) {
    Scene scene(fault);
    static_cast<void>(HttpFetch({.url = scene.url(), .timeout_seconds = 2}));
  }
  for (const FetchCase& c : cases) {
    SCOPED_TRACE(NameOf(c.fault));
    // No fault leaves a descriptor open once the servers are gone.
    const std::size_t descriptors = OpenDescriptors();
    auto owned = std::make_unique<Scene>(c.fault);
    Scene& scene = *owned;
    FetchOuts outs;
    HttpFetchRequest request{.url = scene.url(),
                             .method = 1,
                             .body = "q=1",
                             .timeout_seconds = c.timeout_seconds};
    request.response_headers = &outs.response_headers;
    request.received_cookies = &outs.received;
    request.status_text = &outs.status_text;
    request.response_bytes = &outs.response_bytes;
    const auto start = steady_clock::now();
    outs.result = HttpFetch(request);
    outs.elapsed = std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
    c.expect(outs, scene);
    EXPECT_LT(outs.elapsed, milliseconds(c.timeout_seconds * 1000 + 1000));
    if (scene.Stalls()) {
      EXPECT_GE(outs.elapsed, milliseconds(c.timeout_seconds * 1000 - 100));
    }
    owned.reset();
    EXPECT_EQ(OpenDescriptors(), descriptors);
  }
}

// ---- HttpFetchAutomation ----

struct AutomationOuts {
  Bytes body{std::string("unset")};
  std::int32_t status = -1;
  Text response_headers = "unset";
  Text cookies;  // given, empty
  Text received = "unset";
  milliseconds elapsed{0};
};

struct AutomationCase {
  Fault fault;
  std::int32_t timeout_seconds;
  std::function<void(const AutomationOuts&, Scene&)> expect;
};

// No response at all: empty body and headers, status 0, no cookies.
void ExpectNoResponse(const AutomationOuts& outs, Scene&) {
  EXPECT_TRUE(outs.body.empty());
  EXPECT_EQ(outs.status, 0);
  EXPECT_EQ(outs.response_headers, "");
  EXPECT_EQ(outs.received, "");
  EXPECT_EQ(outs.cookies, "");
}

std::function<void(const AutomationOuts&, Scene&)> AutomationAnswers(std::string body) {
  return [body = std::move(body)](const AutomationOuts& outs, Scene&) {
    EXPECT_EQ(outs.status, 200);
    EXPECT_EQ(outs.body, Bytes(body));
  };
}

TEST(FaultMatrix, HttpFetchAutomation) {
  const AutomationCase cases[] = {
      {Fault::kRefused, 2, ExpectNoResponse},
      {Fault::kUnresolvable, 2, ExpectNoResponse},
      {Fault::kNoAnswer, 2, ExpectNoResponse},
      {Fault::kHeadersThenSilence, 2, ExpectNoResponse},
      {Fault::kShortBodyThenClose, 2, ExpectNoResponse},
      {Fault::kBrokenChunks, 2, ExpectNoResponse},
      {Fault::kResetMidBody, 2, ExpectNoResponse},
      {Fault::kNotHttp, 2, ExpectNoResponse},
      {Fault::kLongHeaderLine, 2,
       [](const AutomationOuts& outs, Scene& scene) {
         AutomationAnswers("long")(outs, scene);
         EXPECT_TRUE(outs.response_headers.view().starts_with(kLongHeader + "\r\nX-After: 1\r\n"));
       }},
      {Fault::kManyCookies, 2,
       [](const AutomationOuts& outs, Scene& scene) {
         AutomationAnswers("cookies")(outs, scene);
         // All 2000, in order: the received list without blanks, the merged
         // list with "; " between items.
         EXPECT_TRUE(outs.received == CookieList(";")) << outs.received.view().substr(0, 80);
         EXPECT_TRUE(outs.cookies == CookieList("; ")) << outs.cookies.view().substr(0, 80);
         EXPECT_TRUE(outs.response_headers.view().starts_with(CookieLine(0) + "\r\n" +
                                                              CookieLine(1) + "\r\n"));
       }},
      {Fault::kRedirectLoop, 2,
       [](const AutomationOuts& outs, Scene& scene) {
         ExpectNoResponse(outs, scene);
         EXPECT_EQ(scene.server().Requests().size(), 11u);
       }},
      {Fault::kRedirectToAnotherHost, 2,
       [](const AutomationOuts& outs, Scene& scene) {
         AutomationAnswers("arrived")(outs, scene);
         ExpectRedirectFollowed(scene);
       }},
      // Option 4 = 13056 is always set: the certificate is accepted.
      {Fault::kCertificateDoesNotVerify, 2, AutomationAnswers("secret")},
      {Fault::kFiftyMegabytesOfZeros, 10,
       [](const AutomationOuts& outs, Scene&) {
         EXPECT_EQ(outs.status, 200);
         EXPECT_EQ(outs.body.size(), kZeroBody);
         EXPECT_TRUE(std::all_of(outs.body.view().begin(), outs.body.view().end(),
                                 [](char c) { return c == '\0'; }));
       }},
      // No charset handling here: the bytes as they came.
      {Fault::kUnknownCharset, 2, AutomationAnswers(kUnknownCharsetPage)},
      {Fault::kInvalidUtf8, 2, AutomationAnswers(kInvalidUtf8Page)},
  };
  const std::string body("\x89PNG\0\xCA\xFD\xBE\xDD", 9);
  for (const Fault fault : {Fault::kRedirectToAnotherHost, Fault::kCertificateDoesNotVerify}) {
    Scene scene(fault);
    static_cast<void>(HttpFetchAutomation({.url = scene.url(), .timeout_seconds = 2}));
  }
  for (const AutomationCase& c : cases) {
    SCOPED_TRACE(NameOf(c.fault));
    const std::size_t descriptors = OpenDescriptors();
    auto owned = std::make_unique<Scene>(c.fault);
    Scene& scene = *owned;
    AutomationOuts outs;
    HttpFetchAutomationRequest request{.url = scene.url(), .method = 1};
    request.cookies = &outs.cookies;
    request.received_cookies = &outs.received;
    request.response_headers = &outs.response_headers;
    request.status_code = &outs.status;
    request.body_bytes = body;
    request.timeout_seconds = c.timeout_seconds;
    const auto start = steady_clock::now();
    outs.body = HttpFetchAutomation(request);
    outs.elapsed = std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
    c.expect(outs, scene);
    EXPECT_LT(outs.elapsed, milliseconds(c.timeout_seconds * 1000 + 1000));
    if (scene.Stalls()) {
      EXPECT_GE(outs.elapsed, milliseconds(c.timeout_seconds * 1000 - 100));
    }
    owned.reset();
    EXPECT_EQ(OpenDescriptors(), descriptors);
  }
}

}  // namespace
}  // namespace tavrel
