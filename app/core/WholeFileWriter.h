#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// A file written whole or not at all, as every file the program saves is.
// The bytes go unbuffered into a temporary file beside it, so that a short
// write (a full disk, a file size limit) fails at once rather than in a
// buffer flush that nobody checks; commit() flushes the temporary file to the
// disk (fdatasync) and renames it over the file, keeping the file's mode.
// Until then, and after any failure, the previous file stays as it was; a
// writer destroyed uncommitted removes its temporary file.
//
// Threads: an object is used by one thread.
class TWholeFileWriter {
 public:
  explicit TWholeFileWriter(const QString& path) : file_(path) {}

  // False when the temporary file cannot be made.
  bool open();
  // False when not every byte reached the file.
  bool write(const char* data, qint64 size);
  bool write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }
  // False when the file could not be flushed to the disk or renamed.
  bool commit();

  // What a failure says: "Unable to write to <path>".
  static QString failureMessage(const QString& path);

 private:
  QSaveFile file_;
};
