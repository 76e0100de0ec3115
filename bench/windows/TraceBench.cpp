// Trace window speed with a trace of 100,000 lines:
// - save: the trace written into a new trace file, against the profile file
//   writing the same values by itself (the floor the trace file sits on);
// - load: a trace file read into the window's list and the list painted once,
//   against the profile file loading the file and reading the same values;
// - append: one received line appended to a list of 100,000 lines and painted,
//   against the same append to an empty list (a long list must not make the
//   window slower to follow the trace).
// Each figure is the median of several runs of processor time; wall-clock
// figures are printed beside them.
#include <QApplication>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "BenchFigures.h"
#include "ProfileFile.h"
#include "ToolWindowHost.h"
#include "TraceFile.h"
#include "TraceFrm.h"

using bench::Figure;

namespace {

constexpr int kLines = 100000;
constexpr int kRuns = 5;

void Print(const char* what, const Figure& figure, const Figure& baseline) {
  std::printf("%-44s %9.1f ms cpu (%8.1f ms wall)   %.2f x baseline (%.1f ms cpu)\n", what, figure.cpuMs, figure.wallMs,
              figure.cpuMs / baseline.cpuMs, baseline.cpuMs);
}

class NoHost : public IToolWindowHost {
 public:
  bool Connected() const override { return false; }
  TCANRegAccessThread* RegisterThread() const override { return nullptr; }
  void ShowError(const QString&) override {}
  void ShowProgress(const QString&) override {}
};

TTraceLine Line(int k) {
  return TTraceLine{QStringLiteral("%1").arg(k & 0x7FF, 3, 16, QLatin1Char('0')).toUpper(), QStringLiteral("8"),
                    QStringLiteral("%1 01 02 03 04 05 06 07 ").arg(k & 0xFF, 2, 16, QLatin1Char('0')).toUpper(),
                    QString::number(k & 1), QString::number(k % 3 + 1)};
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  const QString path = dir.filePath("trace.trc");
  const QString floorPath = dir.filePath("floor.trc");

  std::vector<TTraceLine> lines;
  lines.reserve(kLines);
  for (int k = 0; k < kLines; ++k) lines.push_back(Line(k));
  const QString keys[] = {"ID", "DLC", "Data", "Filter", "Buffer"};

  std::printf("Trace of %d lines, median of %d runs\n", kLines, kRuns);

  // ---- save
  const auto removeFiles = [&] {
    QFile::remove(path);
    QFile::remove(floorPath);
  };
  const Figure saveFloor = bench::Measure(
      kRuns,
      [&] {
        TProfileFile file(floorPath);
        file.writeString("General", "NbLines", QString::number(kLines));
        for (int k = 1; k <= kLines; ++k) {
          const TTraceLine& line = lines[std::size_t(k - 1)];
          const QString section = "Line" + QString::number(k);
          const QString* cells[] = {&line.id, &line.dlc, &line.data, &line.filter, &line.buffer};
          for (int c = 0; c < 5; ++c) file.writeString(section, keys[c], *cells[c]);
        }
        file.save();
      },
      removeFiles);
  const Figure save = bench::Measure(
      kRuns,
      [&] {
        TProfileFile file(path);
        TraceFile::Write(lines, {}, file);
        file.save();
      },
      removeFiles);
  Print("save into a new trace file", save, saveFloor);

  // ---- load and show
  {
    TProfileFile file(path);
    TraceFile::Write(lines, {}, file);
    file.save();
  }
  const Figure loadFloor = bench::Measure(kRuns, [&] {
    TProfileFile file(path);
    const int n = file.readInt("General", "NbLines", 0);
    qsizetype total = 0;
    for (int k = 1; k <= n; ++k) {
      const QString section = "Line" + QString::number(k);
      for (const QString& key : keys) total += file.readString(section, key, QString()).size();
    }
    if (total == 0) std::puts("nothing read");
  });
  NoHost host;
  TTraceFrm frm(host);
  frm.resize(TTraceFrm::DesignWidth, TTraceFrm::DesignHeight);
  frm.show();
  const Figure load = bench::Measure(kRuns, [&] {
    TProfileFile file(path);
    frm.LoadTrace(file);
    frm.ListTrc()->scrollToBottom();
    frm.repaint();
    QCoreApplication::processEvents();
  });
  Print("load into the list and paint it", load, loadFloor);

  // ---- append one line to a long list
  TTraceListModel& model = *qobject_cast<TTraceListModel*>(frm.ListTrc()->model());
  const auto appendOne = [&] {
    model.append(Line(7), TTraceListing{});
    frm.ListTrc()->scrollToBottom();
    frm.repaint();
    QCoreApplication::processEvents();
  };
  const Figure appendShort = bench::Measure(kRuns, appendOne, [&] { model.replace({}, {}); });
  const Figure appendLong = bench::Measure(kRuns, appendOne, [&] {
    model.replace(lines, {});
    frm.repaint();
    QCoreApplication::processEvents();
  });
  Print("append one line to 100,000 and paint", appendLong, appendShort);
  return 0;
}
