// The test driver's gate and its refusals: it listens only in a private
// folder, answers in one line whatever the text, and refuses input a person
// could not give (a hidden, disabled or covered control, a window behind a
// modal dialog), naming why.
#include "TestDriver.h"
#include "TestDriverCommands.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

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

}  // namespace
