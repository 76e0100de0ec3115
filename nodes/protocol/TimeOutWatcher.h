// The protocol node's connection: the channel table with the lock that guards
// it, and the worker thread that every 100 ms marks overdue requests and has
// them reported. It exists while the node is connected.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "ChannelTable.h"
#include "WorkerThread.h"

class TimeOutWatcher final : public WorkerThread {
 public:
  // Called on the watcher thread, without the lock held, after a pass that
  // found at least one overdue request.
  using Report = std::function<void()>;

  // How a wait for an answer ended.
  enum class AnswerWait { Answered, NoAnswer, Closed };

  // Owners hold the watcher through this: whoever drops the last reference
  // stops and frees it, also when that is the watcher thread itself.
  static std::shared_ptr<TimeOutWatcher> Create(std::size_t channels, Report report);

  ~TimeOutWatcher() override;

  // Channel operations; each takes the lock for its duration. Any thread.
  std::optional<std::int32_t> Allocate(std::int32_t timeOut);
  void Release(std::int32_t channel);
  bool IsAllocated(std::int32_t channel) const;
  // Arms the channel from now on; the request's ticket, 0 when not allocated.
  ChannelTable::Ticket Arm(std::int32_t channel);
  // Gathers arrived bytes; the complete answer frame when they finish one.
  std::optional<std::vector<std::uint8_t>> Gather(std::int32_t channel, std::span<const std::uint8_t> bytes);
  // Blocks until the answer to `request` has arrived (it is then stored in
  // `answer`), the request times out or is superseded, `limit` passes, or the
  // watcher is shut down; then ends the request on its channel.
  AnswerWait AwaitAnswer(std::int32_t channel, ChannelTable::Ticket request, std::chrono::milliseconds limit,
                         std::vector<std::uint8_t>* answer);
  ChannelState State(std::int32_t channel) const;

  // Ends the watch: wakes every AwaitAnswer (they return Closed) and stops
  // the thread. True when the thread has ended; false when called on the
  // watcher thread itself (from a listener of the report), which cannot join
  // itself and only asks it to stop: the pass in progress still runs to its end.
  bool Shutdown();

  // One watcher pass: mark overdue requests, report, sleep 100 ms.
  bool Execute() override;
  void Run() override;

  bool OnWatcherThread() const;

 private:
  TimeOutWatcher(std::size_t channels, Report report);
  static void Dispose(TimeOutWatcher* watcher);

  // Guards table_ and closed_. Taken by the watcher thread for a pass and by
  // every node operation on a channel; never held while an event is raised.
  mutable std::mutex lock_;
  // Signalled (with lock_ held) when an answer completes, a request times
  // out, a channel is armed or released, and at shutdown; AwaitAnswer waits on it.
  std::condition_variable changed_;
  ChannelTable table_;
  bool closed_ = false;
  const Report report_;
  // Set by Run on the watcher thread, read by any thread to tell whether it is the watcher.
  std::atomic<std::thread::id> watcherId_{};
  // Set only on the watcher thread, when the last owner let go there: Run then frees the watcher.
  bool orphaned_ = false;
};
