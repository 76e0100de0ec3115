// One frame of 8 data bytes sent by the Transmission window ("Send" on the
// User page) to the board simulator emulating the wire at 19200 bit/s: how
// long the click takes, against the wire time of the requests and answers
// its register writes put on the line (10 bit times a byte, counted from
// the simulator's transcript), until its job has been written; and how long
// the click itself holds the GUI thread (it only hands the job to the
// register access thread). Median of several frames; the register access
// thread does not poll, so nothing else uses the line.
#include <QApplication>
#include <QTabWidget>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "BenchLink.h"
#include "FakeToolWindowHost.h"
#include "HexEdit.h"
#include "NumberEntry.h"
#include "TransmitFrm.h"
#include "boardsim/BoardSimulator.h"
#include "canregthread.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSpeed = 19200;
constexpr int kFrames = 15;

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!std::getenv("VORELAN_COMPONENT_REGISTRY")) setenv("VORELAN_COMPONENT_REGISTRY", BUILD_REGISTRY, 1);
  // The window stores its settings when it goes: into a folder of this run,
  // never the user's.
  QTemporaryDir home;
  setenv("XDG_CONFIG_HOME", home.path().toLocal8Bit().constData(), 1);
  QApplication app(argc, argv);

  boardsim::BoardSimulator sim;  // wire-timed
  sim.start();
  BenchLink link(sim.slavePath(), kSpeed);
  TCANRegAccessThread registers(&link.protocol);
  registers.Resume();  // its polling gate stays shut
  FakeToolWindowHost host;
  host.connected = true;
  host.thread = &registers;
  std::vector<double> clicks, written, wires;
  {
    TTransmitFrm window(host);
    window.findChild<QTabWidget*>("PageControl")->setCurrentIndex(0);
    window.findChild<TNumberEntry*>("UserLength")->setValue(8);
    for (int k = 0; k < 8; ++k) window.findChild<THexEdit*>(QStringLiteral("Dat%1").arg(k))->setValue(0x11 * k);

    for (int frame = 0; frame < kFrames; ++frame) {
      sim.transcript().clear();
      const auto start = Clock::now();
      window.ApplyClick();
      clicks.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      while (window.JobsPending() > 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
      written.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      std::size_t bytes = 0;
      for (const auto& entry : sim.transcript().entries())
        if (entry.kind == boardsim::TranscriptEntry::Kind::Request ||
            entry.kind == boardsim::TranscriptEntry::Kind::Answer)
          bytes += entry.bytes.size();
      wires.push_back(bytes * 10 * 1000.0 / kSpeed);
      window.SendingTimer();  // the frame's end: controls back, timer off
    }
  }
  registers.Terminate();
  for (const QString& error : host.errors) std::printf("error: %s\n", qPrintable(error));

  const double click = bench::Median(clicks), done = bench::Median(written), wire = bench::Median(wires);
  std::printf("Transmission window: one Send of 8 data bytes at %d bit/s, median of %d frames\n", kSpeed, kFrames);
  std::printf("  wire time of its requests and answers   %8.1f ms\n", wire);
  std::printf("  the click to the frame written          %8.1f ms   %.2f x the wire time\n", done, done / wire);
  std::printf("  the click itself (the GUI thread)       %8.3f ms   %.4f x the wire time\n", click, click / wire);
  std::printf("  frames on the bus: %zu\n", sim.transmittedFrames().size());
  return 0;
}
