// tests/app/search_workflows_test.cc
//
// The two searches against fake services, with a stand-in for the window.
#include "app/search_workflows.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/request_templates.h"
#include "tests/app/fake_services.h"
#include "tests/support/fixed_clock.h"
#include "text/base64.h"
#include "text/timestamp.h"

namespace tavrel {
namespace {

using test_support::Behaviour;
using test_support::FakeServices;
using test_support::FakeServicesOptions;
using test_support::Reply;
using test_support::Request;
using test_support::Service;
using test_support::ExpectedBaiduHeaders;
using test_support::Expected360AddressHeaders;
using test_support::ExpectedFileHeaders;
using test_support::HeaderLines;
using test_support::NamesOf;
using namespace std::string_literals;

// The window as the searches see it, with everything recorded.
class FakeSurface : public SearchSurface {
 public:
  // Returned by successive reads of the box; the last one repeats.
  std::vector<Text> box_texts{Text()};
  std::optional<ChosenFile> chosen;
  int box_reads = 0;
  int dialog_runs = 0;
  Text dialog_filter;
  std::vector<std::pair<int, Text>> writes;

  Text AddressBoxText() override {
    const std::size_t i = std::min<std::size_t>(box_reads++, box_texts.size() - 1);
    return box_texts[i];
  }
  void SetPaneAddress(int pane, const Text& address) override { writes.emplace_back(pane, address); }
  std::optional<ChosenFile> ChooseOpenFile(const Text& filter) override {
    ++dialog_runs;
    dialog_filter = filter;
    return chosen;
  }
  // The last text written to each pane, "<unset>" when none was.
  [[nodiscard]] std::vector<std::string> Panes() const {
    std::vector<std::string> panes(3, "<unset>");
    for (const auto& [pane, address] : writes) panes.at(pane - 1) = address.str();
    return panes;
  }
};

class SearchWorkflowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::path(::testing::TempDir()) /
              ("tavrel_workflows_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    const std::filesystem::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  static ChosenFile File(const std::string& path) { return {.path = Text(path), .native_path = path}; }

  std::filesystem::path folder_;
  test_support::FixedClock clock_;
};

TEST_F(SearchWorkflowsTest, ByAddressPostsTheTypedBytesAndPointsThePanes) {
  FakeServices services;
  FakeSurface surface;
  // A space, a double-byte character (图) and a trail byte equal to "\".
  const std::string typed = "http://img.test/a b/\xCD\xBC\x95\x5C.png";
  surface.box_texts = {Text(typed)};
  SearchByAddress(surface, services.origins());

  const std::vector<Request> baidu = services.Uploads(Service::kBaidu);
  ASSERT_EQ(baidu.size(), 1u);
  EXPECT_EQ(baidu[0].request_line, "POST /upload?uptime=1587340800042 HTTP/1.1");
  EXPECT_EQ(baidu[0].body, FillForm(BaiduUploadForm(), kBaiduSampleImageAddress, typed));
  EXPECT_NE(baidu[0].body.find("name=\"image\"\r\n\r\n" + typed + "\r\n-"), std::string::npos);
  const auto baidu_expected = ExpectedBaiduHeaders(services.Origin(Service::kBaidu));
  EXPECT_EQ(HeaderLines(baidu[0], NamesOf(baidu_expected)), baidu_expected);
  EXPECT_EQ(baidu[0].HeaderCount("User-Agent"), 1u);
  EXPECT_EQ(baidu[0].HeaderCount("Cookie"), 0u);

  const std::vector<Request> image360 = services.Uploads(Service::kImage360);
  ASSERT_EQ(image360.size(), 1u);
  EXPECT_EQ(image360[0].request_line, "POST /stu HTTP/1.1");
  EXPECT_EQ(image360[0].body, FillForm(Image360AddressForm(), kFormDataPlaceholder, typed));
  EXPECT_EQ(image360[0].body.size(), 576 + typed.size());
  const auto image360_expected = Expected360AddressHeaders(services.Origin(Service::kImage360));
  EXPECT_EQ(HeaderLines(image360[0], NamesOf(image360_expected)), image360_expected);

  // No request to the second service; its pane gets the search address with
  // every byte escaped, letters included.
  EXPECT_TRUE(services.server(Service::kSogou).Requests().empty());
  EXPECT_EQ(surface.Panes(),
            (std::vector<std::string>{
                services.BaiduResult(1),
                services.Origin(Service::kSogou) +
                    "/ris?flag=1&drag=0&query=%68%74%74%70%3A%2F%2F%69%6D%67%2E%74%65%73%74%2F%61"
                    "%20%62%2F%CD%BC%95%5C%2E%70%6E%67",
                services.Origin(Service::kImage360) + services.Image360ResultPath(1)}));
  EXPECT_EQ(surface.dialog_runs, 0);
}

TEST_F(SearchWorkflowsTest, ByAddressReadsTheBoxAnewForEachService) {
  FakeServices services;
  FakeSurface surface;
  // What the user typed while the first request was under way.
  surface.box_texts = {Text("first"), Text("ab"), Text("third")};
  SearchByAddress(surface, services.origins());
  EXPECT_EQ(surface.box_reads, 3);
  ASSERT_EQ(services.Uploads(Service::kBaidu).size(), 1u);
  EXPECT_NE(services.Uploads(Service::kBaidu)[0].body.find("\r\n\r\nfirst\r\n"), std::string::npos);
  EXPECT_EQ(surface.Panes()[1], services.Origin(Service::kSogou) + "/ris?flag=1&drag=0&query=%61%62");
  ASSERT_EQ(services.Uploads(Service::kImage360).size(), 1u);
  EXPECT_NE(services.Uploads(Service::kImage360)[0].body.find("\r\n\r\nthird\r\n"),
            std::string::npos);
}

TEST_F(SearchWorkflowsTest, ByAddressWithAnEmptyBoxStillAsksEveryService) {
  FakeServices services;
  FakeSurface surface;
  SearchByAddress(surface, services.origins());
  ASSERT_EQ(services.Uploads(Service::kBaidu).size(), 1u);
  EXPECT_NE(services.Uploads(Service::kBaidu)[0].body.find("name=\"image\"\r\n\r\n\r\n"),
            std::string::npos);
  ASSERT_EQ(services.Uploads(Service::kImage360).size(), 1u);
  EXPECT_EQ(services.Uploads(Service::kImage360)[0].body.size(), 576u);
  EXPECT_EQ(surface.Panes()[1], services.Origin(Service::kSogou) + "/ris?flag=1&drag=0&query=");
}

// Each failing service leaves its own pane blank (or, for the third, at the
// bare origin); the others are unaffected.
TEST_F(SearchWorkflowsTest, AFailingServiceOnlyEmptiesItsOwnPane) {
  const struct {
    const char* name;
    FakeServicesOptions options;
    bool pane1_empty, pane2_empty, pane3_bare;
  } cases[] = {
      {"first refuses", {.baidu = Behaviour::kRefuse}, true, false, false},
      {"first resets", {.baidu = Behaviour::kReset}, true, false, false},
      {"first without sign", {.baidu = Behaviour::kNoMarkers}, true, false, false},
      {"second refuses", {.sogou = Behaviour::kRefuse}, false, true, false},
      {"second without link", {.sogou = Behaviour::kNoMarkers}, false, true, false},
      {"third refuses", {.image360 = Behaviour::kRefuse}, false, false, true},
      {"third with a line between", {.image360 = Behaviour::kNoMarkers}, false, false, true},
      {"third resets", {.image360 = Behaviour::kReset}, false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = WriteFile("pic.png", "\x89PNG\0data"s);
    for (bool by_file : {false, true}) {
      SCOPED_TRACE(by_file ? "by file" : "by address");
      FakeServices services(c.options);
      FakeSurface surface;
      surface.box_texts = {Text("http://img.test/x.png")};
      surface.chosen = File(path);
      if (by_file) {
        SearchByLocalImage(surface, services.origins());
      } else {
        SearchByAddress(surface, services.origins());
      }
      const std::vector<std::string> panes = surface.Panes();
      EXPECT_EQ(panes[0], c.pane1_empty ? "" : services.BaiduResult(1));
      if (by_file) {
        EXPECT_EQ(panes[1], c.pane2_empty ? "" : services.SogouUploadResult(1));
      } else {
        // No request of its own: the search address whatever the service.
        EXPECT_EQ(panes[1].rfind(services.Origin(Service::kSogou) + "/ris?", 0), 0u);
      }
      const std::string origin3 = services.Origin(Service::kImage360);
      EXPECT_EQ(panes[2], c.pane3_bare ? origin3 : origin3 + services.Image360ResultPath(1));
    }
  }
}

TEST_F(SearchWorkflowsTest, ByLocalImageUploadsTheFileToAllThree) {
  FakeServices services;
  FakeSurface surface;
  // Zero bytes, high bytes, the placeholder's own bytes and CR LF.
  const std::string data = "\x89PNG\r\n\x1a\n\0\0\xCA\xFD\xBE\xDD\xff\0tail"s;
  surface.chosen = File(WriteFile("picture.bmp", data));
  SearchByLocalImage(surface, services.origins());

  EXPECT_EQ(surface.dialog_runs, 1);
  EXPECT_EQ(surface.dialog_filter, kImageFileFilter);
  EXPECT_EQ(surface.box_reads, 0);

  const std::vector<Request> baidu = services.Uploads(Service::kBaidu);
  ASSERT_EQ(baidu.size(), 1u);
  EXPECT_EQ(baidu[0].request_line, "POST /upload?uptime=1587340800042 HTTP/1.1");
  EXPECT_EQ(baidu[0].body,
            FillForm(BaiduUploadForm(), kBaiduSampleImageAddress, Base64Encode(data).view()));
  EXPECT_EQ(baidu[0].body.size(), 432 + Base64EncodedSize(data.size()));
  const auto baidu_expected = ExpectedBaiduHeaders(services.Origin(Service::kBaidu));
  EXPECT_EQ(HeaderLines(baidu[0], NamesOf(baidu_expected)), baidu_expected);

  const std::vector<Request> sogou = services.Uploads(Service::kSogou);
  ASSERT_EQ(sogou.size(), 1u);
  EXPECT_EQ(sogou[0].request_line, "POST /ris_upload HTTP/1.1");
  EXPECT_EQ(sogou[0].body, FillForm(SogouUploadForm(), kFormDataPlaceholder, data));
  EXPECT_EQ(sogou[0].body.size(), 285 + data.size());
  const auto sogou_expected = ExpectedFileHeaders(services.Origin(Service::kSogou),
                                                  "----WebKitFormBoundary6ItRk2qCkSXcOEiZ");
  EXPECT_EQ(HeaderLines(sogou[0], NamesOf(sogou_expected)), sogou_expected);

  const std::vector<Request> image360 = services.Uploads(Service::kImage360);
  ASSERT_EQ(image360.size(), 1u);
  EXPECT_EQ(image360[0].request_line, "POST /stu HTTP/1.1");
  EXPECT_EQ(image360[0].body, FillForm(Image360FileForm(), kFormDataPlaceholder, data));
  EXPECT_EQ(image360[0].body.size(), 581 + data.size());
  const auto image360_expected = ExpectedFileHeaders(services.Origin(Service::kImage360),
                                                     "----WebKitFormBoundaryud22IkS1zfYOsusr");
  EXPECT_EQ(HeaderLines(image360[0], NamesOf(image360_expected)), image360_expected);

  // The second service's link is handed on as it stands, "&amp;" included.
  EXPECT_EQ(surface.Panes(), (std::vector<std::string>{
                                 services.BaiduResult(1), services.SogouUploadResult(1),
                                 services.Origin(Service::kImage360) +
                                     services.Image360ResultPath(1)}));
}

TEST_F(SearchWorkflowsTest, CancellingTheDialogDoesNothing) {
  FakeServices services;
  FakeSurface surface;
  surface.chosen = std::nullopt;
  SearchByLocalImage(surface, services.origins());
  EXPECT_EQ(surface.dialog_runs, 1);
  EXPECT_TRUE(surface.writes.empty());
  for (Service service : {Service::kBaidu, Service::kSogou, Service::kImage360}) {
    EXPECT_EQ(services.server(service).ConnectionCount(), 0u);
  }
}

TEST_F(SearchWorkflowsTest, AnUnreadableFileStillSendsEmptyParts) {
  for (const std::string& path :
       {WriteFile("empty.png", ""), (folder_ / "missing.png").string(), folder_.string(), ""s}) {
    SCOPED_TRACE(path);
    FakeServices services;
    FakeSurface surface;
    surface.chosen = File(path);
    SearchByLocalImage(surface, services.origins());
    ASSERT_EQ(services.Uploads(Service::kBaidu).size(), 1u);
    EXPECT_EQ(services.Uploads(Service::kBaidu)[0].body.size(), 432u);
    ASSERT_EQ(services.Uploads(Service::kSogou).size(), 1u);
    EXPECT_EQ(services.Uploads(Service::kSogou)[0].body,
              FillForm(SogouUploadForm(), kFormDataPlaceholder, ""));
    ASSERT_EQ(services.Uploads(Service::kImage360).size(), 1u);
    EXPECT_EQ(services.Uploads(Service::kImage360)[0].body.size(), 581u);
    EXPECT_EQ(surface.Panes()[0], services.BaiduResult(1));
  }
}

// The third service's markers ignore letter case for a file upload only.
TEST_F(SearchWorkflowsTest, LocationMarkersIgnoreCaseOnlyForFileUploads) {
  FakeServices services;
  services.server(Service::kImage360).SetHandler([](const Request&) {
    return Reply::Raw("HTTP/1.1 302 Found\r\nlocation: /r\r\nserver: x\r\nContent-Length: 0\r\n\r\n");
  });
  const std::string origin = services.Origin(Service::kImage360);
  FakeSurface by_file;
  by_file.chosen = File(WriteFile("a.jpg", "jpg"));
  SearchByLocalImage(by_file, services.origins());
  EXPECT_EQ(by_file.Panes()[2], origin + "/r");

  FakeSurface by_address;
  SearchByAddress(by_address, services.origins());
  EXPECT_EQ(by_address.Panes()[2], origin);
}

TEST_F(SearchWorkflowsTest, RepliesAreCutWhereTheSearchesSay) {
  const struct {
    const char* name;
    std::string baidu_json, sogou_body;
    std::string pane1, pane2;
  } cases[] = {
      {"escapes: only backslashes go",
       "{\"url\":\"http:\\/\\/r.test\\/a?b=1\\u0026c=2\",\"sign\":\"x\"}",
       "The URL has moved <a href=\"http://s.test/a?b&amp;c\">here</a>\n", "http://r.test/a?b=1u0026c=2",
       "http://s.test/a?b&amp;c"},
      {"sign not directly after url", "{\"url\":\"http://r.test/\",\"x\":1,\"sign\":\"y\"}",
       "The URL has moved <a href=\"http://s.test/\">here</a>", "", ""},
      {"another field between url and sign",
       "{\"url\":\"http://r.test/\",\"x\":\"y\",\"sign\":\"z\"}",
       "The URL has moved <a href=\"http://s.test/\">here</a>\n", "", "http://s.test/"},
      {"a zero byte before the link", "{\"url\":\"u\",\"sign\":\"\"}",
       "\0The URL has moved <a href=\"http://s.test/\">here</a>\n"s, "u", ""},
      {"a zero byte after the link", "{\"url\":\"u\",\"sign\":\"\"}\0junk"s,
       "The URL has moved <a href=\"http://s.test/z\">here</a>\n\0junk"s, "u", "http://s.test/z"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeServices services;
    services.server(Service::kBaidu).SetHandler([&](const Request&) {
      return Reply::Ok(c.baidu_json, "application/json");
    });
    services.server(Service::kSogou).SetHandler([&](const Request&) { return Reply::Ok(c.sogou_body); });
    FakeSurface surface;
    surface.chosen = File(WriteFile("b.jpg", "jpg"));
    SearchByLocalImage(surface, services.origins());
    EXPECT_EQ(surface.Panes()[0], c.pane1);
    EXPECT_EQ(surface.Panes()[1], c.pane2);
  }
}

TEST_F(SearchWorkflowsTest, ReadWholeFileGivesTheBytesOrNothing) {
  const std::string content = "\0\x01\xff\r\n\0"s + std::string(70000, 'z');
  const std::string named = WriteFile("\xE5\x9B\xBE \xF0\x9F\x98\x80.png", content);  // 图 and an emoji
  EXPECT_EQ(ReadWholeFile(named).str(), content);
  EXPECT_TRUE(ReadWholeFile("").empty());
  EXPECT_TRUE(ReadWholeFile((folder_ / "missing").string()).empty());
  EXPECT_TRUE(ReadWholeFile(folder_.string()).empty());
  EXPECT_TRUE(ReadWholeFile(WriteFile("zero", "")).empty());
}

}  // namespace
}  // namespace tavrel
