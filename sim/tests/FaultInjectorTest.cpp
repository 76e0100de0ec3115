// Random faults against the simulator on a real pty: what a client sees, and
// what the injector counts.
#include "MonitorFrames.h"
#include "PtyClient.h"
#include "SimTestSupport.h"

#include "boardsim/BoardSimulator.h"
#include "boardsim/FaultInjector.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <map>

using namespace boardsim;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Kind = TranscriptEntry::Kind;

namespace {

constexpr uint16_t kPattern = 0x1000;  // 15 known bytes the client reads

FaultSchedule::Settings only(std::initializer_list<FaultKind> kinds, uint64_t limit, Clock::duration outage = 2ms) {
  FaultSchedule::Settings s;
  s.seed = 1234;
  s.meanInterval = 1ms;
  s.kinds.reset();
  for (FaultKind k : kinds) s.kinds.set(std::size_t(k));
  s.shortestOutage = outage / 2;
  s.longestOutage = outage;
  s.limit = limit;
  return s;
}

bool finished(const FaultInjector::Status& s) {
  return s.finished;
}

bool hungUp(const PtyClient& c) {
  pollfd p{c.fd(), POLLIN, 0};
  return poll(&p, 1, 5000) == 1 && (p.revents & POLLHUP);
}

// What the client made of one answer, against the answer it should have had.
enum class Seen { Clean, Dropped, Corrupted, Extra, Split, Wrong };

Seen classify(const Bytes& got, const Bytes& expected, const std::string& note) {
  if (got.empty()) return Seen::Dropped;
  if (got.size() > expected.size() && std::equal(expected.begin(), expected.end(), got.begin())) return Seen::Extra;
  if (got.size() != expected.size() || !std::equal(got.begin() + 1, got.end(), expected.begin() + 1))
    return Seen::Wrong;
  if (got[0] == (expected[0] | 0x10)) return Seen::Corrupted;
  if (got[0] != expected[0]) return Seen::Wrong;
  // Whole and right: the pieces and the silence between them are the line's business.
  return note.find("split into") != std::string::npos ? Seen::Split : Seen::Clean;
}

// Sends read requests, one at a time, until the injector has finished (at
// most `rounds`), and sorts what came back.
std::map<Seen, int> pollUntilFinished(BoardSimulator& sim, PtyClient& c, const FaultInjector& chaos, int rounds) {
  std::map<Seen, int> seen;
  std::size_t sent = 0;
  for (int i = 0; i < rounds && !chaos.status().finished; ++i) {
    uint8_t n = uint8_t(4 + i % 10);  // long enough to be cut into pieces of up to 3 bytes
    uint16_t address = uint16_t(kPattern + i % 3);
    Bytes expected{n};
    auto memory = sim.readMemory(address, n);
    expected.insert(expected.end(), memory.begin(), memory.end());
    c.send(ReadRequest(address, n));
    sent += 4;
    EXPECT_TRUE(sim.waitUntilSettled(sent, 5s)) << i;
    // The answer (or its absence) is the last entry once the line has settled.
    auto entries = sim.transcript().entries();
    EXPECT_EQ(entries.back().kind, Kind::Answer);
    const Bytes& wire = entries.back().bytes;
    Bytes got = c.receive(wire.size(), 5s);
    EXPECT_EQ(got, wire) << i;
    ++seen[classify(got, expected, entries.back().note)];
  }
  return seen;
}

void transmitFromBuffer1(BoardSimulator& sim) {
  sim.writeMemory(0x5F, {1});     // PSR: buffer 1
  sim.writeMemory(0x6F, {0x01});  // BCSR: transmit
  sim.writeMemory(0x60, {0x24});
  sim.writeMemory(0x61, {0x60});  // identifier 0x123, no data
  sim.writeMemory(0x69, {0x00});  // Data7 sends it
}

// The parameter is the kind's name, as on the command line.
class AnswerFaultTest : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(AnswerFaultTest, TheClientSeesEachCountedFault) {
  const FaultKind kind = *faultKindNamed(GetParam());
  const Seen expected = kind == FaultKind::Drop      ? Seen::Dropped
                        : kind == FaultKind::Corrupt ? Seen::Corrupted
                        : kind == FaultKind::Extra   ? Seen::Extra
                                                     : Seen::Split;
  BoardSimulator sim(instant());
  sim.writeMemory(kPattern, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
  sim.start();
  PtyClient c(sim.slavePath());
  FaultInjector chaos(only({kind}, 3));
  chaos.start(sim);

  auto seen = pollUntilFinished(sim, c, chaos, 5000);
  ASSERT_TRUE(chaos.waitUntil(finished, 5s));
  auto status = chaos.status();
  EXPECT_TRUE(status.failure.empty()) << status.failure;
  EXPECT_EQ(seen[expected], 3);
  EXPECT_EQ(seen[Seen::Wrong], 0);
  EXPECT_EQ(status.counts[kind], 3u);
  EXPECT_EQ(status.counts.total(), 3u);
  chaos.stop();
  // Nothing is left armed: the next answer is whole and right.
  EXPECT_EQ(c.exchange(ReadRequest(kPattern, 2), 3), (Bytes{0x02, 0x11, 0x22}));
}

INSTANTIATE_TEST_SUITE_P(Kinds, AnswerFaultTest, ::testing::Values("drop", "corrupt", "extra", "split"),
                         [](const auto& info) { return info.param; });

TEST(FaultInjector, NoiseReachesTheClientAndTheReportFile) {
  const std::string report = temporaryPath("chaos.txt");
  BoardSimulator sim(instant());
  sim.start();
  PtyClient c(sim.slavePath());
  FaultInjector::Options options;
  options.reportPath = report;
  std::vector<ScheduledFault> heard;  // onFault runs on the injector thread, read after it ended
  options.onFault = [&heard](const ScheduledFault& f) { heard.push_back(f); };
  FaultInjector chaos(only({FaultKind::Noise}, 3), options);
  chaos.start(sim);
  ASSERT_TRUE(chaos.waitUntil(finished, 5s));
  ASSERT_TRUE(sim.transcript().waitForCount(Kind::Noise, 3, 5s));

  Bytes noise;
  for (const auto& f : heard) noise.insert(noise.end(), f.bytes.begin(), f.bytes.end());
  EXPECT_EQ(heard.size(), 3u);
  EXPECT_EQ(c.receive(noise.size(), 5s), noise);
  EXPECT_EQ(chaos.status().counts[FaultKind::Noise], 3u);
  // Read while the injector object still exists: the file holds the line as it stands.
  EXPECT_EQ(fileText(report), "chaos: seed=1234 drop=0 corrupt=0 extra=0 split=0 noise=3 vanish=0 noack=0 total=3\n");
  chaos.stop();
  EXPECT_EQ(fileText(report), chaos.reportLine() + "\n");
  EXPECT_NE(access((report + ".tmp").c_str(), F_OK), 0);
  std::remove(report.c_str());
}

TEST(FaultInjector, TheBoardVanishesAndComesBack) {
  BoardSimulator sim(instant());
  sim.start();
  PtyClient first(sim.slavePath());
  FaultInjector chaos(only({FaultKind::Vanish}, 2));
  chaos.start(sim);
  EXPECT_TRUE(hungUp(first));
  ASSERT_TRUE(chaos.waitUntil(finished, 5s));
  EXPECT_EQ(chaos.status().counts[FaultKind::Vanish], 2u);
  EXPECT_FALSE(sim.vanished());
  PtyClient again(sim.slavePath());
  EXPECT_EQ(again.exchange(ReadRequest(0x5C, 1), 2), (Bytes{0x01, 0x01}));
}

// Stop cuts every wait short and leaves the board as it was before chaos.
TEST(FaultInjector, StopEndsAVanishEarly) {
  BoardSimulator sim(instant());
  sim.start();
  PtyClient first(sim.slavePath());
  FaultInjector chaos(only({FaultKind::Vanish}, 0, 1h));
  chaos.start(sim);
  ASSERT_TRUE(chaos.waitUntil([](const auto& s) { return s.active == FaultKind::Vanish; }, 5s));
  EXPECT_TRUE(sim.vanished());
  EXPECT_TRUE(hungUp(first));
  chaos.stop();
  EXPECT_TRUE(chaos.status().finished);
  EXPECT_FALSE(chaos.status().active);
  EXPECT_EQ(chaos.status().counts.total(), 1u);
  ASSERT_FALSE(sim.vanished());
  PtyClient again(sim.slavePath());
  EXPECT_EQ(again.exchange(ReadRequest(0x5C, 1), 2), (Bytes{0x01, 0x01}));
}

TEST(FaultInjector, TransmissionsFailWhileAcknowledgementIsOff) {
  BoardSimulator sim(instant());
  sim.start();
  FaultInjector chaos(only({FaultKind::NoAck}, 0, 1h));
  chaos.start(sim);
  ASSERT_TRUE(chaos.waitUntil([](const auto& s) { return s.active == FaultKind::NoAck; }, 5s));
  transmitFromBuffer1(sim);
  chaos.stop();
  transmitFromBuffer1(sim);
  auto sent = sim.transmittedFrames();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_FALSE(sent[0].acknowledged);
  EXPECT_TRUE(sent[1].acknowledged);
  EXPECT_EQ(chaos.status().counts[FaultKind::NoAck], 1u);
}

TEST(FaultInjector, StopWithdrawsAnAnswerFaultThatFoundNoRequest) {
  BoardSimulator sim(instant());
  sim.start();
  FaultInjector chaos(only({FaultKind::Drop}, 0));
  chaos.start(sim);
  ASSERT_TRUE(chaos.waitUntil([](const auto& s) { return s.active == FaultKind::Drop; }, 5s));
  chaos.stop();
  EXPECT_EQ(sim.armedFaults().drop, 0);
  EXPECT_EQ(chaos.status().counts.total(), 0u);
  PtyClient c(sim.slavePath());
  EXPECT_EQ(c.exchange(ReadRequest(0x5C, 1), 2), (Bytes{0x01, 0x01}));

  // And between two faults: stop does not wait out the interval.
  auto slow = only({FaultKind::Drop}, 0);
  slow.meanInterval = 1h;
  FaultInjector idle(slow);
  idle.start(sim);
  idle.stop();
  EXPECT_TRUE(idle.status().finished);
  EXPECT_EQ(idle.status().counts.total(), 0u);
}

// Every kind but vanish (which ends the client's line) at once: the bytes on
// the line are the transcript's, and the counts are what the transcript shows.
TEST(FaultInjector, MixedFaultsCountWhatTheLineCarried) {
  BoardSimulator sim(instant());
  sim.start();
  PtyClient c(sim.slavePath());
  FaultInjector chaos(only(
      {FaultKind::Drop, FaultKind::Corrupt, FaultKind::Extra, FaultKind::Split, FaultKind::Noise, FaultKind::NoAck},
      40));
  chaos.start(sim);
  Bytes got;
  std::size_t sent = 0;
  for (int i = 0; i < 5000 && !chaos.status().finished; ++i) {
    c.send(ReadRequest(uint16_t(0x2000 + i), uint8_t(4 + i % 10)));
    sent += 4;
    ASSERT_TRUE(sim.waitUntilSettled(sent, 5s)) << i;
    Bytes more = c.drain();
    got.insert(got.end(), more.begin(), more.end());
  }
  ASSERT_TRUE(chaos.waitUntil(finished, 5s));
  ASSERT_TRUE(sim.waitUntilSettled(sent, 5s));
  chaos.stop();

  Bytes line;
  FaultInjector::Counts onLine;
  auto has = [](const TranscriptEntry& e, const char* text) { return e.note.find(text) != std::string::npos; };
  for (const auto& e : sim.transcript().entries()) {
    if (e.kind == Kind::Noise) ++onLine.byKind[std::size_t(FaultKind::Noise)];
    if (e.kind == Kind::Answer && has(e, "dropped")) ++onLine.byKind[std::size_t(FaultKind::Drop)];
    if (e.kind == Kind::Answer && has(e, "corrupted")) ++onLine.byKind[std::size_t(FaultKind::Corrupt)];
    if (e.kind == Kind::Answer && has(e, "extra bytes")) ++onLine.byKind[std::size_t(FaultKind::Extra)];
    if (e.kind == Kind::Answer && has(e, "split into")) ++onLine.byKind[std::size_t(FaultKind::Split)];
    if (e.kind == Kind::Answer || e.kind == Kind::Noise) line.insert(line.end(), e.bytes.begin(), e.bytes.end());
  }
  Bytes rest = c.receive(line.size() - std::min(line.size(), got.size()), 5s);
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, line);

  auto counts = chaos.status().counts;
  EXPECT_EQ(counts.total(), 40u);
  for (auto kind : {FaultKind::Drop, FaultKind::Corrupt, FaultKind::Extra, FaultKind::Split, FaultKind::Noise})
    EXPECT_EQ(counts[kind], onLine[kind]) << faultKindName(kind);
  EXPECT_EQ(counts[FaultKind::Vanish], 0u);
  EXPECT_GT(counts[FaultKind::NoAck], 0u);
}
