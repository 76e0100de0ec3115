#include "boardsim/RequestReceiver.h"

namespace boardsim {

void RequestReceiver::feed(uint8_t byte, Clock::time_point t, std::vector<Event>& out) {
  buffer_.push_back(byte);
  lastByte_ = t;
  process(false, out);
}

void RequestReceiver::expire(Clock::time_point now, std::vector<Event>& out) {
  if (idle() || now < lastByte_ + gap_) return;
  process(true, out);
  flushDiscard(out);
}

std::optional<Clock::time_point> RequestReceiver::deadline() const {
  if (idle()) return std::nullopt;
  return lastByte_ + gap_;
}

void RequestReceiver::reset() {
  buffer_.clear();
  pending_ = {};
}

void RequestReceiver::process(bool lineQuiet, std::vector<Event>& out) {
  while (!buffer_.empty()) {
    if (!protocol::isRequestHeader(buffer_[0])) {
      discardFront("not a request header");
      continue;
    }
    std::size_t need = protocol::frameLength(buffer_[0]);
    if (buffer_.size() < need) {
      if (!lineQuiet) return;
      discardFront("request incomplete when the line fell quiet");
      continue;
    }
    std::vector<uint8_t> frame(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(need));
    std::string why;
    if (auto request = decodeRequest(frame, &why)) {
      flushDiscard(out);
      buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(need));
      out.emplace_back(std::move(*request));
    } else {
      discardFront(why);
    }
  }
}

void RequestReceiver::discardFront(const std::string& reason) {
  if (pending_.bytes.empty()) pending_.reason = reason;
  pending_.bytes.push_back(buffer_.front());
  buffer_.erase(buffer_.begin());
}

void RequestReceiver::flushDiscard(std::vector<Event>& out) {
  if (pending_.bytes.empty()) return;
  out.emplace_back(std::move(pending_));
  pending_ = {};
}

}  // namespace boardsim
