#pragma once

#include "boardsim/CanFrame.h"

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace boardsim {

// The candump log format, one frame a line:
//   (1700000000.123456) can0 123#11223344
//   (1700000000.223456) can0 12345678#R        extended identifier, remote
//   (1700000000.323456) can0 7FF#R3            remote with length code 3
// Data bytes are hex pairs, optionally separated by '.'; at most 8 of them;
// "_X" after 8 bytes gives a length code of 9..F. CAN FD lines ("##") and error
// frames (identifier flag 0x20000000) are read but not replayed: the cell is a
// classic CAN cell and such frames carry nothing it could receive.
namespace candump {

struct Record {
  std::chrono::microseconds timestamp{};
  std::string interface;
  CanFrame frame;
  bool replayable = true;  // false for CAN FD and error frames
};

struct ParseError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Throws ParseError with a message saying what is wrong (without a line number).
Record parseLine(const std::string& line);
// Reads a whole log. Blank lines are skipped. Throws ParseError whose message
// names the file and line: "<path>:<line>: <what is wrong>".
std::vector<Record> readFile(const std::string& path);

std::string formatFrame(const CanFrame& frame);
std::string formatLine(std::chrono::microseconds timestamp, const std::string& interface, const CanFrame& frame);

}  // namespace candump
}  // namespace boardsim
