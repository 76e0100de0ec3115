#include "boardsim/TargetMemory.h"

#include <gtest/gtest.h>

using namespace boardsim;

namespace {

CanFrame dataFrame(uint16_t id, std::vector<uint8_t> bytes) {
  CanFrame f;
  f.id = id;
  f.dlc = uint8_t(bytes.size());
  std::copy(bytes.begin(), bytes.end(), f.data.begin());
  return f;
}

CanFrame remoteFrame(uint16_t id, uint8_t dlc = 0) {
  CanFrame f;
  f.id = id;
  f.remote = true;
  f.dlc = dlc;
  return f;
}

// Programs filter n through the register window the way the program's filter window does.
void setFilter(TargetMemory& m, int n, uint16_t id, uint16_t mask, int kind /*0 data, 1 remote, 2 both*/) {
  m.write(CanCell::PSR, 4);
  uint16_t base = uint16_t(0x60 + 4 * n);
  m.write(base + 0, uint8_t(id >> 3));
  m.write(base + 1, uint8_t(((id & 7) << 5) | (kind == 1 ? 0x10 : 0)));
  m.write(base + 2, uint8_t(mask >> 3));
  m.write(base + 3, uint8_t(((mask & 7) << 5) | (kind != 2 ? 0x10 : 0)));
}

uint8_t pagedRead(TargetMemory& m, int page, uint16_t address) {
  m.write(CanCell::PSR, uint8_t(page));
  return m.read(address);
}

}  // namespace

TEST(CanCell, PowerOnStateLetsTrafficIn) {
  TargetMemory m;
  EXPECT_EQ(m.read(0x5A, 6), (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x01, 0x2B, 0x00}));
  auto r = m.cell().receive(dataFrame(0x7FF, {1}));
  EXPECT_EQ(r.outcome, CanCell::Reception::Stored);
  EXPECT_EQ(r.buffer, 1);
  EXPECT_EQ(r.filter, 0);
}

TEST(CanCell, PagingSelectsFivePagesAndUnusedAddressesReadZero) {
  TargetMemory m;
  for (int page = 1; page <= 4; ++page) {
    m.write(CanCell::PSR, uint8_t(page));
    m.write(0x60, uint8_t(0x10 + page));
  }
  for (int page = 1; page <= 4; ++page) EXPECT_EQ(pagedRead(m, page, 0x60), 0x10 + page) << page;
  EXPECT_EQ(m.cell().peek(2, 0x60), 0x12);

  // Page 0 is read-only; registers that do not exist ignore writes and read 0.
  m.write(CanCell::PSR, 0);
  m.write(0x60, 0xAA);
  m.write(0x6E, 0xAA);
  EXPECT_EQ(m.read(0x60), 0);
  EXPECT_EQ(m.read(0x6E), 0);
  m.write(CanCell::PSR, 1);
  m.write(0x6B, 0x55);
  EXPECT_EQ(m.read(0x6B), 0);
  m.write(CanCell::PSR, 4);
  m.write(0x68, 0x55);
  EXPECT_EQ(m.read(0x68), 0);

  // PSR holds three bits; pages 5-7 have nothing behind them.
  m.write(CanCell::PSR, 0x0D);
  EXPECT_EQ(m.read(CanCell::PSR), 0x05);
  m.write(0x60, 0x77);
  EXPECT_EQ(m.read(0x60), 0);
  EXPECT_EQ(pagedRead(m, 1, 0x60), 0x11);

  // RAM around the cell is plain memory; the cell hides the RAM under it.
  m.write(0x59, 0x42);
  m.write(0x70, 0x43);
  EXPECT_EQ(m.read(0x59), 0x42);
  EXPECT_EQ(m.read(0x70), 0x43);
}

TEST(CanCell, Bit7OfIcrAndCsrReadsZeroAndStatusBitsBelongToTheCell) {
  TargetMemory m;
  m.write(CanCell::ICR, 0xFF);
  EXPECT_EQ(m.read(CanCell::ICR), 0x7F);
  m.write(CanCell::CSR, 0xFF);
  EXPECT_EQ(m.read(CanCell::CSR), 0x1F);  // EPSV/BOFF cannot be set by writing
  m.cell().poke(0, CanCell::CSR, CanCell::RUN | CanCell::EPSV);
  m.write(CanCell::CSR, 0x00);
  EXPECT_EQ(m.read(CanCell::CSR), CanCell::EPSV);
}

TEST(CanCell, IsrFlagsAreClearedByWritingZeroOnly) {
  TargetMemory m;
  m.cell().poke(0, CanCell::ISR, 0xFF);
  m.write(CanCell::ISR, 0xFF);  // writing ones changes nothing
  EXPECT_EQ(m.read(CanCell::ISR), 0xFF);
  m.write(CanCell::ISR, 0xDF);  // clear RXIF1 only
  EXPECT_EQ(m.read(CanCell::ISR), 0xDF);
  m.cell().poke(0, CanCell::ISR, 0x00);
  m.write(CanCell::ISR, 0xFF);  // software cannot raise a flag
  EXPECT_EQ(m.read(CanCell::ISR), 0x00);
}

TEST(CanCell, FilterWithMask7F0AcceptsOneBlockOfSixteen) {
  TargetMemory m;
  setFilter(m, 0, 0x123, 0x7F0, 0);
  setFilter(m, 1, 0x000, 0x7FF, 0);  // filter 1 only takes identifier 0
  for (uint16_t id = 1; id <= 0x7FF; ++id) {
    bool expected = id >= 0x120 && id <= 0x12F;
    EXPECT_EQ(m.cell().filterAccepts(0, dataFrame(id, {})), expected) << std::hex << id;
    EXPECT_FALSE(m.cell().filterAccepts(1, dataFrame(id, {}))) << std::hex << id;
  }
  // The register encoding the program writes for 0x123 / 0x7F0 / data.
  EXPECT_EQ(m.cell().peek(4, CanCell::FHR0), 0x24);
  EXPECT_EQ(m.cell().peek(4, CanCell::FLR0), 0x60);
  EXPECT_EQ(m.cell().peek(4, CanCell::MHR0), 0xFE);
  EXPECT_EQ(m.cell().peek(4, CanCell::MLR0), 0x10);
}

TEST(CanCell, FrameKindRules) {
  TargetMemory m;
  setFilter(m, 0, 0x100, 0x7FF, 0);  // data only
  setFilter(m, 1, 0x200, 0x7FF, 1);  // remote only
  EXPECT_TRUE(m.cell().filterAccepts(0, dataFrame(0x100, {})));
  EXPECT_FALSE(m.cell().filterAccepts(0, remoteFrame(0x100)));
  EXPECT_TRUE(m.cell().filterAccepts(1, remoteFrame(0x200)));
  EXPECT_FALSE(m.cell().filterAccepts(1, dataFrame(0x200, {})));
  setFilter(m, 0, 0x100, 0x7FF, 2);  // both
  EXPECT_TRUE(m.cell().filterAccepts(0, dataFrame(0x100, {})));
  EXPECT_TRUE(m.cell().filterAccepts(0, remoteFrame(0x100)));

  // A frame only filter 1 accepts is stored with filter number 1 in BCSR.
  auto r = m.cell().receive(remoteFrame(0x200, 3));
  ASSERT_EQ(r.outcome, CanCell::Reception::Stored);
  EXPECT_EQ(r.filter, 1);
  EXPECT_EQ(m.cell().peek(1, CanCell::BCSR), 0x0C);
  EXPECT_EQ(m.cell().peek(1, CanCell::IDLR), 0x13);  // remote bit, length code 3
  EXPECT_EQ(m.cell().receive(dataFrame(0x300, {})).outcome, CanCell::Reception::Rejected);
  EXPECT_EQ(m.read(CanCell::ISR), CanCell::RXIF1);
}

TEST(CanCell, ReceiveBuffersFillInOrderThenOverrun) {
  TargetMemory m;
  // Buffer 2 transmits, so it never receives.
  m.write(CanCell::PSR, 2);
  m.write(CanCell::BCSR, 0x01);
  auto a = m.cell().receive(dataFrame(0x123, {0x12, 0xAB}));
  auto b = m.cell().receive(dataFrame(0x456, {1, 2, 3, 4, 5, 6, 7, 8}));
  auto c = m.cell().receive(dataFrame(0x457, {}));
  EXPECT_EQ(a.buffer, 1);
  EXPECT_EQ(b.buffer, 3);
  EXPECT_EQ(c.outcome, CanCell::Reception::Overrun);
  EXPECT_EQ(m.read(CanCell::ISR), CanCell::RXIF1 | CanCell::RXIF3 | CanCell::ORIF);

  EXPECT_EQ(m.cell().peek(1, CanCell::IDHR), 0x24);
  EXPECT_EQ(m.cell().peek(1, CanCell::IDLR), 0x62);
  EXPECT_EQ(m.cell().peek(1, 0x62), 0x12);
  EXPECT_EQ(m.cell().peek(1, 0x63), 0xAB);
  EXPECT_EQ(m.cell().peek(1, CanCell::BCSR), 0x04);
  EXPECT_EQ(m.cell().peek(3, 0x69), 8);
  // The last identifier is the overrun frame's.
  EXPECT_EQ(CanCell::identifierFrom(m.cell().peek(0, CanCell::LIDHR), m.cell().peek(0, CanCell::LIDLR)), 0x457);

  // Clearing RXIF3 (others written as read) hands buffer 3 back; buffer 1 stays full.
  m.write(CanCell::ISR, uint8_t(m.read(CanCell::ISR) & ~CanCell::RXIF3));
  EXPECT_EQ(m.cell().peek(3, CanCell::BCSR) & CanCell::BCSR_OCCUPIED, 0);
  EXPECT_EQ(m.cell().receive(dataFrame(0x458, {})).buffer, 3);
  // Writing BCSR with bit 2 = 0 frees a buffer as well; writing 1 there does not occupy it.
  m.write(CanCell::PSR, 1);
  m.write(CanCell::BCSR, 0x00);
  EXPECT_EQ(m.read(CanCell::BCSR), 0x00);
  m.write(CanCell::BCSR, 0x04);
  EXPECT_EQ(m.read(CanCell::BCSR), 0x00);
  EXPECT_EQ(m.cell().receive(dataFrame(0x459, {})).buffer, 1);
}

TEST(CanCell, StoppedCellAndExtendedFramesReceiveNothing) {
  TargetMemory m;
  m.write(CanCell::CSR, 0);
  EXPECT_EQ(m.cell().receive(dataFrame(0x123, {})).outcome, CanCell::Reception::NotRunning);
  m.write(CanCell::CSR, CanCell::RUN);
  CanFrame ext = dataFrame(0x123, {});
  ext.extended = true;
  EXPECT_EQ(m.cell().receive(ext).outcome, CanCell::Reception::NotStandard);
  EXPECT_EQ(m.read(CanCell::ISR), 0);
}

namespace {
// The register sequence the program's transmission window writes.
void sendFrame(TargetMemory& m, int buffer, uint16_t id, bool remote, std::vector<uint8_t> data) {
  uint8_t n = uint8_t(data.size());
  m.write(CanCell::CSR, 0x00);
  m.write(CanCell::ISR, 0x00);
  m.write(CanCell::PSR, uint8_t(buffer));
  m.write(CanCell::BCSR, 0x00);
  m.write(CanCell::CSR, 0x01);
  m.write(CanCell::BCSR, 0x01);
  m.write(CanCell::IDHR, uint8_t(id >> 3));
  m.write(CanCell::IDLR, uint8_t(((id & 7) << 5) | (remote ? 0x10 : 0) | n));
  for (uint8_t k = 0; k < 7 && k < n; ++k) m.write(uint16_t(CanCell::DATA0 + k), data[k]);
  m.write(CanCell::DATA7, n == 8 ? data[7] : 0);
}
}  // namespace

TEST(CanCell, WritingData7OfATransmitBufferSendsTheFrame) {
  TargetMemory m;
  sendFrame(m, 2, 0x321, false, {0xDE, 0xAD, 0xBE});
  auto sent = m.cell().takeTransmissions();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].buffer, 2);
  EXPECT_EQ(sent[0].frame, dataFrame(0x321, {0xDE, 0xAD, 0xBE}));
  EXPECT_TRUE(sent[0].acknowledged);
  EXPECT_EQ(m.read(CanCell::ISR), CanCell::TXIF);
  EXPECT_EQ(m.read(CanCell::BCSR), 0x01);  // sent: no longer occupied

  // Data7 of a receive buffer, or with the cell stopped, sends nothing.
  m.write(CanCell::BCSR, 0x00);
  m.write(CanCell::DATA7, 1);
  m.write(CanCell::BCSR, 0x01);
  m.write(CanCell::CSR, 0x00);
  m.write(CanCell::DATA7, 1);
  EXPECT_TRUE(m.cell().takeTransmissions().empty());

  sendFrame(m, 1, 0x7FF, true, {});
  sent = m.cell().takeTransmissions();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].frame.remote);
}

TEST(CanCell, UnacknowledgedTransmissionRaisesTeifAndCountsErrors) {
  TargetMemory m;
  m.cell().setAcknowledged(false);
  for (int i = 1; i <= 20; ++i) {
    sendFrame(m, 1, 0x100, false, {uint8_t(i)});
    EXPECT_EQ(m.read(CanCell::ISR) & (CanCell::TEIF | CanCell::TXIF), CanCell::TEIF);
    EXPECT_EQ(m.cell().peek(0, CanCell::TECR), std::min(8 * i, 128)) << i;
    // Becoming error-passive is a status change.
    EXPECT_EQ(bool(m.read(CanCell::ISR) & CanCell::SCIF), i == 16) << i;
  }
  EXPECT_TRUE(m.read(CanCell::CSR) & CanCell::EPSV);
  EXPECT_FALSE(m.cell().takeTransmissions()[0].acknowledged);

  m.cell().setAcknowledged(true);
  sendFrame(m, 1, 0x100, false, {});
  EXPECT_EQ(m.cell().peek(0, CanCell::TECR), 127);
  EXPECT_FALSE(m.read(CanCell::CSR) & CanCell::EPSV);
  EXPECT_EQ(m.read(CanCell::ISR) & (CanCell::TEIF | CanCell::TXIF), CanCell::TXIF);
}
