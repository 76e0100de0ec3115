// "Export Trace as candump log..." with a trace of 100,000 eight-byte frames:
// the export (cells read back into frames, lines formatted, written into a
// temporary file renamed over the target), against a plain loop writing the
// same lines, already formatted, with fputs into a file. The ratio is what
// reading the cells, formatting and the atomic replacement cost on top of
// the writing itself. Each figure is the median of several runs of
// processor time; wall-clock figures are printed beside them.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "CandumpExport.h"
#include "CandumpLine.h"

using bench::Figure;

namespace {

constexpr int kFrames = 100000;
constexpr int kRuns = 7;

TTraceLine Line(int k) {
  QString data;
  for (int i = 0; i < 8; ++i) data += QStringLiteral("%1 ").arg((k + i) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
  return TTraceLine{QStringLiteral("%1").arg(k & 0x7FF, 3, 16, QLatin1Char('0')).toUpper(), QStringLiteral("8"), data,
                    QString::number(k & 1), QString::number(k % 3 + 1)};
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  const QString path = dir.filePath("trace.log");
  const std::string plainPath = dir.filePath("plain.log").toStdString();

  std::vector<TTraceLine> lines;
  std::vector<TTraceListing> listings;
  const auto start = std::chrono::system_clock::now();
  for (int k = 0; k < kFrames; ++k) {
    lines.push_back(Line(k));
    listings.push_back({start + std::chrono::milliseconds(500) * k, false});
  }
  // The same lines as the export writes them, for the plain loop.
  std::vector<std::string> texts;
  texts.reserve(kFrames);
  for (int k = 0; k < kFrames; ++k) {
    std::string text;
    Candump::AppendLine(text, listings[std::size_t(k)].listed, *Candump::FrameOf(lines[std::size_t(k)], false));
    texts.push_back(std::move(text));
  }

  const auto removeFiles = [&] {
    QFile::remove(path);
    std::remove(plainPath.c_str());
  };
  const Figure plain = bench::Measure(
      kRuns,
      [&] {
        std::FILE* file = std::fopen(plainPath.c_str(), "w");
        if (!file) return;
        for (const std::string& text : texts) std::fputs(text.c_str(), file);
        std::fclose(file);
      },
      removeFiles);
  const Figure exported = bench::Measure(
      kRuns, [&] { CandumpExport::Write(path, lines, listings); }, removeFiles);

  QFile written(path);
  written.open(QIODevice::ReadOnly);
  std::string plainText;
  for (const std::string& text : texts) plainText += text;
  const bool same = written.readAll().toStdString() == plainText;

  std::printf("candump export of %d frames of 8 bytes, median of %d runs%s\n", kFrames, kRuns,
              same ? "" : " (THE FILES DIFFER)");
  std::printf("%-44s %9.1f ms cpu (%8.1f ms wall)\n", "plain loop: fputs of the formatted lines", plain.cpuMs,
              plain.wallMs);
  std::printf("%-44s %9.1f ms cpu (%8.1f ms wall)   %.2f x the plain loop\n", "export: cells to lines, atomic file",
              exported.cpuMs, exported.wallMs, exported.cpuMs / plain.cpuMs);
  return same ? 0 : 1;
}
