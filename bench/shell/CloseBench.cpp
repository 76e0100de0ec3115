// How long the main window takes to close, offscreen, against a simulated
// board behind a pty, with a TimeOut of 3000 ms. Baseline, measured in the
// same run: closing while the register access thread polls a board that
// answers. Measured: closing while the thread waits for an answer that never
// comes (the access in progress must end through the close, not through its
// time-out). Median of 5 closes each, the two kinds taking turns.
//   bench_shell_close [rounds]
// Settings live in a temporary folder.
#include "BenchFigures.h"
#include "MainFrm.h"
#include "SerialLink.h"
#include "ShellBench.h"
#include "VorelanApp.h"
#include "boardsim/BoardSimulator.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int kTimeOutMs = 3000;

// Milliseconds that one close of a connected main window took; negative when
// the window did not get to polling. With `silent`, the board stops answering
// first and the close begins once the thread waits for an answer.
double TimeOneClose(boardsim::BoardSimulator& board, bool silent) {
  board.clearFaults();
  TMainFrm::Options options;
  auto main = std::make_unique<TMainFrm>(std::move(options));
  main->createForm();
  main->createToolWindows();
  main->show();
  const std::size_t served = board.transcript().requests().size();
  if (!main->Connected() || !QTest::qWaitFor([&] { return board.transcript().requests().size() > served + 3; }, 10000))
    return -1;
  if (silent) {
    board.dropAnswers(1000000);
    const std::size_t before = board.transcript().requests().size();
    if (!QTest::qWaitFor([&] { return board.transcript().requests().size() > before + 1; }, 10000)) return -1;
  }
  QElapsedTimer clock;
  clock.start();
  main->close();
  const double elapsed = double(clock.nsecsElapsed()) / 1e6;
  const bool ended = main->link()->terminated();
  main.reset();
  return ended ? elapsed : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;
  const ShellBenchHome home;
  TApplication app(argc, argv);

  const auto board = StartBoardOnCom1(home.filePath("board").toStdString(), true, 19200, QString::number(kTimeOutMs));

  std::vector<double> polling, waiting;
  for (int round = 0; round < rounds; ++round) {
    const double idle = TimeOneClose(*board, false);
    const double silent = TimeOneClose(*board, true);
    if (idle < 0 || silent < 0) {
      std::fprintf(stderr, "bench_shell_close: a close did not end the register access thread\n");
      return 1;
    }
    polling.push_back(idle);
    waiting.push_back(silent);
  }
  board->stop();
  std::printf("Closing the main window, median of %d closes each (TimeOut %d ms):\n", rounds, kTimeOutMs);
  std::printf("  while polling a board that answers (baseline): %8.1f ms\n", bench::Median(polling));
  std::printf("  while the thread waits for an answer:          %8.1f ms  (%.2f x the baseline, %.3f of TimeOut)\n",
              bench::Median(waiting), bench::Median(waiting) / bench::Median(polling),
              bench::Median(waiting) / kTimeOutMs);
  return 0;
}
