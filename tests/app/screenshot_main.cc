// tests/app/screenshot_main.cc
//
// Runs one search by address against the fake services and saves the window
// as a PNG, for the documentation:
//   xvfb-run -a -s "-screen 0 1400x1000x24" tavrel_screenshot shot.png
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

#include "app/result_pane.h"
#include "app/search_window.h"
#include "tests/app/fake_services.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s out.png\n", argv[0]);
    return 2;
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
  QApplication application(argc, argv);
  int status = 1;
  {
    tavrel::test_support::FakeServices services;
    tavrel::SearchWindow window(services.origins());
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    QTest::keyClicks(window.address_box(), QStringLiteral("https://img.tavrel.example/harbour.png"));
    QTest::mouseClick(window.address_button(), Qt::LeftButton);
    int loaded = 0;
    for (int n = 1; n <= 3; ++n) {
      QObject::connect(window.pane(n), &QWebEngineView::loadFinished, [&loaded](bool) { ++loaded; });
    }
    QDeadlineTimer deadline(30000);
    while (loaded < 3 && !deadline.hasExpired()) QTest::qWait(50);
    QTest::qWait(1500);  // let the pages paint
    if (loaded < 3) {
      std::fprintf(stderr, "tavrel_screenshot: only %d of the 3 panes finished loading\n", loaded);
    } else if (window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
      status = 0;
    }
  }
  return status;
}
