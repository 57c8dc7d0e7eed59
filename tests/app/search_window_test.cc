// tests/app/search_window_test.cc
//
// The real window with its web engine, driven by synthetic input, against
// the fake services.
#include "app/search_window.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWebEngineProfile>
#include <gtest/gtest.h>

#include "app/file_dialog_component.h"
#include "app/request_templates.h"
#include "app/result_pane.h"
#include "tests/app/fake_services.h"
#include "tests/support/fixed_clock.h"
#include "text/base64.h"
#include "text/timestamp.h"
#include "text/url_encode.h"

namespace tavrel {
namespace {

using test_support::Behaviour;
using test_support::FakeServices;
using test_support::FakeServicesOptions;
using test_support::Request;
using test_support::Service;
using namespace std::string_literals;

// Pages load in the background; these bounds are generous on purpose.
constexpr int kLoadTimeoutMs = 30000;

// Takes what the window hands to the default browser.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  std::vector<QUrl> urls;

 public slots:
  void Open(const QUrl& url) { urls.push_back(url); }
};

bool WaitUntil(const std::function<bool()>& done, int timeout_ms = kLoadTimeoutMs) {
  QDeadlineTimer deadline(timeout_ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(20);
  }
  return true;
}

std::string UrlOf(ResultPane* pane) { return pane->url().toEncoded().toStdString(); }

// The engine hands addresses on RFC 3986-equivalent: escapes of unreserved
// characters are decoded, all others stay.
std::string DecodeUnreserved(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int value = std::stoi(text.substr(i + 1, 2), nullptr, 16);
      const char c = static_cast<char>(value);
      if (std::isalnum(value) || c == '-' || c == '.' || c == '_' || c == '~') {
        out += c;
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

class SearchWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* scheme : {"http", "https", "about", "data", ""}) {
      QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher_, "Open");
    }
    folder_ = std::filesystem::path(::testing::TempDir()) /
              ("tavrel_window_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
  }

  void TearDown() override {
    window_.reset();
    for (const char* scheme : {"http", "https", "about", "data", ""}) {
      QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  void Open(FakeServicesOptions options = {}) {
    services_ = std::make_unique<FakeServices>(options);
    window_ = std::make_unique<SearchWindow>(services_->origins());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  ResultPane* Pane(int n) const { return window_->pane(n); }

  // Waits until pane n shows `url` and the page had time to settle, so that
  // clicks reach it.
  bool WaitForPage(int n, const std::string& url) {
    if (!WaitUntil([&] { return UrlOf(Pane(n)) == url; })) {
      ADD_FAILURE() << "pane " << n << " shows " << UrlOf(Pane(n)) << ", not " << url;
      return false;
    }
    bool finished = false;
    QMetaObject::Connection c =
        QObject::connect(Pane(n), &QWebEngineView::loadFinished, [&](bool) { finished = true; });
    // The page may have finished already; give it a short while either way.
    WaitUntil([&] { return finished; }, 1500);
    QObject::disconnect(c);
    QTest::qWait(100);
    return true;
  }

  // Runs `act` on the file dialog as soon as it is shown (inside its modal
  // loop). Gives up after 20 seconds.
  void WhenDialogShows(std::function<void(QFileDialog*)> act) {
    auto* timer = new QTimer(window_.get());
    auto ticks = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, act = std::move(act)] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (dialog != nullptr && dialog->isVisible()) {
          timer->stop();
          timer->deleteLater();
          act(dialog);
          return;
        }
      }
      if (++*ticks > 1000) {
        timer->stop();
        timer->deleteLater();
      }
    });
    timer->start(20);
  }

  static void PickFile(QFileDialog* dialog, const std::string& path) {
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(path));
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog's checks run
  }

  std::string WriteFile(const std::string& name, const std::string& content) {
    const std::filesystem::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // A press and a release of the left button in the middle of pane n's page.
  void ClickInPane(int n) {
    QWidget* target = Pane(n)->focusProxy() != nullptr ? Pane(n)->focusProxy() : Pane(n);
    const QPoint middle = target->rect().center();
    QTest::mousePress(target, Qt::LeftButton, Qt::NoModifier, middle);
    QTest::mouseRelease(target, Qt::LeftButton, Qt::NoModifier, middle);
  }

  UrlCatcher catcher_;
  std::unique_ptr<FakeServices> services_;
  std::unique_ptr<SearchWindow> window_;
  std::filesystem::path folder_;
  test_support::FixedClock clock_;
};

TEST_F(SearchWindowTest, LayoutFollowsTheWindowTableAndIgnoresResizing) {
  Open();
  QTest::qWait(400);  // the frame is placed once the window is decorated
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Tavrel by:Morvane"));
  EXPECT_EQ(window_->frameGeometry(), QRect(50, 50, 1285, 897));

  const struct {
    const char* name;
    QRect place;
    QString text;
  } controls[] = {
      {"网页框1", {8, 8, 1264, 264}, {}},
      {"网页框2", {8, 280, 1264, 264}, {}},
      {"网页框3", {8, 552, 1264, 264}, {}},
      {"编辑框1", {8, 824, 792, 40}, QString()},
      {"按钮1", {816, 824, 120, 40}, QStringLiteral("图片地址搜索")},
      {"按钮2", {944, 824, 120, 40}, QStringLiteral("本地上传")},
  };
  for (const QSize size : {QSize(1285, 897), QSize(640, 480), QSize(1400, 990)}) {
    window_->resize(size);
    QTest::qWait(50);
    for (const auto& control : controls) {
      SCOPED_TRACE(control.name);
      auto* widget = window_->findChild<QWidget*>(QString::fromUtf8(control.name));
      ASSERT_NE(widget, nullptr);
      EXPECT_EQ(widget->geometry(), control.place);
      if (auto* button = qobject_cast<QPushButton*>(widget)) {
        EXPECT_EQ(button->text(), control.text);
      }
      if (auto* box = qobject_cast<QLineEdit*>(widget)) {
        EXPECT_TRUE(box->text().isEmpty());
      }
    }
  }
  // The dialog component is there by its name and draws nothing.
  QObject* dialog = window_->findChild<QObject*>(QStringLiteral("通用对话框1"));
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(dialog->isWidgetType());
  // The panes start blank and keep nothing on disk.
  for (int n = 1; n <= 3; ++n) {
    EXPECT_TRUE(Pane(n)->CurrentAddress().empty());
    EXPECT_TRUE(Pane(n)->page()->profile()->isOffTheRecord());
  }
}

TEST_F(SearchWindowTest, AddressSearchPostsAndLoadsTheThreeResultPages) {
  Open();
  // Typed text reaches the services in code page 936 (图 is CD BC).
  QTest::keyClicks(window_->address_box(), QStringLiteral("http://img.test/"));
  // QTest types ASCII only; a character from an input method comes as text.
  QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("图"));
  QApplication::sendEvent(window_->address_box(), &press);
  QTest::keyClicks(window_->address_box(), QStringLiteral(" a.png"));
  ASSERT_EQ(window_->address_box()->text(), QStringLiteral("http://img.test/图 a.png"));
  const std::string typed = "http://img.test/\xCD\xBC a.png";
  QTest::mouseClick(window_->address_button(), Qt::LeftButton);

  const std::vector<Request> baidu = services_->Uploads(Service::kBaidu);
  ASSERT_EQ(baidu.size(), 1u);
  EXPECT_EQ(baidu[0].request_line, "POST /upload?uptime=1587340800042 HTTP/1.1");
  EXPECT_EQ(baidu[0].body, FillForm(BaiduUploadForm(), kBaiduSampleImageAddress, typed));
  const auto baidu_headers = test_support::ExpectedBaiduHeaders(services_->Origin(Service::kBaidu));
  EXPECT_EQ(test_support::HeaderLines(baidu[0], test_support::NamesOf(baidu_headers)), baidu_headers);
  const std::vector<Request> image360 = services_->Uploads(Service::kImage360);
  ASSERT_EQ(image360.size(), 1u);
  EXPECT_EQ(image360[0].request_line, "POST /stu HTTP/1.1");
  EXPECT_EQ(image360[0].body, FillForm(Image360AddressForm(), kFormDataPlaceholder, typed));
  const auto image360_headers =
      test_support::Expected360AddressHeaders(services_->Origin(Service::kImage360));
  EXPECT_EQ(test_support::HeaderLines(image360[0], test_support::NamesOf(image360_headers)),
            image360_headers);

  EXPECT_TRUE(WaitForPage(1, services_->BaiduResult(1)));
  EXPECT_TRUE(WaitForPage(3, services_->Origin(Service::kImage360) + services_->Image360ResultPath(1)));
  // Pane 2 asks the second service itself, with the escaped address.
  const std::string query = "/ris?flag=1&drag=0&query=" + UrlEncode(typed).str();
  ASSERT_TRUE(WaitUntil([&] { return !services_->PageRequests(Service::kSogou, "/ris?").empty(); }));
  const Request ris = services_->PageRequests(Service::kSogou, "/ris?").at(0);
  EXPECT_EQ(ris.target, DecodeUnreserved(query));
  EXPECT_NE(ris.target.find("%3A%2F%2F"), std::string::npos);
  EXPECT_NE(ris.target.find("%2F%CD%BC%20"), std::string::npos);
  EXPECT_TRUE(WaitForPage(2, services_->Origin(Service::kSogou) + DecodeUnreserved(query)));
  EXPECT_TRUE(services_->Uploads(Service::kSogou).empty());
  EXPECT_TRUE(catcher_.urls.empty());
}

TEST_F(SearchWindowTest, LocalImageGoesThroughTheDialogAndIsRememberedThere) {
  Open();
  // A name outside code page 936 (an emoji) is still opened by its real path.
  const std::string data = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\xff"s + std::string(3000, '\0');
  const std::string path = WriteFile("pic \xF0\x9F\x98\x80.png", data);

  QStringList filters;
  QFileDialog::FileMode mode = QFileDialog::AnyFile;
  WhenDialogShows([&](QFileDialog* dialog) {
    filters = dialog->nameFilters();
    mode = dialog->fileMode();
    PickFile(dialog, path);
  });
  QTest::mouseClick(window_->local_button(), Qt::LeftButton);
  EXPECT_EQ(filters, QStringList{QStringLiteral("图片(*.jpg;*.jpeg;*.bmp;*.png) (*.jpg *.jpeg *.bmp *.png)")});
  EXPECT_EQ(mode, QFileDialog::ExistingFile);

  ASSERT_EQ(services_->Uploads(Service::kBaidu).size(), 1u);
  EXPECT_EQ(services_->Uploads(Service::kBaidu)[0].body,
            FillForm(BaiduUploadForm(), kBaiduSampleImageAddress, Base64Encode(data).view()));
  ASSERT_EQ(services_->Uploads(Service::kSogou).size(), 1u);
  EXPECT_EQ(services_->Uploads(Service::kSogou)[0].body,
            FillForm(SogouUploadForm(), kFormDataPlaceholder, data));
  const auto sogou_headers = test_support::ExpectedFileHeaders(
      services_->Origin(Service::kSogou), "----WebKitFormBoundary6ItRk2qCkSXcOEiZ");
  EXPECT_EQ(test_support::HeaderLines(services_->Uploads(Service::kSogou)[0],
                                      test_support::NamesOf(sogou_headers)),
            sogou_headers);
  ASSERT_EQ(services_->Uploads(Service::kImage360).size(), 1u);
  EXPECT_EQ(services_->Uploads(Service::kImage360)[0].body,
            FillForm(Image360FileForm(), kFormDataPlaceholder, data));

  EXPECT_TRUE(WaitForPage(1, services_->BaiduResult(1)));
  EXPECT_TRUE(WaitForPage(2, services_->SogouUploadResult(1)));
  EXPECT_TRUE(WaitForPage(3, services_->Origin(Service::kImage360) + services_->Image360ResultPath(1)));
  EXPECT_EQ(Pane(2)->PaneAddress(), services_->SogouUploadResult(1));

  // The next time the dialog opens on the file chosen last; cancelling it
  // sends nothing and leaves the panes as they are.
  QStringList preselected;
  WhenDialogShows([&](QFileDialog* dialog) {
    preselected = dialog->selectedFiles();
    dialog->reject();
  });
  const std::size_t connections = services_->server(Service::kBaidu).ConnectionCount() +
                                  services_->server(Service::kSogou).ConnectionCount() +
                                  services_->server(Service::kImage360).ConnectionCount();
  QTest::mouseClick(window_->local_button(), Qt::LeftButton);
  EXPECT_EQ(preselected, QStringList{QString::fromStdString(path)});
  EXPECT_EQ(window_->file_dialog()->FileName(), QString::fromStdString(path));
  QTest::qWait(300);
  EXPECT_EQ(services_->Uploads(Service::kBaidu).size() + services_->Uploads(Service::kSogou).size() +
                services_->Uploads(Service::kImage360).size(),
            3u);
  EXPECT_EQ(services_->server(Service::kBaidu).ConnectionCount() +
                services_->server(Service::kSogou).ConnectionCount() +
                services_->server(Service::kImage360).ConnectionCount(),
            connections);
  EXPECT_EQ(UrlOf(Pane(1)), services_->BaiduResult(1));
  EXPECT_EQ(Pane(3)->PaneAddress(),
            services_->Origin(Service::kImage360) + services_->Image360ResultPath(1));
}

TEST_F(SearchWindowTest, APressOpensThePanesAddressAndAPressedLinkIsFollowed) {
  Open();
  // A pane never given an address reports none: the empty address is opened.
  ClickInPane(2);
  ASSERT_EQ(catcher_.urls.size(), 1u);
  EXPECT_TRUE(catcher_.urls[0].isEmpty());

  // The empty text shows the blank page at about:blank.
  Pane(3)->SetPaneAddress(Text());
  ASSERT_TRUE(WaitForPage(3, "about:blank"));
  ClickInPane(3);
  ASSERT_EQ(catcher_.urls.size(), 2u);
  EXPECT_EQ(catcher_.urls[1], QUrl(QStringLiteral("about:blank")));

  const std::string result = services_->BaiduResult(1);
  Pane(1)->SetPaneAddress(Text(result));
  ASSERT_TRUE(WaitForPage(1, result));
  ClickInPane(1);
  ASSERT_EQ(catcher_.urls.size(), 3u);
  EXPECT_EQ(catcher_.urls[2].toEncoded().toStdString(), result);
  // The press went on to the page: the link under it was followed.
  const std::string next = services_->Origin(Service::kBaidu) + FakeServices::kNextPath;
  ASSERT_TRUE(WaitForPage(1, next));
  EXPECT_EQ(Pane(1)->PaneAddress(), result);
  ClickInPane(1);
  ASSERT_EQ(catcher_.urls.size(), 4u);
  EXPECT_EQ(catcher_.urls[3].toEncoded().toStdString(), next);
}

TEST_F(SearchWindowTest, ALinkAskingForANewWindowLoadsInThePaneItself) {
  Open();
  const std::string popup = services_->Origin(Service::kSogou) + FakeServices::kPopupPath;
  Pane(2)->SetPaneAddress(Text(popup));
  ASSERT_TRUE(WaitForPage(2, popup));
  ClickInPane(2);
  EXPECT_TRUE(WaitForPage(2, services_->Origin(Service::kSogou) + FakeServices::kNextPath));
  // No window of its own appeared for the link.
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    EXPECT_TRUE(widget == window_.get() || qobject_cast<QWebEngineView*>(widget) == nullptr);
  }
  ASSERT_EQ(catcher_.urls.size(), 1u);
  EXPECT_EQ(catcher_.urls[0].toEncoded().toStdString(), popup);
}

TEST_F(SearchWindowTest, AClickDuringTheFirstRequestRunsNestedInsideIt) {
  Open();
  services_->SetBaiduDelay(std::chrono::milliseconds(300));
  const std::string path = WriteFile("nested.jpg", "JFIF\0bytes"s);
  WhenDialogShows([&](QFileDialog* dialog) { PickFile(dialog, path); });
  window_->address_box()->setText(QStringLiteral("http://img.test/n.png"));
  // Queued now, handled while the address search waits for its first reply.
  QMetaObject::invokeMethod(window_->local_button(), &QPushButton::click, Qt::QueuedConnection);
  QTest::mouseClick(window_->address_button(), Qt::LeftButton);

  // The address upload went first; the file upload came while it was under
  // way; the address search's third step came after the whole local search.
  const std::vector<Request> baidu = services_->Uploads(Service::kBaidu);
  ASSERT_EQ(baidu.size(), 2u);
  EXPECT_NE(baidu[0].body.find("\r\n\r\nhttp://img.test/n.png\r\n"), std::string::npos);
  EXPECT_NE(baidu[1].body.find("\r\n\r\n" + Base64Encode("JFIF\0bytes"s).str() + "\r\n"),
            std::string::npos);
  ASSERT_EQ(services_->Uploads(Service::kSogou).size(), 1u);
  const std::vector<Request> image360 = services_->Uploads(Service::kImage360);
  ASSERT_EQ(image360.size(), 2u);
  EXPECT_NE(image360[0].body.find("filename=\"5afb7f2d82c29.jpg\""), std::string::npos);
  EXPECT_NE(image360[1].body.find("\r\n\r\nhttp://img.test/n.png\r\n"), std::string::npos);

  // The address search wrote last: its results stand in all three panes.
  EXPECT_EQ(Pane(1)->PaneAddress(), services_->BaiduResult(1));
  EXPECT_EQ(Pane(2)->PaneAddress().view().substr(0, services_->Origin(Service::kSogou).size() + 5),
            services_->Origin(Service::kSogou) + "/ris?");
  EXPECT_EQ(Pane(3)->PaneAddress(),
            services_->Origin(Service::kImage360) + services_->Image360ResultPath(2));
  EXPECT_TRUE(WaitForPage(1, services_->BaiduResult(1)));
  EXPECT_TRUE(WaitForPage(3, services_->Origin(Service::kImage360) + services_->Image360ResultPath(2)));
}

TEST_F(SearchWindowTest, TextTypedDuringTheFirstRequestReachesTheOtherServices) {
  Open();
  services_->SetBaiduDelay(std::chrono::milliseconds(200));
  window_->address_box()->setText(QStringLiteral("before"));
  // Handled while the first request is under way.
  QTimer::singleShot(0, window_.get(), [this] {
    window_->address_box()->setText(QStringLiteral("ab"));
  });
  QTest::mouseClick(window_->address_button(), Qt::LeftButton);
  ASSERT_EQ(services_->Uploads(Service::kBaidu).size(), 1u);
  EXPECT_NE(services_->Uploads(Service::kBaidu)[0].body.find("\r\n\r\nbefore\r\n"),
            std::string::npos);
  EXPECT_EQ(Pane(2)->PaneAddress(),
            services_->Origin(Service::kSogou) + "/ris?flag=1&drag=0&query=%61%62");
  ASSERT_EQ(services_->Uploads(Service::kImage360).size(), 1u);
  EXPECT_NE(services_->Uploads(Service::kImage360)[0].body.find("\r\n\r\nab\r\n"),
            std::string::npos);
}

TEST_F(SearchWindowTest, FailingServicesLeaveOnlyTheirOwnPanes) {
  Open({.baidu = Behaviour::kRefuse, .image360 = Behaviour::kNoMarkers});
  window_->address_box()->setText(QStringLiteral("http://img.test/f.png"));
  QTest::mouseClick(window_->address_button(), Qt::LeftButton);
  EXPECT_TRUE(Pane(1)->PaneAddress().empty());
  EXPECT_TRUE(WaitForPage(1, "about:blank"));
  // The third service's bare origin: its start page.
  EXPECT_EQ(Pane(3)->PaneAddress(), services_->Origin(Service::kImage360));
  EXPECT_TRUE(WaitForPage(3, services_->Origin(Service::kImage360) + "/"));
  EXPECT_TRUE(WaitUntil([&] { return !services_->PageRequests(Service::kSogou, "/ris?").empty(); }));
}

}  // namespace
}  // namespace tavrel

#include "search_window_test.moc"
