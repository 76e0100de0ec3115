// The Registers window against the simulated board: the program's two nodes
// stacked over a pty, the real register access thread, and the board's
// transcript of the requests each edit sends.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <memory>

#include "BitButton.h"
#include "BitPanel.h"
#include "HexEdit.h"
#include "RegFrm.h"
#include "ThrTimer.h"
#include "WindowOnBoard.h"

using namespace CanReg;

namespace {

class RegFrmLink : public WindowOnBoard<TRegFrm> {
 protected:
  void SetUp() override {
    WindowOnBoard::SetUp();
    if (HasFatalFailure()) return;
    window_ = std::make_unique<TRegFrm>(host_);
    // Ticks are run by hand so that every step is seen; the live test turns it on.
    window_->readThreadTimer()->setEnabled(false);
    ASSERT_TRUE(ShowActive(window_.get()));
  }

  TBitPanel* Panel(const char* name) { return window_->findChild<TBitPanel*>(name); }
  QTabWidget* Tabs() { return window_->findChild<QTabWidget*>("PageControl"); }
  QString Status(int page) { return window_->findChild<QLabel*>(QString("Status%1").arg(page))->text(); }

  // The board's registers as the thread would find them after a full read, then one tick.
  void Refresh() {
    ReadAll();
    window_->ReadThreadTimer();
  }
  std::vector<Bytes> Writes() {
    EXPECT_TRUE(WaitForJobs());
    return WriteRequests();
  }
};

}  // namespace

TEST_F(RegFrmLink, ATickCopiesTheMainRegistersAndThePageThatPsrSelects) {
  sim_->pokeRegister(0, ISR, 0x21);
  sim_->pokeRegister(0, ICR, 0x12);
  sim_->pokeRegister(0, CSR, 0x41);
  sim_->pokeRegister(0, BRPR, 0x43);
  sim_->pokeRegister(0, BTR, 0x2F);
  sim_->pokeRegister(0, PSR, 2);
  sim_->pokeRegister(2, IDHR, 0x24);
  sim_->pokeRegister(2, IDLR, 0x68);
  sim_->pokeRegister(2, BCSR, 0x0D);
  for (int i = 0; i < 8; ++i) sim_->pokeRegister(2, std::uint16_t(Data0 + i), std::uint8_t(0xB0 + i));
  sim_->pokeRegister(1, IDHR, 0x99);  // another page: not shown
  Refresh();

  EXPECT_EQ(F("ISR")->text(), "21");
  EXPECT_EQ(F("ICR")->text(), "12");
  EXPECT_EQ(F("CSR")->text(), "41");
  EXPECT_EQ(F("BRPR")->text(), "43");
  EXPECT_EQ(F("BTR")->text(), "2F");
  EXPECT_EQ(F("PSR")->text(), "02");
  EXPECT_EQ(Panel("BitPanelISR")->value(), 0x21);
  EXPECT_EQ(Panel("BitPanelICR")->value(), 0x12);
  EXPECT_EQ(Panel("BitPanelCSR")->value(), 0x41);
  EXPECT_EQ(Tabs()->currentIndex(), 2);
  EXPECT_EQ(F("IDHR2")->text(), "24");
  EXPECT_EQ(F("IDLR2")->text(), "68");
  EXPECT_EQ(F("BCSR2")->text(), "0D");
  EXPECT_EQ(Status(2), "TX \\Pending");
  EXPECT_EQ(F("Data02")->text(), "B0");
  EXPECT_EQ(F("Data72")->text(), "B7");
  EXPECT_EQ(F("IDHR1")->text(), "00");
  EXPECT_EQ(Status(1), "TX / Empty");

  // Selecting the tab from the program writes nothing.
  ClearTranscript();
  sim_->pokeRegister(0, PSR, 4);
  sim_->pokeRegister(4, MHR1, 0x7E);
  Poll();
  ClearTranscript();
  window_->ReadThreadTimer();
  EXPECT_EQ(Tabs()->currentIndex(), 4);
  EXPECT_EQ(F("MHR1")->text(), "7E");
  EXPECT_EQ(F("IDHR2")->text(), "24");  // the other pages keep what they showed
  EXPECT_TRUE(Requests().empty());

  SaveScreenshot(window_.get(), "RegFrm_page4");
  sim_->pokeRegister(0, PSR, 2);
  Refresh();
  SaveScreenshot(window_.get(), "RegFrm_page2");
  EXPECT_TRUE(host_.errors.isEmpty());
}

TEST_F(RegFrmLink, TheFocusedFieldKeepsAPartialEntryAcrossTicks) {
  Refresh();
  THexEdit* icr = F("ICR");
  icr->setFocus();
  QTest::keyClick(icr, '7');  // first digit only
  EXPECT_EQ(icr->text(), "70");

  sim_->pokeRegister(0, ICR, 0x05);
  sim_->pokeRegister(0, BTR, 0x33);
  Refresh();
  EXPECT_EQ(icr->text(), "70");
  EXPECT_EQ(F("BTR")->text(), "33");  // the others go on updating
  EXPECT_EQ(Panel("BitPanelICR")->value(), 0);

  ClearTranscript();
  QTest::keyClick(icr, '1');
  ASSERT_FALSE(Writes().empty());
  EXPECT_EQ(Writes().front(), WriteRequest(ICR, 0x71));
  EXPECT_EQ(Panel("BitPanelICR")->value(), 0x71);
  window_->ReadThreadTimer();  // the focus moved on: ICR shows the register again
  EXPECT_EQ(icr->text(), "71");
}

TEST_F(RegFrmLink, APsrTheCellCannotShowDisplaysAsPageZero) {
  sim_->pokeRegister(0, PSR, 0);
  sim_->pokeRegister(0, LIDHR, 0x3C);
  sim_->pokeRegister(0, TECR, 0x11);
  sim_->pokeRegister(0, PSR, 3);
  Refresh();
  ASSERT_EQ(Tabs()->currentIndex(), 3);

  sim_->pokeRegister(0, PSR, 7);
  ClearTranscript();
  Refresh();
  EXPECT_EQ(F("PSR")->text(), "00");
  EXPECT_EQ(Tabs()->currentIndex(), 0);
  EXPECT_EQ(F("LIDHR")->text(), "3C");
  EXPECT_EQ(F("TECR")->text(), "11");
  // Only the full read wrote PSR (and put 7 back); the window wrote nothing.
  EXPECT_EQ(Writes().back(), WriteRequest(PSR, 7));
  EXPECT_EQ(sim_->peekRegister(0, PSR), 7);
}

TEST_F(RegFrmLink, TogglingAnIsrBitWritesIsrWithPageZero) {
  sim_->pokeRegister(0, PSR, 2);
  sim_->pokeRegister(0, ISR, 0x03);
  Refresh();
  ClearTranscript();
  QTest::mouseClick(Panel("BitPanelISR")->button(5), Qt::LeftButton);
  EXPECT_EQ(F("ISR")->text(), "23");
  ASSERT_TRUE(WaitForJobs());
  const auto requests = Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0], WriteRequest(ISR, 0x23));  // a main register: no PSR write first
  EXPECT_EQ(requests[1], ReadRequest(0x5A, 6));     // the read cycle that follows
  EXPECT_EQ(Writes().size(), 1u);

  // CSR through its panel: RUN off and on again; the fixed zero bit stays out
  // of the value written.
  ASSERT_EQ(F("CSR")->value(), RUN);  // the board starts running
  ClearTranscript();
  QTest::mouseClick(Panel("BitPanelCSR")->button(0), Qt::LeftButton);
  QTest::mouseClick(Panel("BitPanelCSR")->button(7), Qt::LeftButton);
  QTest::mouseClick(Panel("BitPanelCSR")->button(0), Qt::LeftButton);
  EXPECT_EQ(Writes(), (std::vector<Bytes>{WriteRequest(CSR, 0x00), WriteRequest(CSR, RUN)}));
  EXPECT_EQ(sim_->peekRegister(0, CSR) & RUN, RUN);
}

TEST_F(RegFrmLink, TypingAPageIntoPsrWritesItAndSelectsItsTab) {
  Refresh();
  ClearTranscript();
  TypeInto(F("PSR"), "03");
  EXPECT_EQ(Writes(), (std::vector<Bytes>{WriteRequest(PSR, 3)}));  // one write only
  EXPECT_EQ(Tabs()->currentIndex(), 3);
  EXPECT_EQ(sim_->peekRegister(0, PSR), 3);
  EXPECT_EQ(thread_->GetMainRegisters()[MainIndex(PSR)], 3);  // the read cycle that followed saw it
}

TEST_F(RegFrmLink, EditingARegisterOfPageTwoSelectsThePageFirst) {
  sim_->pokeRegister(0, PSR, 2);
  Refresh();
  ASSERT_EQ(Tabs()->currentIndex(), 2);
  ClearTranscript();
  TypeInto(F("Data12"), "a5");
  ASSERT_TRUE(WaitForJobs());
  const auto requests = Requests();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[0], WriteRequest(PSR, 2));
  EXPECT_EQ(requests[1], WriteRequest(0x63, 0xA5));
  EXPECT_EQ(requests[2], ReadRequest(0x5A, 6));
  EXPECT_EQ(sim_->peekRegister(2, 0x63), 0xA5);
  EXPECT_TRUE(F("Data22")->hasFocus());  // the data row is typed without the mouse

  // A main register goes out without a PSR write.
  ClearTranscript();
  TypeInto(F("BRPR"), "C1");
  EXPECT_EQ(Writes(), (std::vector<Bytes>{WriteRequest(BRPR, 0xC1)}));
}

TEST_F(RegFrmLink, WhilePsrShowsNoPageMainRegistersAreWrittenAndAPagedOneIsReported) {
  Refresh();
  ClearTranscript();
  // Main registers are not paged: PSR's value does not hold them back.
  TypeInto(F("PSR"), "07");
  TypeInto(F("ISR"), "12");
  TypeInto(F("BRPR"), "C1");
  EXPECT_EQ(Writes(), (std::vector<Bytes>{WriteRequest(PSR, 7), WriteRequest(ISR, 0x12), WriteRequest(BRPR, 0xC1)}));
  EXPECT_TRUE(host_.errors.isEmpty());

  // A paged register has no page to go to: nothing is written, and the user is told.
  ClearTranscript();
  TypeInto(F("LIDHR"), "3c");
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(host_.errors, QStringList{"PSR 07 selects no page: LIDHR not written"});
  EXPECT_EQ(F("LIDHR")->text(), "3C");  // kept until the next tick
}

TEST_F(RegFrmLink, PickingATabSelectsThatPageOnTheTarget) {
  sim_->pokeRegister(0, PSR, 0);
  sim_->pokeRegister(4, FHR0, 0x5A);
  Refresh();
  ClearTranscript();
  QTabBar* bar = Tabs()->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(4).center());
  EXPECT_EQ(F("PSR")->text(), "04");
  EXPECT_EQ(Writes(), (std::vector<Bytes>{WriteRequest(PSR, 4)}));
  EXPECT_EQ(Requests().back(), ReadRequest(0x60, 8));  // the read cycle read the new page
  window_->ReadThreadTimer();
  EXPECT_EQ(Tabs()->currentIndex(), 4);
  EXPECT_EQ(F("FHR0")->text(), "5A");
}

TEST_F(RegFrmLink, TheBufferStateFollowsBcsr) {
  const std::pair<std::uint8_t, const char*> cases[] = {
      {0x05, "TX \\Pending"}, {0x04, "RX \\Filled"}, {0x01, "TX \\Empty"}, {0x00, "RX \\Empty"}};
  for (int page = 1; page <= 3; ++page)
    for (const auto& [bcsr, text] : cases) {
      sim_->pokeRegister(page, BCSR, bcsr);
      sim_->pokeRegister(0, PSR, std::uint8_t(page));
      Refresh();
      EXPECT_EQ(Status(page), text) << "page " << page << " BCSR " << int(bcsr);
    }
}

TEST_F(RegFrmLink, WhileNotConnectedNothingIsCopiedOrWritten) {
  sim_->pokeRegister(0, BTR, 0x2F);
  ReadAll();
  host_.connected = false;
  ClearTranscript();
  window_->ReadThreadTimer();
  EXPECT_EQ(F("BTR")->text(), "00");

  TypeInto(F("BTR"), "12");
  TypeInto(F("Data01"), "34");
  TypeInto(F("PSR"), "01");
  QTest::mouseClick(Panel("BitPanelICR")->button(1), Qt::LeftButton);
  QTabBar* bar = Tabs()->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(3).center());
  window_->ReadThreadTimer();
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(F("BTR")->text(), "12");
  EXPECT_EQ(F("Data01")->text(), "34");
  EXPECT_EQ(F("ICR")->text(), "02");
  EXPECT_EQ(F("PSR")->text(), "03");
  EXPECT_TRUE(host_.errors.isEmpty());

  // No register access thread at all (the nodes could not be created).
  host_.thread = nullptr;
  host_.connected = true;
  TypeInto(F("BTR"), "56");
  window_->ReadThreadTimer();
  EXPECT_TRUE(Requests().empty());
  EXPECT_EQ(F("BTR")->text(), "56");
}

TEST_F(RegFrmLink, AFailedWriteIsShownAndTheNextTickRestoresTheRegister) {
  sim_->pokeRegister(0, BTR, 0x2F);
  sim_->pokeRegister(0, ISR, 0x00);
  Refresh();
  sim_->dropAnswers(1);
  TypeInto(F("BTR"), "44");
  EXPECT_EQ(F("BTR")->text(), "44");
  window_->ReadThreadTimer();  // while the write is on its way, ticks leave the fields alone
  ASSERT_TRUE(WaitForJobs());
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_EQ(host_.errors.front(), "Time out...");
  EXPECT_EQ(F("BTR")->text(), "44");  // what the user typed, until the next tick
  sim_->clearFaults();
  window_->ReadThreadTimer();
  EXPECT_EQ(F("BTR")->text(), "2F");

  // The same through a bit panel.
  sim_->dropAnswers(1);
  QTest::mouseClick(Panel("BitPanelISR")->button(0), Qt::LeftButton);
  ASSERT_TRUE(WaitForJobs());
  EXPECT_EQ(host_.errors.size(), 2);
  EXPECT_EQ(F("ISR")->text(), "01");
}

TEST_F(RegFrmLink, TheTimerFollowsThePollingThreadOnItsOwn) {
  thread_->SetPolling(true);
  window_->readThreadTimer()->setEnabled(true);
  sim_->pokeRegister(0, PSR, 1);
  sim_->pokeRegister(1, BCSR, 0x04);
  sim_->pokeRegister(1, IDHR, 0x42);
  EXPECT_TRUE(WaitUntil([&] { return F("IDHR1")->text() == "42"; }));
  EXPECT_EQ(Tabs()->currentIndex(), 1);
  EXPECT_EQ(Status(1), "RX \\Filled");

  // An edit while the thread polls: written between passes.
  TypeInto(F("Data31"), "99");
  ASSERT_TRUE(WaitForJobs());
  EXPECT_EQ(sim_->peekRegister(1, 0x65), 0x99);
  sim_->pokeRegister(0, CSR, 0x41);
  EXPECT_TRUE(WaitUntil([&] { return F("CSR")->text() == "41"; }));
  EXPECT_EQ(Panel("BitPanelCSR")->value(), 0x41);
  EXPECT_TRUE(host_.errors.isEmpty());
}
