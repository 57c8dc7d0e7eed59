// app/main.cc: start-up of the search window.
#include <QApplication>

#include "app/search_window.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  tavrel::SearchWindow window;
  window.show();
  return application.exec();
}
