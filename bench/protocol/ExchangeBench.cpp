// Cost of one request/answer exchange through the protocol node (DoTransmit of
// a 6-byte register read, then DoReceive of its 7-byte answer, each raising
// its event on a listener that copies the bytes, as the program's relays do),
// against a baseline in the same run: the same bytes copied through a plain
// function call. Prints both and the ratio.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ByteBuffer.h"
#include "ComRuntime.h"
#include "INode.h"
#include "Identities.h"
#include "testing/ListenerBase.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kRequest{0x13, 0x00, 0x5A, 0x06};
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

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
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
  const double viaNode = Median(nodeTimes), viaCall = Median(plainTimes);
  std::printf("exchange (DoTransmit 4 bytes + DoReceive 7 bytes), median of %d rounds of %d:\n", kRounds, kCount);
  std::printf("  through the protocol node : %9.1f ns\n", viaNode);
  std::printf("  plain function-call copy  : %9.1f ns\n", viaCall);
  std::printf("  ratio node / plain        : %9.1f\n", viaNode / viaCall);
  return 0;
}
