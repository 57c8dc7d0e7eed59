// The loopback server itself, driven by plain libcurl.
#include "tests/support/fake_server.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace tavrel::test_support {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

struct CurlFree {
  void operator()(CURL* p) const { curl_easy_cleanup(p); }
};
struct SlistFree {
  void operator()(curl_slist* p) const { curl_slist_free_all(p); }
};

struct Fetched {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string body;
};

size_t Append(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// One request with libcurl; `body` given means POST.
Fetched Fetch(const std::string& url, const std::string* body = nullptr, long timeout_ms = 3000) {
  std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
  std::unique_ptr<curl_slist, SlistFree> headers(curl_slist_append(nullptr, "Expect:"));
  Fetched result;
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, timeout_ms);
  curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &result.body);
  if (body != nullptr) {
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body->data());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
  }
  result.code = curl_easy_perform(curl.get());
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &result.status);
  return result;
}

class FakeServerTest : public ::testing::TestWithParam<bool> {};

TEST_P(FakeServerTest, RecordsRequestAndSendsScriptedReply) {
  FakeServer server({.https = GetParam()});
  server.Push(Reply::Http(201, "Made", {"sEt-CoOkIe: a=1; path=/"}, std::string("x\0y", 3)));
  const std::string body("k=v\0z", 5);
  const Fetched got = Fetch(server.Url("/p/q?x=1&y=%41"), &body);
  EXPECT_EQ(got.code, CURLE_OK);
  EXPECT_EQ(got.status, 201);
  EXPECT_EQ(got.body, std::string("x\0y", 3));

  const std::vector<Request> seen = server.Requests();
  ASSERT_EQ(seen.size(), 1u);
  const Request& r = seen[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.target, "/p/q?x=1&y=%41");
  EXPECT_EQ(r.version, "HTTP/1.1");
  EXPECT_EQ(r.request_line, "POST /p/q?x=1&y=%41 HTTP/1.1");
  EXPECT_EQ(r.body, body);
  EXPECT_EQ(r.body_size, 5u);
  EXPECT_TRUE(r.complete);
  EXPECT_EQ(r.Header("content-length"), "5");
  EXPECT_EQ(r.Header("HOST"), server.HostPort());
  EXPECT_EQ(r.HeaderCount("Expect"), 0u);
  EXPECT_EQ(r.HeaderNames().front(), "Host");
  EXPECT_EQ(r.raw.substr(0, r.request_line.size() + 2), r.request_line + "\r\n");
  EXPECT_EQ(r.raw.substr(r.raw.size() - 9), "\r\n\r\n" + body);
}

TEST_P(FakeServerTest, HandlerAnswersEveryConnection) {
  FakeServer server({.https = GetParam()});
  server.SetHandler([](const Request& r) { return Reply::Ok("path " + r.target); });
  for (int i = 0; i < 3; ++i) {
    const Fetched got = Fetch(server.Url("/n" + std::to_string(i)));
    EXPECT_EQ(got.body, "path /n" + std::to_string(i));
  }
  EXPECT_EQ(server.ConnectionCount(), 3u);
  EXPECT_EQ(server.Requests().at(2).connection, 2u);
}

INSTANTIATE_TEST_SUITE_P(HttpAndHttps, FakeServerTest, ::testing::Bool(),
                         [](const auto& param_info) { return param_info.param ? "Https" : "Http"; });

TEST(FakeServer, HttpsCertificateIsSelfSignedForLoopback) {
  FakeServer server({.https = true});
  EXPECT_NE(server.CertificatePem().find("BEGIN CERTIFICATE"), std::string::npos);
  EXPECT_EQ(server.Url("/").rfind("https://127.0.0.1:", 0), 0u);
  std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
  const std::string url = server.Url("/");
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, 3000L);
  EXPECT_EQ(curl_easy_perform(curl.get()), CURLE_PEER_FAILED_VERIFICATION);

  // Trusted explicitly, it verifies.
  const std::string pem = server.CertificatePem();
  curl_blob blob{const_cast<char*>(pem.data()), pem.size(), CURL_BLOB_COPY};
  curl_easy_setopt(curl.get(), CURLOPT_CAINFO_BLOB, &blob);
  EXPECT_EQ(curl_easy_perform(curl.get()), CURLE_OK);
}

TEST(FakeServer, Misbehaviours) {
  struct Case {
    const char* name;
    Reply reply;
    CURLcode expected;
  };
  const Case cases[] = {
      {"no answer", Reply::NoAnswer(), CURLE_OPERATION_TIMEDOUT},
      {"headers then stall", Reply::Stall("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab"),
       CURLE_OPERATION_TIMEDOUT},
      {"short body", Reply::Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab"), CURLE_PARTIAL_FILE},
      {"reset after headers", Reply::Reset("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab"),
       CURLE_RECV_ERROR},
      {"reset at once", Reply::Reset(), CURLE_RECV_ERROR},
      {"close at once", Reply::Raw(""), CURLE_GOT_NOTHING},
      {"garbage", Reply::Raw("\x01\x02garbage\r\n\r\n"), CURLE_UNSUPPORTED_PROTOCOL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServer server;
    server.Push(c.reply);
    const auto start = steady_clock::now();
    const Fetched got = Fetch(server.Url("/"), nullptr, 700);
    EXPECT_EQ(got.code, c.expected) << curl_easy_strerror(got.code);
    EXPECT_LT(steady_clock::now() - start, milliseconds(2500));
  }
}

TEST(FakeServer, DelaysBeforeAnswering) {
  FakeServer server;
  Reply reply = Reply::Ok("late");
  reply.delay = milliseconds(300);
  server.Push(reply);
  const auto start = steady_clock::now();
  EXPECT_EQ(Fetch(server.Url("/")).body, "late");
  EXPECT_GE(steady_clock::now() - start, milliseconds(300));
}

TEST(FakeServer, StopsPromptlyWhileClientsHang) {
  std::thread client;
  const auto start = steady_clock::now();
  {
    FakeServer server;
    server.SetDefaultReply(Reply::NoAnswer());
    client = std::thread([url = server.Url("/")] { Fetch(url, nullptr, 10000); });
    ASSERT_TRUE(server.WaitForRequests(1));
  }
  EXPECT_LT(steady_clock::now() - start, milliseconds(3000));
  client.join();
}

TEST(FakeServer, DrainsLargeBodiesWithoutKeepingThem) {
  FakeServer server({.drain_bodies = true});
  const std::string body(20 << 20, 'b');
  EXPECT_EQ(Fetch(server.Url("/up"), &body, 20000).code, CURLE_OK);
  const std::vector<Request> seen = server.Requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].body_size, body.size());
  EXPECT_TRUE(seen[0].body.empty());
  EXPECT_TRUE(seen[0].complete);
  EXPECT_EQ(seen[0].raw.substr(seen[0].raw.size() - 4), "\r\n\r\n");
}

}  // namespace
}  // namespace tavrel::test_support
