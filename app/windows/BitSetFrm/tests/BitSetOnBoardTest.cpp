// The Bit Settings window's Refresh and Apply against the simulated board:
// the program's two nodes over a pty and the real register access thread,
// passes run by hand.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "BitSetWindow.h"
#include "WindowOnBoard.h"

using namespace CanReg;
using Bytes = std::vector<std::uint8_t>;

namespace {

class BitSetOnBoard : public ConnectedWindowOnBoard<BitSetWindow> {
 protected:
  // Created once the board is as the test wants it; shown, so that typing reaches it.
  BitSetWindow& Window() {
    if (!window_) {
      window_ = std::make_unique<BitSetWindow>(host_);
      EXPECT_TRUE(ShowActive(window_->window.get()));
    }
    return *window_;
  }
  // Clicks Apply and waits for its job.
  void Apply(BitSetWindow& w) {
    w.window->ApplyClick();
    EXPECT_TRUE(WaitForJobs());
  }
  std::size_t ReadCount() {
    std::size_t reads = 0;
    for (const Bytes& r : Requests()) reads += !r.empty() && r[0] == 0x13;
    return reads;
  }
};

TEST_F(BitSetOnBoard, CreationLoadsTheCellsTiming) {
  // Power-on: BRPR 0x01, BTR 0x2B.
  BitSetWindow& w = Window();
  EXPECT_EQ(w.Shown(), (BitTiming::Setting{2, 12, 3}));
  EXPECT_EQ(w.Rjw()->value(), 1);
  EXPECT_EQ(w.TimeQuantum(), "TQ: 250 ns");
  EXPECT_EQ(w.BaudRate()->text(), "250000");
  EXPECT_EQ(w.SamplePos()->value(), 81);

  sim_->pokeRegister(0, BRPR, 0xC3);
  sim_->pokeRegister(0, BTR, 0xF0);  // bit 7 set: BS2 held at 8
  Poll();
  w.window->RefreshClick();
  EXPECT_EQ(w.Shown(), (BitTiming::Setting{4, 1, 1}));  // BS2 8 follows BS1 1 down
  EXPECT_EQ(w.Rjw()->value(), 4);
  sim_->pokeRegister(0, BTR, 0xF7);
  Poll();
  w.window->RefreshClick();
  EXPECT_EQ(w.Shown(), (BitTiming::Setting{4, 8, 8}));
}

TEST_F(BitSetOnBoard, ApplyOnAStoppedCellWritesCsrBrprBtrThenReadsEverything) {
  sim_->pokeRegister(0, CSR, 0x00);
  Poll();
  BitSetWindow& w = Window();
  w.Rjw()->setValue(2);
  w.Search("8", "125000", 75);  // BRP 16, BS1 2, BS2 1
  ClearTranscript();
  Apply(w);
  EXPECT_TRUE(w.prompt.shown.empty());
  const std::vector<Bytes> expected{{CSR, 0x00}, {BRPR, 0x4F}, {BTR, 0x01}, {PSR, 0}, {PSR, 4},
                                    {PSR, 1},    {PSR, 2},     {PSR, 3},    {PSR, 0}};
  EXPECT_EQ(Writes(), expected);
  EXPECT_EQ(ReadCount(), 10u);  // the full read
  EXPECT_EQ(sim_->peekRegister(0, BRPR), 0x4F);
  EXPECT_EQ(sim_->peekRegister(0, BTR), 0x01);
  EXPECT_EQ(sim_->peekRegister(0, CSR), 0x00);
  EXPECT_EQ(w.Shown(), (BitTiming::Setting{16, 2, 1}));
  EXPECT_EQ(w.Rjw()->value(), 2);
  EXPECT_TRUE(host_.errors.isEmpty());
}

TEST_F(BitSetOnBoard, ARunningCellIsStoppedOnlyOnYes) {
  BitSetWindow& w = Window();  // power-on: RUN set
  w.prompt.answer = QMessageBox::No;
  TypeInto(w.Brp(), "05");
  ClearTranscript();
  Apply(w);
  ASSERT_EQ(w.prompt.shown.size(), 1u);
  EXPECT_EQ(w.prompt.shown[0].text, "CAN cell is running. Stop it?");
  EXPECT_EQ(w.prompt.shown[0].icon, QMessageBox::Question);
  EXPECT_EQ(w.prompt.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(w.Brp()->text(), "02");  // reloaded from the cell

  w.prompt.answer = QMessageBox::Yes;
  TypeInto(w.Brp(), "05");
  Apply(w);
  ASSERT_GE(Writes().size(), 3u);
  EXPECT_EQ(Writes()[0], (Bytes{CSR, 0x00}));
  EXPECT_EQ(Writes()[1], (Bytes{BRPR, 0x04}));
  EXPECT_EQ(sim_->peekRegister(0, CSR) & RUN, 0);  // left stopped
  EXPECT_EQ(w.Brp()->text(), "05");
}

// Typed, applied with the keyboard, and again: Apply, disabled while its
// job runs, has the focus back afterwards.
TEST_F(BitSetOnBoard, TheKeyboardAloneAppliesOneSettingAfterAnother) {
  sim_->pokeRegister(0, CSR, 0x00);
  Poll();
  BitSetWindow& w = Window();
  auto* apply = w.Find<QPushButton>("Apply");
  for (const char* brp : {"05", "07"}) {
    TypeInto(w.Brp(), brp);
    apply->setFocus();
    QTest::keyClick(apply, Qt::Key_Space);
    ASSERT_TRUE(WaitForJobs());
    EXPECT_EQ(QApplication::focusWidget(), apply) << brp;
  }
  EXPECT_EQ(sim_->peekRegister(0, BRPR) & 0x3F, 0x06);
}

TEST_F(BitSetOnBoard, AFailedWriteIsShownAndLeavesTheFieldsAsTyped) {
  sim_->pokeRegister(0, CSR, 0x00);
  Poll();
  BitSetWindow& w = Window();
  TypeInto(w.Brp(), "07");
  ClearTranscript();
  sim_->dropAnswers(1);  // the CSR write's answer never comes
  Apply(w);
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_FALSE(host_.errors[0].isEmpty());
  EXPECT_EQ(Writes().size(), 1u);    // the sequence ended at the failure
  EXPECT_EQ(w.Brp()->text(), "07");  // no refresh
}

TEST_F(BitSetOnBoard, Screenshots) {
  BitSetWindow& w = Window();
  w.prompt.answer = QMessageBox::No;
  w.Search("16", "250000", 80);
  SaveScreenshot(w.window.get(), "BitSetFrm_search");
}

}  // namespace
