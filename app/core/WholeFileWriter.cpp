#include "WholeFileWriter.h"

#include <unistd.h>

bool TWholeFileWriter::open() {
  return file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool TWholeFileWriter::write(const char* data, qint64 size) {
  return file_.write(data, size) == size;
}

bool TWholeFileWriter::commit() {
  // A delayed allocation may fail only now, at the flush to the disk.
  if (::fdatasync(file_.handle()) != 0) {
    file_.cancelWriting();
    return false;
  }
  return file_.commit();
}

QString TWholeFileWriter::failureMessage(const QString& path) {
  return QStringLiteral("Unable to write to ") + path;
}
