// bench/search_bench.cc
//
// A search by local image on a 100 MB file (TAVREL_BENCH_MB to change it)
// against fake services that drain the uploads, the dialog and the panes
// replaced by stand-ins. Beside it, curl makes the same three uploads
// (--data-binary @file, the bodies written to files beforehand). Reported:
// the ratio of the two wall times (goal: 1 or less) and the peak memory of
// this process (goal: at most 2.5 x the file size + 64 MB).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/request_templates.h"
#include "app/search_workflows.h"
#include "tests/app/fake_services.h"
#include "text/base64.h"

extern char** environ;

namespace tavrel {
namespace {

using test_support::FakeServices;
using test_support::Service;

struct Setup {
  std::filesystem::path folder;
  std::string image;
  std::size_t size = 0;
  std::unique_ptr<FakeServices> services;
  // One curl command line per upload.
  std::vector<std::vector<std::string>> curl_commands;
};
Setup* g_setup = nullptr;

class StandInSurface : public SearchSurface {
 public:
  explicit StandInSurface(std::string path) : path_(std::move(path)) {}
  Text AddressBoxText() override { return {}; }
  void SetPaneAddress(int pane, const Text& address) override { panes[pane - 1] = address; }
  std::optional<ChosenFile> ChooseOpenFile(const Text&) override {
    return ChosenFile{.path = Text(path_), .native_path = path_};
  }
  Text panes[3];

 private:
  std::string path_;
};

// Writes `form` with its placeholder replaced by the file's content (or its
// Base64 text) to `out`, streaming, so that the benchmark's own memory stays
// small.
void WriteBody(const std::string& out, std::string_view form, std::string_view placeholder,
               const std::string& image, bool base64) {
  const std::size_t at = form.find(placeholder);
  std::ofstream body(out, std::ios::binary);
  body << form.substr(0, at);
  std::ifstream in(image, std::ios::binary);
  std::vector<char> chunk(3 * 1024 * 1024);
  std::string encoded(Base64EncodedSize(chunk.size()), '\0');
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    if (base64) {
      Base64EncodeInto(std::string_view(chunk.data(), got), encoded.data());
      body.write(encoded.data(), static_cast<std::streamsize>(Base64EncodedSize(got)));
    } else {
      body.write(chunk.data(), static_cast<std::streamsize>(got));
    }
  }
  body << form.substr(at + placeholder.size());
}

std::vector<std::string> CurlCommand(const std::string& url, const Text& headers,
                                     const std::string& body_file) {
  std::vector<std::string> argv = {"curl", "-s", "-o", "/dev/null", "--data-binary", "@" + body_file,
                                   "-H", "Expect:"};
  std::string_view block = headers;
  for (std::size_t end = block.find("\r\n"); end != std::string_view::npos; end = block.find("\r\n")) {
    argv.push_back("-H");
    argv.emplace_back(block.substr(0, end));
    block.remove_prefix(end + 2);
  }
  argv.push_back(url);
  return argv;
}

bool Run(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_SearchByLocalImage(benchmark::State& state) {
  StandInSurface surface(g_setup->image);
  for (auto _ : state) {
    SearchByLocalImage(surface, g_setup->services->origins());
  }
  if (surface.panes[1].empty()) state.SkipWithError("the second service's result is missing");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_setup->size * 3));
}
BENCHMARK(BM_SearchByLocalImage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_CurlThreeUploads(benchmark::State& state) {
  for (auto _ : state) {
    for (const auto& command : g_setup->curl_commands) {
      if (!Run(command)) state.SkipWithError("curl failed");
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_setup->size * 3));
}
BENCHMARK(BM_CurlThreeUploads)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Keeps the mean wall time of each benchmark for the ratio.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration) seconds[run.benchmark_name()] = run.GetAdjustedRealTime() / 1e3;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

}  // namespace
}  // namespace tavrel

int main(int argc, char** argv) {
  using namespace tavrel;
  benchmark::Initialize(&argc, argv);
  const char* mb_text = std::getenv("TAVREL_BENCH_MB");
  const std::size_t mb = mb_text != nullptr ? std::strtoul(mb_text, nullptr, 10) : 100;

  Setup setup;
  g_setup = &setup;
  setup.folder = std::filesystem::temp_directory_path() / ("tavrel_search_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(setup.folder);
  setup.image = (setup.folder / "image.png").string();
  setup.size = mb * 1024 * 1024;
  {
    std::ofstream image(setup.image, std::ios::binary);
    std::mt19937_64 random(7);
    std::vector<std::uint64_t> chunk(1024 * 1024 / 8);
    for (std::size_t written = 0; written < setup.size; written += chunk.size() * 8) {
      for (auto& word : chunk) word = random();
      image.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size() * 8));
    }
  }
  setup.services = std::make_unique<FakeServices>(test_support::FakeServicesOptions{.drain_bodies = true});
  const ServiceOrigins origins = setup.services->origins();
  const std::string body1 = (setup.folder / "body1").string();
  const std::string body2 = (setup.folder / "body2").string();
  const std::string body3 = (setup.folder / "body3").string();
  WriteBody(body1, BaiduUploadForm(), kBaiduSampleImageAddress, setup.image, true);
  WriteBody(body2, SogouUploadForm(), kFormDataPlaceholder, setup.image, false);
  WriteBody(body3, Image360FileForm(), kFormDataPlaceholder, setup.image, false);
  setup.curl_commands = {
      CurlCommand(BaiduUploadAddress(origins).str() + "1587340800042", BaiduUploadHeaders(origins), body1),
      CurlCommand(SogouUploadAddress(origins).str(), SogouUploadHeaders(origins), body2),
      CurlCommand(Image360UploadAddress(origins).str(), Image360FileHeaders(origins), body3)};

  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  const double file_mb = static_cast<double>(setup.size) / (1024.0 * 1024.0);
  const double ours = reporter.seconds["BM_SearchByLocalImage/iterations:3/real_time"];
  const double curl = reporter.seconds["BM_CurlThreeUploads/iterations:3/real_time"];
  std::printf("\nfile %.0f MB; search %.3f s, three curl uploads %.3f s, ratio %.2f (goal <= 1)\n",
              file_mb, ours, curl, curl > 0 ? ours / curl : 0.0);
  std::printf("peak memory (ru_maxrss) %.0f MB, limit 2.5 x file + 64 MB = %.0f MB\n", peak_mb,
              2.5 * file_mb + 64);
  const auto received = setup.services->Uploads(Service::kSogou);
  if (!received.empty()) {
    std::printf("second service received %llu body bytes per upload\n",
                static_cast<unsigned long long>(received.back().body_size));
  }
  setup.services.reset();
  std::error_code ignored;
  std::filesystem::remove_all(setup.folder, ignored);
  return 0;
}
