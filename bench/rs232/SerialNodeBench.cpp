// bench_rs232 [--idle-seconds N] [--messages N] [--megabytes N]
//
// Measures the serial node on a pseudo-terminal, the node's slave side named
// by VORELAN_COM7 and the master side driven by this program:
//   idle CPU   process CPU time over N seconds while connected with no traffic;
//   latency    from write() on the master to OnReception, median and 99th
//              percentile, against a thread blocked in read() on the slave;
//   throughput 1 MiB written on the master until all of it has been received
//              in order, against the same read() thread.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ByteBuffer.h"
#include "ComRuntime.h"
#include "INode.h"
#include "Identities.h"
#include "testing/ListenerBase.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// What arrives, counted, checked for order and time-stamped. Fed by the node's
// poll thread (through the listener) or by the baseline's read() thread.
class Arrivals {
 public:
  // Starts counting from 0.
  void Reset() {
    std::lock_guard<std::mutex> guard(lock_);
    expected_ = SIZE_MAX;
    received_ = 0;
    inOrder_ = true;
  }
  // The total that Wait waits for.
  void Expect(std::size_t total) {
    std::lock_guard<std::mutex> guard(lock_);
    expected_ = total;
  }
  void Add(const std::uint8_t* bytes, std::size_t n) {
    const Clock::time_point now = Clock::now();
    {
      std::lock_guard<std::mutex> guard(lock_);
      for (std::size_t i = 0; i < n; ++i)
        if (bytes[i] != Pattern(received_ + i)) inOrder_ = false;
      received_ += n;
      if (received_ >= expected_) completedAt_ = now;
    }
    done_.notify_all();
  }
  // Waits until the expected count has arrived; the time it did, or nothing after `limit`.
  bool Wait(std::chrono::seconds limit, Clock::time_point* at) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!done_.wait_for(guard, limit, [&] { return received_ >= expected_; })) return false;
    *at = completedAt_;
    return true;
  }
  bool InOrder() {
    std::lock_guard<std::mutex> guard(lock_);
    return inOrder_;
  }
  static std::uint8_t Pattern(std::size_t i) { return static_cast<std::uint8_t>(i * 31 + (i >> 9)); }

 private:
  std::mutex lock_;  // guards the counts; taken by the receiving thread and the measuring thread
  std::condition_variable done_;
  std::size_t expected_ = 0, received_ = 0;
  bool inOrder_ = true;
  Clock::time_point completedAt_;
};

class Listener final : public ListenerBase {
 public:
  explicit Listener(Arrivals& arrivals) : arrivals_(arrivals) {}
  HRESULT Invoke(DISPID member, REFIID, LCID, std::uint16_t, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    if (member != DISPID_OnReception) return S_OK;
    const VARIANT& arg = p->rgvarg[0];
    const VARIANT* buffer = arg.vt == (VT_VARIANT | VT_BYREF) ? arg.pvarVal : &arg;
    void* data = nullptr;
    if (IsByteBuffer(*buffer) && SafeArrayAccessData(buffer->parray, &data) == S_OK) {
      arrivals_.Add(static_cast<const std::uint8_t*>(data), buffer->parray->rgsabound[0].cElements);
      SafeArrayUnaccessData(buffer->parray);
    }
    return S_OK;
  }

 private:
  Arrivals& arrivals_;
};

struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    termios raw{};
    cfmakeraw(&raw);
    char name[128] = {};
    int slaveFd = -1;
    if (openpty(&master, &slaveFd, name, &raw, nullptr) != 0) {
      std::perror("openpty");
      std::exit(1);
    }
    slave = name;
    close(slaveFd);
  }
  ~Pty() { close(master); }
  void Write(const std::uint8_t* bytes, std::size_t n) const {
    while (n > 0) {
      const ssize_t w = ::write(master, bytes, n);
      if (w > 0)
        bytes += w, n -= static_cast<std::size_t>(w);
      else if (w < 0 && errno != EINTR && errno != EAGAIN)
        return;
    }
  }
};

// The receiving side under test: the node, or a thread blocked in read().
struct Receiver {
  std::function<void()> stop;
};

Receiver StartNode(INode* node, Listener& listener, const Pty& pty) {
  setenv("VORELAN_COM7", pty.slave.c_str(), 1);
  const std::uint32_t cookie = listener.ListenTo(node);
  BSTR port = BstrFromUtf8("CommPort"), seven = BstrFromUtf8("7");
  BSTR settings = BstrFromUtf8("Settings"), speed = BstrFromUtf8("115200,n,8,1");
  node->SetProperty(port, seven);
  node->SetProperty(settings, speed);
  for (BSTR b : {port, seven, settings, speed}) SysFreeString(b);
  VARIANT empty;
  VariantInit(&empty);
  if (node->Connect(empty) != S_OK) {
    std::fprintf(stderr, "Connect failed\n");
    std::exit(1);
  }
  return {[node, cookie] {
    VARIANT none;
    VariantInit(&none);
    node->Close(none);
    ListenerBase::StopListening(node, cookie);
  }};
}

Receiver StartBaseline(Arrivals& arrivals, const Pty& pty) {
  const int fd = open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
  termios raw{};
  tcgetattr(fd, &raw);
  cfmakeraw(&raw);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &raw);
  auto running = std::make_shared<std::atomic<bool>>(true);
  auto reader = std::make_shared<std::thread>([fd, &arrivals, running] {
    std::uint8_t chunk[4096];
    while (running->load()) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n > 0)
        arrivals.Add(chunk, static_cast<std::size_t>(n));
      else if (n <= 0 && errno != EINTR)
        break;
    }
  });
  return {[fd, reader, running, &pty] {
    *running = false;
    const std::uint8_t wake = 0;
    pty.Write(&wake, 1);  // unblocks the read
    reader->join();
    close(fd);
  }};
}

struct LatencyFigures {
  double median = 0, p99 = 0;
};

LatencyFigures MeasureLatency(Arrivals& arrivals, const Pty& pty, int messages) {
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(messages));
  std::uint8_t message[8];
  std::size_t sent = 0;
  arrivals.Reset();
  for (int m = 0; m < messages; ++m) {
    for (std::size_t i = 0; i < sizeof message; ++i) message[i] = Arrivals::Pattern(sent + i);
    sent += sizeof message;
    arrivals.Expect(sent);
    const Clock::time_point start = Clock::now();
    pty.Write(message, sizeof message);
    Clock::time_point at;
    if (!arrivals.Wait(std::chrono::seconds(5), &at)) {
      std::fprintf(stderr, "a message did not arrive\n");
      std::exit(1);
    }
    micros.push_back(Seconds(at - start) * 1e6);
  }
  if (!arrivals.InOrder()) {
    std::fprintf(stderr, "latency messages arrived out of order\n");
    std::exit(1);
  }
  std::sort(micros.begin(), micros.end());
  return {micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

double MeasureThroughput(Arrivals& arrivals, const Pty& pty, std::size_t bytes, bool* inOrder) {
  std::vector<std::uint8_t> data(bytes);
  for (std::size_t i = 0; i < bytes; ++i) data[i] = Arrivals::Pattern(i);
  arrivals.Reset();
  arrivals.Expect(bytes);
  const Clock::time_point start = Clock::now();
  std::thread writer([&] {
    for (std::size_t at = 0; at < bytes; at += 4096)
      pty.Write(data.data() + at, std::min<std::size_t>(4096, bytes - at));
  });
  Clock::time_point at;
  const bool complete = arrivals.Wait(std::chrono::seconds(120), &at);
  writer.join();
  *inOrder = complete && arrivals.InOrder();
  return complete ? static_cast<double>(bytes) / 1e6 / Seconds(at - start) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
  double idleSeconds = 10;
  int messages = 10000;
  double megabytes = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--idle-seconds")
      idleSeconds = std::atof(argv[i + 1]);
    else if (option == "--messages")
      messages = std::atoi(argv[i + 1]);
    else if (option == "--megabytes")
      megabytes = std::atof(argv[i + 1]);
  }
  setenv("VORELAN_COMPONENT_REGISTRY", BUILD_REGISTRY, 0);
  const std::size_t throughputBytes = static_cast<std::size_t>(megabytes * 1024 * 1024);

  INode* node = nullptr;
  if (CoCreateInstance(CLSID_RS232Node, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node)) != S_OK) {
    std::fprintf(stderr, "The serial node is not registered in %s\n", BUILD_REGISTRY);
    return 1;
  }
  Arrivals arrivals;
  Listener listener(arrivals);

  // The node.
  Pty nodeLine;
  Receiver receiver = StartNode(node, listener, nodeLine);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const double cpuBefore = ProcessCpuSeconds();
  const Clock::time_point idleStart = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
  const double idleShare = (ProcessCpuSeconds() - cpuBefore) / Seconds(Clock::now() - idleStart);
  const LatencyFigures nodeLatency = MeasureLatency(arrivals, nodeLine, messages);
  bool nodeInOrder = false;
  const double nodeRate = MeasureThroughput(arrivals, nodeLine, throughputBytes, &nodeInOrder);
  receiver.stop();
  node->Release();

  // The baseline: a thread blocked in read() on a pty of its own.
  Pty baseLine;
  receiver = StartBaseline(arrivals, baseLine);
  const LatencyFigures baseLatency = MeasureLatency(arrivals, baseLine, messages);
  bool baseInOrder = false;
  const double baseRate = MeasureThroughput(arrivals, baseLine, throughputBytes, &baseInOrder);
  arrivals.Reset();  // the byte that wakes the reader counts for nothing
  receiver.stop();

  std::printf("Serial node on a pty (baseline: a thread blocked in read() on a pty, same run)\n");
  std::printf("idle CPU, connected, no traffic, %.1f s:  %.3f%% of one core (budget 1%%)\n", idleSeconds,
              idleShare * 100);
  std::printf("latency, %d messages of 8 bytes, write() on the master to delivery:\n", messages);
  std::printf("  node OnReception   median %8.1f us   p99 %8.1f us\n", nodeLatency.median, nodeLatency.p99);
  std::printf("  baseline read()    median %8.1f us   p99 %8.1f us\n", baseLatency.median, baseLatency.p99);
  std::printf("  node / baseline    median %8.2fx    p99 %8.2fx\n", nodeLatency.median / baseLatency.median,
              nodeLatency.p99 / baseLatency.p99);
  std::printf("throughput, %.2f MiB written on the master until all received:\n", megabytes);
  std::printf("  node OnReception   %8.1f MB/s  %s\n", nodeRate,
              nodeInOrder ? "complete, in order" : "INCOMPLETE OR OUT OF ORDER");
  std::printf("  baseline read()    %8.1f MB/s  %s\n", baseRate,
              baseInOrder ? "complete, in order" : "INCOMPLETE OR OUT OF ORDER");
  std::printf("  node / baseline    %8.2fx\n", baseRate > 0 ? nodeRate / baseRate : 0.0);
  return nodeInOrder && baseInOrder ? 0 : 1;
}
