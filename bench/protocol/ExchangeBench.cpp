// Cost of one request/answer exchange through the protocol node (DoTransmit of
// a 6-byte register read, then DoReceive of its 7-byte answer, each raising
// its event on a listener that copies the bytes, as the program's relays do),
// against a baseline in the same run: the same bytes copied through a plain
// function call. Prints both and the ratio.
// Then how late a time-out report comes: a request that gets no answer on a
// node with a TimeOut of 300 ms, from DoTransmit to OnAsynchError, against a
// plain condition-variable wait of 300 ms measured in the same run (the node
// looks for overdue requests every 100 ms, so up to 100 ms more is expected).
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "ByteBuffer.h"
#include "ComRuntime.h"
#include "INode.h"
#include "Identities.h"
#include "MonitorFrames.h"
#include "testing/ListenerBase.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kRequest = ReadRequest(0x5A, 6);
const Bytes kAnswer{0x06, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

// Keeps what each event carries, like the program's relay and answer handler.
class CopyingListener final : public ListenerBase {
 public:
  Bytes sent, received;
  HRESULT Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    (member == DISPID_OnTransmission ? sent : received) = BytesOf(p->rgvarg[0]);
    return S_OK;
  }
};

// Notes when the time-out report arrives (on the node's watcher thread).
class TimeOutListener final : public ListenerBase {
 public:
  HRESULT Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    if (member != DISPID_OnAsynchError) return S_OK;
    {
      std::lock_guard<std::mutex> guard(lock);
      reportedAt = Clock::now();
      reported = true;
    }
    changed.notify_all();
    return S_OK;
  }
  // Guards reported and reportedAt (watcher thread and main thread).
  std::mutex lock;
  std::condition_variable changed;
  bool reported = false;
  Clock::time_point reportedAt;
};

// Milliseconds from sending a request that gets no answer to its time-out
// report, on a node whose TimeOut is `timeOutMs`; negative on a failure.
double TimeOutReportDelay(int timeOutMs) {
  INode* node = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TavarnelNode, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node))))
    return -1;
  TimeOutListener listener;
  const std::uint32_t cookie = listener.ListenTo(node);
  VARIANT empty, kind, request = MakeByteBuffer(kRequest);
  VariantInit(&empty);
  VariantInit(&kind);
  kind.vt = VT_I4;
  kind.lVal = AnswerExpected;
  BSTR name = BstrFromUtf8("TimeOut"), value = BstrFromUtf8(std::to_string(timeOutMs));
  node->SetProperty(name, value);
  SysFreeString(name);
  SysFreeString(value);
  std::int32_t channel = -1;
  node->Connect(empty);
  node->AllocChannel(&channel);
  const auto sent = Clock::now();
  bool ok = node->DoTransmit(channel, kind, request) == S_OK;
  {
    std::unique_lock<std::mutex> guard(listener.lock);
    ok &= listener.changed.wait_for(guard, std::chrono::seconds(10), [&] { return listener.reported; });
  }
  node->ReleaseChannel(channel);
  node->Close(empty);
  ListenerBase::StopListening(node, cookie);
  node->Release();
  VariantClear(&request);
  return ok ? std::chrono::duration<double, std::milli>(listener.reportedAt - sent).count() : -1;
}

// The baseline: milliseconds that a plain timed wait of `ms` takes.
double PlainTimedWait(int ms) {
  std::mutex lock;
  std::condition_variable never;
  std::unique_lock<std::mutex> guard(lock);
  const auto start = Clock::now();
  never.wait_for(guard, std::chrono::milliseconds(ms), [] { return false; });
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The baseline: the request and the answer copied once each through a call.
__attribute__((noinline)) void PlainExchange(const Bytes& request, const Bytes& answer, Bytes& sent, Bytes& received) {
  sent = request;
  received = answer;
  asm volatile("" : : "r"(sent.data()), "r"(received.data()) : "memory");
}

template <typename Exchange>
double NanosecondsPerExchange(int count, Exchange exchange) {
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) exchange();
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / count;
}

}  // namespace

int main() {
  setenv("VORELAN_COMPONENT_REGISTRY", BUILD_REGISTRY, 0);  // unless the caller names another registry
  INode* node = nullptr;
  if (FAILED(
          CoCreateInstance(CLSID_TavarnelNode, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node)))) {
    std::fprintf(stderr, "The protocol node is not registered in %s\n", std::getenv("VORELAN_COMPONENT_REGISTRY"));
    return 1;
  }
  CopyingListener listener;
  const std::uint32_t cookie = listener.ListenTo(node);
  VARIANT empty, kind, request = MakeByteBuffer(kRequest), answer = MakeByteBuffer(kAnswer);
  VariantInit(&empty);
  VariantInit(&kind);
  kind.vt = VT_I4;
  kind.lVal = AnswerExpected;
  std::int32_t channel = -1;
  node->Connect(empty);
  node->AllocChannel(&channel);

  bool ok = true;
  auto throughNode = [&] {
    ok &= node->DoTransmit(channel, kind, request) == S_OK;
    ok &= node->DoReceive(channel, answer) == S_OK;
  };
  Bytes sent, received;
  auto plain = [&] { PlainExchange(kRequest, kAnswer, sent, received); };

  constexpr int kCount = 200000, kRounds = 7;
  NanosecondsPerExchange(kCount / 10, throughNode);  // warm-up
  NanosecondsPerExchange(kCount / 10, plain);
  std::vector<double> nodeTimes, plainTimes;
  for (int round = 0; round < kRounds; ++round) {
    nodeTimes.push_back(NanosecondsPerExchange(kCount, throughNode));
    plainTimes.push_back(NanosecondsPerExchange(kCount, plain));
  }
  ok &= listener.sent == kRequest && listener.received == kAnswer;

  node->ReleaseChannel(channel);
  node->Close(empty);
  ListenerBase::StopListening(node, cookie);
  node->Release();
  VariantClear(&request);
  VariantClear(&answer);
  if (!ok) {
    std::fprintf(stderr, "An exchange through the node failed\n");
    return 1;
  }
  const double viaNode = bench::Median(nodeTimes), viaCall = bench::Median(plainTimes);
  std::printf("exchange (DoTransmit 4 bytes + DoReceive 7 bytes), median of %d rounds of %d:\n", kRounds, kCount);
  std::printf("  through the protocol node : %9.1f ns\n", viaNode);
  std::printf("  plain function-call copy  : %9.1f ns\n", viaCall);
  std::printf("  ratio node / plain        : %9.1f\n", viaNode / viaCall);

  constexpr int kTimeOutMs = 300, kSamples = 7;
  std::vector<double> reports, waits;
  for (int i = 0; i < kSamples; ++i) {
    const double delay = TimeOutReportDelay(kTimeOutMs);
    if (delay < 0) {
      std::fprintf(stderr, "A time-out report did not come\n");
      return 1;
    }
    reports.push_back(delay);
    waits.push_back(PlainTimedWait(kTimeOutMs));
  }
  const double report = bench::Median(reports), wait = bench::Median(waits);
  std::printf("time-out report, TimeOut %d ms, median of %d:\n", kTimeOutMs, kSamples);
  std::printf("  plain timed wait of %d ms : %9.1f ms (%.1f ms late)\n", kTimeOutMs, wait, wait - kTimeOutMs);
  std::printf("  request to report         : %9.1f ms (%.1f ms late, %.2f x the plain wait)\n", report,
              report - kTimeOutMs, report / wait);
  return 0;
}
