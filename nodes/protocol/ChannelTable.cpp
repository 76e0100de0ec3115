#include "ChannelTable.h"

#include "RequestFrame.h"

ChannelTable::ChannelTable(std::size_t size) : channels_(size) {}

ChannelTable::Channel* ChannelTable::Find(std::int32_t channel) {
  if (channel < 0 || static_cast<std::size_t>(channel) >= channels_.size()) return nullptr;
  return &channels_[static_cast<std::size_t>(channel)];
}

const ChannelTable::Channel* ChannelTable::Find(std::int32_t channel) const {
  return const_cast<ChannelTable*>(this)->Find(channel);
}

void ChannelTable::Clear(Channel& c) {
  c.received.clear();
  c.state = ChannelState::Idle;
  c.request = 0;
  c.answered = 0;
  c.answer.clear();
}

std::optional<std::int32_t> ChannelTable::Allocate(std::int32_t timeOut) {
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    Channel& c = channels_[i];
    if (c.allocated) continue;
    Clear(c);
    c.allocated = true;
    c.timeOut = timeOut;
    return static_cast<std::int32_t>(i);
  }
  return std::nullopt;
}

void ChannelTable::Release(std::int32_t channel) {
  if (Channel* c = Find(channel)) {
    Clear(*c);
    c->allocated = false;
  }
}

bool ChannelTable::IsAllocated(std::int32_t channel) const {
  const Channel* c = Find(channel);
  return c && c->allocated;
}

ChannelTable::Ticket ChannelTable::Arm(std::int32_t channel, std::uint32_t now) {
  Channel* c = Find(channel);
  if (!c || !c->allocated) return 0;
  Clear(*c);
  c->startTick = now;
  c->state = ChannelState::Waiting;
  c->request = ++lastTicket_;
  return c->request;
}

std::optional<std::vector<std::uint8_t>> ChannelTable::Gather(std::int32_t channel,
                                                              std::span<const std::uint8_t> bytes) {
  Channel* c = Find(channel);
  if (!c || !c->allocated || c->state != ChannelState::Waiting) return std::nullopt;
  c->received.insert(c->received.end(), bytes.begin(), bytes.end());
  if (c->received.size() > kMaxFrameSize) {
    // Too long to be one answer: drop it and keep waiting for the time-out.
    c->received.clear();
    return std::nullopt;
  }
  if (c->received.empty() || c->received.size() != FrameLength(c->received.front())) return std::nullopt;
  // A complete answer ends the wait: the channel is no longer watched, and the
  // frame stays with its request for a caller that waits for it.
  c->answer = std::move(c->received);
  c->received.clear();
  c->answered = c->request;
  c->state = ChannelState::Idle;
  return c->answer;
}

bool ChannelTable::SweepTimeOuts(std::uint32_t now) {
  bool any = false;
  for (Channel& c : channels_) {
    if (!c.allocated || c.state != ChannelState::Waiting) continue;
    if (static_cast<std::uint32_t>(now - c.startTick) > static_cast<std::uint32_t>(c.timeOut)) {
      c.state = ChannelState::TimedOut;
      any = true;
    }
  }
  return any;
}

RequestOutcome ChannelTable::Outcome(std::int32_t channel, Ticket request) const {
  const Channel* c = Find(channel);
  if (!c || !c->allocated || request == 0 || c->request != request) return RequestOutcome::Superseded;
  if (c->answered == request) return RequestOutcome::Answered;
  if (c->state == ChannelState::TimedOut) return RequestOutcome::TimedOut;
  if (c->state == ChannelState::Waiting) return RequestOutcome::Pending;
  return RequestOutcome::Superseded;
}

std::optional<std::vector<std::uint8_t>> ChannelTable::EndRequest(std::int32_t channel, Ticket request) {
  Channel* c = Find(channel);
  if (!c || !c->allocated || request == 0 || c->request != request) return std::nullopt;
  std::optional<std::vector<std::uint8_t>> answer;
  if (c->answered == request) answer = std::move(c->answer);
  Clear(*c);
  return answer;
}

ChannelState ChannelTable::State(std::int32_t channel) const {
  const Channel* c = Find(channel);
  return c ? c->state : ChannelState::Idle;
}
