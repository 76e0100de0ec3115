// Profile file speed on a trace of 100,000 lines (100,001 sections, 500,001
// values): saving it new, loading it and reading every value, and saving it in
// place with every "Data" value changed. The baseline is Python's configparser
// reading the same file and getting every value, timed inside Python in the
// same run. Each figure is the median of several runs. The ratios compare
// processor time, which other work on a shared machine disturbs far less than
// wall-clock time; the wall-clock figures are printed beside them.
#include "BenchFigures.h"
#include "ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using bench::Figure;

namespace {

constexpr int kLines = 100000;
constexpr int kRuns = 5;

QString dataText(int line, int round) {
  return QStringLiteral("%1 %2 %3 ")
      .arg((line + round) & 0xFF, 2, 16, QLatin1Char('0'))
      .arg((line >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
      .arg(round & 0xFF, 2, 16, QLatin1Char('0'))
      .toUpper();
}

void writeTrace(TProfileFile& file, int round) {
  file.writeInt("General", "NbLines", kLines);
  for (int line = 1; line <= kLines; ++line) {
    const QString section = QStringLiteral("Line%1").arg(line);
    file.writeString(section, "ID", QString::number(line & 0x7FF, 16).toUpper());
    file.writeString(section, "DLC", "3");
    file.writeString(section, "Data", dataText(line, round));
    file.writeString(section, "Filter", QString::number(line & 1));
    file.writeString(section, "Buffer", QString::number(1 + line % 3));
  }
}

qint64 readTrace(const TProfileFile& file) {
  qint64 characters = 0;
  const int lines = file.readInt("General", "NbLines", 0);
  for (int line = 1; line <= lines; ++line) {
    const QString section = QStringLiteral("Line%1").arg(line);
    characters += file.readString(section, "ID", "?").size();
    characters += file.readString(section, "DLC", "0").size();
    characters += file.readString(section, "Data", "").size();
    characters += file.readString(section, "Filter", "?").size();
    characters += file.readString(section, "Buffer", "?").size();
  }
  return characters;
}

const char* kPythonReader = R"(
import configparser, statistics, sys, time
path, runs = sys.argv[1], int(sys.argv[2])
cpu, wall = [], []
for _ in range(runs):
    cpu_start, wall_start = time.process_time(), time.perf_counter()
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.read(path)
    total = 0
    for line in range(1, int(parser['General']['NbLines']) + 1):
        section = parser['Line%d' % line]
        for key in ('ID', 'DLC', 'Data', 'Filter', 'Buffer'):
            total += len(section[key])
    cpu.append((time.process_time() - cpu_start) * 1000.0)
    wall.append((time.perf_counter() - wall_start) * 1000.0)
print(statistics.median(cpu), statistics.median(wall))
)";

}  // namespace

int main() {
  QTemporaryDir dir;
  if (!dir.isValid()) {
    std::fprintf(stderr, "no temporary folder\n");
    return 1;
  }
  const QString path = dir.filePath("bench.trc");

  const Figure saveNew = bench::Measure(kRuns, [&] {
    QFile::remove(path);
    TProfileFile file(path);
    writeTrace(file, 0);
    file.save();
  });
  qint64 characters = 0;
  const Figure load = bench::Measure(kRuns, [&] {
    const TProfileFile file(path);
    characters = readTrace(file);
  });
  int round = 0;
  const Figure saveInPlace = bench::Measure(kRuns, [&] {
    TProfileFile file(path);
    writeTrace(file, ++round);  // every "Data" value changes, the rest stays
    file.save();
  });

  const qint64 bytes = QFileInfo(path).size();
  std::printf("Profile file: a trace of %d lines, %lld bytes, %lld characters of values; median of %d runs\n", kLines,
              static_cast<long long>(bytes), static_cast<long long>(characters), kRuns);
  std::printf("                                           processor      wall\n");
  std::printf("  ProfileFile save, new file               %9.1f ms %9.1f ms\n", saveNew.cpuMs, saveNew.wallMs);
  std::printf("  ProfileFile load and read every value    %9.1f ms %9.1f ms\n", load.cpuMs, load.wallMs);
  std::printf("  ProfileFile save in place, Data changed  %9.1f ms %9.1f ms\n", saveInPlace.cpuMs, saveInPlace.wallMs);

  const QString python = QStandardPaths::findExecutable("python3");
  if (python.isEmpty()) {
    std::printf("  python3 not found: no baseline\n");
    return 0;
  }
  QProcess process;
  process.start(python, {"-c", kPythonReader, path, QString::number(kRuns)});
  if (!process.waitForFinished(600000) || process.exitCode() != 0) {
    std::printf("  python configparser failed: %s\n", process.readAllStandardError().constData());
    return 1;
  }
  const QList<QByteArray> figures = process.readAllStandardOutput().trimmed().split(' ');
  if (figures.size() != 2) {
    std::printf("  python configparser gave no figures\n");
    return 1;
  }
  const Figure baseline{figures[0].toDouble(), figures[1].toDouble()};
  std::printf("  configparser read and get every value    %9.1f ms %9.1f ms  (baseline)\n", baseline.cpuMs,
              baseline.wallMs);
  std::printf(
      "Processor-time ratios to the baseline (lower is faster): load %.3f, save new %.3f, "
      "save in place %.3f\n",
      load.cpuMs / baseline.cpuMs, saveNew.cpuMs / baseline.cpuMs, saveInPlace.cpuMs / baseline.cpuMs);
  return 0;
}
