// app/file_dialog_component.h
//
// FileDialogComponent: the open-file dialog component of the search window
// (通用对话框1). It draws nothing itself; it holds the dialog's settings and
// the file name last confirmed, and shows a modal dialog on request.
//
//   dialog->SetFilter(QStringLiteral("图片(*.png)|*.png"));
//   if (dialog->Show()) use(dialog->FileName());
#ifndef TAVREL_APP_FILE_DIALOG_COMPONENT_H_
#define TAVREL_APP_FILE_DIALOG_COMPONENT_H_

#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

class QWidget;

namespace tavrel {

class FileDialogComponent : public QObject {
  Q_OBJECT

 public:
  enum class Kind { kOpenFile, kSaveFile };

  // `owner` is the window the modal dialog is shown over.
  explicit FileDialogComponent(QWidget* owner);

  void SetKind(Kind kind) { kind_ = kind; }
  [[nodiscard]] Kind kind() const { return kind_; }
  // "description|pattern|description|pattern..." with patterns separated by
  // ";", as in "图片(*.jpg;*.png)|*.jpg;*.png".
  void SetFilter(const QString& filter) { filter_ = filter; }
  [[nodiscard]] const QString& filter() const { return filter_; }
  // The full path of the file last confirmed; empty until then. It is filled
  // in when the dialog opens the next time.
  [[nodiscard]] const QString& FileName() const { return file_name_; }

  // Shows the dialog modally. True when the user confirmed an existing file.
  bool Show();

  // The place the component holds in the window's layout (client
  // coordinates); it is not a widget and is never drawn.
  [[nodiscard]] static QRect LayoutRectangle() { return {1080, 720, 64, 48}; }

  // Qt name filters for a "description|pattern" text: a text that does not
  // end in "||" gets "||", then every pair with a description becomes one
  // entry "description (p1 p2 ...)".
  [[nodiscard]] static QStringList NameFilters(const QString& filter);

 private:
  QWidget* owner_ = nullptr;
  Kind kind_ = Kind::kOpenFile;
  QString filter_;
  QString file_name_;
};

}  // namespace tavrel

#endif  // TAVREL_APP_FILE_DIALOG_COMPONENT_H_
