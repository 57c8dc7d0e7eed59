// tests/app/qt_test_main.cc
//
// main() of the window tests: one QApplication around the test run. While
// the build lists the tests there is no display and no application at all.
#include <unistd.h>

#include <cstdlib>

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  // The engine refuses to start as root with its sandbox on.
  if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
