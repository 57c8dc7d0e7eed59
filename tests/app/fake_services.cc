// tests/app/fake_services.cc
#include "tests/app/fake_services.h"

#include <string_view>
#include <thread>

namespace tavrel::test_support {
namespace {

std::string Page(std::string_view title, std::string_view colour, std::string_view heading,
                 std::string_view link_target = {}) {
  std::string page =
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>";
  page.append(title);
  page.append(
      "</title><style>html,body{margin:0;height:100%;}"
      "a{display:block;box-sizing:border-box;width:100%;height:100%;padding:24px;"
      "font:28px sans-serif;color:#fff;text-decoration:none;background:");
  page.append(colour);
  page.append(";}</style></head><body><a id=\"next\" ");
  if (!link_target.empty()) page.append("target=\"").append(link_target).append("\" ");
  page.append("href=\"");
  page.append(FakeServices::kNextPath);
  page.append("\">");
  page.append(heading);
  page.append("</a></body></html>");
  return page;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string PathOf(const Request& request) { return request.target; }

const std::string kAgent =
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/70.0.3538.25 Safari/537.36 Core/1.70.3741.400 QQBrowser/10.5.3863.400";
const std::string kAccept =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8";

}  // namespace

FakeServices::FakeServices(FakeServicesOptions options) : options_(options) {
  {
    // A port that was just free and is closed again: connections are refused.
    FakeServer closed;
    refused_origin_ = closed.Url("");
    if (!refused_origin_.empty() && refused_origin_.back() == '/') refused_origin_.pop_back();
  }
  for (int i = 0; i < 3; ++i) {
    servers_[i] = std::make_unique<FakeServer>(FakeServerOptions{.drain_bodies = options.drain_bodies});
    const auto service = static_cast<Service>(i);
    servers_[i]->SetHandler([this, service](const Request& request) { return Answer(service, request); });
  }
}

FakeServices::~FakeServices() = default;

std::string FakeServices::Origin(Service service) const {
  const Behaviour behaviour = service == Service::kBaidu   ? options_.baidu
                              : service == Service::kSogou ? options_.sogou
                                                           : options_.image360;
  if (behaviour == Behaviour::kRefuse) return refused_origin_;
  return "http://127.0.0.1:" + std::to_string(server(service).port());
}

ServiceOrigins FakeServices::origins() const {
  return {.baidu = Origin(Service::kBaidu),
          .sogou = Origin(Service::kSogou),
          .image360 = Origin(Service::kImage360)};
}

FakeServer& FakeServices::server(Service service) const {
  return *servers_[static_cast<int>(service)];
}

std::string FakeServices::BaiduResult(int n) const {
  return Origin(Service::kBaidu) + "/result1?n=" + std::to_string(n);
}
std::string FakeServices::SogouUploadResult(int n) const {
  return Origin(Service::kSogou) + "/result2?n=" + std::to_string(n) + "&amp;k=v";
}
std::string FakeServices::Image360ResultPath(int n) const {
  return "/result3?n=" + std::to_string(n);
}

std::vector<Request> FakeServices::Uploads(Service service) const {
  std::vector<Request> uploads;
  for (Request& request : server(service).Requests()) {
    if (request.method == "POST") uploads.push_back(std::move(request));
  }
  return uploads;
}

std::vector<Request> FakeServices::PageRequests(Service service,
                                                const std::string& path_prefix) const {
  std::vector<Request> pages;
  for (Request& request : server(service).Requests()) {
    if (request.method == "GET" && StartsWith(request.target, path_prefix) &&
        !StartsWith(request.target, "/favicon")) {
      pages.push_back(std::move(request));
    }
  }
  return pages;
}

bool FakeServices::WaitForUploads(Service service, std::size_t count,
                                  std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Uploads(service).size() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

Reply FakeServices::Answer(Service service, const Request& request) {
  const std::string path = PathOf(request);
  const int index = static_cast<int>(service);
  const Behaviour behaviour = service == Service::kBaidu   ? options_.baidu
                              : service == Service::kSogou ? options_.sogou
                                                           : options_.image360;
  if (request.method == "POST") {
    const int n = ++uploads_[index];
    if (behaviour == Behaviour::kReset) return Reply::Reset();
    const std::string own = "http://127.0.0.1:" + std::to_string(server(service).port());
    switch (service) {
      case Service::kBaidu: {
        if (!StartsWith(path, "/upload?uptime=")) break;
        std::string json;
        if (behaviour == Behaviour::kNoMarkers) {
          json = "{\"url\":\"http:\\/\\/127.0.0.1\\/x\",\"status\":0,\"sign\":\"1\"}";
        } else {
          json = "{\"url\":\"http:\\/\\/127.0.0.1:" + std::to_string(server(service).port()) +
                 "\\/result1?n=" + std::to_string(n) + "\",\"sign\":\"8c1f22\"}";
        }
        Reply reply = Reply::Ok(json, "application/json");
        reply.delay = std::chrono::milliseconds(baidu_delay_ms_.load());
        return reply;
      }
      case Service::kSogou: {
        if (path != "/ris_upload") break;
        if (behaviour == Behaviour::kNoMarkers) {
          return Reply::Ok("<html><body>The URL has moved <a href=\"/x\">elsewhere</a></body></html>");
        }
        return Reply::Ok("<html><head><title>Moved</title></head><body>"
                         "The URL has moved <a href=\"" + own + "/result2?n=" + std::to_string(n) +
                         "&amp;k=v\">here</a>\n</body></html>");
      }
      case Service::kImage360: {
        if (path != "/stu") break;
        if (behaviour == Behaviour::kNoMarkers) {
          // Location is there, but another line comes between it and Server.
          return Reply::Http(302, "Found",
                             {"Location: /result3?n=" + std::to_string(n), "Date: today",
                              "Server: fake"});
        }
        return Reply::Http(302, "Found",
                           {"Location: /result3?n=" + std::to_string(n), "Server: fake"});
      }
    }
    return Reply::Http(404, "Not Found");
  }

  if (path == kNextPath) return Reply::Ok(Page("next page", "#555", "The page behind the link"));
  if (path == kPopupPath) {
    return Reply::Ok(Page("popup", "#553388", "A link that asks for a new window", "_blank"));
  }
  switch (service) {
    case Service::kBaidu:
      if (StartsWith(path, "/result1")) {
        return Reply::Ok(Page("result1", "#2d5fa8", "First service: result page " + path));
      }
      break;
    case Service::kSogou:
      if (StartsWith(path, "/ris?")) {
        return Reply::Ok(Page("ris", "#b0562b", "Second service: search by address"));
      }
      if (StartsWith(path, "/result2")) {
        return Reply::Ok(Page("result2", "#b0562b", "Second service: result page " + path));
      }
      break;
    case Service::kImage360:
      if (StartsWith(path, "/result3")) {
        return Reply::Ok(Page("result3", "#2f8a4c", "Third service: result page " + path));
      }
      if (path == "/") return Reply::Ok(Page("origin3", "#777", "Third service: start page"));
      break;
  }
  return Reply::Http(404, "Not Found", {"Content-Type: text/html"}, "<html>not here</html>");
}

std::vector<std::string> HeaderLines(const Request& request, const std::set<std::string>& names) {
  std::vector<std::string> lines;
  for (const std::string& line : request.header_lines) {
    const std::string name = line.substr(0, line.find(':'));
    if (names.count(name) != 0) lines.push_back(line);
  }
  return lines;
}

std::set<std::string> NamesOf(const std::vector<std::string>& lines) {
  std::set<std::string> names;
  for (const std::string& line : lines) names.insert(line.substr(0, line.find(':')));
  return names;
}

std::vector<std::string> ExpectedBaiduHeaders(const std::string& origin) {
  return {"Origin: " + origin,
          "X-Requested-With: XMLHttpRequest",
          kAgent,
          "Content-Type: multipart/form-data; boundary=----WebKitFormBoundary3Z6MRVJU9hdwnDUG",
          "Referer: " + origin + "/pcpage/index?tpl_from=pc",
          "Accept: text/html, application/xhtml+xml, */*",
          "Accept-Encoding: gbk, GB2312",
          "Accept-Language: zh-cn",
          "Cache-Control: no-cache"};
}

std::vector<std::string> Expected360AddressHeaders(const std::string& origin) {
  return {"Origin: " + origin,
          "Upgrade-Insecure-Requests: 1",
          "Content-Type: multipart/form-data; boundary=----WebKitFormBoundarykcz9f3Gj8B9wZqFw",
          kAgent,
          kAccept,
          "Referer: " + origin + "/",
          "Accept-Encoding: gbk, GB2312",
          "Accept-Language: zh-cn",
          "Cache-Control: no-cache"};
}

std::vector<std::string> ExpectedFileHeaders(const std::string& origin, const std::string& boundary) {
  return {"Origin: " + origin,
          "Upgrade-Insecure-Requests: 1",
          "Content-Type: multipart/form-data; boundary=" + boundary,
          kAgent,
          kAccept,
          "Referer: " + origin + "/",
          "Accept-Language: zh-cn"};
}

}  // namespace tavrel::test_support
