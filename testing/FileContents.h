// The bytes of a file, as a test reads back what the program wrote; the text
// "<unreadable>" when the file cannot be opened, so that a comparison with
// the expected bytes fails and says why.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

inline QByteArray FileContents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
