// The tool-window base without a board: a tick's error reaches the error
// display once, register accesses run only while connected and show every
// failure but those already shown or due to the close, and File menu entries
// reach the handler the window gave.
#include <gtest/gtest.h>

#include <QDockWidget>
#include <QTest>

#include <memory>
#include <stdexcept>

#include "AppError.h"
#include "FakeToolWindowHost.h"
#include "RegisterSession.h"
#include "ThrTimer.h"
#include "ToolWindow.h"
#include "canregthread.h"

namespace {

class TestWindow : public TToolWindowOf<QWidget> {
 public:
  explicit TestWindow(IToolWindowHost& host) : TToolWindowOf(host) { setObjectName(QStringLiteral("TestFrm")); }
  using TToolWindow::AddTimer;
  using TToolWindow::OnFileEntry;
  using TToolWindow::RunRegisterAccess;
  using TToolWindow::TimerState;
};

class ToolWindowTest : public ::testing::Test {
 protected:
  FakeToolWindowHost host_;
  // No memory access object: nothing here reaches a board.
  TCANRegAccessThread registers_{nullptr};
};

}  // namespace

TEST_F(ToolWindowTest, ATickErrorReachesTheErrorDisplayOnce) {
  TestWindow window(host_);
  int ticks = 0;
  TThreadedTimer* timer = window.AddTimer(QStringLiteral("Timer"), 1, TestWindow::TimerState::Enabled, [&] {
    if (++ticks == 1) throw EAppError("tick failed");
  });
  EXPECT_EQ(timer->objectName(), "Timer");
  EXPECT_EQ(timer->parent(), &window);
  EXPECT_EQ(window.Timers(), std::vector<TThreadedTimer*>{timer});
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }));  // the ticks go on after the error
  EXPECT_EQ(host_.errors, QStringList{"tick failed"});

  // A disabled timer, as the Trace window's until tracing is switched on.
  TThreadedTimer* idle = window.AddTimer(QStringLiteral("Idle"), 1, TestWindow::TimerState::Disabled, [] {});
  EXPECT_FALSE(idle->enabled());
}

TEST_F(ToolWindowTest, RegisterAccessesRunOnlyWhileConnected) {
  TestWindow window(host_);
  int runs = 0;
  const auto access = [&](TRegisterSession&) { ++runs; };
  EXPECT_FALSE(window.RunRegisterAccess(access));  // not connected
  host_.connected = true;
  EXPECT_FALSE(window.RunRegisterAccess(access));  // no register access thread
  host_.connected = false;
  host_.thread = &registers_;
  EXPECT_FALSE(window.RunRegisterAccess(access));
  EXPECT_EQ(runs, 0);

  host_.connected = true;
  EXPECT_TRUE(window.Connected());
  EXPECT_TRUE(window.RunRegisterAccess([&](TRegisterSession&) {
    ++runs;
    EXPECT_TRUE(registers_.registerLock().HeldByMe());
  }));
  EXPECT_EQ(runs, 1);
  EXPECT_FALSE(registers_.registerLock().HeldByMe());
  EXPECT_TRUE(host_.errors.isEmpty());
}

TEST_F(ToolWindowTest, AFailedAccessIsShownUnlessItsPassShowedItOrTheProgramCloses) {
  TestWindow window(host_);
  host_.connected = true;
  host_.thread = &registers_;
  EXPECT_FALSE(window.RunRegisterAccess([](TRegisterSession&) { throw EAppError("Time out..."); }));
  EXPECT_FALSE(window.RunRegisterAccess([](TRegisterSession&) { throw std::runtime_error("Unable to write"); }));
  EXPECT_FALSE(window.RunRegisterAccess([](TRegisterSession&) { throw EReadFailed("shown by the pass"); }));
  EXPECT_FALSE(window.RunRegisterAccess([](TRegisterSession&) { throw EShutdown(); }));
  EXPECT_EQ(host_.errors, (QStringList{"Time out...", "Unable to write"}));
  EXPECT_FALSE(registers_.registerLock().HeldByMe());  // released on every path

  // Once the thread is told to stop, no access runs and nothing is shown.
  registers_.Terminate();
  bool ran = false;
  EXPECT_FALSE(window.RunRegisterAccess([&](TRegisterSession&) { ran = true; }));
  EXPECT_FALSE(ran);
  EXPECT_EQ(host_.errors.size(), 2);
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return *window->count > 0; }));
    window.reset();
    QTest::qWait(2);  // a tick pending for the destroyed window would run here
  }
}
