// The test driver's gate and its refusals: it listens only in a private
// folder, answers in one line whatever the text, and refuses input a person
// could not give (a hidden, disabled or covered control, a window behind a
// modal dialog), naming why.
#include "TestDriver.h"
#include "TestDriverCommands.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalServer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <deque>

namespace {

using TestDriverCommands::run;

TEST(TestDriverGate, ListensOnlyInAFolderOfTheUserClosedToOthers) {
  QTemporaryDir home;
  const QString open = home.filePath(QStringLiteral("open"));
  const QString closed = home.filePath(QStringLiteral("closed"));
  ASSERT_TRUE(QDir().mkpath(open) && QDir().mkpath(closed));
  ::chmod(QFile::encodeName(open).constData(), 0755);
  ::chmod(QFile::encodeName(closed).constData(), 0700);

  EXPECT_FALSE(TTestDriver::refusalFor(open + QStringLiteral("/driver.sock")).isEmpty());
  EXPECT_FALSE(TTestDriver::refusalFor(QStringLiteral("driver.sock")).isEmpty());  // relative
  EXPECT_FALSE(TTestDriver::refusalFor(home.filePath(QStringLiteral("none/driver.sock"))).isEmpty());
  EXPECT_TRUE(TTestDriver::refusalFor(closed + QStringLiteral("/driver.sock")).isEmpty());

  // Named but refused: nothing listens and no socket is made.
  const QByteArray refused = QFile::encodeName(open + QStringLiteral("/driver.sock"));
  ::setenv(TTestDriver::kEnvironmentVariable, refused.constData(), 1);
  EXPECT_EQ(TTestDriver::fromEnvironment(), nullptr);
  EXPECT_FALSE(QFile::exists(QString::fromUtf8(refused)));
  // Not named: nothing either.
  ::unsetenv(TTestDriver::kEnvironmentVariable);
  EXPECT_EQ(TTestDriver::fromEnvironment(), nullptr);
  // Named in a private folder: it listens, for the user only.
  const QByteArray accepted = QFile::encodeName(closed + QStringLiteral("/driver.sock"));
  ::setenv(TTestDriver::kEnvironmentVariable, accepted.constData(), 1);
  EXPECT_NE(TTestDriver::fromEnvironment(), nullptr);
  ::unsetenv(TTestDriver::kEnvironmentVariable);
}

// What is at the path already is left as it is, unless it is a socket of
// the user's that nobody serves any more (a crashed run's).
TEST(TestDriverGate, LeavesAlonePathsThatAreNotItsStaleSocket) {
  QTemporaryDir home;
  const QString file = home.filePath(QStringLiteral("file")), live = home.filePath(QStringLiteral("live")),
                stale = home.filePath(QStringLiteral("stale"));
  QFile(file).open(QIODevice::WriteOnly);
  QLocalServer other;
  ASSERT_TRUE(other.listen(live));
  sockaddr_un address{};  // bound, then closed without removing its file: a crashed run's
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, QFile::encodeName(stale).constData());
  const int crashed = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(crashed, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(crashed);
  const struct {
    QString path;
    bool listens;
  } rows[] = {{file, false}, {live, false}, {stale, true}, {home.filePath(QStringLiteral("none")), true}};
  for (const auto& row : rows) {
    ::setenv(TTestDriver::kEnvironmentVariable, QFile::encodeName(row.path).constData(), 1);
    EXPECT_EQ(TTestDriver::fromEnvironment() != nullptr, row.listens) << row.path.toStdString();
  }
  ::unsetenv(TTestDriver::kEnvironmentVariable);
  EXPECT_TRUE(QFileInfo(file).isFile() && QFileInfo::exists(live));
}

// Requests are lines of at most kMaxRequestLength bytes, whole or still coming.
TEST(TestDriverGate, TakesRequestLinesUpToTheirLimit) {
  const QByteArray longest(TTestDriver::kMaxRequestLength, 'x');
  const struct {
    QByteArray bytes, left;
    bool taken;
    std::size_t requests;
  } rows[] = {{"ping\ntext\tA/B\npa", "pa", true, 2},
              {longest + "\n" + longest, longest, true, 1},
              {longest + "x", longest + "x", false, 0},
              {longest + "x\nping\n", longest + "x\nping\n", false, 0}};
  for (const auto& row : rows) {
    QByteArray pending = row.bytes;
    std::deque<QString> requests;
    EXPECT_EQ(TTestDriver::takeRequests(pending, requests), row.taken);
    EXPECT_TRUE(requests.size() == row.requests && pending == row.left);
  }
}

TEST(TestDriverGate, EveryAnswerIsOneLine) {
  TestDriverCommands::Reply reply;
  reply.text = QStringLiteral("a\tb\nc\rd\\e");
  EXPECT_EQ(TTestDriver::answerLine(reply), QStringLiteral("ok\ta\\tb\\nc\\rd\\\\e"));
  reply.ok = false;
  reply.text.clear();
  EXPECT_EQ(TTestDriver::answerLine(reply), QStringLiteral("error\t"));
}

class TestDriverInput : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.setObjectName(QStringLiteral("Desk"));
    auto* column = new QVBoxLayout(&window_);
    field_ = new QLineEdit(&window_);
    field_->setObjectName(QStringLiteral("Field"));
    button_ = new QPushButton(QStringLiteral("&Go"), &window_);
    button_->setObjectName(QStringLiteral("Go"));
    column->addWidget(field_);
    column->addWidget(button_);
    window_.resize(300, 200);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }

  // Runs a command and, when it gives input, the input.
  static TestDriverCommands::Reply give(const QStringList& fields) {
    TestDriverCommands::Reply reply = run(fields);
    if (reply.act) reply.act();
    return reply;
  }

  QWidget window_;
  QLineEdit* field_ = nullptr;
  QPushButton* button_ = nullptr;
};

TEST_F(TestDriverInput, FindsControlsByNameAndCaptionAndTypesIntoThem) {
  int clicks = 0;
  QObject::connect(button_, &QPushButton::clicked, [&clicks] { ++clicks; });
  EXPECT_TRUE(give({QStringLiteral("click"), QStringLiteral("Desk/=Go")}).ok);
  EXPECT_EQ(clicks, 1);
  field_->setText(QStringLiteral("old"));
  EXPECT_TRUE(give({QStringLiteral("fill"), QStringLiteral("Desk/Field"), QStringLiteral("new")}).ok);
  EXPECT_EQ(field_->text(), QStringLiteral("new"));
  EXPECT_EQ(run({QStringLiteral("text"), QStringLiteral("Desk/Go")}).text, QStringLiteral("Go"));

  const TestDriverCommands::Reply missing = run({QStringLiteral("text"), QStringLiteral("Desk/Nothing")});
  EXPECT_FALSE(missing.ok);
  EXPECT_TRUE(missing.text.contains(QStringLiteral("Nothing"))) << missing.text.toStdString();
  EXPECT_FALSE(run({QStringLiteral("jump")}).ok);
}

TEST_F(TestDriverInput, RefusesWhatAPersonCouldNotDo) {
  button_->setEnabled(false);
  TestDriverCommands::Reply reply = run({QStringLiteral("click"), QStringLiteral("Desk/Go")});
  EXPECT_FALSE(reply.ok);
  EXPECT_TRUE(reply.text.contains(QStringLiteral("disabled"))) << reply.text.toStdString();
  EXPECT_FALSE(reply.act);

  button_->setEnabled(true);
  button_->hide();
  reply = run({QStringLiteral("click"), QStringLiteral("Desk/Go")});
  EXPECT_FALSE(reply.ok);
  EXPECT_TRUE(reply.text.contains(QStringLiteral("not shown"))) << reply.text.toStdString();
  button_->show();

  // A widget laid over the field covers it.
  QWidget cover(&window_);
  cover.setObjectName(QStringLiteral("Cover"));
  cover.setGeometry(field_->geometry());
  cover.show();
  cover.raise();
  reply = run({QStringLiteral("fill"), QStringLiteral("Desk/Field"), QStringLiteral("x")});
  EXPECT_FALSE(reply.ok);
  EXPECT_TRUE(reply.text.contains(QStringLiteral("covered"))) << reply.text.toStdString();
  cover.hide();

  // A modal dialog in front: the window behind it takes nothing.
  QDialog dialog(&window_);
  dialog.setObjectName(QStringLiteral("Question"));
  dialog.setModal(true);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  reply = run({QStringLiteral("click"), QStringLiteral("Desk/Go")});
  EXPECT_FALSE(reply.ok);
  EXPECT_TRUE(reply.text.contains(QStringLiteral("modal"))) << reply.text.toStdString();
  EXPECT_TRUE(run({QStringLiteral("modal")}).text.contains(QStringLiteral("Question")));
}

// Requests that aborted the program (found by fuzzing and review) are
// answered: numbers must be whole and within what a screen holds, so that no
// sum or step overflows; keys and characters QTest's own table does not know
// (it aborts on them) are given by code and text.
TEST_F(TestDriverInput, RequestsThatAbortedTheProgramAreAnswered) {
  const QString huge = QStringLiteral("2147483647"), beyond = QStringLiteral("99999999999");
  const struct {
    QStringList request;
    bool ok;
    const char* answer;  // the start of its text
  } rows[] = {
      {{"rows", "Desk/List", "1", huge}, true, "{\"count\":2"},
      {{"rows", "Desk/List", "1", beyond}, false, "not a whole number"},
      {{"setgeometry", "Desk", huge, "0", "100", "100"}, false, "not a whole number"},
      {{"drag", "Desk/Field", "1", "1", huge, "1"}, false, "not a whole number"},
      {{"click", "Desk/Go", "x", "1"}, false, "not a whole number"},
      {{"key", "Desk", "Ctrl+AJ"}, false, "no key named"},
      {{"type", "Desk/Field", "\x01a\x7f"}, true, ""},
  };
  auto* list = new QListWidget(&window_);
  list->setObjectName(QStringLiteral("List"));
  list->addItems({QStringLiteral("a"), QStringLiteral("b")});
  list->show();
  for (const auto& row : rows) {
    const TestDriverCommands::Reply reply = give(row.request);
    EXPECT_EQ(reply.ok, row.ok) << row.request.join(' ').toStdString();
    EXPECT_EQ(reply.text.toStdString().rfind(row.answer, 0), 0u) << row.request.join(' ').toStdString();
  }
}

}  // namespace
