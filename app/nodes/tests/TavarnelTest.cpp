// Target memory access through both real nodes and the simulated board.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "LinkFixture.h"

using namespace std::chrono;
using Bytes = std::vector<std::uint8_t>;

namespace {
std::string MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "<no error>";
}
}  // namespace

using MemoryAccess = LinkFixture;

TEST_F(MemoryAccess, ReadsAndWritesSendOneFrameEachAndReturnTheBoardsBytes) {
  sim_->pokeRegister(0, 0x5A, 0x11);
  sim_->pokeRegister(0, 0x5E, 0x2F);
  std::uint8_t data[6] = {};
  protocol_->ReadMemory(0x5A, data, 6);
  EXPECT_EQ(data[0], 0x11);
  EXPECT_EQ(data[4], 0x2F);

  const std::uint8_t four = 0x04;
  protocol_->WriteMemory(0x005F, &four, 1);
  EXPECT_EQ(sim_->peekRegister(0, 0x5F), 0x04);

  std::uint8_t thirteen[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  protocol_->WriteMemory(0x1000, thirteen, 13);
  std::uint8_t back[13] = {};
  protocol_->ReadMemory(0x1000, back, 13);
  EXPECT_EQ(Bytes(back, back + 13), Bytes(thirteen, thirteen + 13));

  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0], (Bytes{0x13, 0x00, 0x5A, 0x06}));
  EXPECT_EQ(requests[1], (Bytes{0x23, 0x00, 0x5F, 0x04}));
  EXPECT_EQ(requests[2].size(), 16u);
  EXPECT_EQ(requests[2][0], 0x2F);
}

TEST_F(MemoryAccess, OversizedAccessesAreRefusedWithoutSending) {
  std::uint8_t data[14] = {};
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x100, data, 14); }), "Frame size must be lower than 13");
  EXPECT_EQ(MessageOf([&] { protocol_->WriteMemory(0x100, data, 14); }), "Frame size must be lower than 13");
  EXPECT_TRUE(Requests().empty());
  protocol_->ReadMemory(0x100, data, 13);  // the largest access goes through
  EXPECT_EQ(Requests(), (std::vector<Bytes>{Bytes{0x13, 0x01, 0x00, 0x0D}}));
}

TEST_F(MemoryAccess, BadAnswersGiveTheirMessagesAndTheNextRequestWorks) {
  std::uint8_t data[2] = {0xEE, 0xEE};
  sim_->corruptAnswers(1);
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x5A, data, 2); }), "Bad MCU answer while reading.");
  EXPECT_EQ(data[0], 0xEE);  // untouched
  sim_->corruptAnswers(1);
  const std::uint8_t one = 1;
  EXPECT_EQ(MessageOf([&] { protocol_->WriteMemory(0x1000, &one, 1); }),
            "Bad MCU answer while writing. Data may have not been written...");
  protocol_->ReadMemory(0x5A, data, 2);  // the link works again

  // Extra bytes glued to an answer make it disagree with its length: time-out.
  sim_->addExtraBytes({0x55, 0x66});
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x5A, data, 2); }), "Time out...");
  protocol_->ReadMemory(0x5A, data, 2);
}

TEST_F(MemoryAccess, SilenceAndIncompleteAnswersEndInATimeOutWithinItsWindow) {
  std::uint8_t data[6];
  sim_->dropAnswers(1);
  auto start = steady_clock::now();
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x5A, data, 6); }), "Time out...");
  auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
  EXPECT_GE(elapsed, timeOutMs_);
  EXPECT_LE(elapsed, timeOutMs_ + 400);  // 100 ms of watcher resolution, the rest slack for sanitizers

  // The start of an answer, then nothing.
  ClearTranscript();
  sim_->dropAnswers(1);
  auto pending =
      std::async(std::launch::async, [&] { return MessageOf([&] { protocol_->ReadMemory(0x5A, data, 6); }); });
  ASSERT_TRUE(WaitForRequests(1));
  sim_->sendNoise({0x06, 0x01});
  EXPECT_EQ(pending.get(), "Time out...");
  protocol_->ReadMemory(0x5A, data, 6);
}

TEST_F(MemoryAccess, ShutDownEndsAWaitingAccessAtOnce) {
  sim_->dropAnswers(1);
  std::uint8_t data[6] = {0xEE};
  auto pending = std::async(std::launch::async, [&] { protocol_->ReadMemory(0x5A, data, 6); });
  ASSERT_TRUE(WaitForRequests(1));
  const auto start = steady_clock::now();
  protocol_->ShutDown();
  ASSERT_EQ(pending.wait_for(seconds(2)), std::future_status::ready);
  EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), timeOutMs_);
  EXPECT_THROW(pending.get(), EShutdown);
  EXPECT_EQ(data[0], 0xEE);                                       // nothing was taken for data
  EXPECT_THROW(protocol_->ReadMemory(0x5A, data, 6), EShutdown);  // later accesses send nothing
  EXPECT_EQ(Requests().size(), 1u);
}

TEST_F(MemoryAccess, AClosedSerialLinkIsReportedAtOnceNotAsATimeOut) {
  serial_->Close();
  std::uint8_t data[1];
  const auto start = steady_clock::now();
  EXPECT_EQ(MessageOf([&] { protocol_->ReadMemory(0x5A, data, 1); }), "Not allowed when comm port is closed");
  EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), timeOutMs_);
  serial_->Open();
  protocol_->ReadMemory(0x5A, data, 1);
}
