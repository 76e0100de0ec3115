#include "tavarnel.h"

#include "ByteBuffer.h"

namespace {
constexpr std::uint8_t ReadRequest = 0x13;
constexpr std::uint8_t WriteRequest = 0x20;
}  // namespace

TTavarnelObject::TTavarnelObject() {
  Initialize();
  // The handlers are the same for every access, so they are installed once,
  // before the node can raise anything, rather than before each request.
  SetOnAsynchError([this](TNode*, std::int32_t, const std::string& comment) { HandleAsynchError(comment); });
  SetOnReception([this](TNode*, std::int32_t, const VARIANT& buffer) { HandleReception(buffer); });
}

void TTavarnelObject::CreateNode() {
  INode* node = nullptr;
  const HRESULT hr = CoTavarnelNode::Create(&node);
  if (FAILED(hr)) CheckNodeStatus(hr, nullptr);
  node_ = node;
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
  VARIANT frame = MakeByteBuffer(request);
  try {
    Transmit(0, Kind(), frame);
  } catch (...) {
    VariantClear(&frame);
    throw;
  }
  VariantClear(&frame);

  // No time limit of its own: the protocol node's time-out report ends the wait.
  std::unique_lock<std::mutex> guard(lock_);
  changed_.wait(guard, [this] { return errorFlag_ || answerFlag_ || shuttingDown_; });
  if (shuttingDown_) throw EShutdown();
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
