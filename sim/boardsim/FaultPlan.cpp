#include "boardsim/FaultPlan.h"

#include <algorithm>
#include <chrono>

namespace boardsim {

void FaultPlan::dropAnswers(int n) {
  drop_ = std::max(0, n);
}
void FaultPlan::corruptAnswers(int n) {
  corrupt_ = std::max(0, n);
}

void FaultPlan::addExtraBytes(std::vector<uint8_t> bytes, int answers) {
  extraBytes_ = std::move(bytes);
  extra_ = extraBytes_.empty() ? 0 : std::max(0, answers);
}

void FaultPlan::splitAnswers(std::size_t pieceSize, Clock::duration delay, int answers) {
  pieceSize_ = std::max<std::size_t>(1, pieceSize);
  pieceDelay_ = std::max(Clock::duration::zero(), delay);
  split_ = std::max(0, answers);
}

void FaultPlan::clear() {
  *this = FaultPlan();
}

bool FaultPlan::armed() const {
  return drop_ > 0 || corrupt_ > 0 || extra_ > 0 || split_ > 0;
}

FaultPlan::Remaining FaultPlan::remaining() const {
  return {drop_, corrupt_, extra_, split_};
}

FaultPlan::Shaped FaultPlan::shape(const std::vector<uint8_t>& answer) {
  Shaped shaped;
  if (drop_ > 0) {
    --drop_;
    shaped.dropped = true;
    shaped.note = "dropped";
    return shaped;
  }
  auto addNote = [&shaped](const std::string& text) { shaped.note += shaped.note.empty() ? text : ", " + text; };
  std::vector<uint8_t> bytes = answer;
  if (corrupt_ > 0 && !bytes.empty()) {
    --corrupt_;
    bytes[0] = uint8_t((bytes[0] & 0x0F) | 0x10);
    shaped.corrupted = true;
    addNote("command field corrupted");
  }
  if (extra_ > 0) {
    --extra_;
    bytes.insert(bytes.end(), extraBytes_.begin(), extraBytes_.end());
    shaped.extended = true;
    addNote(std::to_string(extraBytes_.size()) + " extra bytes");
  }
  if (split_ > 0 && bytes.size() > pieceSize_) {
    --split_;
    shaped.split = true;
    for (std::size_t at = 0; at < bytes.size(); at += pieceSize_) {
      auto end = bytes.begin() + std::ptrdiff_t(std::min(bytes.size(), at + pieceSize_));
      shaped.pieces.push_back(
          {{bytes.begin() + std::ptrdiff_t(at), end}, at == 0 ? Clock::duration::zero() : pieceDelay_});
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(pieceDelay_).count();
    addNote("split into " + std::to_string(shaped.pieces.size()) + " pieces " + std::to_string(ms) + " ms apart");
  } else {
    // An answer too short to split still uses up one count, so "the next n
    // answers" stays true for a test that counts requests.
    if (split_ > 0) {
      --split_;
      shaped.splitUsedUp = true;
    }
    shaped.pieces.push_back({std::move(bytes), {}});
  }
  return shaped;
}

}  // namespace boardsim
