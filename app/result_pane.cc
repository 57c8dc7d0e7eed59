// app/result_pane.cc
#include "app/result_pane.h"

#include <QApplication>
#include <QMouseEvent>
#include <QString>
#include <QUrl>

#include "text/code_page.h"

namespace tavrel {

ResultPane::ResultPane(QWidget* parent) : QWebEngineView(parent) {
  // The default profile is used as it is: off the record, so the pane keeps
  // no cookie folder and no storage folder, and it sends the engine's own
  // user agent. Nothing is loaded at creation.
  qApp->installEventFilter(this);
}

ResultPane::~ResultPane() { qApp->removeEventFilter(this); }

void ResultPane::SetPaneAddress(const Text& address) {
  pane_address_ = address;
  QUrl url;
  if (!address.empty()) {
    const std::u16string utf16 = GbkToUtf16(address);
    url = QUrl(QString(reinterpret_cast<const QChar*>(utf16.data()),
                       static_cast<qsizetype>(utf16.size())),
               QUrl::TolerantMode);
  }
  // The addresses come from the services' replies. Only web pages are
  // loaded: a "javascript:" address would run in the page shown before, a
  // "file:" address would show (and hand on) a local file. Anything else
  // shows the blank page, as the empty address does.
  const QString scheme = url.scheme().toLower();
  if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
    setHtml(QStringLiteral(" "), QUrl(QStringLiteral("about:blank")));
    return;
  }
  load(url);
}

Text ResultPane::CurrentAddress() const {
  const QByteArray bytes = url().toEncoded();
  return Text(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QWebEngineView* ResultPane::createWindow(QWebEnginePage::WebWindowType /*type*/) { return this; }

bool ResultPane::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonPress || !watched->isWidgetType()) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::LeftButton) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget != this && !isAncestorOf(widget)) return false;
  if (seen_press_ && mouse->timestamp() == last_press_timestamp_ &&
      mouse->globalPosition() == last_press_position_) {
    return false;
  }
  seen_press_ = true;
  last_press_timestamp_ = mouse->timestamp();
  last_press_position_ = mouse->globalPosition();

  const QPoint at = mapFromGlobal(mouse->globalPosition()).toPoint();
  int keys = 0;
  if (mouse->modifiers() & Qt::ControlModifier) keys |= 1;
  if (mouse->modifiers() & Qt::ShiftModifier) keys |= 2;
  if (mouse->modifiers() & Qt::AltModifier) keys |= 4;
  emit LeftButtonPressed(static_cast<qint16>(at.x()), static_cast<qint16>(at.y()), keys);
  return false;
}

}  // namespace tavrel
