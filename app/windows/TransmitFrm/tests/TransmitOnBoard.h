// The Transmission window's tests on the simulated board: the program's two
// nodes over a pty and the real register access thread. What a frame writes
// is read from the board's transcript, what it sends from the board's bus
// log; the polling passes and the timer's ticks are run by hand, so that
// every step is seen.
#pragma once

#include <QPushButton>
#include <QTabWidget>

#include <memory>
#include <vector>

#include "ChoiceGroup.h"
#include "NumberEntry.h"
#include "ThrTimer.h"
#include "TransmitFrm.h"
#include "TransmitStatusBar.h"
#include "WindowOnBoard.h"

// A caption without its accelerator marks.
inline QString Visible(QString caption) {
  return caption.remove(QLatin1Char('&'));
}

class TransmitOnBoard : public ConnectedWindowOnBoard<TTransmitFrm> {
 protected:
  void SetUp() override {
    ConnectedWindowOnBoard::SetUp();
    if (HasFatalFailure()) return;
    Create();
    ClearTranscript();
  }

  void Create() {
    window_ = std::make_unique<TTransmitFrm>(host_);
    // The test runs every tick itself (Tick): the timer's own ticks, which
    // would come whenever a wait lets the event loop run, do nothing.
    window_->Timer()->setOnTimer([](TThreadedTimer*) {});
    window_->createForm();
    ASSERT_TRUE(ShowActive(window_.get()));
  }
  template <class T>
  T* Find(const char* name) {
    T* found = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  TNumberEntry* Number(const char* name) { return Find<TNumberEntry>(name); }
  TChoiceGroup* Choice(const char* name) { return Find<TChoiceGroup>(name); }
  QPushButton* Apply() { return Find<QPushButton>("Apply"); }
  QTabWidget* Pages() { return Find<QTabWidget>("PageControl"); }
  void ShowPage(const char* name) { Pages()->setCurrentWidget(Find<QWidget>(name)); }
  QString Panel() { return window_->StatusBar()->shownText(); }

  // A click on Apply, and its frame's job done.
  void Click() {
    window_->ApplyClick();
    EXPECT_TRUE(WaitForJobs());
  }
  // One tick of the window's timer, after a pass (the test decides when the
  // image is refreshed), and the frame it may send written.
  void Tick() {
    Poll();
    window_->SendingTimer();
    EXPECT_TRUE(WaitForJobs());
  }

  // What a frame's writes look like on the line: PSR before every paged register.
  static std::vector<Bytes> OnTheLine(const std::vector<TRegisterWrite>& writes) {
    std::vector<Bytes> line;
    for (const TRegisterWrite& w : writes) {
      if (w.address >= CanReg::PageBase) line.push_back({CanReg::PSR, std::uint8_t(w.page)});
      line.push_back({w.address, w.value});
    }
    return line;
  }
  std::vector<boardsim::CanFrame> Sent() {
    std::vector<boardsim::CanFrame> frames;
    for (const auto& t : sim_->transmittedFrames()) frames.push_back(t.frame);
    return frames;
  }
  // Data byte k of every frame sent.
  std::vector<int> SentByte(std::size_t k) {
    std::vector<int> bytes;
    for (const auto& frame : Sent()) bytes.push_back(frame.data[k]);
    return bytes;
  }

  void UserFrame(int id, int length, std::initializer_list<int> data, bool remote = false) {
    ShowPage("User");
    F("UserID")->setValue(id);
    Number("UserLength")->setValue(length);
    Choice("FrameType")->setItemIndex(remote ? 1 : 0);
    int k = 0;
    for (int byte : data) F(QStringLiteral("Dat%1").arg(k++).toLatin1().constData())->setValue(byte);
  }
  void Automatic(int period) {
    Choice("Repetition")->setItemIndex(1);
    Number("Period")->setValue(period);
  }
};
