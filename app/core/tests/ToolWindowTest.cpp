// The tool-window base without a board: a tick's error, and the error of a
// job a tick handed in, reach the error display once without waiting for the
// person; register jobs are handed in only while connected, show that they
// are pending and show their failures; File menu entries reach the handler
// the window gave.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDockWidget>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <stdexcept>

#include "AppError.h"
#include "FakeToolWindowHost.h"
#include "ThrTimer.h"
#include "ToolWindow.h"
#include "WaitUntil.h"
#include "WindowTestSupport.h"
#include "canregthread.h"

namespace {

class TestWindow : public TToolWindowOf<QWidget> {
 public:
  explicit TestWindow(IToolWindowHost& host) : TToolWindowOf(host) { setObjectName(QStringLiteral("TestFrm")); }
  using TToolWindow::AddTimer;
  using TToolWindow::OnFileEntry;
  using TToolWindow::RunRegisterJob;
  using TToolWindow::TimerState;
};

class ToolWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { registers_.Resume(); }

  FakeToolWindowHost host_;
  // No memory access object: every access fails with "No link to the board".
  TCANRegAccessThread registers_{nullptr};
};

}  // namespace

TEST_F(ToolWindowTest, ATicksErrorsReachTheErrorDisplayOnceWithoutWaitingForThePerson) {
  TestWindow window(host_);
  int ticks = 0;
  TThreadedTimer* timer = window.AddTimer(QStringLiteral("Timer"), 1, TestWindow::TimerState::Enabled, [&] {
    if (++ticks == 1) throw EAppError("tick failed");
  });
  EXPECT_EQ(timer->objectName(), "Timer");
  EXPECT_EQ(timer->parent(), &window);
  EXPECT_EQ(window.Timers(), std::vector<TThreadedTimer*>{timer});
  ASSERT_TRUE(WaitUntil([&] { return ticks >= 3; }));  // the ticks go on after the error
  EXPECT_EQ(host_.statusErrors, QStringList{"tick failed"});

  // A job a tick hands in is the timer's work, as a periodic transmission's.
  host_.connected = true;
  host_.thread = &registers_;
  bool handedIn = false;
  window.AddTimer(QStringLiteral("Run"), 1, TestWindow::TimerState::Enabled, [&] {
    if (!handedIn) handedIn = window.RunRegisterJob({{{0x5B, 0, 1}}});
  });
  ASSERT_TRUE(WaitUntil([&] { return handedIn && window.JobsPending() == 0; }));
  EXPECT_EQ(host_.statusErrors, (QStringList{"tick failed", "No link to the board"}));
  EXPECT_TRUE(host_.errors.isEmpty());

  // A disabled timer, as the Trace window's until tracing is switched on.
  TThreadedTimer* idle = window.AddTimer(QStringLiteral("Idle"), 1, TestWindow::TimerState::Disabled, [] {});
  EXPECT_FALSE(idle->enabled());
}

TEST_F(ToolWindowTest, RegisterJobsAreShownWhilePendingAndTheirWriteFailuresAfterwards) {
  TestWindow window(host_);
  auto* apply = new QPushButton(QStringLiteral("Apply"), &window);
  auto* other = new QPushButton(QStringLiteral("Other"), &window);
  auto* column = new QVBoxLayout(&window);
  column->addWidget(apply);
  column->addWidget(other);
  ASSERT_TRUE(ShowActive(&window));
  std::vector<TRegisterJobOutcome> outcomes;
  const auto keep = [&](const TRegisterJobOutcome& outcome) { outcomes.push_back(outcome); };
  const auto allEnded = [&] { return window.JobsPending() == 0; };
  EXPECT_FALSE(window.RunRegisterJob({}, {apply}, keep));  // not connected
  host_.connected = true;
  EXPECT_FALSE(window.RunRegisterJob({}, {apply}, keep));  // no register access thread
  host_.thread = &registers_;

  apply->setFocus();
  ASSERT_TRUE(window.RunRegisterJob({}, {apply}, keep));
  EXPECT_FALSE(apply->isEnabled());
  EXPECT_EQ(window.cursor().shape(), Qt::BusyCursor);
  EXPECT_EQ(window.JobsPending(), 1);
  ASSERT_TRUE(WaitUntil(allEnded));
  EXPECT_TRUE(apply->isEnabled());
  EXPECT_EQ(QApplication::focusWidget(), apply);  // back where it was
  EXPECT_NE(window.cursor().shape(), Qt::BusyCursor);
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_TRUE(outcomes[0].ok());
  EXPECT_TRUE(host_.errors.isEmpty());
  // A job that disables no control holding the focus leaves it where the
  // person moves it meanwhile (typing on into the next field).
  ASSERT_TRUE(window.RunRegisterJob({}, {}, keep));
  other->setFocus();
  ASSERT_TRUE(WaitUntil(allEnded));
  EXPECT_EQ(QApplication::focusWidget(), other);

  // A control the window had disabled stays so; a failed write is shown.
  other->setEnabled(false);
  ASSERT_TRUE(window.RunRegisterJob({{{0x5B, 0, 1}}}, {apply, other}, keep));
  ASSERT_TRUE(WaitUntil(allEnded));
  EXPECT_FALSE(other->isEnabled());
  EXPECT_EQ(outcomes.back().result, TRegisterJobOutcome::Result::WriteFailed);
  EXPECT_EQ(host_.errors, QStringList{"No link to the board"});

  // A failed read was shown by its pass; a job the close cancels says nothing.
  ASSERT_TRUE(window.RunRegisterJob({{}, TRegisterJob::Read::Cycle}, {}, keep));
  ASSERT_TRUE(WaitUntil(allEnded));
  EXPECT_EQ(outcomes.back().result, TRegisterJobOutcome::Result::ReadFailed);
  registers_.Terminate();
  ASSERT_TRUE(window.RunRegisterJob({{{0x5B, 0, 1}}}, {apply}, keep));
  ASSERT_TRUE(WaitUntil(allEnded));
  EXPECT_EQ(outcomes.back().result, TRegisterJobOutcome::Result::Cancelled);
  EXPECT_EQ(host_.errors.size(), 1);
  EXPECT_TRUE(apply->isEnabled());
}

TEST_F(ToolWindowTest, FileEntriesReachTheHandlerTheWindowGave) {
  TestWindow window(host_);
  QString loaded;
  window.OnFileEntry(QStringLiteral("TraceLoad"), [&](const QString& path) { loaded = path; });
  EXPECT_TRUE(window.HandlesFileEntry(QStringLiteral("TraceLoad")));
  EXPECT_FALSE(window.HandlesFileEntry(QStringLiteral("TraceSave")));
  EXPECT_TRUE(window.RunFileEntry(QStringLiteral("TraceLoad"), QStringLiteral("/tmp/a.trc")));
  EXPECT_EQ(loaded, "/tmp/a.trc");
  EXPECT_FALSE(window.RunFileEntry(QStringLiteral("TraceSave"), QStringLiteral("/tmp/b.trc")));
}

// A window goes while its timer ticks fast and its tick uses the window's own
// members: no tick may run once the window is being destroyed.
TEST_F(ToolWindowTest, NoTickOutlivesItsWindow) {
  struct Ticking : TestWindow {
    explicit Ticking(IToolWindowHost& host) : TestWindow(host) {
      AddTimer(QStringLiteral("Timer"), 1, TimerState::Enabled, [this] { ++*count; });
    }
    std::unique_ptr<int> count = std::make_unique<int>(0);
  };
  for (int round = 0; round < 20; ++round) {
    auto window = std::make_unique<Ticking>(host_);
    ASSERT_TRUE(WaitUntil([&] { return *window->count > 0; }));
    window.reset();
    QTest::qWait(2);  // a tick pending for the destroyed window would run here
  }
}
