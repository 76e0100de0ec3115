#include "boardsim/OutputQueue.h"

#include <algorithm>

namespace boardsim {

void OutputQueue::append(const std::vector<uint8_t>& bytes, Clock::time_point notBefore, Clock::duration characterTime,
                         Clock::duration silence, uint64_t marker) {
  Clock::time_point t = std::max(notBefore, bytes_.empty() ? notBefore : lineFree_) + silence;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    t += characterTime;
    bytes_.push_back({bytes[i], t, i + 1 == bytes.size() ? marker : 0});
  }
  if (!bytes.empty()) lineFree_ = t;
}

std::optional<Clock::time_point> OutputQueue::nextDue() const {
  if (bytes_.empty()) return std::nullopt;
  return bytes_.front().due;
}

std::vector<uint8_t> OutputQueue::due(Clock::time_point now) const {
  std::vector<uint8_t> out;
  for (const Byte& b : bytes_) {
    if (b.due > now) break;
    out.push_back(b.value);
  }
  return out;
}

std::vector<uint64_t> OutputQueue::consume(std::size_t n) {
  std::vector<uint64_t> markers;
  for (std::size_t i = 0; i < n && !bytes_.empty(); ++i) {
    if (bytes_.front().marker) markers.push_back(bytes_.front().marker);
    bytes_.pop_front();
  }
  return markers;
}

}  // namespace boardsim
