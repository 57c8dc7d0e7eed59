// tests/app/search_faults_window_test.cc
//
// The real window after searches that fail: it stays alive and responsive
// (timers fire, the next search works), and characters the code page cannot
// hold reach the services as "?".
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <gtest/gtest.h>

#include "app/request_templates.h"
#include "app/result_pane.h"
#include "app/search_window.h"
#include "tests/app/fake_services.h"
#include "tests/support/fixed_clock.h"
#include "text/timestamp.h"

namespace tavrel {
namespace {

using test_support::FakeServices;
using test_support::Reply;
using test_support::Request;
using test_support::Service;

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  QDeadlineTimer deadline(timeout_ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(20);
  }
  return true;
}

// True when a timer started now fires within a few seconds.
bool TimerFires() {
  bool fired = false;
  QTimer::singleShot(10, [&] { fired = true; });
  return WaitUntil([&] { return fired; }, 5000);
}

class SearchFaultsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The first and third services fail while `failing_` is set: the first
    // resets its connections, the third answers garbage.
    const std::string origin1 = services_.Origin(Service::kBaidu);
    services_.server(Service::kBaidu).SetHandler([this, origin1](const Request& request) {
      if (request.method != "POST") return Reply::Ok("<html><body>result 1</body></html>");
      if (failing_) return Reply::Reset();
      std::string escaped;
      const char* hostile = hostile_.load();
      const std::string named = *hostile != '\0' ? std::string(hostile) : origin1 + "/result1?ok";
      for (const char c : named) {
        if (c == '/') escaped += '\\';
        escaped += c;
      }
      return Reply::Ok("{\"url\":\"" + escaped + "\",\"sign\":\"s\"}", "application/json");
    });
    services_.server(Service::kImage360).SetHandler([this](const Request& request) {
      if (request.method != "POST") return Reply::Ok("<html><body>result 3</body></html>");
      if (failing_) return Reply::Raw("not HTTP at all\r\n\r\n");
      return Reply::Http(302, "Found", {"Location: /result3?ok", "Server: fake"});
    });
    window_ = std::make_unique<SearchWindow>(services_.origins());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  void TearDown() override {
    window_.reset();
  }

  void SearchByAddress(const QString& typed) {
    window_->address_box()->setText(typed);
    QTest::mouseClick(window_->address_button(), Qt::LeftButton);
  }

  FakeServices services_;
  std::atomic<bool> failing_{true};
  // When set, the address the first service names instead of its result.
  std::atomic<const char*> hostile_{""};
  std::unique_ptr<SearchWindow> window_;
  test_support::FixedClock clock_;
};

TEST_F(SearchFaultsWindowTest, AfterFailingSearchesTheWindowRespondsAndSearchesAgain) {
  const std::string origin3 = services_.Origin(Service::kImage360);
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    SearchByAddress(QStringLiteral("http://img.test/fail.png"));
    EXPECT_TRUE(window_->pane(1)->PaneAddress().empty());
    EXPECT_EQ(window_->pane(3)->PaneAddress(), origin3);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_TRUE(TimerFires());
  }
  EXPECT_EQ(services_.Uploads(Service::kBaidu).size(), 2u);

  failing_ = false;
  SearchByAddress(QStringLiteral("http://img.test/works.png"));
  EXPECT_EQ(window_->pane(1)->PaneAddress(), services_.Origin(Service::kBaidu) + "/result1?ok");
  EXPECT_EQ(window_->pane(3)->PaneAddress(), origin3 + "/result3?ok");
  EXPECT_TRUE(TimerFires());
  EXPECT_TRUE(WaitUntil(
      [&] { return !services_.PageRequests(Service::kBaidu, "/result1?ok").empty(); }, 30000));
}

// The box text is converted to code page 936 before the search sees it: a
// character the code page lacks becomes one "?", whatever its size in UTF-16;
// "€" is in the code page (0x80).
TEST_F(SearchFaultsWindowTest, CharactersOutsideTheCodePageReachTheServicesAsQuestionMarks) {
  failing_ = false;
  SearchByAddress(QString::fromUtf8("http://img.test/\xF0\x9F\x98\x80-\xE2\x82\xAC-\xE0\xB8\x81.png"));
  const std::string expected = "http://img.test/?-\x80-?.png";
  ASSERT_EQ(services_.Uploads(Service::kBaidu).size(), 1u);
  EXPECT_EQ(services_.Uploads(Service::kBaidu)[0].body,
            FillForm(BaiduUploadForm(), kBaiduSampleImageAddress, expected));
  ASSERT_EQ(services_.Uploads(Service::kImage360).size(), 1u);
  EXPECT_EQ(services_.Uploads(Service::kImage360)[0].body,
            FillForm(Image360AddressForm(), kFormDataPlaceholder, expected));
  EXPECT_TRUE(window_->pane(2)->PaneAddress().view().ends_with("%3F%2D%80%2D%3F%2E%70%6E%67"))
      << window_->pane(2)->PaneAddress();
}

// The text of pane n's page, or "<no answer>".
std::string PageText(ResultPane* pane) {
  std::string text = "<no answer>";
  bool answered = false;
  pane->page()->runJavaScript(QStringLiteral("document.body ? document.body.innerText : ''"),
                              [&](const QVariant& v) {
                                text = v.toString().toStdString();
                                answered = true;
                              });
  WaitUntil([&] { return answered; }, 5000);
  return text;
}

// A service that names a script or a local file as its result address must
// not get the pane to run the script in the page it shows, nor to show the
// file: a "javascript:" address would run in the page of the previous result
// (the service's own origin), a "file:" address would show the local file.
// The searches hand the address on unchanged; the pane refuses anything but
// http and https and shows its blank page instead.
TEST_F(SearchFaultsWindowTest, AServiceCannotMakeAPaneRunScriptOrShowLocalFiles) {
  failing_ = false;
  SearchByAddress(QStringLiteral("http://img.test/first.png"));
  ASSERT_TRUE(WaitUntil([&] { return PageText(window_->pane(1)) == "result 1"; }, 30000));

  hostile_ = "javascript:document.body.innerText='script ran';void 0";
  SearchByAddress(QStringLiteral("http://img.test/second.png"));
  QTest::qWait(1500);
  EXPECT_NE(PageText(window_->pane(1)), "script ran");

  hostile_ = "file:///etc/hostname";
  SearchByAddress(QStringLiteral("http://img.test/third.png"));
  QTest::qWait(1500);
  EXPECT_NE(window_->pane(1)->url().scheme().toStdString(), "file");
}

}  // namespace
}  // namespace tavrel
