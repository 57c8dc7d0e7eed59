// tests/app/fake_services.h
//
// Stand-ins for the three image-search services on 127.0.0.1, built on
// FakeServer. Each answers its upload the way the real service does (the
// parts the searches rely on) and serves small result pages for the panes.
// The n-th upload a service receives names result page n, so a test can tell
// which search wrote a pane.
//
//   FakeServices services;
//   SearchWindow window(services.origins());
//   ... click ...
//   services.Uploads(Service::kBaidu).at(0).body
#ifndef TAVREL_TESTS_APP_FAKE_SERVICES_H_
#define TAVREL_TESTS_APP_FAKE_SERVICES_H_

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/service_origins.h"
#include "tests/support/fake_server.h"

namespace tavrel::test_support {

enum class Service { kBaidu = 0, kSogou = 1, kImage360 = 2 };

// How a service answers its uploads.
enum class Behaviour {
  kNormal,
  // Nothing listens at the service's origin: connections are refused.
  kRefuse,
  // A well-formed answer without the markers the searches cut at.
  kNoMarkers,
  // The connection is reset before any answer.
  kReset,
};

struct FakeServicesOptions {
  Behaviour baidu = Behaviour::kNormal;
  Behaviour sogou = Behaviour::kNormal;
  Behaviour image360 = Behaviour::kNormal;
  // Count upload bodies without keeping them (large files).
  bool drain_bodies = false;
};

class FakeServices {
 public:
  FakeServices() : FakeServices(FakeServicesOptions{}) {}
  explicit FakeServices(FakeServicesOptions options);
  ~FakeServices();
  FakeServices(const FakeServices&) = delete;
  FakeServices& operator=(const FakeServices&) = delete;

  // Loopback http:// origins; a refusing service gets a closed port.
  [[nodiscard]] ServiceOrigins origins() const;
  [[nodiscard]] std::string Origin(Service service) const;
  [[nodiscard]] FakeServer& server(Service service) const;

  // Delays the first service's answers to uploads.
  void SetBaiduDelay(std::chrono::milliseconds delay) { baidu_delay_ms_ = delay.count(); }

  // POST requests a service received, in order.
  [[nodiscard]] std::vector<Request> Uploads(Service service) const;
  // GET requests a service received for `path_prefix` (favicon requests of
  // the panes left out).
  [[nodiscard]] std::vector<Request> PageRequests(Service service,
                                                  const std::string& path_prefix = "/") const;
  // Waits until `service` received `count` POST requests.
  bool WaitForUploads(Service service, std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  // The address the n-th upload (1-based) of a service names as its result:
  //   first service  <baidu>/result1?n=<n>
  //   second service <sogou>/result2?n=<n>&amp;k=v  (an "&amp;" that the
  //                  search hands on unchanged)
  //   third service  the path /result3?n=<n>
  [[nodiscard]] std::string BaiduResult(int n) const;
  [[nodiscard]] std::string SogouUploadResult(int n) const;
  [[nodiscard]] std::string Image360ResultPath(int n) const;

  // Every result page holds a link covering the whole page to /next on the
  // same server; the /next page has the title "next page".
  static constexpr const char* kNextPath = "/next";
  // On every service: a page whose whole-page link to /next asks for a new
  // window (target="_blank").
  static constexpr const char* kPopupPath = "/popup";

 private:
  Reply Answer(Service service, const Request& request);

  FakeServicesOptions options_;
  std::unique_ptr<FakeServer> servers_[3];
  std::string refused_origin_;
  std::atomic<long long> baidu_delay_ms_{0};
  std::atomic<int> uploads_[3] = {0, 0, 0};
};

// ---- What the searches send, as the services receive it ----

// The header lines of `request` whose names are in `names`, in the order they
// arrived; the lines curl adds by itself (Host, Content-Length, ...) are left
// out that way.
[[nodiscard]] std::vector<std::string> HeaderLines(const Request& request,
                                                   const std::set<std::string>& names);
[[nodiscard]] std::set<std::string> NamesOf(const std::vector<std::string>& lines);

// The first service's header block: ours, then the default lines HttpFetch
// adds.
[[nodiscard]] std::vector<std::string> ExpectedBaiduHeaders(const std::string& origin);
// The third service's block for an address upload.
[[nodiscard]] std::vector<std::string> Expected360AddressHeaders(const std::string& origin);
// The byte uploads: ours, then the one default line they lack.
[[nodiscard]] std::vector<std::string> ExpectedFileHeaders(const std::string& origin,
                                                           const std::string& boundary);

}  // namespace tavrel::test_support

#endif  // TAVREL_TESTS_APP_FAKE_SERVICES_H_
