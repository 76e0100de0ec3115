// The protocol node's channels: which are allocated, what each has gathered
// of the answer it awaits, and whether that answer is overdue. A plain data
// structure: the TimeOutWatcher holds the lock around every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

enum class ChannelState : int { Idle = 0, Waiting = 1, TimedOut = 2 };

// Where one request stands, for a caller that waits for its answer.
enum class RequestOutcome {
  Pending,     // still waiting for its answer
  Answered,    // its complete answer has been gathered
  TimedOut,    // the watcher found it overdue
  Superseded,  // the channel was armed again or released: this answer will not come
};

class ChannelTable {
 public:
  // Requests are told apart by a ticket; 0 is never a request's ticket.
  using Ticket = std::uint64_t;

  explicit ChannelTable(std::size_t size);

  std::size_t Size() const { return channels_.size(); }

  // Takes the first channel that is not allocated; it starts Idle with an
  // empty buffer and the given time-out. Nothing when every channel is taken.
  std::optional<std::int32_t> Allocate(std::int32_t timeOut);
  // Frees the channel and forgets what it gathered; numbers outside the table are ignored.
  void Release(std::int32_t channel);
  bool IsAllocated(std::int32_t channel) const;

  // Starts waiting for an answer on the channel from tick `now` (ms), with an
  // empty buffer. The new request's ticket, or 0 when the channel is not allocated.
  Ticket Arm(std::int32_t channel, std::uint32_t now);

  // Appends arrived bytes to a Waiting channel. When they make up exactly one
  // frame (header length field + 1 bytes) the channel's wait ends (Idle) and the
  // frame is returned. More than 16 bytes are dropped and the wait goes on.
  // Bytes for a channel that is not Waiting are dropped.
  std::optional<std::vector<std::uint8_t>> Gather(std::int32_t channel, std::span<const std::uint8_t> bytes);

  // Marks every Waiting channel whose time-out has passed at tick `now` as
  // TimedOut (elapsed and time-out compared as unsigned 32-bit, so a negative
  // time-out never passes). True when at least one did.
  bool SweepTimeOuts(std::uint32_t now);

  RequestOutcome Outcome(std::int32_t channel, Ticket request) const;
  // Ends the request: the channel goes Idle with an empty buffer (unless a
  // newer request owns it) and the request's answer, if it has one, is handed over.
  std::optional<std::vector<std::uint8_t>> EndRequest(std::int32_t channel, Ticket request);

  // The channel's state; Idle for a number outside the table.
  ChannelState State(std::int32_t channel) const;

 private:
  struct Channel {
    bool allocated = false;
    std::vector<std::uint8_t> received;  // bytes gathered for the awaited answer
    std::uint32_t startTick = 0;         // tick (ms) when the request was armed
    std::int32_t timeOut = 0;            // ms, the node's TimeOut when allocated
    ChannelState state = ChannelState::Idle;
    Ticket request = 0;   // the latest armed request
    Ticket answered = 0;  // the request whose answer `answer` holds
    std::vector<std::uint8_t> answer;
  };

  Channel* Find(std::int32_t channel);
  const Channel* Find(std::int32_t channel) const;
  static void Clear(Channel& c);

  std::vector<Channel> channels_;
  Ticket lastTicket_ = 0;
};
