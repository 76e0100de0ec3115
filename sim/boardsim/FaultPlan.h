#pragma once

#include "boardsim/Clock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace boardsim {

// The faults to put into the next answers of the monitor. Each fault is armed
// for a number of answers and used up one answer at a time; several faults
// can act on the same answer (extra bytes are added before corruption is
// applied to the header and before the answer is cut into pieces).
// Not thread-safe; BoardSimulator guards it with its state lock.
class FaultPlan {
 public:
  struct Piece {
    std::vector<uint8_t> bytes;
    Clock::duration delayBefore{};  // line silence before this piece
  };
  struct Shaped {
    bool dropped = false;
    bool corrupted = false;
    bool extended = false;      // extra bytes follow the answer
    bool split = false;         // sent in more than one piece
    bool splitUsedUp = false;   // a split was armed, but the answer was too short to cut: used up, no effect
    std::vector<Piece> pieces;  // empty when dropped
    std::string note;           // which faults acted, for the transcript

    // Whether any armed fault acted on this answer or was used up by it.
    bool faulted() const { return dropped || corrupted || extended || split || splitUsedUp; }
  };
  // How many answers each fault will still act on.
  struct Remaining {
    int drop = 0;
    int corrupt = 0;
    int extra = 0;
    int split = 0;
  };

  // The next n answers are not sent at all.
  void dropAnswers(int n);
  // The command field of the next n answers becomes 1 (0x1L instead of 0x0L).
  void corruptAnswers(int n);
  // These bytes follow each of the next n answers.
  void addExtraBytes(std::vector<uint8_t> bytes, int answers = 1);
  // The next n answers go out in pieces of pieceSize bytes, with delay between them.
  void splitAnswers(std::size_t pieceSize, Clock::duration delay, int answers = 1);
  void clear();
  bool armed() const;
  Remaining remaining() const;

  // Applies the armed faults to one answer and uses them up by one.
  Shaped shape(const std::vector<uint8_t>& answer);

 private:
  int drop_ = 0;
  int corrupt_ = 0;
  int extra_ = 0;
  std::vector<uint8_t> extraBytes_;
  int split_ = 0;
  std::size_t pieceSize_ = 1;
  Clock::duration pieceDelay_{};
};

}  // namespace boardsim
