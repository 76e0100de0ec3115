#include "boardsim/Transcript.h"

#include <algorithm>
#include <cstdio>

namespace boardsim {

std::string hexBytes(const std::vector<uint8_t>& bytes) {
  std::string text;
  char buf[4];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    if (!text.empty()) text += ' ';
    text += buf;
  }
  return text;
}

void Transcript::add(TranscriptEntry entry) {
  std::lock_guard lock(mutex_);
  entries_.push_back(std::move(entry));
  if (sink_) sink_(entries_.back());
  changed_.notify_all();
}

std::vector<TranscriptEntry> Transcript::entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

std::vector<std::vector<uint8_t>> Transcript::requests() const {
  std::lock_guard lock(mutex_);
  std::vector<std::vector<uint8_t>> out;
  for (const auto& e : entries_)
    if (e.kind == TranscriptEntry::Kind::Request) out.push_back(e.bytes);
  return out;
}

std::size_t Transcript::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void Transcript::clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

bool Transcript::waitForEntries(std::size_t n, Clock::duration timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return entries_.size() >= n; });
}

std::size_t Transcript::countLocked(TranscriptEntry::Kind kind) const {
  return std::size_t(std::count_if(entries_.begin(), entries_.end(), [kind](const auto& e) { return e.kind == kind; }));
}

bool Transcript::waitForCount(TranscriptEntry::Kind kind, std::size_t n, Clock::duration timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return countLocked(kind) >= n; });
}

void Transcript::setSink(Sink sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

std::string Transcript::format(const TranscriptEntry& entry, Clock::time_point origin) {
  static const char* const direction[] = {"PC>", "<MCU", "drop", "noise"};
  double seconds = std::chrono::duration<double>(entry.time - origin).count();
  char head[48];
  std::snprintf(head, sizeof head, "%12.6f %-5s ", seconds, direction[int(entry.kind)]);
  std::string line = head + hexBytes(entry.bytes);
  if (!entry.note.empty()) line += (entry.bytes.empty() ? "(" : " (") + entry.note + ")";
  return line;
}

}  // namespace boardsim
