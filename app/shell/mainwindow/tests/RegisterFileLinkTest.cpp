// Register files through the main window's File menu, against the board
// simulator: what a save reads and writes, what a load puts on the line (read
// back from the simulator's transcript), the failures on either side, and
// files named on the command line.
#include "ErrorDisplay.h"
#include "FileContents.h"
#include "FileSizeLimit.h"
#include "HintPanel.h"
#include "MainFrm.h"
#include "ProfileFile.h"
#include "RegisterFile.h"
#include "SerialLink.h"
#include "ShellTestSupport.h"
#include "ToolWindow.h"
#include "TraceFrm.h"
#include "boardsim/Transcript.h"
#include "canregthread.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QTableView>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace shelltest;
using namespace std::chrono_literals;

namespace {

bool isWrite(const std::vector<uint8_t>& request) {
  return request.size() == 4 && request[0] == 0x23;
}

// The register writes among the board's requests from `first` on, one word
// each: "5A=00" for a main register, "2:60=1F" for register 0x60 written
// after PSR was set to page 2 (the two line writes of a paged register).
std::string wireWrites(const std::vector<std::vector<uint8_t>>& requests, std::size_t first = 0) {
  std::vector<std::pair<int, int>> writes;  // address, value
  for (std::size_t i = first; i < requests.size(); ++i)
    if (isWrite(requests[i])) writes.emplace_back(requests[i][2], requests[i][3]);
  std::string text;
  char word[16];
  for (std::size_t i = 0; i < writes.size(); ++i) {
    const auto [address, value] = writes[i];
    if (address == CanReg::PSR && i + 1 < writes.size() && writes[i + 1].first >= CanReg::PageBase) {
      std::snprintf(word, sizeof word, "%d:%02X=%02X", value, writes[i + 1].first, writes[i + 1].second);
      ++i;
    } else {
      std::snprintf(word, sizeof word, "%02X=%02X", address, value);
    }
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

const std::string kReset = "5C=00 5A=00 5B=00 5C=01 5C=00";

class RegisterFileLink : public MainWindowFixture {
 protected:
  void SetUp() override {
    wipeSettings();
    // board_ has named COM1 already.
    for (const char* name : {"VORELAN_COM2", "VORELAN_COM3"}) unsetenv(name);
    // A board that stops answering ends an access within a second; one
    // that answers does so long before, also on a loaded machine.
    storeComm("1", "19200,n,8,1", "1000");
  }
  void TearDown() override {
    if (main_) {
      main_->close();
      EXPECT_TRUE(main_->closeCompleted());
      main_.reset();
    }
  }

  // The main window on the board, polling. Its file dialogs answer `chosen_`.
  TMainFrm& start(TMainFrm::Options options = withoutToolWindows()) {
    options.chooseFile = [this](const TFileDialogSpec& dialog) {
      dialogs_ << (dialog.mode == TFileDialogSpec::Mode::Open ? "open" : "save");
      return chosen_;
    };
    MainWindowFixture::start(std::move(options));
    EXPECT_TRUE(main_->Connected()) << main_->errorDisplay()->text().toStdString();
    // The start-up's full read is done once the thread polls.
    EXPECT_TRUE(WaitUntil([this] { return main_->RegThread()->Polling(); }));
    awaitPolling();
    return *main_;
  }

  std::vector<std::vector<uint8_t>> requests() { return board_.sim->transcript().requests(); }

  // Chooses a File menu entry and waits until its register job is done.
  void choose(const char* entry) {
    main_->action(entry)->trigger();
    EXPECT_TRUE(WaitUntil([this] { return !main_->registerFileBusy(); }));
  }

  // Returns once the register access thread has read the board twice more.
  void awaitPolling() {
    const std::size_t before = board_.requests();
    EXPECT_TRUE(WaitUntil([&] { return board_.requests() >= before + 4; }));
  }

  QString file(const QString& name, const QByteArray& bytes) {
    const QString path = folder_.filePath(name);
    QFile out(path);
    EXPECT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    return path;
  }

  // Loads a file through the File menu and returns what went on the line.
  std::string load(const QString& path) {
    chosen_ = path;
    const std::size_t before = board_.requests();
    choose("RegLoad");
    return wireWrites(requests(), before);
  }

  Board board_;
  QTemporaryDir folder_;
  QString chosen_;
  QStringList dialogs_;
};

// The registers the images hold, each with a value of its own.
void fillBoard(boardsim::BoardSimulator& sim) {
  sim.pokeRegister(0, CanReg::ICR, 0x35);
  sim.pokeRegister(0, CanReg::CSR, 0x11);
  sim.pokeRegister(0, CanReg::BRPR, 0x47);
  sim.pokeRegister(0, CanReg::BTR, 0x2C);
  for (int address : {0x60, 0x61, 0x6E, 0x6F}) sim.pokeRegister(0, address, static_cast<uint8_t>(address + 0x30));
  for (int page = 1; page <= 3; ++page) {
    for (int address = 0x60; address <= 0x69; ++address)
      sim.pokeRegister(page, address, static_cast<uint8_t>(page * 0x20 + address - 0x60));
    sim.pokeRegister(page, 0x6F, static_cast<uint8_t>(0x08 * page));
  }
  for (int address = 0x60; address <= 0x67; ++address)
    sim.pokeRegister(4, address, static_cast<uint8_t>(0xA0 + address - 0x60));
}

TEST_F(RegisterFileLink, ASavedFileLoadsBackEveryImagedRegisterWithCsrLastAndNoPassBetween) {
  fillBoard(*board_.sim);
  start();
  const QString path = folder_.filePath("bench.rgr");
  chosen_ = path;
  choose("RegSave");
  ASSERT_FALSE(main_->errorDisplay()->showsError()) << main_->errorDisplay()->text().toStdString();

  // The file holds what the board holds, read afresh: every imaged register.
  const TProfileFile saved(path);
  EXPECT_EQ(saved.readInt("Main", "HighByte", -1), 5);
  EXPECT_EQ(saved.readInt("Main", "Byte1", -1), 0x35);
  EXPECT_EQ(saved.readInt("Main", "Byte2", -1), 0x11);
  EXPECT_EQ(saved.readInt("Main", "Byte3", -1), 0x47);
  EXPECT_EQ(saved.readInt("Diag", "Byte14", -1), 0x9E);
  EXPECT_EQ(saved.readInt("Buffer2", "Byte9", -1), 0x49);
  EXPECT_EQ(saved.readInt("Buffer3", "Byte15", -1), 0x18);
  EXPECT_EQ(saved.readInt("Buffer3", "Byte12", -1), 0);  // not a register of the buffer pages
  EXPECT_EQ(saved.readInt("Filters", "HighByte", -1), 15);
  EXPECT_EQ(saved.readInt("Filters", "Byte7", -1), 0xA7);

  // The board is changed; loading the file writes every register back.
  for (int page = 1; page <= 4; ++page)
    for (int address = 0x60; address <= 0x67; ++address) board_.sim->pokeRegister(page, address, 0);
  board_.sim->pokeRegister(0, CanReg::BRPR, 0);
  const std::size_t before = board_.requests();
  choose("RegLoad");
  EXPECT_FALSE(main_->errorDisplay()->showsError()) << main_->errorDisplay()->text().toStdString();

  const std::vector<std::vector<uint8_t>> wire = requests();
  std::vector<std::size_t> writeAt;
  for (std::size_t i = before; i < wire.size(); ++i)
    if (isWrite(wire[i])) writeAt.push_back(i);
  ASSERT_EQ(writeAt.size(), 171u);
  // One register job: no polling read between the first write and the last.
  for (std::size_t i = writeAt.front(); i <= writeAt.back(); ++i) ASSERT_TRUE(isWrite(wire[i])) << "request " << i;

  // Every write carries the file's value for its register, CSR last.
  std::string expected =
      kReset + " 5A=" +
      QByteArray::number(saved.readInt("Main", "Byte0", 0), 16).rightJustified(2, '0').toUpper().toStdString() +
      " 5B=35 5D=47 5E=2C 5F=";
  expected += QByteArray::number(saved.readInt("Main", "Byte5", 0), 16).rightJustified(2, '0').toUpper().toStdString();
  const char* sections[] = {"Diag", "Buffer1", "Buffer2", "Buffer3", "Filters"};
  char word[16];
  for (int page = 0; page < 5; ++page)
    for (int i = 0; i < 16; ++i) {
      std::snprintf(word, sizeof word, " %d:%02X=%02X", page, 0x60 + i,
                    saved.readInt(sections[page], QStringLiteral("Byte%1").arg(i), -1));
      expected += word;
    }
  expected += " 5C=11";
  EXPECT_EQ(wireWrites(wire, before), expected);

  // The board holds the file's values and shows page 4.
  EXPECT_EQ(board_.sim->peekRegister(0, CanReg::BRPR), 0x47);
  EXPECT_EQ(board_.sim->peekRegister(2, 0x69), 0x49);
  EXPECT_EQ(board_.sim->peekRegister(4, 0x67), 0xA7);
  EXPECT_EQ(board_.sim->peekRegister(0, CanReg::PSR), 4);
  EXPECT_EQ(board_.sim->peekRegister(0, CanReg::CSR), 0x11);
  // Polling goes on.
  awaitPolling();
  EXPECT_EQ(main_->hintPanel()->text(), "");
}

TEST_F(RegisterFileLink, LoadingShowsItsTextBeforeTheFirstWriteAndClearsItAfterTheLast) {
  // The progress text as the host receives it, with the requests served by then.
  class RecordingHost : public IToolWindowHost {
   public:
    RecordingHost(TMainFrm& main, Board& board) : main_(main), board_(board) {}
    bool Connected() const override { return main_.Connected(); }
    TCANRegAccessThread* RegisterThread() const override { return main_.RegisterThread(); }
    void ShowError(const QString& message) override { main_.ShowError(message); }
    void ShowProgress(const QString& text) override {
      main_.ShowProgress(text);
      shown.push_back({text, board_.requests(), main_.hintPanel()->text()});
    }
    struct Shown {
      QString text;
      std::size_t requestsServed;
      QString panel;
    };
    std::vector<Shown> shown;

   private:
    TMainFrm& main_;
    Board& board_;
  };
  TMainFrm::Options options = withoutToolWindows();
  std::unique_ptr<RecordingHost> host;
  options.registerLoad = [&](IToolWindowHost&, const QString& path, std::function<void()> ended) {
    RegisterFile::Load(*host, path, std::move(ended));
  };
  start(std::move(options));
  host = std::make_unique<RecordingHost>(*main_, board_);

  const QString path = file("short.rgr", "[Main]\nHighByte=0\n");
  const std::size_t before = board_.requests();
  chosen_ = path;
  choose("RegLoad");

  const std::vector<std::vector<uint8_t>> wire = requests();
  std::size_t first = wire.size(), last = 0;
  for (std::size_t i = before; i < wire.size(); ++i)
    if (isWrite(wire[i])) {
      first = std::min(first, i);
      last = i;
    }
  ASSERT_EQ(host->shown.size(), 2u);
  EXPECT_EQ(host->shown[0].text, "Loading... Please Wait");
  EXPECT_EQ(host->shown[0].panel, "Loading... Please Wait");
  EXPECT_LE(host->shown[0].requestsServed, first);
  EXPECT_EQ(host->shown[1].text, "");
  EXPECT_GT(host->shown[1].requestsServed, last);
}

TEST_F(RegisterFileLink, WhatAFileWritesOnTheLine) {
  start();
  // Not a register file: the reset, ISR, register 0x60 of each page and CSR, all 0.
  const std::string shortSequence = kReset + " 5A=00 0:60=00 1:60=00 2:60=00 3:60=00 4:60=00 5C=00";
  static const char binary[] =
      "\x7F"
      "ELF\x02\x01\0\0\xFF\xFE[Main]\0=\n";
  EXPECT_EQ(load(file("binary.rgr", QByteArray(binary, sizeof binary - 1))), shortSequence);
  EXPECT_EQ(load(file("other.rgr", "[General]\r\nNbLines=2\r\n[Line1]\r\nID=123\r\n")), shortSequence);

  // "Main" up to HighByte 5 with CSR ("0x1F", 31) last; Buffer2 up to 0x67 only.
  const QString mixed = file("mixed.rgr",
                             "\xEF\xBB\xBF[Main]\r\nHighByte=5\r\nByte0=1\r\nByte1=2\r\nByte2=0x1F\r\nByte3=-1\r\n"
                             "Byte4=999\r\nByte5=3\r\n[Buffer2]\r\nHighByte=7\r\nByte0=abc\r\nByte7= 12 \r\nByte8=9\r\n"
                             "[Main]\r\nByte0=77\r\n");
  EXPECT_EQ(load(mixed), kReset +
                             " 5A=01 5B=02 5D=FF 5E=E7 5F=03 0:60=00 1:60=00 2:60=00 2:61=00 2:62=00 2:63=00 2:64=00"
                             " 2:65=00 2:66=00 2:67=0C 3:60=00 4:60=00 5C=1F");
  EXPECT_EQ(board_.sim->peekRegister(0, CanReg::CSR) & 0x1F, 0x1F);
  EXPECT_FALSE(main_->errorDisplay()->showsError()) << main_->errorDisplay()->text().toStdString();
}

TEST_F(RegisterFileLink, AFailedWriteEndsTheLoadAndKeepsWhatWasWritten) {
  start();
  board_.sim->pokeRegister(4, 0x63, 0x5A);
  // The 21st one-byte write of the load gets no answer: the reset and "Main"
  // (10 writes), register 0x60 of pages 0 to 3 and of page 4 have gone out.
  int writeAnswers = 0;
  board_.sim->setFaultListener([&](const boardsim::FaultPlan::Shaped& shaped) {
    // A split armed on a one-byte answer (a write's) is used up without effect.
    if (shaped.splitUsedUp && ++writeAnswers == 20) board_.sim->dropAnswers(1);
  });
  board_.sim->splitAnswers(1, 0ms, 1000000);
  const QString path =
      file("full.rgr", "[Main]\nHighByte=5\nByte2=1\nByte3=0x47\nByte4=0x2C\n[Filters]\nHighByte=15\nByte3=0x11\n");
  const std::string wire = load(path);
  board_.sim->setFaultListener(nullptr);
  board_.sim->clearFaults();

  EXPECT_EQ(wire, kReset + " 5A=00 5B=00 5D=47 5E=2C 5F=00 0:60=00 1:60=00 2:60=00 3:60=00 4:60=00 5F=04");
  EXPECT_TRUE(main_->errorDisplay()->showsError());
  EXPECT_NE(main_->errorDisplay()->text(), "");
  EXPECT_EQ(main_->hintPanel()->text(), "");
  // Written so far: the bit timing. Not reached: the filter's MLR0 and CSR, so the cell stays stopped.
  EXPECT_EQ(board_.sim->peekRegister(0, CanReg::BRPR), 0x47);
  EXPECT_EQ(board_.sim->peekRegister(4, 0x63), 0x5A);
  EXPECT_EQ(board_.sim->peekRegister(0, CanReg::CSR) & CanReg::RUN, 0);
  // Polling goes on.
  awaitPolling();
}

TEST_F(RegisterFileLink, WhileNotConnectedALoadSendsNothingAndASaveKeepsTheLastImages) {
  fillBoard(*board_.sim);
  start();
  // A port without a device: the link is down and the thread does not poll.
  setenv("VORELAN_COM3", folder_.filePath("no-such-device").toLocal8Bit().constData(), 1);
  main_->COMSelClick(3);
  ASSERT_TRUE(WaitUntil([this] { return main_->link()->changesPending() == 0; }));
  ASSERT_FALSE(main_->Connected());
  const std::size_t before = board_.requests();

  EXPECT_EQ(load(file("any.rgr", "[Main]\nHighByte=5\n")), "");
  EXPECT_TRUE(main_->errorDisplay()->showsError());
  EXPECT_EQ(main_->hintPanel()->text(), "");

  const QString path = folder_.filePath("offline.rgr");
  chosen_ = path;
  main_->ShowError(QString());
  choose("RegSave");
  EXPECT_FALSE(main_->errorDisplay()->showsError()) << main_->errorDisplay()->text().toStdString();
  const TProfileFile saved(path);
  EXPECT_EQ(saved.readInt("Main", "Byte3", -1), 0x47);
  EXPECT_EQ(saved.readInt("Buffer1", "Byte2", -1), 0x22);
  EXPECT_EQ(saved.readInt("Filters", "Byte0", -1), 0xA0);
  EXPECT_EQ(board_.requests(), before);

  // The reconnection lets the thread poll again.
  main_->COMSelClick(1);
  ASSERT_TRUE(WaitUntil([this] { return main_->Connected(); }));
  awaitPolling();
}

TEST_F(RegisterFileLink, CancellingADialogTouchesNeitherTheFileNorTheBoard) {
  const QString path = file("kept.rgr", "[Main]\nHighByte=5\nByte3=1\n");
  start();
  const std::size_t before = board_.requests();
  chosen_.clear();
  choose("RegLoad");
  choose("RegSave");
  awaitPolling();
  EXPECT_EQ(dialogs_, (QStringList{"open", "save"}));
  EXPECT_EQ(wireWrites(requests(), before), "");
  EXPECT_EQ(FileContents(path), "[Main]\nHighByte=5\nByte3=1\n");
  EXPECT_EQ(QDir(folder_.path()).entryList(QDir::Files), QStringList{"kept.rgr"});
}

// A disk that fills up during the save (FileSizeLimit): the earlier file stays whole.
TEST_F(RegisterFileLink, AFailedSaveSaysUnableToWriteAndLeavesTheEarlierFileWhole) {
  fillBoard(*board_.sim);
  start();
  const QByteArray earlier = "; kept\n[Main]\nHighByte=5\nByte0=1\n";
  const QString path = file("earlier.rgr", earlier);
  const QStringList filesBefore = QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden);
  chosen_ = path;
  {
    const FileSizeLimit fullDisk(earlier.size() + 64);
    choose("RegSave");
  }
  EXPECT_EQ(main_->errorDisplay()->text(), "Unable to write to " + path);
  EXPECT_EQ(FileContents(path), earlier);
  EXPECT_EQ(QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);

  // A folder in the file's place, and a file in a folder that does not exist.
  ASSERT_TRUE(QDir(folder_.path()).mkdir("folder.rgr"));
  for (const QString& target : {folder_.filePath("folder.rgr"), folder_.filePath("missing/snap.rgr")}) {
    chosen_ = target;
    choose("RegSave");
    EXPECT_EQ(main_->errorDisplay()->text(), "Unable to write to " + target);
  }
  EXPECT_TRUE(QFileInfo(folder_.filePath("folder.rgr")).isDir());

  // Room again: the same save goes through, in place.
  chosen_ = path;
  main_->ShowError(QString());
  choose("RegSave");
  EXPECT_FALSE(main_->errorDisplay()->showsError()) << main_->errorDisplay()->text().toStdString();
  EXPECT_TRUE(FileContents(path).startsWith("; kept\n[Main]\nHighByte=5\nByte0="));
  EXPECT_EQ(TProfileFile(path).readInt("Filters", "Byte7", -1), 0xA7);
}

TEST_F(RegisterFileLink, ASaveWhoseReadFailsWhileConnectedWritesNothing) {
  start();
  const QByteArray earlier = "[Main]\nHighByte=5\nByte3=1\n";
  const QString path = file("earlier.rgr", earlier);
  chosen_ = path;
  board_.sim->dropAnswers(1000000);
  choose("RegSave");
  board_.sim->clearFaults();
  EXPECT_TRUE(main_->errorDisplay()->text().startsWith("Register values not saved to " + path + ": "))
      << main_->errorDisplay()->text().toStdString();
  EXPECT_EQ(FileContents(path), earlier);
}

TEST_F(RegisterFileLink, FilesNamedOnTheCommandLineOpenAsTheFileMenuOpensThem) {
  TMainFrm::Options options;
  options.toolWindows = toolWindowsBuiltBy({{"TraceFrm", ToolWindows::Find("TraceFrm")->factory}});
  start(std::move(options));
  const QString registers = file("setup.RGR", "[Main]\nHighByte=0\nByte2=1\n");
  const QString trace = file("frames.trc",
                             "[General]\nNbLines=2\n[Line1]\nID=123\nDLC=1\nData=\"12 \"\nFilter=0\nBuffer=1\n"
                             "[Line2]\nID=7FF\nDLC=0\nData=\nFilter=1\nBuffer=2\n");
  const QString missing = folder_.filePath("missing.rgr");
  const QString other = file("notes.txt", "[Main]\nHighByte=5\n");

  const std::size_t before = board_.requests();
  const QStringList failures = main_->openFiles({registers, missing, trace, other});
  ASSERT_TRUE(WaitUntil([this] { return !main_->registerFileBusy(); }));

  EXPECT_EQ(wireWrites(requests(), before), kReset + " 5A=00 0:60=00 1:60=00 2:60=00 3:60=00 4:60=00 5C=01");
  auto* traceFrm = qobject_cast<TTraceFrm*>(main_->toolWindow("TraceFrm")->form());
  ASSERT_NE(traceFrm, nullptr);
  EXPECT_TRUE(traceFrm->isVisible());
  EXPECT_EQ(traceFrm->ListTrc()->model()->rowCount(), 2);
  ASSERT_EQ(failures.size(), 2);
  EXPECT_EQ(failures[0], "Unable to open " + missing + ": no such file");
  EXPECT_TRUE(failures[1].startsWith("Unable to open " + other + ": ")) << failures[1].toStdString();
  EXPECT_EQ(main_->errorDisplay()->text(), failures.join("; "));
}

}  // namespace
