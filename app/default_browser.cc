// app/default_browser.cc
#include "app/default_browser.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include "text/code_page.h"

namespace tavrel {

void OpenInDefaultBrowser(const Text& address) {
  const std::u16string utf16 = GbkToUtf16(address);
  const QString text(reinterpret_cast<const QChar*>(utf16.data()),
                     static_cast<qsizetype>(utf16.size()));
  // An empty text gives the empty QUrl, which is handed over all the same.
  (void)QDesktopServices::openUrl(QUrl(text, QUrl::TolerantMode));
}

}  // namespace tavrel
