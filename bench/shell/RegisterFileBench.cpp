// Register files through the main window's File menu, offscreen, against the
// board simulator at 19200 bit/s (the line takes 10 bit times a byte):
// - a complete load: a file of every register, 171 one-byte writes (a 4-byte
//   request and its 1-byte answer each), from the menu entry to its return;
// - a save: the full read of every page (10 reads, 6 one-byte writes) and
//   the file written.
// Each is set against the wire time of its requests and answers, and against
// a bare client that puts the same requests on the same line and waits for
// each answer, measured in the same run. The program's figure includes the
// wait for a polling pass that holds the register lock when the entry is
// chosen. Median of N rounds.
//   bench_shell_register_file [rounds]
// Settings and files live in a temporary folder.
#include "BenchFigures.h"
#include "FileDialogs.h"
#include "MainFrm.h"
#include "MonitorFrames.h"
#include "ProfileFile.h"
#include "RegisterFile.h"
#include "ShellBench.h"
#include "VorelanApp.h"
#include "boardsim/BoardSimulator.h"
#include "canregthread.h"

#include <QAction>
#include <QElapsedTimer>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int kBitsPerSecond = 19200;
constexpr double kBitsPerByte = 10;

using Request = std::vector<std::uint8_t>;

std::size_t AnswerLength(const Request& request) {
  return request[0] == 0x13 ? request[3] + 1u : 1u;  // a read's N bytes after the header; a write's 0x00
}

double WireMs(const std::vector<Request>& requests) {
  std::size_t bytes = 0;
  for (const Request& request : requests) bytes += request.size() + AnswerLength(request);
  return bytes * kBitsPerByte * 1000.0 / kBitsPerSecond;
}

// The line writes of a load: PSR before each paged register.
std::vector<Request> LoadRequests(const TProfileFile& file) {
  std::vector<Request> requests;
  for (const TRegisterWrite& write : RegisterFile::loadPlan(file)) {
    if (write.address >= CanReg::PageBase)
      requests.push_back(WriteRequest(CanReg::PSR, static_cast<std::uint8_t>(write.page)));
    requests.push_back(WriteRequest(write.address, write.value));
  }
  return requests;
}

// The full read of every page, PSR put back to page 4 (where a load leaves it).
std::vector<Request> FullReadRequests() {
  std::vector<Request> requests = {ReadRequest(0x5A, 6), WriteRequest(0x5F, 0), ReadRequest(0x60, 2),
                                   ReadRequest(0x6E, 2), WriteRequest(0x5F, 4), ReadRequest(0x60, 8)};
  for (std::uint8_t page = 1; page <= 3; ++page) {
    requests.push_back(WriteRequest(0x5F, page));
    requests.push_back(ReadRequest(0x60, 10));
    requests.push_back(ReadRequest(0x6F, 1));
  }
  requests.push_back(WriteRequest(0x5F, 4));
  return requests;
}

// A client of the line that sends each request and waits for its whole answer.
class BareClient {
 public:
  explicit BareClient(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios settings{};
    if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) return;
    cfmakeraw(&settings);
    cfsetspeed(&settings, B19200);
    tcsetattr(fd_, TCSANOW, &settings);
  }
  ~BareClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Milliseconds for the requests, or negative when an answer did not come.
  double Run(const std::vector<Request>& requests) {
    QElapsedTimer clock;
    clock.start();
    for (const Request& request : requests) {
      if (::write(fd_, request.data(), request.size()) != static_cast<ssize_t>(request.size())) return -1;
      std::size_t missing = AnswerLength(request);
      std::uint8_t answer[16];
      while (missing > 0) {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, 2000) != 1) return -1;
        const ssize_t got = ::read(fd_, answer, missing);
        if (got <= 0) return -1;
        missing -= static_cast<std::size_t>(got);
      }
    }
    return double(clock.nsecsElapsed()) / 1e6;
  }

 private:
  int fd_;
};

// A register file that names every register, with values that differ.
QString WriteFullFile(const QString& path) {
  TProfileFile file(path);
  RegisterSnapshot snapshot;
  for (int i = 0; i < CanReg::MainCount; ++i) snapshot.main[i] = static_cast<std::uint8_t>(0x10 + i);
  snapshot.main[CanReg::MainIndex(CanReg::CSR)] = 0x01;
  for (int page = 0; page < CanReg::PageCount; ++page)
    for (int i = 0; i < CanReg::PageSize; ++i) snapshot.pages[page][i] = static_cast<std::uint8_t>(page * 16 + i);
  RegisterFile::writeSnapshot(file, snapshot);
  file.save();
  return path;
}

int Fail(const char* what) {
  std::fprintf(stderr, "bench_shell_register_file: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 5;
  const ShellBenchHome home;
  TApplication app(argc, argv);

  const auto board = StartBoardOnCom1(home.filePath("board").toStdString(), false, kBitsPerSecond, "1000");

  const QString loadPath = WriteFullFile(home.filePath("full.rgr"));
  const std::vector<Request> loadRequests = LoadRequests(TProfileFile(loadPath));
  const std::vector<Request> readRequests = FullReadRequests();
  if (loadRequests.size() != 171) return Fail("the full file does not load with 171 writes");

  // The bare client first: the program takes the line for itself while it runs.
  std::vector<double> bareLoad, bareRead;
  {
    BareClient client(board->slavePath());
    for (int round = 0; round < rounds; ++round) {
      bareLoad.push_back(client.Run(loadRequests));
      bareRead.push_back(client.Run(readRequests));
      if (bareLoad.back() < 0 || bareRead.back() < 0) return Fail("the bare client got no answer");
    }
  }

  TMainFrm::Options frameOptions;
  for (TToolWindowEntry& entry : frameOptions.toolWindows) entry.factory = {};
  QString chosen;
  frameOptions.chooseFile = [&chosen](const TFileDialogSpec&) { return chosen; };
  TMainFrm main(std::move(frameOptions));
  main.createForm();
  main.createToolWindows();
  main.show();
  if (!main.Connected()) return Fail("the program did not connect to the board");
  // The start-up's full read is done once the thread polls.
  if (!QTest::qWaitFor([&] { return main.RegThread()->Polling(); }, 10000)) return Fail("the program does not poll");

  std::vector<double> load, save;
  for (int round = 0; round < rounds; ++round) {
    const std::size_t served = board->transcript().requests().size();
    if (!QTest::qWaitFor([&] { return board->transcript().requests().size() > served + 3; }, 10000))
      return Fail("the program does not poll");

    chosen = loadPath;
    const std::size_t before = board->transcript().requests().size();
    QElapsedTimer clock;
    clock.start();
    main.action("RegLoad")->trigger();
    // The load runs as a job of the register access thread, after the pass in progress.
    if (!QTest::qWaitFor([&] { return !main.registerFileBusy(); }, 30000)) return Fail("a load did not end");
    load.push_back(double(clock.nsecsElapsed()) / 1e6);
    const auto requests = board->transcript().requests();
    const auto writes =
        std::count_if(requests.begin() + before, requests.end(), [](const Request& r) { return r[0] == 0x23; });
    if (writes != 171) return Fail(("a load made " + std::to_string(writes) + " writes, not 171").c_str());

    chosen = home.filePath("saved.rgr");
    clock.restart();
    main.action("RegSave")->trigger();
    if (!QTest::qWaitFor([&] { return !main.registerFileBusy(); }, 30000)) return Fail("a save did not end");
    save.push_back(double(clock.nsecsElapsed()) / 1e6);
    if (TProfileFile(chosen).readInt("Buffer3", "Byte9", -1) != 3 * 16 + 9) return Fail("a save missed a register");
  }
  main.close();
  board->stop();

  const double loadWire = WireMs(loadRequests), readWire = WireMs(readRequests);
  std::printf("Register files at %d bit/s, median of %d rounds:\n", kBitsPerSecond, rounds);
  std::printf("  complete load, 171 one-byte writes:\n");
  std::printf("    wire time (baseline)            %8.1f ms\n", loadWire);
  std::printf("    bare client on the line         %8.1f ms  (%.3f x the wire time)\n", bench::Median(bareLoad),
              bench::Median(bareLoad) / loadWire);
  std::printf("    Load Register values            %8.1f ms  (%.3f x the wire time, %.3f x the bare client)\n",
              bench::Median(load), bench::Median(load) / loadWire, bench::Median(load) / bench::Median(bareLoad));
  std::printf("  save, full read of every page (10 reads, 6 one-byte writes):\n");
  std::printf("    wire time (baseline)            %8.1f ms\n", readWire);
  std::printf("    bare client on the line         %8.1f ms  (%.3f x the wire time)\n", bench::Median(bareRead),
              bench::Median(bareRead) / readWire);
  std::printf("    Save Register values            %8.1f ms  (%.3f x the wire time, %.3f x the bare client)\n",
              bench::Median(save), bench::Median(save) / readWire, bench::Median(save) / bench::Median(bareRead));
  return 0;
}
