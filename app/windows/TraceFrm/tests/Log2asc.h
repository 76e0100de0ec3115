// can-utils' log2asc reading a candump log back, for the tests of the Trace
// window's export: the frame rows of the ASC log it writes, in order, each
// field as log2asc wrote it. The test machine has can-utils (./dev setup).
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>

#include <vector>

#include "CandumpLine.h"

struct AscFrame {
  QString id;    // hexadecimal
  QString kind;  // "d" a data frame, "r" a remote one
  QString dlc;
  QString data;  // the data bytes in hexadecimal, a blank before each
};

// The frames of the log at `path` under Candump::Interface; none, with the
// test failed, when log2asc is missing or fails.
inline std::vector<AscFrame> ReadBackWithLog2asc(const QString& path) {
  const QString log2asc = QStandardPaths::findExecutable("log2asc");
  if (log2asc.isEmpty()) {
    ADD_FAILURE() << "log2asc not found: Debian's can-utils package provides it (./dev setup)";
    return {};
  }
  QProcess process;
  process.start(log2asc, {"-I", path, Candump::Interface});
  if (!process.waitForFinished(30000) || process.exitCode() != 0) {
    ADD_FAILURE() << "log2asc failed: " << process.readAllStandardError().toStdString();
    return {};
  }
  // "   0.250000 1  35              Rx   d 2 07 08"
  const QRegularExpression row(
      QStringLiteral(R"(^\s*\d+\.\d+\s+1\s+([0-9A-F]+)\s+Rx\s+([dr])\s+(\d+)((?:\s+[0-9A-F]{2})*)\s*$)"));
  std::vector<AscFrame> frames;
  for (const QString& text : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
    const QRegularExpressionMatch match = row.match(text);
    if (match.hasMatch())
      frames.push_back({match.captured(1), match.captured(2), match.captured(3), match.captured(4)});
  }
  return frames;
}
