// app/file_dialog_component.cc
#include "app/file_dialog_component.h"

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

namespace tavrel {

FileDialogComponent::FileDialogComponent(QWidget* owner) : QObject(owner), owner_(owner) {}

QStringList FileDialogComponent::NameFilters(const QString& filter) {
  QString text = filter;
  if (!text.endsWith(QLatin1String("||"))) text += QLatin1String("||");
  const QStringList parts = text.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    if (description.isEmpty()) break;  // the "||" that ends the list
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) pattern = pattern.trimmed();
    filters << description + QLatin1String(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
  }
  return filters;
}

bool FileDialogComponent::Show() {
  // Qt's own dialog, so that it looks and behaves the same on every desktop.
  // Default title, no initial folder, default suffix empty, first filter
  // entry selected, the file must exist.
  QPointer<QFileDialog> dialog = new QFileDialog(owner_);
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setAcceptMode(kind_ == Kind::kSaveFile ? QFileDialog::AcceptSave
                                                 : QFileDialog::AcceptOpen);
  dialog->setFileMode(kind_ == Kind::kSaveFile ? QFileDialog::AnyFile
                                               : QFileDialog::ExistingFile);
  const QStringList filters = NameFilters(filter_);
  if (!filters.isEmpty()) dialog->setNameFilters(filters);
  if (!file_name_.isEmpty()) dialog->selectFile(file_name_);
  const bool confirmed = dialog->exec() == QDialog::Accepted && dialog &&
                         !dialog->selectedFiles().isEmpty();
  if (confirmed) file_name_ = dialog->selectedFiles().constFirst();
  delete dialog;
  return confirmed;
}

}  // namespace tavrel
