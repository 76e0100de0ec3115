#include "boardsim/CandumpLog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace boardsim::candump {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

uint32_t parseHex(const std::string& text, const char* what) {
  uint32_t value = 0;
  for (char c : text) {
    int v = hexValue(c);
    if (v < 0) throw ParseError(std::string("bad hexadecimal digit '") + c + "' in " + what);
    value = value * 16 + uint32_t(v);
  }
  return value;
}

std::chrono::microseconds parseTimestamp(const std::string& field) {
  if (field.size() < 3 || field.front() != '(' || field.back() != ')')
    throw ParseError("expected a timestamp in parentheses, found '" + field + "'");
  std::string inner = field.substr(1, field.size() - 2);
  auto dot = inner.find('.');
  std::string secs = inner.substr(0, dot);
  std::string frac = dot == std::string::npos ? "" : inner.substr(dot + 1);
  auto digitsOnly = [](const std::string& s) {
    for (char c : s)
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
  };
  if (secs.empty() || secs.size() > 12 || !digitsOnly(secs) || frac.size() > 9 || !digitsOnly(frac) ||
      (dot != std::string::npos && frac.empty()))
    throw ParseError("bad timestamp '" + field + "'");
  frac.resize(6, '0');
  return std::chrono::seconds(std::stoll(secs)) + std::chrono::microseconds(std::stoll(frac));
}

void parseClassicPayload(const std::string& payload, CanFrame& frame) {
  if (!payload.empty() && (payload[0] == 'R' || payload[0] == 'r')) {
    frame.remote = true;
    if (payload.size() == 1) return;
    if (payload.size() != 2 || hexValue(payload[1]) < 0 || hexValue(payload[1]) > 8)
      throw ParseError("bad remote frame length '" + payload + "' (R or R0..R8)");
    frame.dlc = uint8_t(hexValue(payload[1]));
    return;
  }
  std::size_t i = 0, count = 0;
  while (i < payload.size() && payload[i] != '_') {
    if (payload[i] == '.') {
      ++i;
      continue;
    }
    if (i + 1 >= payload.size() || hexValue(payload[i]) < 0 || hexValue(payload[i + 1]) < 0)
      throw ParseError("bad data byte at '" + payload.substr(i) + "'");
    if (count == 8) throw ParseError("more than 8 data bytes");
    frame.data[count++] = uint8_t(hexValue(payload[i]) * 16 + hexValue(payload[i + 1]));
    i += 2;
  }
  frame.dlc = uint8_t(count);
  if (i < payload.size()) {  // "_X": length code above 8
    if (count != 8 || payload.size() != i + 2 || hexValue(payload[i + 1]) < 9)
      throw ParseError("bad length code suffix '" + payload.substr(i) + "'");
    frame.dlc = uint8_t(hexValue(payload[i + 1]));
  }
}

}  // namespace

Record parseLine(const std::string& rawLine) {
  std::string line = rawLine;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
  std::istringstream in(line);
  std::string stamp, interface, frameText, extra;
  if (!(in >> stamp >> interface >> frameText)) throw ParseError("expected '(seconds.micro) interface ID#DATA'");
  // Some writers add a direction mark (R or T) after the frame.
  if (in >> extra && extra != "R" && extra != "T") throw ParseError("unexpected text '" + extra + "' after the frame");
  if (in >> extra) throw ParseError("unexpected text '" + extra + "' after the frame");

  Record record;
  record.timestamp = parseTimestamp(stamp);
  record.interface = interface;
  auto hash = frameText.find('#');
  if (hash == std::string::npos) throw ParseError("frame '" + frameText + "' has no '#'");
  std::string idText = frameText.substr(0, hash);
  std::string payload = frameText.substr(hash + 1);
  if (idText.size() != 3 && idText.size() != 8)
    throw ParseError("identifier '" + idText + "' must have 3 (standard) or 8 (extended) hex digits");
  uint32_t id = parseHex(idText, "the identifier");
  CanFrame& frame = record.frame;
  if (idText.size() == 3) {
    if (id > 0x7FF) throw ParseError("standard identifier '" + idText + "' above 7FF");
  } else {
    frame.extended = true;
    if (id & 0x20000000u) record.replayable = false;  // error frame
    if (id & 0xC0000000u) throw ParseError("identifier '" + idText + "' has flag bits set");
    id &= 0x1FFFFFFFu;
  }
  frame.id = id;
  if (!payload.empty() && payload[0] == '#') {  // CAN FD: flags digit, then up to 64 bytes
    if (payload.size() < 2 || hexValue(payload[1]) < 0) throw ParseError("bad CAN FD flags in '" + frameText + "'");
    std::string data;
    for (char c : payload.substr(2))
      if (c != '.') data += c;
    if (data.size() % 2 || data.size() > 128) throw ParseError("bad CAN FD data in '" + frameText + "'");
    parseHex(data, "CAN FD data");
    record.replayable = false;
    return record;
  }
  parseClassicPayload(payload, frame);
  return record;
}

std::vector<Record> readFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw ParseError(path + ": cannot open the candump log");
  std::vector<Record> records;
  std::string line;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    try {
      records.push_back(parseLine(line));
    } catch (const ParseError& e) {
      throw ParseError(path + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  if (in.bad()) throw ParseError(path + ": read error");
  return records;
}

std::string formatFrame(const CanFrame& frame) {
  char buf[16];
  if (frame.extended)
    std::snprintf(buf, sizeof buf, "%08X#", unsigned(frame.id));
  else
    std::snprintf(buf, sizeof buf, "%03X#", unsigned(frame.id & 0x7FF));
  std::string text = buf;
  if (frame.remote) {
    text += 'R';
    if (frame.dlc > 0) text += char('0' + std::min<int>(frame.dlc, 8));
    return text;
  }
  for (std::size_t i = 0; i < frame.dataLength(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", frame.data[i]);
    text += buf;
  }
  if (frame.dlc > 8) {
    std::snprintf(buf, sizeof buf, "_%X", unsigned(frame.dlc));
    text += buf;
  }
  return text;
}

std::string formatLine(std::chrono::microseconds timestamp, const std::string& interface, const CanFrame& frame) {
  char stamp[40];
  long long us = timestamp.count();
  std::snprintf(stamp, sizeof stamp, "(%010lld.%06lld) ", us / 1000000, us % 1000000);
  return stamp + interface + " " + formatFrame(frame);
}

}  // namespace boardsim::candump
