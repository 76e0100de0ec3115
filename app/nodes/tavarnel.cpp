#include "tavarnel.h"

#include <charconv>

#include "ByteBuffer.h"

namespace {
constexpr std::uint8_t ReadRequest = 0x13;
constexpr std::uint8_t WriteRequest = 0x20;
// The protocol node's own message for a missing answer.
constexpr const char* TimeOutMessage = "Time out...";

// The node's TimeOut property text ("%i"); text that is no number counts as
// negative, that is as the longest time-out.
std::int32_t TimeOutOf(const std::string& text) {
  std::int32_t value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return -1;
  return value;
}
}  // namespace

std::atomic<std::int64_t> TTavarnelObject::longestTimeOutMs_{DefaultLongestTimeOut.count()};

std::chrono::milliseconds TTavarnelObject::LongestTimeOut() {
  return std::chrono::milliseconds(longestTimeOutMs_.load());
}

void TTavarnelObject::SetLongestTimeOut(std::chrono::milliseconds longest) {
  longestTimeOutMs_ = longest.count();
}

std::chrono::milliseconds TTavarnelObject::EffectiveTimeOut(std::int32_t timeOut) {
  const std::chrono::milliseconds longest = LongestTimeOut();
  if (timeOut < 0 || std::chrono::milliseconds(timeOut) > longest) return longest;
  return std::chrono::milliseconds(timeOut);
}

TTavarnelObject::TTavarnelObject() {
  Initialize();
  // The handlers are the same for every access, so they are installed once,
  // before the node can raise anything, rather than before each request.
  SetOnAsynchError([this](TNode*, std::int32_t, const std::string& comment) { HandleAsynchError(comment); });
  SetOnReception([this](TNode*, std::int32_t, const VARIANT& buffer) { HandleReception(buffer); });
}

TTavarnelObject::~TTavarnelObject() {
  ReleaseNode();
}

void TTavarnelObject::CreateNode() {
  const HRESULT hr = CoTavarnelNode::Create(node_.AddressOf());
  if (FAILED(hr)) CheckNodeStatus(hr, nullptr);
}

void TTavarnelObject::HandleAsynchError(const std::string& comment) {
  // Notified under the lock: the waiter cannot return (and its owner destroy
  // this object) before this thread is done with the condition variable.
  std::lock_guard<std::mutex> guard(lock_);
  errorText_ = comment;
  errorFlag_ = true;
  changed_.notify_all();
}

void TTavarnelObject::HandleReception(const VARIANT& buffer) {
  std::lock_guard<std::mutex> guard(lock_);
  answer_ = BytesOf(buffer);
  answerFlag_ = true;
  changed_.notify_all();
}

void TTavarnelObject::ShutDown() {
  std::lock_guard<std::mutex> guard(lock_);
  shuttingDown_ = true;
  changed_.notify_all();
}

void TTavarnelObject::Exchange(const std::vector<std::uint8_t>& request, std::vector<std::uint8_t>* answer) {
  {
    // A late report of an earlier exchange that arrives before this request is armed is forgotten here.
    std::lock_guard<std::mutex> guard(lock_);
    errorFlag_ = false;
    errorText_.clear();
    answerFlag_ = false;
    if (shuttingDown_) throw EShutdown();
  }
  // The node cannot change its TimeOut while it is open, so the value read
  // now is the one its watch uses for this request.
  const std::chrono::milliseconds limit = AnswerWaitLimit(TimeOutOf(GetProperty("TimeOut")));
  {
    const VariantHolder frame = VariantHolder::Adopt(MakeByteBuffer(request));
    Transmit(0, Kind(), *frame);
  }

  // The protocol node's time-out report normally ends the wait; the limit
  // ends it when no report comes.
  std::unique_lock<std::mutex> guard(lock_);
  const bool ended = changed_.wait_for(guard, limit, [this] { return errorFlag_ || answerFlag_ || shuttingDown_; });
  if (shuttingDown_) throw EShutdown();
  if (!ended) throw EAppError(TimeOutMessage);
  if (errorFlag_) throw EAppError(errorText_);
  *answer = answer_;
}

void TTavarnelObject::WriteMemory(std::uint16_t Address, const std::uint8_t* Data, std::uint8_t Count) {
  if (Count > MaxFrameData) throw EAppError("Frame size must be lower than " + std::to_string(MaxFrameData));
  // No caller writes 0 bytes, and a write frame of no data would be
  // ambiguous to the monitor; it is refused like an oversized one.
  if (Count == 0) throw EAppError("Frame size must be greater than 0");
  std::vector<std::uint8_t> request(std::size_t{Count} + 3u);
  request[0] = static_cast<std::uint8_t>(WriteRequest | (Count + 2));
  request[1] = static_cast<std::uint8_t>(Address >> 8);
  request[2] = static_cast<std::uint8_t>(Address);
  std::copy(Data, Data + Count, request.begin() + 3);
  std::vector<std::uint8_t> answer;
  Exchange(request, &answer);
  if (answer.size() != 1 || (answer[0] & 0xF0) != 0 || (answer[0] & 0x0F) != 0)
    throw EAppError("Bad MCU answer while writing. Data may have not been written...");
}

void TTavarnelObject::ReadMemory(std::uint16_t Address, std::uint8_t* Data, std::uint8_t Count) {
  if (Count > MaxFrameData) throw EAppError("Frame size must be lower than " + std::to_string(MaxFrameData));
  const std::vector<std::uint8_t> request{ReadRequest, static_cast<std::uint8_t>(Address >> 8),
                                          static_cast<std::uint8_t>(Address), Count};
  std::vector<std::uint8_t> answer;
  Exchange(request, &answer);
  if (answer.size() != std::size_t{Count} + 1u || (answer[0] & 0xF0) != 0 || (answer[0] & 0x0F) != Count)
    throw EAppError("Bad MCU answer while reading.");
  std::copy(answer.begin() + 1, answer.end(), Data);
}
