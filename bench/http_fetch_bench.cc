// Posting a 100 MiB body to a loopback server that drains it: HttpFetch and
// HttpFetchAutomation against the curl program sending the same bytes
// (`curl --data-binary @file`) to the same server in the same run.
//
// Goals: no slower than 1.1x curl; peak memory no more than the body, the
// response and 32 MiB.
//
// Run: http_fetch_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "net/http_fetch.h"
#include "net/http_fetch_automation.h"
#include "tests/support/fake_server.h"

namespace tavrel {
namespace {

using test_support::FakeServer;
using test_support::Reply;

constexpr std::size_t kBodySize = std::size_t{100} << 20;
constexpr std::string_view kAnswer = "received";

// The body, made once and in place (first touches of fresh memory are slow).
const std::string& Body() {
  static const std::string body = [] {
    std::string b(kBodySize, '\0');
    std::uint64_t x = 0x9E3779B97F4A7C15u;
    for (std::size_t i = 0; i + 8 <= b.size(); i += 8) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      std::memcpy(&b[i], &x, 8);
    }
    return b;
  }();
  return body;
}

FakeServer& Server() {
  static FakeServer* server = [] {
    auto* s = new FakeServer({.drain_bodies = true});
    s->SetDefaultReply(Reply::Ok(kAnswer, "text/plain"));
    return s;
  }();
  return *server;
}

// The body written to a file once, for the curl program.
const std::string& BodyFile() {
  static const std::string path = [] {
    char name[] = "/tmp/http_fetch_bench_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
      std::perror("mkstemp");
      std::exit(1);
    }
    const std::string& body = Body();
    std::size_t done = 0;
    while (done < body.size()) {
      const ssize_t n = write(fd, body.data() + done, body.size() - done);
      if (n <= 0) {
        std::perror("write");
        std::exit(1);
      }
      done += static_cast<std::size_t>(n);
    }
    close(fd);
    return std::string(name);
  }();
  return path;
}

bool PostWithHttpFetch() {
  Text status;
  const Text reply = HttpFetch({.url = Server().Url("/upload"), .method = 1, .body = Body(),
                                .timeout_seconds = 120, .status_text = &status});
  return reply == kAnswer && status == "200 OK";
}

bool PostWithAutomation() {
  std::int32_t status = 0;
  const Bytes reply = HttpFetchAutomation({.url = Server().Url("/upload"), .method = 1,
                                           .status_code = &status, .body_bytes = Body(),
                                           .timeout_seconds = 120});
  return reply.view() == kAnswer && status == 200;
}

// "Expect:" keeps the curl program from waiting for a "100 Continue" that
// the server never sends, as our routines do.
bool PostWithCurlProgram() {
  static const std::string command = "curl -s -o /dev/null -H 'Expect:' --data-binary @" +
                                     BodyFile() + " " + Server().Url("/upload");
  return std::system(command.c_str()) == 0;
}

template <bool (*kPost)()>
void BM_Post100MiB(benchmark::State& state) {
  Body();
  BodyFile();
  for (auto _ : state) {
    if (!kPost()) {
      state.SkipWithError("the post failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kBodySize));
}

BENCHMARK(BM_Post100MiB<PostWithHttpFetch>)
    ->Name("HttpFetch/post_100MiB")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_Post100MiB<PostWithAutomation>)
    ->Name("HttpFetchAutomation/post_100MiB")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_Post100MiB<PostWithCurlProgram>)
    ->Name("curl_program/post_100MiB")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Median of `reps` wall times of `post`, the three kinds taking turns so
// that a busy moment of the machine falls on all of them alike.
void CompareWithCurlProgram() {
  constexpr int kReps = 7;
  std::vector<double> ours, automation, theirs;
  bool ok = true;
  for (int i = 0; i < kReps; ++i) {
    auto time = [&](bool (*post)(), std::vector<double>& into) {
      const auto t0 = std::chrono::steady_clock::now();
      ok = post() && ok;
      into.push_back(Seconds(std::chrono::steady_clock::now() - t0));
    };
    time(&PostWithCurlProgram, theirs);
    time(&PostWithHttpFetch, ours);
    time(&PostWithAutomation, automation);
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double mib = static_cast<double>(kBodySize) / (1 << 20);
  const double t_ours = median(ours), t_auto = median(automation), t_curl = median(theirs);
  if (!ok) std::printf("some posts failed\n");
  std::printf(
      "Posting 100 MiB to a loopback server, median of %d wall times:\n"
      "  HttpFetch            %.4f s  %.0f MiB/s\n"
      "  HttpFetchAutomation  %.4f s  %.0f MiB/s\n"
      "  curl --data-binary   %.4f s  %.0f MiB/s (a process of its own)\n"
      "  time ours/curl: %.2fx (HttpFetch), %.2fx (HttpFetchAutomation); goal <= 1.10x\n",
      kReps, t_ours, mib / t_ours, t_auto, mib / t_auto, t_curl, mib / t_curl, t_ours / t_curl,
      t_auto / t_curl);
}

}  // namespace
}  // namespace tavrel

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tavrel::CompareWithCurlProgram();
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  const double body_mib = static_cast<double>(tavrel::kBodySize) / (1 << 20);
  const double peak_mib = static_cast<double>(self.ru_maxrss) / 1024.0;
  std::printf(
      "Peak memory (ru_maxrss): %.1f MiB for this process (body %.0f MiB, server included); "
      "goal <= %.0f MiB\n",
      peak_mib, body_mib, body_mib + 32 + 1);
  unlink(tavrel::BodyFile().c_str());
  return 0;
}
