// One frame of 8 data bytes sent by the Transmission window ("Send" on the
// User page) to the board simulator emulating the wire at 19200 bit/s: how
// long the click takes, against the wire time of the requests and answers
// its register writes put on the line (10 bit times a byte, counted from
// the simulator's transcript). The ratio is what the program and the
// simulated board's turnarounds add to the line itself. Median of several
// frames; the polling thread is not running, so nothing else uses the line.
#include <QApplication>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "HexEdit.h"
#include "NumberEntry.h"
#include "ToolWindowHost.h"
#include "TransmitFrm.h"
#include "boardsim/BoardSimulator.h"
#include "canregthread.h"
#include "rs232.h"
#include "tavarnel.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSpeed = 19200;
constexpr int kFrames = 15;

class BenchHost : public IToolWindowHost {
 public:
  explicit BenchHost(TCANRegAccessThread* thread) : thread_(thread) {}
  bool Connected() const override { return true; }
  TCANRegAccessThread* RegisterThread() const override { return thread_; }
  void ShowError(const QString& message) override { std::printf("error: %s\n", qPrintable(message)); }
  void ShowProgress(const QString&) override {}

 private:
  TCANRegAccessThread* thread_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

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
  setenv("VORELAN_COM1", sim.slavePath().c_str(), 1);
  TRS232Object serial;
  TTavarnelObject protocol;
  serial.SetProperty("CommPort", "1");
  serial.SetProperty("Settings", std::to_string(kSpeed) + ",n,8,1");
  protocol.SetProperty("TimeOut", "1000");
  protocol.SetLowerNode(&serial);
  protocol.Open();
  serial.Open();
  TCANRegAccessThread registers(&protocol);
  BenchHost host(&registers);
  std::vector<double> clicks, wires;
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
  protocol.ShutDown();

  const double click = Median(clicks), wire = Median(wires);
  std::printf("Transmission window: one Send of 8 data bytes at %d bit/s, median of %d frames\n", kSpeed, kFrames);
  std::printf("  wire time of its requests and answers   %8.1f ms\n", wire);
  std::printf("  the click (the writes under the lock)   %8.1f ms   %.2f x the wire time\n", click, click / wire);
  std::printf("  frames on the bus: %zu\n", sim.transmittedFrames().size());
  return 0;
}
