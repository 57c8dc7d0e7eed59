// app/search_window.cc
#include "app/search_window.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include "app/default_browser.h"
#include "app/file_dialog_component.h"
#include "app/result_pane.h"
#include "app/search_workflows.h"
#include "text/code_page.h"

namespace tavrel {
namespace {

QString FromGbk(const Text& text) {
  const std::u16string utf16 = GbkToUtf16(text);
  return QString(reinterpret_cast<const QChar*>(utf16.data()),
                 static_cast<qsizetype>(utf16.size()));
}

Text ToGbk(const QString& text) { return Utf16ToGbk(text.toStdU16String()); }

// A request lets the window handle what has queued up at its fixed points;
// a click handled there runs its search nested inside the request.
void PumpQtEvents() { QCoreApplication::processEvents(); }

// The window as the searches see it.
class WindowSurface final : public SearchSurface {
 public:
  explicit WindowSurface(SearchWindow& window) : window_(window) {}

  Text AddressBoxText() override { return ToGbk(window_.address_box()->text()); }

  void SetPaneAddress(int pane, const Text& address) override {
    if (ResultPane* target = window_.pane(pane)) target->SetPaneAddress(address);
  }

  std::optional<ChosenFile> ChooseOpenFile(const Text& filter) override {
    FileDialogComponent* dialog = window_.file_dialog();
    dialog->SetKind(FileDialogComponent::Kind::kOpenFile);
    dialog->SetFilter(FromGbk(filter));
    if (!dialog->Show()) return std::nullopt;
    const QByteArray native = QFile::encodeName(dialog->FileName());
    return ChosenFile{.path = ToGbk(dialog->FileName()),
                      .native_path = std::string(native.constData(),
                                                 static_cast<std::size_t>(native.size()))};
  }

 private:
  SearchWindow& window_;
};

struct ControlPlace {
  int left, top, width, height;
};
constexpr ControlPlace kPanePlaces[3] = {
    {8, 8, 1264, 264}, {8, 280, 1264, 264}, {8, 552, 1264, 264}};
constexpr ControlPlace kAddressBoxPlace = {8, 824, 792, 40};
constexpr ControlPlace kAddressButtonPlace = {816, 824, 120, 40};
constexpr ControlPlace kLocalButtonPlace = {944, 824, 120, 40};

void Place(QWidget* widget, const ControlPlace& place) {
  widget->setGeometry(place.left, place.top, place.width, place.height);
}

}  // namespace

SearchWindow::SearchWindow(ServiceOrigins origins, QWidget* parent)
    : QWidget(parent), origins_(std::move(origins)) {
  setWindowTitle(QStringLiteral("Tavrel by:Morvane"));
  // Until the window manager has decorated the window, the client area
  // stands for the whole frame; PlaceFrame corrects it once it is shown.
  setGeometry(kLeft, kTop, kWidth, kHeight);

  for (int i = 0; i < 3; ++i) {
    panes_[i] = new ResultPane(this);
    panes_[i]->setObjectName(QStringLiteral("网页框%1").arg(i + 1));
    Place(panes_[i], kPanePlaces[i]);
    connect(panes_[i], &ResultPane::LeftButtonPressed, this,
            [this, n = i + 1](int, int, int) { OpenPaneAddress(n); });
  }

  address_box_ = new QLineEdit(this);
  address_box_->setObjectName(QStringLiteral("编辑框1"));
  Place(address_box_, kAddressBoxPlace);

  address_button_ = new QPushButton(QStringLiteral("图片地址搜索"), this);
  address_button_->setObjectName(QStringLiteral("按钮1"));
  Place(address_button_, kAddressButtonPlace);
  connect(address_button_, &QPushButton::clicked, this,
          &SearchWindow::handleAddressSearchClicked);

  local_button_ = new QPushButton(QStringLiteral("本地上传"), this);
  local_button_->setObjectName(QStringLiteral("按钮2"));
  Place(local_button_, kLocalButtonPlace);
  connect(local_button_, &QPushButton::clicked, this, &SearchWindow::handleLocalSearchClicked);

  file_dialog_ = new FileDialogComponent(this);
  file_dialog_->setObjectName(QStringLiteral("通用对话框1"));

  surface_ = std::make_unique<WindowSurface>(*this);
  previous_pump_ = SetMessagePump(&PumpQtEvents);
}

SearchWindow::~SearchWindow() {
  SetMessagePump(previous_pump_);
  // The views go before the application does; deleting them here also keeps
  // their engine pages from outliving the window.
  for (ResultPane*& pane : panes_) {
    delete pane;
    pane = nullptr;
  }
}

ResultPane* SearchWindow::pane(int n) const {
  return n >= 1 && n <= 3 ? panes_[n - 1] : nullptr;
}

void SearchWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  // The decoration arrives after the window is mapped, and some window
  // managers need a moment longer.
  QTimer::singleShot(0, this, &SearchWindow::PlaceFrame);
  QTimer::singleShot(250, this, &SearchWindow::PlaceFrame);
}

void SearchWindow::PlaceFrame() {
  if (isMaximized() || isFullScreen()) return;
  const QSize frame_extra = frameGeometry().size() - geometry().size();
  const QSize client(kWidth - frame_extra.width(), kHeight - frame_extra.height());
  if (size() != client) resize(client);
  if (frameGeometry().topLeft() != QPoint(kLeft, kTop)) move(kLeft, kTop);
}

void SearchWindow::OpenPaneAddress(int n) {
  const Text address = pane(n)->CurrentAddress();
  OpenInDefaultBrowser(address);
}

void SearchWindow::handleAddressSearchClicked() { SearchByAddress(*surface_, origins_); }

void SearchWindow::handleLocalSearchClicked() { SearchByLocalImage(*surface_, origins_); }

}  // namespace tavrel
