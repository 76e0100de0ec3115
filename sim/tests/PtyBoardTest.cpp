// The simulator on the far end of a real pty, driven through raw reads and writes.
#include "MonitorFrames.h"
#include "PtyClient.h"
#include "SimTestSupport.h"

#include "boardsim/BoardSimulator.h"
#include "boardsim/TrafficGenerator.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>
#include <random>
#include <thread>

using namespace boardsim;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Kind = TranscriptEntry::Kind;

namespace {

// Writes a register the way the program's register thread does: PSR first for paged ones.
void writeRegister(PtyClient& c, uint16_t address, int page, uint8_t value) {
  if (address > 0x5F) {
    ASSERT_EQ(c.exchange(WriteRequest(0x5F, {uint8_t(page)}), 1), Bytes{0x00});
  }
  ASSERT_EQ(c.exchange(WriteRequest(address, {value}), 1), Bytes{0x00});
}

}  // namespace

TEST(PtyBoard, RawRequestsSeeTheRegisterSemantics) {
  BoardSimulator sim(instant());
  sim.start();
  PtyClient c(sim.slavePath());
  ASSERT_TRUE(c.isOpen());

  EXPECT_EQ(c.exchange(ReadRequest(0x5A, 6), 7), (Bytes{0x06, 0x00, 0x00, 0x01, 0x01, 0x2B, 0x00}));
  // Paging: page 2's IDHR is written through the window and read back.
  writeRegister(c, 0x60, 2, 0x99);
  EXPECT_EQ(c.exchange(ReadRequest(0x5F, 2), 3), (Bytes{0x02, 0x02, 0x99}));
  EXPECT_EQ(sim.peekRegister(2, 0x60), 0x99);
  // ICR bit 7 reads 0.
  writeRegister(c, 0x5B, 0, 0xFF);
  EXPECT_EQ(c.exchange(ReadRequest(0x5B, 1), 2), (Bytes{0x01, 0x7F}));

  // A frame arrives; the trace window's way of fetching it: ISR, clear the flag, read the buffer.
  CanFrame f;
  f.id = 0x123;
  f.dlc = 2;
  f.data = {0x12, 0xAB};
  EXPECT_EQ(sim.injectFrame(f).buffer, 1);
  EXPECT_EQ(c.exchange(ReadRequest(0x5A, 1), 2), (Bytes{0x01, 0x20}));
  writeRegister(c, 0x5A, 0, 0x00);
  writeRegister(c, 0x5F, 0, 0x00);
  EXPECT_EQ(c.exchange(ReadRequest(0x60, 2), 3), (Bytes{0x02, 0x24, 0x62}));  // last identifier
  writeRegister(c, 0x5F, 0, 0x01);
  EXPECT_EQ(c.exchange(ReadRequest(0x60, 10), 11), (Bytes{0x0A, 0x24, 0x62, 0x12, 0xAB, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(c.exchange(ReadRequest(0x5A, 1), 2), (Bytes{0x01, 0x00}));

  // Transmission from buffer 3, then the same without acknowledgement.
  sim.clearTransmittedFrames();
  for (bool ack : {true, false}) {
    sim.setAcknowledged(ack);
    writeRegister(c, 0x5C, 0, 0x00);
    writeRegister(c, 0x5A, 0, 0x00);
    writeRegister(c, 0x6F, 3, 0x00);
    writeRegister(c, 0x5C, 0, 0x01);
    writeRegister(c, 0x6F, 3, 0x01);
    writeRegister(c, 0x60, 3, 0x64);
    writeRegister(c, 0x61, 3, 0x21);
    writeRegister(c, 0x62, 3, 0x5A);
    writeRegister(c, 0x69, 3, 0x00);
    EXPECT_EQ(c.exchange(ReadRequest(0x5A, 1), 2), (Bytes{0x01, uint8_t(ack ? 0x10 : 0x02)}));
  }
  writeRegister(c, 0x5F, 0, 0x00);
  EXPECT_EQ(c.exchange(ReadRequest(0x6E, 2), 3), (Bytes{0x02, 0x08, 0x00}));  // TECR grew by 8
  auto sent = sim.transmittedFrames();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].frame.id, 0x321u);
  EXPECT_EQ(sent[0].frame.dlc, 1);
  EXPECT_EQ(sent[0].frame.data[0], 0x5A);
  EXPECT_TRUE(sent[0].acknowledged);
  EXPECT_FALSE(sent[1].acknowledged);
}

TEST(PtyBoard, TranscriptHoldsTheExactRequestSequence) {
  std::string tracePath = temporaryPath("trace");
  auto options = instant();
  options.tracePath = tracePath;
  BoardSimulator sim(options);
  sim.start();
  PtyClient c(sim.slavePath());
  c.exchange(ReadRequest(0x5A, 6), 7);
  c.exchange(WriteRequest(0x5F, {0x04}), 1);
  c.exchange(ReadRequest(0x60, 8), 9);
  ASSERT_TRUE(sim.transcript().waitForEntries(6, 5s));
  EXPECT_EQ(sim.transcript().requests(),
            (std::vector<Bytes>{ReadRequest(0x5A, 6), WriteRequest(0x5F, {0x04}), ReadRequest(0x60, 8)}));
  auto entries = sim.transcript().entries();
  EXPECT_EQ(entries[1].kind, Kind::Answer);
  EXPECT_EQ(entries[3].bytes, Bytes{0x00});
  EXPECT_LE(entries[0].time, entries[1].time);
  sim.transcript().clear();
  EXPECT_EQ(sim.transcript().size(), 0u);
  sim.stop();
  std::string trace = fileText(tracePath);
  EXPECT_NE(trace.find("PC>   13 00 5A 06"), std::string::npos) << trace;
  EXPECT_NE(trace.find("<MCU  00"), std::string::npos) << trace;
  std::remove(tracePath.c_str());
}

TEST(PtyBoard, RequestsArriveInPieces) {
  // However long this thread takes between two pieces, they make one request.
  auto options = instant();
  options.resyncGap = 60s;
  BoardSimulator sim(options);
  sim.start();
  PtyClient c(sim.slavePath());
  c.send({0x13});
  std::this_thread::sleep_for(5ms);
  c.send({0x00, 0x5A});
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(c.exchange({0x06}, 7), (Bytes{0x06, 0x00, 0x00, 0x01, 0x01, 0x2B, 0x00}));
}

TEST(PtyBoard, AnyGarbageLeavesTheNextGoodRequestAnswered) {
  BoardSimulator sim(instant());
  sim.start();
  PtyClient c(sim.slavePath());
  std::mt19937 random(99);
  std::size_t sentBytes = 0;
  for (int round = 0; round < 40; ++round) {
    Bytes garbage(1 + random() % 48);
    for (auto& b : garbage) b = uint8_t(random());
    if (random() % 2) garbage[random() % garbage.size()] = uint8_t(0x20 | (random() % 16));
    c.send(garbage);
    sentBytes += garbage.size();
    ASSERT_TRUE(sim.waitUntilSettled(sentBytes, 5s)) << round;
    c.drain();  // answers to requests that the garbage happened to contain

    uint16_t address = uint16_t(0x2000 + round);
    uint8_t n = uint8_t(1 + random() % 13);
    Bytes expected{n};
    auto memory = sim.readMemory(address, n);
    expected.insert(expected.end(), memory.begin(), memory.end());
    Bytes request = ReadRequest(address, n);
    ASSERT_EQ(c.exchange(request, n + 1u), expected) << round;
    sentBytes += request.size();
    ASSERT_TRUE(sim.waitUntilSettled(sentBytes, 5s));
    ASSERT_EQ(sim.transcript().requests().back(), request);
  }
}

// Each exchange takes at least the wire time of request and answer at the
// port's speed: 10 bit times per byte. (How close to it the exchanges come
// is measured by bench_boardsim_exchange.)
class LineTimingTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(LineTimingTest, ExchangesTakeAtLeastTheWireTime) {
  unsigned speed = GetParam();
  BoardSimulator sim;
  sim.start();
  PtyClient c(sim.slavePath(), speed);
  const auto wire = std::chrono::duration<double>((4 + 14) * 10.0 / speed);
  for (int i = 0; i < 5; ++i) {
    auto t0 = Clock::now();
    ASSERT_EQ(c.exchange(ReadRequest(0x1000, 13), 14).size(), 14u);
    std::chrono::duration<double> took = Clock::now() - t0;
    EXPECT_GE(took.count(), wire.count() * 0.99) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Speeds, LineTimingTest, ::testing::Values(4800u, 9600u, 19200u));

TEST(PtyBoard, DroppedAnswer) {
  BoardSimulator sim(instant());
  sim.start();
  PtyClient c(sim.slavePath());
  sim.dropAnswers(1);
  c.send(ReadRequest(0x5A, 6));
  ASSERT_TRUE(sim.transcript().waitForEntries(2, 5s));
  auto entries = sim.transcript().entries();
  EXPECT_EQ(entries[1].kind, Kind::Answer);
  EXPECT_TRUE(entries[1].bytes.empty());
  EXPECT_EQ(entries[1].note, "dropped");
  EXPECT_TRUE(c.receive(1, 100ms).empty());
  EXPECT_EQ(c.exchange(ReadRequest(0x5A, 1), 2), (Bytes{0x01, 0x00}));
}

TEST(PtyBoard, CorruptedExtraAndNoiseBytes) {
  BoardSimulator sim(instant());
  sim.start();
  PtyClient c(sim.slavePath());
  sim.corruptAnswers(1);
  EXPECT_EQ(c.exchange(ReadRequest(0x5A, 6), 7), (Bytes{0x16, 0x00, 0x00, 0x01, 0x01, 0x2B, 0x00}));
  sim.addExtraBytes({0x55, 0xAA});
  EXPECT_EQ(c.exchange(WriteRequest(0x100, {1}), 3), (Bytes{0x00, 0x55, 0xAA}));
  EXPECT_EQ(c.exchange(WriteRequest(0x100, {1}), 1), Bytes{0x00});
  sim.sendNoise({0xDE, 0xAD});
  EXPECT_EQ(c.receive(2, 5s), (Bytes{0xDE, 0xAD}));
  ASSERT_TRUE(sim.transcript().waitForCount(Kind::Noise, 1, 5s));
  EXPECT_TRUE(c.receive(1, 50ms).empty());
}

TEST(PtyBoard, AnswerSplitIntoDelayedPieces) {
  BoardSimulator sim(instant());
  sim.start();
  PtyClient c(sim.slavePath());
  sim.splitAnswers(3, 100ms);
  const auto sent = Clock::now();
  c.send(ReadRequest(0x5A, 6));
  EXPECT_EQ(c.receive(3, 5s), (Bytes{0x06, 0x00, 0x00}));
  EXPECT_EQ(c.receive(4, 5s), (Bytes{0x01, 0x01, 0x2B, 0x00}));
  EXPECT_GE(Clock::now() - sent, 200ms);  // the first piece at once, then two gaps of 100 ms
}

TEST(PtyBoard, VanishAndReappearThroughTheLink) {
  std::string link = temporaryPath("link");
  auto options = instant();
  options.linkPath = link;
  BoardSimulator sim(options);
  sim.start();
  std::string first = sim.slavePath();
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(first, target);

  PtyClient c(link);
  EXPECT_EQ(c.exchange(ReadRequest(0x5A, 1), 2).size(), 2u);
  sim.vanish();
  EXPECT_TRUE(sim.vanished());
  EXPECT_EQ(sim.slavePath(), "");
  pollfd p{c.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  uint8_t byte;
  EXPECT_LE(::read(c.fd(), &byte, 1), 0);  // hung up: 0 or EIO, never data
  EXPECT_NE(access(link.c_str(), F_OK), 0) << "the link goes with the device";

  std::string second = sim.reappear();
  EXPECT_FALSE(sim.vanished());
  ASSERT_FALSE(second.empty());
  PtyClient again(link);
  ASSERT_TRUE(again.isOpen());
  EXPECT_EQ(again.exchange(ReadRequest(0x5A, 1), 2), (Bytes{0x01, 0x00}));
  sim.stop();
  EXPECT_NE(access(link.c_str(), F_OK), 0) << "stop removes the link";
}

TEST(PtyBoard, RefusesToReplaceAFileWithTheLink) {
  std::string path = temporaryPath("file");
  std::ofstream(path) << "keep me";
  auto options = instant();
  options.linkPath = path;
  BoardSimulator sim(options);
  try {
    sim.start();
    FAIL() << "started";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("not a symbolic link"), std::string::npos) << e.what();
  }
  EXPECT_EQ(fileText(path), "keep me");
  std::remove(path.c_str());
}

TEST(PtyBoard, ClientsComeAndGo) {
  BoardSimulator sim(instant());
  sim.start();
  for (int i = 0; i < 3; ++i) {
    PtyClient c(sim.slavePath());
    EXPECT_EQ(c.exchange(ReadRequest(0x5C, 1), 2), (Bytes{0x01, 0x01})) << i;
  }
  // With no client at all the simulator keeps serving the next one.
  EXPECT_TRUE(sim.running());
  PtyClient last(sim.slavePath());
  EXPECT_EQ(last.exchange(ReadRequest(0x5C, 1), 2), (Bytes{0x01, 0x01}));
}

TEST(PtyBoard, StopCompletesWhileTheClientReadsNothing) {
  BoardSimulator sim(instant());
  sim.start();
  PtyClient c(sim.slavePath());
  sim.sendNoise(Bytes(200000, 0x55));  // more than the pty holds
  c.send(ReadRequest(0x5A, 6));
  sim.stop();
  EXPECT_FALSE(sim.running());
}

TEST(PtyBoard, TrafficFillsTheBuffersAndTransmissionsAreLogged) {
  std::string txLog = temporaryPath("tx.log");
  std::mutex m;
  std::condition_variable cv;
  std::vector<BoardSimulator::BusEvent> events;
  auto options = instant();
  options.traffic = std::make_shared<TrafficGenerator>(TrafficGenerator::Settings{{0x123, 0x124}, 500.0, 2});
  options.txLogPath = txLog;
  options.onBusEvent = [&](const BoardSimulator::BusEvent& e) {
    std::lock_guard lock(m);
    events.push_back(e);
    cv.notify_all();
  };
  BoardSimulator sim(options);
  sim.start();
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return events.size() >= 4; }));
    EXPECT_EQ(events[0].reception.buffer, 1);
    EXPECT_EQ(events[2].reception.buffer, 3);
    EXPECT_EQ(events[3].reception.outcome, CanCell::Reception::Overrun);
  }
  PtyClient c(sim.slavePath());
  EXPECT_EQ(c.exchange(ReadRequest(0x5A, 1), 2), (Bytes{0x01, 0xE4}));  // RXIF1-3 and ORIF
  writeRegister(c, 0x6F, 1, 0x01);
  writeRegister(c, 0x61, 1, 0x00);
  writeRegister(c, 0x69, 1, 0x00);
  sim.stop();
  EXPECT_NE(fileText(txLog).find(" sim0 120#"), std::string::npos) << fileText(txLog);
  std::remove(txLog.c_str());
}
