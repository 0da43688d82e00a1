#include "ui/complib/save_dialog.h"

#include <QFileDialog>
#include <QStringList>

#include "ui/complib/text.h"

AnsiString QtNameFilters(const AnsiString& filter) {
  const QStringList parts = ToQString(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    filters << parts[i] + " (" + patterns + ")";
  }
  return ToAnsiString(filters.join(";;"));
}

bool TSaveDialog::Execute() {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Qt's own dialog on every desktop: same behaviour everywhere, and no
  // extension is ever added behind the operator's back.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!Filter.IsEmpty()) dialog.setNameFilter(ToQString(QtNameFilters(Filter)));
  const QString proposed = ToQString(FileName);
  if (!proposed.isEmpty() && !proposed.contains('*') && !proposed.contains('?'))
    dialog.selectFile(proposed);
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  FileName = ToAnsiString(chosen.first());
  return true;
}
