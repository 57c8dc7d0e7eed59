// Throughput of the text operations on large code-page-936 inputs, and of
// Base64Encode against coreutils' `base64 -w0` on the same 64 MiB.
//
// Run: text_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "text/base64.h"
#include "text/text.h"
#include "text/text_between.h"

namespace tavrel {
namespace {

constexpr std::int64_t kSmall = 1 << 20;
constexpr std::int64_t kLarge = 64 << 20;

// 16 bytes with double-byte characters (one with the trail byte 'A'), the
// token "ab" at the start of every block and ASCII punctuation.
constexpr std::string_view kBlock = "ab\xD6\xD0\xCE\xC4 x=\x81\x41yz\\\xB0\xA1";
static_assert(kBlock.size() == 16);

// Text of `size` bytes: blocks of 16, every fourth with ';' in place of 'z'.
const std::string& BodyText(std::int64_t size) {
  static std::map<std::int64_t, std::string> cache;
  std::string& text = cache[size];
  if (text.empty()) {
    text.reserve(static_cast<std::size_t>(size));
    for (std::int64_t i = 0; text.size() < static_cast<std::size_t>(size); ++i) {
      std::string block(kBlock);
      if (i % 4 == 3) block[13] = ';';
      text += block;
    }
    text.resize(static_cast<std::size_t>(size));
  }
  return text;
}

const std::string& RandomBytes(std::int64_t size) {
  static std::map<std::int64_t, std::string> cache;
  std::string& bytes = cache[size];
  if (bytes.empty()) {
    bytes.resize(static_cast<std::size_t>(size));
    std::mt19937_64 random(64);
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
      const std::uint64_t v = random();
      std::memcpy(&bytes[i], &v, 8);
    }
  }
  return bytes;
}

void SetBytes(benchmark::State& state, std::size_t per_iteration) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(per_iteration));
}

// The sought text starts like many places in the input but occurs nowhere,
// so the whole input is scanned.
void BM_Find(benchmark::State& state) {
  const std::string& text = BodyText(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(Find(text, "yz;q"));
  SetBytes(state, text.size());
}

// "ab" occurs every 16 bytes; Replace folds case by default.
void BM_ReplaceAll(benchmark::State& state) {
  const std::string& text = BodyText(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(Replace(text, "AB", "XYZ"));
  SetBytes(state, text.size());
}

void BM_Split(benchmark::State& state) {
  const std::string& text = BodyText(state.range(0));
  std::size_t parts = 0;
  for (auto _ : state) parts = Split(text, ";").size();
  state.counters["parts"] = static_cast<double>(parts);
  SetBytes(state, text.size());
}

// A quarter of the input is blanks at each end (spaces and A1 A1).
void BM_Trim(benchmark::State& state) {
  const std::int64_t size = state.range(0);
  static std::map<std::int64_t, std::string> cache;
  std::string& text = cache[size];
  if (text.empty()) {
    std::string blanks;
    while (static_cast<std::int64_t>(blanks.size()) < size / 4) blanks += "  \xA1\xA1";
    text = blanks + BodyText(size / 2) + blanks;
  }
  for (auto _ : state) benchmark::DoNotOptimize(Trim(text));
  SetBytes(state, text.size());
}

// The markers sit after the whole body, so the begin marker's search covers
// all of it.
void BM_TextBetween(benchmark::State& state) {
  const std::string text =
      BodyText(state.range(0)) + "{\"url\":\"https://example.invalid/r?x=1\",\"sign\":\"0\"}";
  const std::string q(kQuotePlaceholder);
  const std::string begin = "{" + q + "url" + q + ":" + q;
  const std::string end = q + "," + q + "sign" + q + ":";
  for (auto _ : state) benchmark::DoNotOptimize(TextBetween(text, begin, end));
  SetBytes(state, text.size());
}

void BM_Base64Encode(benchmark::State& state) {
  const std::string& data = RandomBytes(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(Base64Encode(data));
  SetBytes(state, data.size());
}

// Into a buffer that is already in memory: the encoding alone.
void BM_Base64EncodeInto(benchmark::State& state) {
  const std::string& data = RandomBytes(state.range(0));
  std::string out(Base64EncodedSize(data.size()), '\0');
  for (auto _ : state) {
    Base64EncodeInto(data, out.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, data.size());
}

#define TAVREL_TEXT_BENCH(fn) \
  BENCHMARK(fn)->Arg(kSmall)->Arg(kLarge)->Unit(benchmark::kMillisecond)->MinTime(0.3)

TAVREL_TEXT_BENCH(BM_Find);
TAVREL_TEXT_BENCH(BM_ReplaceAll);
TAVREL_TEXT_BENCH(BM_Split);
TAVREL_TEXT_BENCH(BM_Trim);
TAVREL_TEXT_BENCH(BM_TextBetween);
TAVREL_TEXT_BENCH(BM_Base64Encode);
TAVREL_TEXT_BENCH(BM_Base64EncodeInto);

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// Best of `reps` wall times of `fn`.
template <typename Fn>
double BestOf(int reps, Fn fn) {
  double best = 1e300;
  for (int i = 0; i < reps; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    best = std::min(best, Seconds(std::chrono::steady_clock::now() - t0));
  }
  return best;
}

// Times coreutils' base64 on the 64 MiB input against Base64Encode.
void CompareWithCoreutils() {
  const std::string& data = RandomBytes(kLarge);
  char path[] = "/tmp/text_bench_base64_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) {
    std::perror("mkstemp");
    return;
  }
  const bool written = write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  close(fd);
  if (written) {
    const std::string command = std::string("base64 -w0 ") + path + " > /dev/null";
    int status = 0;
    const double theirs = BestOf(5, [&] { status = std::system(command.c_str()); });
    const double ours = BestOf(5, [&] { benchmark::DoNotOptimize(Base64Encode(data)); });
    std::string out(Base64EncodedSize(data.size()), '\0');
    const double ours_into = BestOf(5, [&] {
      Base64EncodeInto(data, out.data());
      benchmark::ClobberMemory();
    });
    const double gb = static_cast<double>(data.size()) / 1e9;
    if (status != 0) std::printf("coreutils base64 exited with status %d\n", status);
    std::printf(
        "Base64 of 64 MiB, best of 5 wall times:\n"
        "  Base64Encode      %.4f s  %.2f GB/s\n"
        "  Base64EncodeInto  %.4f s  %.2f GB/s (buffer already in memory)\n"
        "  base64 -w0        %.4f s  %.2f GB/s (coreutils, file in page cache)\n"
        "  speed ours/coreutils: %.2fx (Base64Encode), %.2fx (Base64EncodeInto)\n",
        ours, gb / ours, ours_into, gb / ours_into, theirs, gb / theirs, theirs / ours,
        theirs / ours_into);
  }
  unlink(path);
}

}  // namespace
}  // namespace tavrel

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tavrel::CompareWithCoreutils();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("Peak memory (ru_maxrss): %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}
