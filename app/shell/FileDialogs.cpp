#include "FileDialogs.h"

#include <QFileDialog>
#include <QStringList>

QString FileDialogs::registerFilter() {
  return QStringLiteral("Register File (*.rgr)|*.rgr|All (*.*)|*.*");
}

QString FileDialogs::traceFilter() {
  return QStringLiteral("Trace File (*.trc)|*.trc|All (*.*)|*.*");
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

bool FileDialogs::isOpen(Kind kind) {
  return kind == Kind::OpenRegisters || kind == Kind::OpenTrace;
}

QString FileDialogs::filterOf(Kind kind) {
  return kind == Kind::OpenRegisters || kind == Kind::SaveRegisters ? registerFilter() : traceFilter();
}

QString FileDialogs::defaultSuffixOf(Kind kind) {
  switch (kind) {
    case Kind::SaveRegisters:
      return QStringLiteral("rgr");
    case Kind::SaveTrace:
      return QStringLiteral("trc");
    default:
      return QString();
  }
}

QString FileDialogs::captionOf(Kind kind) {
  switch (kind) {
    case Kind::OpenRegisters:
      return QStringLiteral("Load Register values");
    case Kind::SaveRegisters:
      return QStringLiteral("Save Register values");
    case Kind::OpenTrace:
      return QStringLiteral("Load Trace");
    case Kind::SaveTrace:
      return QStringLiteral("Save Trace");
  }
  return QString();
}

QString FileDialogs::run(Kind kind, QWidget* parent) {
  QFileDialog dialog(parent, captionOf(kind));
  dialog.setNameFilter(toQtFilter(filterOf(kind)));
  if (isOpen(kind)) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffixOf(kind));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}
