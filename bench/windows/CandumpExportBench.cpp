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

#include "CandumpExport.h"
#include "CandumpLine.h"

namespace {

constexpr int kFrames = 100000;
constexpr int kRuns = 7;

double ProcessMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

struct Figure {
  double cpuMs;
  double wallMs;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// `prepare` runs before each measured run and is not counted.
Figure Measure(const std::function<void()>& work, const std::function<void()>& prepare) {
  std::vector<double> cpu, wall;
  for (int run = 0; run < kRuns; ++run) {
    prepare();
    const double cpuStart = ProcessMs();
    const auto wallStart = std::chrono::steady_clock::now();
    work();
    wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart).count());
    cpu.push_back(ProcessMs() - cpuStart);
  }
  return {Median(cpu), Median(wall)};
}

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
  const Figure plain = Measure(
      [&] {
        std::FILE* file = std::fopen(plainPath.c_str(), "w");
        if (!file) return;
        for (const std::string& text : texts) std::fputs(text.c_str(), file);
        std::fclose(file);
      },
      removeFiles);
  const Figure exported = Measure([&] { CandumpExport::Write(path, lines, listings); }, removeFiles);

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
