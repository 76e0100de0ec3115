#include "boardsim/CandumpLog.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <random>

using namespace boardsim;
using namespace std::chrono_literals;

TEST(Candump, ParsesTheFrameForms) {
  auto r = candump::parseLine("(1700000000.123456) can0 123#11223344");
  EXPECT_EQ(r.timestamp, 1700000000s + 123456us);
  EXPECT_EQ(r.interface, "can0");
  EXPECT_EQ(r.frame.id, 0x123u);
  EXPECT_EQ(r.frame.dlc, 4);
  EXPECT_EQ(r.frame.data[3], 0x44);
  EXPECT_TRUE(r.replayable);

  r = candump::parseLine("(1.5) vcan0 7FF#R3\r");
  EXPECT_TRUE(r.frame.remote);
  EXPECT_EQ(r.frame.dlc, 3);
  EXPECT_EQ(r.timestamp, 1s + 500ms);

  r = candump::parseLine("(2.000000) can0 1ABCDEF0#11.22");
  EXPECT_TRUE(r.frame.extended);
  EXPECT_EQ(r.frame.id, 0x1ABCDEF0u);
  EXPECT_EQ(r.frame.dlc, 2);

  r = candump::parseLine("(2.000000) can0 123#");
  EXPECT_EQ(r.frame.dlc, 0);
  r = candump::parseLine("(2.000000) can0 123#0102030405060708_C T");
  EXPECT_EQ(r.frame.dlc, 0xC);

  EXPECT_FALSE(candump::parseLine("(2.0) can0 123##1AABB").replayable);     // CAN FD
  EXPECT_FALSE(candump::parseLine("(2.0) can0 20000004#0000").replayable);  // error frame
}

TEST(Candump, RejectsMalformedLines) {
  for (const char* bad : {"123#11", "(x) can0 123#11", "(1.0) can0", "(1.0) can0 1234#11", "(1.0) can0 800#11",
                          "(1.0) can0 123#1", "(1.0) can0 123#112233445566778899", "(1.0) can0 123#R9",
                          "(1.0) can0 12G#11", "(1.0) can0 123#11 extra", "(1.0) can0 123-11", "(1.) can0 123#11"}) {
    EXPECT_THROW(candump::parseLine(bad), candump::ParseError) << bad;
  }
}

TEST(Candump, MalformedFileStopsWithTheLineNumber) {
  char path[] = "/tmp/boardsim-candump-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    std::ofstream out(path);
    out << "(1.000000) can0 123#11\n\n(1.100000) can0 124#22\n(1.2) can0 125#2\n";
  }
  try {
    candump::readFile(path);
    FAIL() << "no error";
  } catch (const candump::ParseError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(std::string(path) + ":4: ", 0), 0u) << e.what();
  }
  {
    std::ofstream out(path);
    out << "(1.000000) can0 123#11\r\n\r\n(1.100000) can0 124#22\r\n";
  }
  EXPECT_EQ(candump::readFile(path).size(), 2u);
  std::remove(path);
  EXPECT_THROW(candump::readFile("/nonexistent/dir/log"), candump::ParseError);
}

TEST(Candump, FormatRoundTrips) {
  for (const char* text : {"123#1122334455667788", "7FF#R", "000#R8", "1ABCDEF0#00", "001#"}) {
    auto record = candump::parseLine(std::string("(1.0) can0 ") + text);
    EXPECT_EQ(candump::formatFrame(record.frame), text);
  }
  CanFrame f;
  f.id = 0x123;
  f.dlc = 2;
  f.data[0] = 0xAB;
  EXPECT_EQ(candump::formatLine(1700000000s + 5us, "sim0", f), "(1700000000.000005) sim0 123#AB00");
}

// Arbitrary text either parses or raises ParseError; nothing else happens.
TEST(Candump, BoundedRandomLinesNeverCrash) {
  std::mt19937 random(7);
  const std::string alphabet = "()0123456789.abcdefABCDEFRr#_ \t.xT";
  for (int i = 0; i < 20000; ++i) {
    std::string line = random() % 2 ? "(1.0) can0 " : "";
    for (int k = int(random() % 30); k > 0; --k) line += alphabet[random() % alphabet.size()];
    try {
      auto r = candump::parseLine(line);
      EXPECT_LE(r.frame.dataLength(), 8u);
    } catch (const candump::ParseError&) {
    }
  }
}
