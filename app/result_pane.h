// app/result_pane.h
//
// ResultPane: one browser pane of the search window (网页框1..3). It starts
// blank, loads the address written to PaneAddress, reports the address of the
// page it shows, keeps a page's new-window requests inside itself and tells
// about every left-button press in its page.
//
//   pane->SetPaneAddress("http://example.test/r?a=1");
//   Text now = pane->CurrentAddress();
#ifndef TAVREL_APP_RESULT_PANE_H_
#define TAVREL_APP_RESULT_PANE_H_

#include <QWebEngineView>

#include "text/text.h"

namespace tavrel {

class ResultPane : public QWebEngineView {
  Q_OBJECT

 public:
  explicit ResultPane(QWidget* parent = nullptr);
  ~ResultPane() override;

  // Writes PaneAddress: a non-empty code-page-936 text is converted to UTF-16
  // and loaded as an address; the empty text, and any address that is not
  // http or https, shows the page " " (at about:blank). Returns at once; the
  // page loads in the background.
  void SetPaneAddress(const Text& address);
  // The text last written (empty at start).
  [[nodiscard]] const Text& PaneAddress() const noexcept { return pane_address_; }
  // The address of the page shown, as the engine reports it (UTF-8 bytes,
  // copied as they are); empty when it reports none.
  [[nodiscard]] Text CurrentAddress() const;

 signals:
  // The left button went down inside the page: the position in the pane
  // (signed 16-bit values) and the keys held (1 Ctrl, 2 Shift, 4 Alt). The
  // press goes on to the page.
  void LeftButtonPressed(int x, int y, int key_state);

 protected:
  // A page asking for a new window gets this pane: the page it asked for
  // loads here.
  QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;
  // Watches the whole application: the widget that takes the page's input is
  // replaced by the engine from time to time, so a filter on it would go stale.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Text pane_address_;
  // A press travels up from the widget it hit to its parents, and the filter
  // sees each step; these tell the steps of one press apart from a new press.
  quint64 last_press_timestamp_ = 0;
  QPointF last_press_position_;
  bool seen_press_ = false;
};

}  // namespace tavrel

#endif  // TAVREL_APP_RESULT_PANE_H_
