// The Transmission window's generated data and periodic runs against the
// simulated board: counters, shifts, the period, and the outcome each tick
// judges from ISR, also when the cell stays silent or a write fails.
#include <gtest/gtest.h>

#include <QRadioButton>

#include "HexEdit.h"
#include "TransmitOnBoard.h"

using namespace CanReg;

TEST_F(TransmitOnBoard, ACounterFromFeToHundredWithOneByte) {
  Automatic(1);
  F("AutoID")->setValue(0x321);
  Number("AutoLength")->setValue(1);
  F("CntMin")->setValue(0xFE);
  F("CntMax")->setValue(0x100);
  Click();
  EXPECT_EQ(Visible(Apply()->text()), "Stop");
  for (int tick = 0; tick < 10; ++tick) Tick();  // a frame every second tick
  EXPECT_EQ(SentByte(0), (std::vector<int>{0xFE, 0xFF, 0x00, 0xFE, 0xFF, 0x00}));
  EXPECT_EQ(Panel(), "Transmission OK");
  SaveScreenshot(window_.get(), "transmission-auto");
  for (const auto& frame : Sent()) {
    EXPECT_EQ(frame.id, 0x321u);
    EXPECT_EQ(frame.dlc, 1);
  }
}

// At the top of the 64-bit range the counter goes back to CntMin.
TEST_F(TransmitOnBoard, ACounterAtTheTopOfTheRangeStartsAgainAtItsMinimum) {
  Automatic(1);
  Number("AutoLength")->setValue(8);
  F("CntMin")->setValue(-2);  // FFFFFFFFFFFFFFFE
  F("CntMax")->setValue(-1);  // FFFFFFFFFFFFFFFF
  Click();
  for (int tick = 0; tick < 4; ++tick) Tick();
  ASSERT_EQ(Sent().size(), 3u);
  EXPECT_EQ(SentByte(0), (std::vector<int>{0xFE, 0xFF, 0xFE}));
  EXPECT_EQ(SentByte(7), (std::vector<int>{0xFF, 0xFF, 0xFF}));
}

TEST_F(TransmitOnBoard, ShiftLeftWithOneByteAndRightWithTwo) {
  Automatic(1);
  Find<QRadioButton>("ShiftMode")->click();
  Number("AutoLength")->setValue(1);
  Click();
  for (int tick = 0; tick < 16; ++tick) Tick();
  EXPECT_EQ(SentByte(0), (std::vector<int>{0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x01}));

  Click();  // Stop
  sim_->clearTransmittedFrames();
  Number("AutoLength")->setValue(2);
  Choice("ShiftOpt")->setItemIndex(1);
  Click();  // Start
  for (int tick = 0; tick < 34; ++tick) Tick();
  ASSERT_EQ(Sent().size(), 18u);
  for (std::size_t k = 0; k < 16; ++k) {
    const unsigned value = 0x8000u >> k;
    EXPECT_EQ(Sent()[k].data[0], value & 0xFF) << k;  // Data0: the low byte
    EXPECT_EQ(Sent()[k].data[1], value >> 8) << k;
  }
  EXPECT_EQ(Sent()[16].data[1], 0x80);
}

// Shift mode without data bytes: the frames go out, carrying nothing.
TEST_F(TransmitOnBoard, ShiftWithLengthZeroSendsEmptyFrames) {
  Automatic(1);
  Find<QRadioButton>("ShiftMode")->click();
  Choice("ShiftOpt")->setItemIndex(1);
  Number("AutoLength")->setValue(0);
  Click();
  EXPECT_EQ(window_->AutomaticValue(), 1u);
  for (int tick = 0; tick < 4; ++tick) Tick();
  ASSERT_EQ(Sent().size(), 3u);
  for (const auto& frame : Sent()) EXPECT_EQ(frame.dlc, 0);
  EXPECT_EQ(window_->AutomaticValue(), 1u);
}

TEST_F(TransmitOnBoard, PeriodThreeSendsEverySixthTickAndStopEndsIt) {
  Automatic(3);
  Click();
  ASSERT_EQ(Sent().size(), 1u);
  std::vector<int> framesAfterTick;
  for (int tick = 1; tick <= 13; ++tick) {
    Tick();
    framesAfterTick.push_back(int(Sent().size()));
  }
  EXPECT_EQ(framesAfterTick, (std::vector<int>{1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3}));
  EXPECT_EQ(window_->TickCount(), 1);

  // Stop between two frames: nothing more is written, even by a tick that
  // was already on its way.
  Click();
  EXPECT_EQ(Visible(Apply()->text()), "Start");
  EXPECT_FALSE(window_->Timer()->enabled());
  EXPECT_EQ(window_->TickCount(), 0);
  EXPECT_TRUE(Pages()->isEnabled());
  ClearTranscript();
  for (int tick = 0; tick < 8; ++tick) Tick();
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(Sent().size(), 3u);
}

TEST_F(TransmitOnBoard, TheOutcomeAcknowledgedReportedAsAnErrorOrSilent) {
  UserFrame(0x100, 1, {0x5A});
  Click();
  Tick();
  EXPECT_EQ(Panel(), "Transmission OK");

  sim_->setAcknowledged(false);
  Click();
  EXPECT_EQ(Panel(), " ");  // cleared when the frame goes
  Tick();
  EXPECT_EQ(Panel(), "ERROR: Transmission Error!");

  // A cell that reports nothing (neither flag set).
  Click();
  sim_->pokeRegister(0, ISR, 0);
  Tick();
  EXPECT_EQ(Panel(), "ERROR: Time Out!");
  EXPECT_TRUE(host_.errors.isEmpty());

  // With automatic repetition the last frame is judged at every tick.
  sim_->setAcknowledged(true);
  Automatic(60);
  Click();
  Tick();
  EXPECT_EQ(Panel(), "Transmission OK");
  sim_->pokeRegister(0, ISR, TEIF);
  Tick();
  EXPECT_EQ(Panel(), "ERROR: Transmission Error!");
  SaveScreenshot(window_.get(), "transmission-error");
}

// A cell that never reports the end of a frame (neither TXIF nor TEIF, as
// when nobody on the bus takes part): every tick of a run says so, the run
// goes on sending, and Stop ends it as usual.
TEST_F(TransmitOnBoard, ACellThatNeverReportsTimesOutAtEveryTick) {
  OnRequest([this](const Bytes& request) {
    if (request.size() == 4 && request[0] == 0x23 && request[2] == Data7) sim_->pokeRegister(0, ISR, 0);
  });
  Automatic(1);
  Click();
  std::vector<std::string> panels;
  for (int tick = 0; tick < 6; ++tick) {
    Tick();
    panels.push_back(Panel().toStdString());
  }
  EXPECT_EQ(panels, std::vector<std::string>(6, "ERROR: Time Out!"));
  EXPECT_EQ(Sent().size(), 4u);  // the first frame, then one every second tick
  EXPECT_TRUE(host_.errors.isEmpty());
  Click();  // Stop
  EXPECT_EQ(Visible(Apply()->text()), "Start");
  EXPECT_TRUE(Pages()->isEnabled());
}

TEST_F(TransmitOnBoard, AWriteFailureMidFrameLeavesTheRunToStop) {
  Automatic(1);
  Number("AutoLength")->setValue(2);
  // The answer to the page selection before Data0 never comes.
  int served = 0;
  OnRequest([this, &served](const Bytes& request) {
    if (request.size() == 4 && request[0] == 0x23 && request[2] == IDLR && served++ == 0) sim_->dropAnswers(1);
  });
  Click();
  OnRequest(nullptr);
  EXPECT_TRUE(Sent().empty());
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_FALSE(host_.errors[0].isEmpty());
  EXPECT_EQ(Visible(Apply()->text()), "Stop");
  EXPECT_FALSE(Pages()->isEnabled());
  EXPECT_FALSE(window_->Timer()->enabled());  // not started

  // Stop gives the idle state back; Start then sends.
  Click();
  EXPECT_EQ(Visible(Apply()->text()), "Start");
  EXPECT_TRUE(Pages()->isEnabled());
  Click();
  EXPECT_EQ(Sent().size(), 1u);
}

// A frame of a running repetition whose writes fail: the error reaches the
// error display, the panel claims no outcome (the image still shows the
// previous frame's TXIF, as it would with a link that no longer answers),
// and the run tries again when the next frame is due.
TEST_F(TransmitOnBoard, AFailedFrameOfARunShowsNoOutcomeAndTheRunTriesAgain) {
  Automatic(1);
  Number("AutoLength")->setValue(1);
  Click();
  Tick();
  EXPECT_EQ(Panel(), "Transmission OK");
  int served = 0;
  OnRequest([this, &served](const Bytes& request) {
    if (request.size() == 4 && request[0] == 0x23 && request[2] == IDLR && served++ == 0) sim_->dropAnswers(1);
  });
  Tick();  // the second frame is due; its IDLR write is never answered
  OnRequest(nullptr);
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Panel(), " ");
  window_->SendingTimer();  // the image not read again
  EXPECT_EQ(Panel(), " ");
  EXPECT_EQ(Visible(Apply()->text()), "Stop");

  Tick();
  Tick();  // due again: written whole this time
  ASSERT_EQ(Sent().size(), 2u);
  Tick();
  EXPECT_EQ(Panel(), "Transmission OK");
  EXPECT_EQ(host_.errors.size(), 1);
}
