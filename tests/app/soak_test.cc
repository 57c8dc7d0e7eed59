// tests/app/soak_test.cc
//
// 300 searches by address and 300 by a small local file, one after the other,
// against the fake services with faults mixed in (refused, reset, garbage,
// missing markers). Every search must end with each pane written once and
// right; at the end the process holds exactly as many file descriptors as
// after the first 20 searches, as many threads, and about as much resident
// memory.
//
// The fake services are made anew for each search, so that their sockets and
// threads are gone again when the counts are taken: what remains open is the
// searches' own.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/search_workflows.h"
#include "tests/app/fake_services.h"
#include "tests/app/stand_in_surface.h"

namespace tavrel {
namespace {

using std::chrono::steady_clock;
using test_support::Behaviour;
using test_support::FakeServices;
using test_support::FakeServicesOptions;
using test_support::Reply;
using test_support::Request;
using test_support::Service;
using test_support::StandInSurface;
using namespace std::string_literals;

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++n;
  }
  return n - 1;  // the iterator's own
}

std::size_t Threads() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    ++n;
  }
  return n;
}

std::size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// The mix of faults, one per search in turn.
enum class Mix {
  kNone,
  kFirstRefuses,
  kSecondResets,
  kThirdGarbage,
  kFirstWithoutMarkers,
  kThirdRefuses,
  kSecondGarbage,
  kFirstResets,
  kThirdWithoutMarkers,
  kSecondWithoutMarkers,
};
constexpr int kMixes = 10;

FakeServicesOptions OptionsFor(Mix mix) {
  switch (mix) {
    case Mix::kFirstRefuses: return {.baidu = Behaviour::kRefuse};
    case Mix::kSecondResets: return {.sogou = Behaviour::kReset};
    case Mix::kFirstWithoutMarkers: return {.baidu = Behaviour::kNoMarkers};
    case Mix::kThirdRefuses: return {.image360 = Behaviour::kRefuse};
    case Mix::kFirstResets: return {.baidu = Behaviour::kReset};
    case Mix::kThirdWithoutMarkers: return {.image360 = Behaviour::kNoMarkers};
    case Mix::kSecondWithoutMarkers: return {.sogou = Behaviour::kNoMarkers};
    default: return {};
  }
}

// Runs one search with the fault of `mix`; false (with a failure recorded)
// when a pane is not what that fault gives.
bool OneSearch(int i, bool by_file, const std::string& file) {
  const auto mix = static_cast<Mix>(i % kMixes);
  FakeServices services(OptionsFor(mix));
  const Reply garbage = Reply::Raw("\x16\x03\x01garbage that is not HTTP\r\n\r\n");
  if (mix == Mix::kThirdGarbage) {
    services.server(Service::kImage360).SetHandler([&](const Request&) { return garbage; });
  }
  if (mix == Mix::kSecondGarbage) {
    services.server(Service::kSogou).SetHandler([&](const Request&) { return garbage; });
  }
  StandInSurface surface;
  surface.box_text = Text("http://img.test/soak" + std::to_string(i) + ".png");
  surface.chosen = StandInSurface::File(file);
  if (by_file) {
    SearchByLocalImage(surface, services.origins());
  } else {
    SearchByAddress(surface, services.origins());
  }

  const bool first_fails = mix == Mix::kFirstRefuses || mix == Mix::kFirstWithoutMarkers ||
                           mix == Mix::kFirstResets;
  const bool second_fails = by_file && (mix == Mix::kSecondResets || mix == Mix::kSecondGarbage ||
                                        mix == Mix::kSecondWithoutMarkers);
  const bool third_fails = mix == Mix::kThirdGarbage || mix == Mix::kThirdRefuses ||
                           mix == Mix::kThirdWithoutMarkers;
  std::string pane2;
  if (by_file) {
    pane2 = second_fails ? "" : services.SogouUploadResult(1);
  } else {
    pane2 = services.Origin(Service::kSogou) + "/ris?flag=1&drag=0&query=";
    char hex[4];
    for (const unsigned char c : surface.box_text.view()) {
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      pane2 += hex;
    }
  }
  const std::vector<std::string> expected = {
      first_fails ? "" : services.BaiduResult(1), pane2,
      services.Origin(Service::kImage360) + (third_fails ? "" : services.Image360ResultPath(1))};
  EXPECT_TRUE(surface.EachPaneOnce()) << "search " << i;
  EXPECT_EQ(surface.Panes(), expected) << "search " << i << (by_file ? " by file" : " by address");
  return surface.EachPaneOnce() && surface.Panes() == expected;
}

TEST(Soak, SixHundredSearchesWithFaultsLeakNeitherDescriptorsNorMemory) {
  const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) /
                                       ("tavrel_soak_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string file = (folder / "small.jpg").string();
  {
    std::string data = "\xFF\xD8\xFF\xE0\0\x10JFIF\0"s;
    while (data.size() < 4096) data += static_cast<char>(data.size() * 7);
    std::ofstream(file, std::ios::binary) << data;
  }

  constexpr int kSearches = 600;  // 300 of each kind, alternating
  constexpr int kWarmUp = 20;
  const auto start = steady_clock::now();
  std::size_t descriptors_after_warm_up = 0;
  std::size_t threads_after_warm_up = 0;
  std::size_t resident_after_warm_up = 0;
  int failed = 0;
  for (int i = 0; i < kSearches; ++i) {
    if (!OneSearch(i, i % 2 == 1, file) && ++failed > 5) break;
    if (i + 1 == kWarmUp) {
      // Memory the allocator merely keeps for later is given back before
      // each count, so that the counts compare what is in use.
      ::malloc_trim(0);
      descriptors_after_warm_up = OpenDescriptors();
      threads_after_warm_up = Threads();
      resident_after_warm_up = ResidentBytes();
    }
  }
  const auto elapsed = steady_clock::now() - start;
  ::malloc_trim(0);
  const std::size_t descriptors = OpenDescriptors();
  const std::size_t threads = Threads();
  const std::size_t resident = ResidentBytes();
  std::filesystem::remove_all(folder);

  EXPECT_EQ(failed, 0);
  EXPECT_EQ(descriptors, descriptors_after_warm_up);
  EXPECT_EQ(threads, threads_after_warm_up);
  // Resident memory: within 5 %, or 2 MiB for a process this small, where a
  // few pages of allocator or library state moving about would already be 5 %.
  const std::size_t slack = std::max<std::size_t>(resident_after_warm_up / 20, std::size_t{2} << 20);
  EXPECT_LE(resident, resident_after_warm_up + slack)
      << "after " << kWarmUp << ": " << (resident_after_warm_up >> 10) << " KiB, at the end: "
      << (resident >> 10) << " KiB";
  EXPECT_LT(elapsed, std::chrono::seconds(120));
  std::printf(
      "%d searches in %lld ms; descriptors %zu -> %zu; threads %zu -> %zu; resident %zu KiB -> "
      "%zu KiB\n",
      kSearches,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()),
      descriptors_after_warm_up, descriptors, threads_after_warm_up, threads,
      resident_after_warm_up >> 10, resident >> 10);
}

}  // namespace
}  // namespace tavrel
