// The vorelan program run as a process of its own, with a private home: a
// quit signal that comes while start-up waits for the board closes it in
// order, and a run on the simulated board leaves the stored settings byte for
// byte as they were.
#include "FileContents.h"
#include "MonitorFrames.h"
#include "boardsim/BoardSimulator.h"
#include "boardsim/Transcript.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

using namespace std::chrono_literals;

namespace {

// A home of the program's own: settings, runtime folder, and its output.
class ProgramHome {
 public:
  ProgramHome() {
    QDir(home_.path()).mkpath(QStringLiteral("config/Orvex"));
    QDir(home_.path()).mkpath(QStringLiteral("data"));
    QDir(home_.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  QString settingsPath() const { return home_.filePath(QStringLiteral("config/Orvex/vorelan.conf")); }
  QString runtime() const { return home_.filePath(QStringLiteral("runtime")); }
  QString output() const { return home_.filePath(QStringLiteral("output.txt")); }

  void writeSettings(const QByteArray& text) const {
    QFile file(settingsPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
  }
  QByteArray settingsBytes() const { return FileContents(settingsPath()); }
  QByteArray outputText() const {
    QFile file(output());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  // The test process's environment with the home's folders and `extra`.
  std::vector<std::string> environment(const std::map<std::string, std::string>& extra) const {
    std::map<std::string, std::string> values;
    for (char** entry = environ; *entry; ++entry) {
      const std::string text = *entry;
      const auto equals = text.find('=');
      if (equals != std::string::npos) values[text.substr(0, equals)] = text.substr(equals + 1);
    }
    values["XDG_CONFIG_HOME"] = home_.filePath(QStringLiteral("config")).toStdString();
    values["XDG_DATA_HOME"] = home_.filePath(QStringLiteral("data")).toStdString();
    values["XDG_RUNTIME_DIR"] = runtime().toStdString();
    values["QT_QPA_PLATFORM"] = "offscreen";
    for (const char* port : {"VORELAN_COM1", "VORELAN_COM2", "VORELAN_COM3"}) values.erase(port);
    for (const auto& [name, value] : extra) values[name] = value;
    std::vector<std::string> result;
    for (const auto& [name, value] : values) result.push_back(name + "=" + value);
    return result;
  }

 private:
  QTemporaryDir home_;
};

// The program as a child process; its output goes to the home's output file.
class Program {
 public:
  Program(const ProgramHome& home, std::vector<std::string> arguments,
          const std::map<std::string, std::string>& extraEnvironment = {}) {
    arguments.insert(arguments.begin(), VORELAN_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    environment_ = home.environment(extraEnvironment);
    std::vector<char*> envp;
    for (std::string& e : environment_) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    const std::string output = home.output().toStdString();
    posix_spawn_file_actions_addopen(&files, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    if (posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&files);
  }
  ~Program() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  bool started() const { return pid_ > 0; }
  void signal(int number) const { kill(pid_, number); }

  // The wait status once the program has ended; nothing if it is still
  // running after `limit` (a guard against a hang, not a measure).
  std::optional<int> waitForEnd(std::chrono::seconds limit = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(20ms);
    }
    ended_ = true;
    return status;
  }

 private:
  std::vector<std::string> environment_;
  pid_t pid_ = -1;
  bool ended_ = false;
};

bool eventually(const std::function<bool()>& condition, std::chrono::seconds limit = 60s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

void expectOrderlyExit(const std::optional<int>& status, const ProgramHome& home) {
  ASSERT_TRUE(status.has_value()) << "the program did not end\n" << home.outputText().toStdString();
  EXPECT_TRUE(WIFEXITED(*status)) << (WIFSIGNALED(*status) ? "killed by signal " + std::to_string(WTERMSIG(*status))
                                                           : std::string("stopped"))
                                  << "\n"
                                  << home.outputText().toStdString();
  if (WIFEXITED(*status)) {
    EXPECT_EQ(WEXITSTATUS(*status), 0) << home.outputText().toStdString();
  }
}

// TimeOut "-1" makes an access wait 21 s for its answer: a program whose
// start-up waited for the board would outlast the bound of its end.
TEST(Program, AQuitSignalDuringStartUpOnASilentBoardEndsTheProgramInOrder) {
  ProgramHome home;
  home.writeSettings("[Communication]\nPort=1\nSettings=\"19200,n,8,1\"\nTimeOut=-1\n");
  QTemporaryDir boardFolder;
  boardsim::BoardSimulator::Options options;
  options.instant = true;
  options.linkPath = boardFolder.filePath(QStringLiteral("board")).toStdString();
  boardsim::BoardSimulator board(options);
  board.start();
  board.dropAnswers(1000000);

  Program program(home, {}, {{"VORELAN_COM1", options.linkPath}});
  ASSERT_TRUE(program.started());
  // The first request of start-up's full read: the program waits for its answer.
  ASSERT_TRUE(board.transcript().waitForCount(boardsim::TranscriptEntry::Kind::Request, 1, 60s))
      << home.outputText().toStdString();
  program.signal(SIGTERM);
  expectOrderlyExit(program.waitForEnd(10s), home);
  board.stop();

  // The close ran: positions and communication settings were saved.
  QSettings saved(home.settingsPath(), QSettings::IniFormat);
  EXPECT_TRUE(saved.contains(QStringLiteral("FormPositions/MainFrm/Width")));
  EXPECT_EQ(saved.value(QStringLiteral("Communication/Port")).toString(), QStringLiteral("1"));
}

TEST(Program, ASimulatedRunLeavesTheStoredSettingsByteForByte) {
  ProgramHome home;
  // Written as a person might, not as the program would: any change that
  // reached the file would rewrite it in the program's own form.
  const QByteArray stored =
      "; the user's own notes\n"
      "[Trace]\nEnabled = dword:00000000\n\n"
      "[Communication]\nTimeOut=1000\nPort=3\nSettings=\"9600,n,8,1\"\n\n"
      "[FormPositions/MainFrm]\nLeft=dword:00000010\nTop=dword:00000010\n";
  home.writeSettings(stored);
  const QStringList filesBefore = QDir(QFileInfo(home.settingsPath()).path()).entryList(QDir::Files);

  Program program(home, {"--simulate"});
  ASSERT_TRUE(program.started());
  // The simulated board's folder exists once the program is well into its
  // start-up; the signal is kept until the window runs, which then closes.
  const auto boardStarted = [&] {
    return !QDir(home.runtime()).entryList({QStringLiteral("vorelan-sim-*")}, QDir::Dirs).isEmpty();
  };
  ASSERT_TRUE(eventually(boardStarted)) << home.outputText().toStdString();
  program.signal(SIGTERM);
  expectOrderlyExit(program.waitForEnd(), home);

  EXPECT_EQ(home.settingsBytes(), stored);
  EXPECT_EQ(QDir(QFileInfo(home.settingsPath()).path()).entryList(QDir::Files), filesBefore);
  EXPECT_FALSE(boardStarted());  // the board's folder went with an orderly end
}

TEST(Program, FilesNamedOnTheCommandLineOpenAfterStartUpAndAMissingOneIsReported) {
  ProgramHome home;
  home.writeSettings("[Communication]\nPort=1\nSettings=\"19200,n,8,1\"\nTimeOut=1000\n");
  QTemporaryDir folder;
  boardsim::BoardSimulator::Options options;
  options.instant = true;
  options.linkPath = folder.filePath(QStringLiteral("board")).toStdString();
  boardsim::BoardSimulator board(options);
  board.start();
  const auto create = [&](const char* name, const QByteArray& bytes) {
    QFile file(folder.filePath(QString::fromLatin1(name)));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName().toStdString();
  };
  const std::string registers = create("setup.rgr", "[Main]\nHighByte=3\nByte2=0x11\nByte3=0x47\n");
  const std::string trace = create("frames.trc", "[General]\nNbLines=1\n[Line1]\nID=123\nDLC=0\n");
  const std::string missing = folder.filePath(QStringLiteral("missing.rgr")).toStdString();

  Program program(home, {"-platform", "offscreen", registers, missing, trace}, {{"VORELAN_COM1", options.linkPath}});
  ASSERT_TRUE(program.started());
  const QByteArray message = QByteArray("vorelan: Unable to open ") + missing.c_str() + ": no such file\n";
  // The register file's load ends with CSR from "Byte2"; the trace loads
  // without a message, the missing file gets its own.
  const auto loaded = [&] {
    const auto requests = board.transcript().requests();
    return std::find(requests.begin(), requests.end(), WriteRequest(0x5C, 0x11)) != requests.end();
  };
  ASSERT_TRUE(eventually([&] { return loaded() && home.outputText().contains(message); }))
      << home.outputText().toStdString();
  EXPECT_EQ(board.peekRegister(0, 0x5D), 0x47);
  EXPECT_EQ(home.outputText().count("vorelan: Unable to open"), 1) << home.outputText().toStdString();
  program.signal(SIGTERM);
  expectOrderlyExit(program.waitForEnd(), home);
  board.stop();
}

}  // namespace
