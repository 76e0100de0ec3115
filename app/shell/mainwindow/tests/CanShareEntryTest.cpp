// Serial Link > Share as CAN interface...: the share runs beside the main
// window on its link, shows where it is, and ends on the second click.
#include <gtest/gtest.h>

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "ShellTestSupport.h"
#include "canregthread.h"

using namespace shelltest;

TEST(CanShareEntry, SharesTheOpenLinkUntilClickedAgain) {
  wipeSettings();
  Board board;
  storeComm(QStringLiteral("1"), QStringLiteral("19200,n,8,1"), QStringLiteral("1000"));
  QTemporaryDir folder;
  const QString link = folder.filePath(QStringLiteral("can-board"));
  TMainFrm::Options options = withoutToolWindows();
  options.chooseFile = [&link](const TFileDialogSpec&) { return link; };
  TMainFrm main(std::move(options));
  main.createForm();
  main.show();
  ASSERT_TRUE(WaitUntil([&] { return main.Connected() && main.RegThread()->PassCount() > 0; }));

  main.action(QStringLiteral("ShareCan"))->trigger();
  EXPECT_TRUE(main.action(QStringLiteral("ShareCan"))->isChecked());
  const QString panel = main.statusBar()->findChild<QLabel*>(QStringLiteral("CanSharePanel"))->text();
  EXPECT_TRUE(panel.startsWith(QStringLiteral("CAN interface: ") + link)) << panel.toStdString();

  // A client on the link is answered while the windows go on polling.
  const int client = ::open(link.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(client, 0);
  termios tio{};
  tcgetattr(client, &tio);
  cfmakeraw(&tio);
  tcsetattr(client, TCSANOW, &tio);
  ASSERT_EQ(::write(client, "V\r", 2), 2);
  std::string answer;
  EXPECT_TRUE(WaitUntil([&] {
    char bytes[16];
    const ssize_t n = ::read(client, bytes, sizeof bytes);
    if (n > 0) answer.append(bytes, std::size_t(n));
    return answer == "V0111\r";
  }));
  ::close(client);

  main.action(QStringLiteral("ShareCan"))->trigger();
  EXPECT_TRUE(WaitUntil([&] { return !main.action(QStringLiteral("ShareCan"))->isChecked(); }));
  EXPECT_FALSE(QFileInfo(link).isSymLink());
  main.close();
  EXPECT_TRUE(main.closeCompleted());
}
