// app/search_window.h
//
// SearchWindow: the program's one window, "Tavrel by:Morvane". Three result
// panes stacked top to bottom, the address box and the two search buttons at
// fixed places, and the open-file dialog component. The buttons run the two
// searches against the services at `origins`.
//
//   SearchWindow window;   // the built-in service origins
//   window.show();
#ifndef TAVREL_APP_SEARCH_WINDOW_H_
#define TAVREL_APP_SEARCH_WINDOW_H_

#include <memory>

#include <QWidget>

#include "app/service_origins.h"
#include "net/message_pump.h"

class QLineEdit;
class QPushButton;

namespace tavrel {

class FileDialogComponent;
class ResultPane;
class SearchSurface;

class SearchWindow : public QWidget {
  Q_OBJECT

 public:
  // Frame rectangle on the screen.
  static constexpr int kLeft = 50;
  static constexpr int kTop = 50;
  static constexpr int kWidth = 1285;
  static constexpr int kHeight = 897;

  explicit SearchWindow(ServiceOrigins origins = kServiceOrigins, QWidget* parent = nullptr);
  ~SearchWindow() override;

  // Pane 1, 2 or 3 (网页框1..3).
  [[nodiscard]] ResultPane* pane(int n) const;
  [[nodiscard]] QLineEdit* address_box() const { return address_box_; }
  [[nodiscard]] QPushButton* address_button() const { return address_button_; }
  [[nodiscard]] QPushButton* local_button() const { return local_button_; }
  [[nodiscard]] FileDialogComponent* file_dialog() const { return file_dialog_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private slots:
  void handleAddressSearchClicked();
  void handleLocalSearchClicked();

 private:
  // Sizes the client area so that the frame, window-manager decoration
  // included, is kWidth x kHeight at kLeft, kTop.
  void PlaceFrame();
  void OpenPaneAddress(int n);

  ServiceOrigins origins_;
  ResultPane* panes_[3] = {nullptr, nullptr, nullptr};
  QLineEdit* address_box_ = nullptr;
  QPushButton* address_button_ = nullptr;
  QPushButton* local_button_ = nullptr;
  FileDialogComponent* file_dialog_ = nullptr;
  std::unique_ptr<SearchSurface> surface_;
  MessagePump previous_pump_ = nullptr;
};

}  // namespace tavrel

#endif  // TAVREL_APP_SEARCH_WINDOW_H_
