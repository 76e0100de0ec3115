// TTavarnelObject: the wrapper of the protocol node, and the program's only
// way to the target's memory: WriteMemory and ReadMemory of up to 13 bytes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "trivet.h"

class TTavarnelObject : public TNode {
 public:
  static constexpr std::uint8_t MaxFrameData = 13;

  // Creates the protocol node by its class identity; throws ENodeError when it cannot.
  TTavarnelObject();
  // Closes the node and disconnects the handlers while the fields they use
  // still exist: a time-out report or a reception arriving during the
  // destruction finds them whole.
  ~TTavarnelObject() override;

  // How long an access waits for its answer. The protocol node reports a
  // missing answer after its TimeOut; the access itself gives up, with the
  // same "Time out...", once AnswerGrace more has passed, so that a report
  // that never comes cannot hold the caller (a negative TimeOut is never
  // reported by the node, and a huge one not for weeks). TimeOut counts at
  // most LongestTimeOut; a negative one counts as that too, since the node
  // compares it as a huge unsigned number.
  static constexpr std::chrono::milliseconds DefaultLongestTimeOut{20000};
  static constexpr std::chrono::milliseconds AnswerGrace{1000};
  // The TimeOut that counts: `timeOut` ms, or LongestTimeOut when negative or above it.
  static std::chrono::milliseconds EffectiveTimeOut(std::int32_t timeOut);
  static std::chrono::milliseconds AnswerWaitLimit(std::int32_t timeOut) {
    return EffectiveTimeOut(timeOut) + AnswerGrace;
  }
  // DefaultLongestTimeOut unless changed; tests shorten it. Any thread.
  static std::chrono::milliseconds LongestTimeOut();
  static void SetLongestTimeOut(std::chrono::milliseconds longest);

  // One write request; returns when the board has acknowledged it. Throws
  // EAppError with "Frame size must be lower than 13", the node's message,
  // "Time out..." or "Bad MCU answer while writing. Data may have not been written...".
  void WriteMemory(std::uint16_t Address, const std::uint8_t* Data, std::uint8_t Count);
  // One read request; fills Data[0..Count-1]. Throws as WriteMemory, with
  // "Bad MCU answer while reading." for a bad answer (Data untouched).
  void ReadMemory(std::uint16_t Address, std::uint8_t* Data, std::uint8_t Count);

  // The program is shutting down: a waiting access ends at once, and later
  // ones without sending, both with EShutdown (so no caller takes the
  // buffer it passed for data that never came).
  void ShutDown();

 protected:
  void CreateNode() override;

 private:
  // Sends `request` and waits for the answer or the error, at most
  // AnswerWaitLimit of the node's TimeOut. Throws the error's message,
  // "Time out..." when the wait ends without either, or EShutdown when the
  // program shuts down (before or during the wait).
  void Exchange(const std::vector<std::uint8_t>& request, std::vector<std::uint8_t>* answer);
  void HandleAsynchError(const std::string& comment);
  void HandleReception(const VARIANT& buffer);

  // Guards the four fields below and shuttingDown_; `changed_` is signalled
  // when a flag is set. The handlers run on the nodes' threads (the serial
  // node's poll thread for receptions, the protocol node's watcher for
  // time-outs, the caller's own thread for a refused relay); the waiting
  // access runs on the register access thread or the main thread.
  std::mutex lock_;
  std::condition_variable changed_;
  bool errorFlag_ = false;
  std::string errorText_;
  bool answerFlag_ = false;
  std::vector<std::uint8_t> answer_;
  bool shuttingDown_ = false;

  // Written by SetLongestTimeOut (tests, before any access), read by every access.
  static std::atomic<std::int64_t> longestTimeOutMs_;
};
