#include "TraceReceiver.h"

#include <algorithm>

#include "RegisterSession.h"

using namespace CanReg;

namespace {
constexpr std::uint8_t kReceiveFlags = RXIF1 | RXIF2 | RXIF3;

std::uint8_t ReadIsr(const TRegisterSession& session) {
  return session.MainRegisters()[MainIndex(ISR)];
}
}  // namespace

void TTraceReceiver::Observe(std::uint8_t isr) {
  // A flag cleared by someone else (a window writing ISR) takes its buffer out.
  std::erase_if(pending_, [isr](int buffer) { return !(isr & RxFlag(buffer)); });
  for (int buffer = 1; buffer <= 3; ++buffer)
    if ((isr & RxFlag(buffer)) && std::find(pending_.begin(), pending_.end(), buffer) == pending_.end())
      pending_.push_back(buffer);
}

bool TTraceReceiver::FramesWaiting(const std::array<std::uint8_t, MainCount>& mainImage) {
  return mainImage[MainIndex(ISR)] & kReceiveFlags;
}

std::optional<TReceivedFrame> TTraceReceiver::TakeFrame(TRegisterSession& session) {
  session.ReadAll();
  Observe(ReadIsr(session));
  if (pending_.empty()) return std::nullopt;
  const int buffer = pending_.front();
  const TCANRegAccessThread::PageImage page = session.Page(buffer);
  TReceivedFrame frame{TTraceLine::FromBufferPage(page, buffer), (page[PageIndex(IDLR)] & RemoteFrame) != 0};

  session.ReadCycle();
  const std::uint8_t isr = ReadIsr(session);
  Observe(isr);
  if (pending_.empty() || pending_.front() != buffer) return std::nullopt;  // its flag was cleared meanwhile
  session.Write(ISR, 0, static_cast<std::uint8_t>(isr & ~RxFlag(buffer)));
  pending_.pop_front();
  return frame;
}
