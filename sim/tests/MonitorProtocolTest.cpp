#include "MonitorFrames.h"
#include "boardsim/MonitorRequest.h"
#include "boardsim/RequestReceiver.h"

#include <gtest/gtest.h>

#include <random>

using namespace boardsim;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace {

// Feeds bytes at time t and returns the requests recognised (as raw frames)
// and the discarded bytes.
struct Fed {
  std::vector<Bytes> requests;
  std::vector<Bytes> discarded;
};

void collect(std::vector<RequestReceiver::Event>& events, Fed& fed) {
  for (auto& e : events) {
    if (auto* r = std::get_if<MonitorRequest>(&e))
      fed.requests.push_back(r->raw);
    else
      fed.discarded.push_back(std::get<RequestReceiver::Discard>(e).bytes);
  }
  events.clear();
}

Fed feed(RequestReceiver& rx, const Bytes& bytes, Clock::time_point t) {
  Fed fed;
  std::vector<RequestReceiver::Event> events;
  for (uint8_t b : bytes) rx.feed(b, t, events);
  collect(events, fed);
  return fed;
}

Fed expire(RequestReceiver& rx, Clock::time_point t) {
  Fed fed;
  std::vector<RequestReceiver::Event> events;
  rx.expire(t, events);
  collect(events, fed);
  return fed;
}

}  // namespace

TEST(MonitorProtocol, ReadsAndWritesOfOneToThirteenBytes) {
  TargetMemory memory;
  for (uint8_t n = 1; n <= 13; ++n) {
    Bytes data;
    for (uint8_t k = 0; k < n; ++k) data.push_back(uint8_t(n * 16 + k));
    uint16_t address = uint16_t(0x1000 + n * 0x20);

    Bytes write = WriteRequest(address, data);
    EXPECT_EQ(write.size(), n + 3u);
    auto w = decodeRequest(write);
    ASSERT_TRUE(w) << int(n);
    EXPECT_EQ(serveRequest(*w, memory), Bytes{0x00});

    auto r = decodeRequest(ReadRequest(address, n));
    ASSERT_TRUE(r);
    Bytes expected{n};
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(serveRequest(*r, memory), expected) << int(n);
  }
  // The longest write is a 16-byte frame with header 0x2F.
  EXPECT_EQ(WriteRequest(0, Bytes(13, 0))[0], 0x2F);
}

TEST(MonitorProtocol, ReadsTheCanRegistersAndWritesThroughTheirSemantics) {
  TargetMemory memory;
  auto answer = serveRequest(*decodeRequest({0x13, 0x00, 0x5A, 0x06}), memory);
  EXPECT_EQ(answer, (Bytes{0x06, 0x00, 0x00, 0x01, 0x01, 0x2B, 0x00}));
  // One write frame that selects page 3 and then fills IDHR on it.
  serveRequest(*decodeRequest(WriteRequest(0x5F, {0x03, 0x99})), memory);
  EXPECT_EQ(memory.cell().peek(3, 0x60), 0x99);
  EXPECT_EQ(memory.cell().peek(1, 0x60), 0x00);
}

TEST(MonitorProtocol, RequestsTheMonitorCannotServe) {
  std::string why;
  EXPECT_FALSE(decodeRequest({0x13, 0x00, 0x5A, 0x00}, &why)) << "read of 0 bytes";
  EXPECT_FALSE(decodeRequest({0x13, 0x00, 0x5A, 0x10}, &why)) << "answer would not fit a frame";
  EXPECT_TRUE(decodeRequest({0x13, 0x00, 0x5A, 0x0F}));
  EXPECT_FALSE(decodeRequest({0x13, 0x00, 0x5A}, &why)) << "short";
  EXPECT_FALSE(decodeRequest({0x14, 0x00, 0x5A, 0x01, 0x00}, &why)) << "read with length field 4";
  EXPECT_FALSE(decodeRequest({0x22, 0x00, 0x5A}, &why)) << "write of nothing";
  EXPECT_FALSE(decodeRequest({0x03, 0x00, 0x5A, 0x01}, &why)) << "answer frame";
  EXPECT_FALSE(decodeRequest({0x33, 0x00, 0x5A, 0x01}, &why)) << "unknown command";
  EXPECT_FALSE(why.empty());
}

TEST(MonitorProtocol, AddressesWrapAtTheTopOfMemory) {
  TargetMemory memory;
  serveRequest(*decodeRequest(WriteRequest(0xFFFF, {0xAA, 0xBB})), memory);
  EXPECT_EQ(memory.read(0xFFFF), 0xAA);
  EXPECT_EQ(memory.read(0x0000), 0xBB);
  EXPECT_EQ(serveRequest(*decodeRequest(ReadRequest(0xFFFF, 2)), memory), (Bytes{0x02, 0xAA, 0xBB}));
}

TEST(RequestReceiver, RequestsInPiecesAndBackToBack) {
  RequestReceiver rx(50ms);
  auto t = Clock::now();
  EXPECT_TRUE(feed(rx, {0x13, 0x00}, t).requests.empty());
  EXPECT_FALSE(rx.idle());
  auto fed = feed(rx, {0x5A, 0x06, 0x21 + 2, 0x00, 0x5F}, t + 10ms);
  EXPECT_EQ(fed.requests, (std::vector<Bytes>{{0x13, 0x00, 0x5A, 0x06}}));
  fed = feed(rx, {0x04}, t + 20ms);
  EXPECT_EQ(fed.requests, (std::vector<Bytes>{{0x23, 0x00, 0x5F, 0x04}}));
  EXPECT_TRUE(rx.idle());
  EXPECT_FALSE(rx.deadline());
}

TEST(RequestReceiver, GarbageBeforeAGoodRequestInTheSameBurst) {
  RequestReceiver rx(50ms);
  auto t = Clock::now();
  // Stray bytes that cannot start a request are dropped at once.
  auto fed = feed(rx, {0x00, 0xFF, 0x55, 0x13, 0x00, 0x5A, 0x06}, t);
  EXPECT_EQ(fed.requests, (std::vector<Bytes>{{0x13, 0x00, 0x5A, 0x06}}));
  EXPECT_EQ(fed.discarded, (std::vector<Bytes>{{0x00, 0xFF, 0x55}}));

  // A read of 0 bytes is not served; the bytes after its header are looked at again.
  fed = feed(rx, {0x13, 0x00, 0x13, 0x00, 0x5A, 0x06}, t);
  EXPECT_EQ(fed.discarded, (std::vector<Bytes>{{0x13, 0x00}}));
  EXPECT_EQ(fed.requests, (std::vector<Bytes>{{0x13, 0x00, 0x5A, 0x06}}));
}

TEST(RequestReceiver, IncompleteRequestIsDroppedWhenTheLineFallsQuiet) {
  RequestReceiver rx(50ms);
  auto t = Clock::now();
  // A write header announcing 16 bytes swallows the read behind it ...
  EXPECT_TRUE(feed(rx, {0x2F, 0x13, 0x00, 0x5A, 0x06}, t).requests.empty());
  ASSERT_TRUE(rx.deadline());
  EXPECT_EQ(*rx.deadline(), t + 50ms);
  EXPECT_TRUE(expire(rx, t + 49ms).requests.empty());
  // ... until the line has been quiet for the gap: then the read is found.
  auto fed = expire(rx, t + 50ms);
  EXPECT_EQ(fed.requests, (std::vector<Bytes>{{0x13, 0x00, 0x5A, 0x06}}));
  EXPECT_EQ(fed.discarded, (std::vector<Bytes>{{0x2F}}));
  EXPECT_TRUE(rx.idle());
}

// Whatever came before, a good request after one quiet gap is served exactly.
TEST(RequestReceiver, BoundedRandomGarbageNeverHidesTheNextGoodRequest) {
  std::mt19937 random(12345);
  RequestReceiver rx(50ms);
  auto t = Clock::now();
  for (int round = 0; round < 20000; ++round) {
    Bytes garbage(random() % 40);
    for (auto& b : garbage) b = uint8_t(random());
    // Bias towards header-like bytes so partial requests are common.
    if (!garbage.empty() && random() % 2) garbage[random() % garbage.size()] = uint8_t(0x20 | (random() % 16));
    feed(rx, garbage, t);
    t += 1ms;
    expire(rx, t + 50ms);
    ASSERT_TRUE(rx.idle()) << round;
    t += 60ms;
    Bytes good = random() % 2 ? ReadRequest(uint16_t(random()), uint8_t(1 + random() % 13))
                              : WriteRequest(uint16_t(random()), Bytes(1 + random() % 13, uint8_t(random())));
    auto fed = feed(rx, good, t);
    ASSERT_EQ(fed.requests, std::vector<Bytes>{good}) << round;
    ASSERT_TRUE(fed.discarded.empty());
  }
}
