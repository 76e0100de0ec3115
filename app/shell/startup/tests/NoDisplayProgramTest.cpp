// The vorelan program started where no display can be opened, as over SSH
// without forwarding: one line that tells how to go on, and a clean exit with
// the documented status, before anything is started or stored.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sysexits.h>

namespace {

struct ProgramRun {
  bool finished = false;
  QProcess::ExitStatus exitStatus = QProcess::CrashExit;
  int exitCode = -1;
  QString output;  // standard output and standard error
};

ProgramRun runWithoutDisplay(const QStringList& arguments, const QTemporaryDir& home) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
  QProcess program;
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::MergedChannels);
  program.start(QStringLiteral(VORELAN_PROGRAM), arguments);
  ProgramRun run;
  // A guard against a hang, not a measure: the answer comes before any window.
  run.finished = program.waitForFinished(60000);
  run.exitStatus = program.exitStatus();
  run.exitCode = program.exitCode();
  run.output = QString::fromLocal8Bit(program.readAll());
  return run;
}

TEST(NoDisplayProgram, SaysHowToGoOnInOneLineAndEndsWithItsStatus) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  for (const QStringList& arguments : {QStringList{}, QStringList{QStringLiteral("--simulate")},
                                       QStringList{QStringLiteral("-platform"), QStringLiteral("xcb")}}) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    const ProgramRun run = runWithoutDisplay(arguments, home);
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.exitStatus, QProcess::NormalExit) << run.output.toStdString();
    EXPECT_EQ(run.exitCode, EX_UNAVAILABLE) << run.output.toStdString();
    EXPECT_EQ(run.output.count('\n'), 1) << run.output.toStdString();
    EXPECT_TRUE(run.output.startsWith(QStringLiteral("vorelan: no display to open"))) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QStringLiteral("ssh -X"))) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QStringLiteral("x11vnc -display :7 -localhost"))) << run.output.toStdString();
  }
  // Nothing was started or stored: no simulated board, no settings.
  EXPECT_TRUE(QDir(home.path()).entryList({QStringLiteral("vorelan-sim-*")}, QDir::Dirs).isEmpty());
  EXPECT_FALSE(QDir(home.filePath(QStringLiteral("config"))).exists());
}

TEST(NoDisplayProgram, HelpStillAnswersAndNamesTheStatus) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const ProgramRun run = runWithoutDisplay({QStringLiteral("--help")}, home);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.output.contains(QStringLiteral("69"))) << run.output.toStdString();
}

}  // namespace
