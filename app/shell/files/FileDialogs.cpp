#include "FileDialogs.h"

#include <QFileDialog>
#include <QStringList>

QString FileDialogs::registerFilter() {
  return QStringLiteral("Register File (*.rgr)|*.rgr|All (*.*)|*.*");
}

TFileDialogSpec FileDialogs::openRegisters() {
  return {TFileDialogSpec::Mode::Open, QStringLiteral("Load Register values"), registerFilter(), QString()};
}

TFileDialogSpec FileDialogs::saveRegisters() {
  return {TFileDialogSpec::Mode::Save, QStringLiteral("Save Register values"), registerFilter(), QStringLiteral("rgr")};
}

QString FileDialogs::toQtFilter(const QString& barFilter) {
  const QStringList parts = barFilter.split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString pattern = parts[i + 1] == QLatin1String("*.*") ? QStringLiteral("*") : parts[i + 1];
    // The description's own parenthesised patterns give way to the pattern
    // field, which is what the filter matches.
    QString label = description;
    const qsizetype open = label.lastIndexOf(QLatin1Char('('));
    if (open > 0 && label.endsWith(QLatin1Char(')'))) label = label.left(open).trimmed();
    if (pattern == QLatin1String("*") && label == QLatin1String("All")) label = QStringLiteral("All files");
    filters.append(label + QStringLiteral(" (") + QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                   QLatin1Char(')'));
  }
  return filters.join(QStringLiteral(";;"));
}

QString FileDialogs::firstPattern(const QString& barFilter) {
  return barFilter.section(QLatin1Char('|'), 1, 1);
}

QString FileDialogs::run(const TFileDialogSpec& request, QWidget* parent) {
  QFileDialog dialog(parent, request.caption);
  dialog.setNameFilter(toQtFilter(request.filter));
  if (request.mode == TFileDialogSpec::Mode::Open) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}
