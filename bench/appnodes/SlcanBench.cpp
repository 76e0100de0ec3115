// vorelan-slcan's bridge on the simulator with the line's own timing at
// 19200 bit/s, an SLCAN client on its pseudo-terminal:
//  1. frames sent per second (8 data bytes each, one after another), against
//     the wire limit of the monitor requests and answers one frame needs on
//     its own, counted in the simulator's transcript for a single frame;
//  2. frames received per second with the bus offering more than the cell
//     can hand on, against the wire limit of the 42 bytes one received frame
//     needs on its own (ISR read 11, PSR write 5, page read 21, ISR write 5);
//  3. the time from a frame on the simulator's bus to its SLCAN line on the
//     client's side (median, p99), against the wire time of those 42 bytes.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "BenchFigures.h"
#include "BenchLink.h"
#include "SlcanShare.h"
#include "boardsim/BoardSimulator.h"
#include "canregthread.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSpeed = 19200;
constexpr int kReceivedFrameBytes = 11 + 5 + 21 + 5;

double WireSeconds(double bytes) {
  return bytes * 10.0 / kSpeed;
}

// The client's side of the pty: a thread that reads the answers and lines as
// they come, each with the time it was read.
class Client {
 public:
  explicit Client(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    reader_ = std::thread([this] { Read(); });
  }
  ~Client() {
    stop_ = true;
    reader_.join();
    ::close(fd_);
  }
  // Writes on a thread of its own: the bridge holds the client back while the board works.
  std::thread Write(std::string bytes) {
    return std::thread([this, bytes] {
      for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += std::size_t(n);
      }
    });
  }
  struct Line {
    std::string text;
    Clock::time_point when;
  };
  std::vector<Line> Lines() {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
  }
  std::size_t Count() {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_.size();
  }

 private:
  void Read() {
    std::string partial;
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char bytes[512];
      const ssize_t n = ::read(fd_, bytes, sizeof bytes);
      const Clock::time_point now = Clock::now();
      std::lock_guard<std::mutex> guard(lock_);
      for (ssize_t i = 0; i < n; ++i) {
        partial += bytes[i];
        if (bytes[i] == '\r' || bytes[i] == '\a') lines_.push_back({std::exchange(partial, {}), now});
      }
    }
  }

  int fd_;
  std::atomic<bool> stop_{false};
  std::mutex lock_;  // guards lines_ (reader thread, main thread)
  std::vector<Line> lines_;
  std::thread reader_;
};

// Runs the main thread's events (the bridge and the thread's reports) until `done` or 120 s.
bool RunUntil(const std::function<bool()>& done) {
  const Clock::time_point limit = Clock::now() + std::chrono::seconds(120);
  while (!done()) {
    if (Clock::now() > limit) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

std::size_t LineBytes(const boardsim::Transcript& transcript) {
  std::size_t bytes = 0;
  for (const boardsim::TranscriptEntry& entry : transcript.entries())
    if (entry.kind == boardsim::TranscriptEntry::Kind::Request || entry.kind == boardsim::TranscriptEntry::Kind::Answer)
      bytes += entry.bytes.size();
  return bytes;
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("VORELAN_COMPONENT_REGISTRY")) setenv("VORELAN_COMPONENT_REGISTRY", BUILD_REGISTRY, 1);
  QCoreApplication app(argc, argv);
  boardsim::BoardSimulator sim;  // wire-timed
  sim.start();
  BenchLink link(sim.slavePath(), kSpeed);
  {
    TCANRegAccessThread thread(&link.protocol);
    thread.Resume();
    TSlcanShare share(
        thread, {}, [] { return true; },
        [](const std::string& text) { std::fprintf(stderr, "bridge: %s\n", text.c_str()); });
    Client client(share.port().devicePath());
    client.Write("S4\rO\r").join();
    RunUntil([&] { return client.Count() >= 2; });

    // 1. One frame alone, then frames back to back with the passes between them.
    const std::string frame = "t12381122334455667788\r";
    sim.transcript().clear();
    client.Write(frame).join();
    RunUntil([&] { return client.Count() >= 3; });
    const double frameBytes = double(LineBytes(sim.transcript()));
    thread.SetPolling(true);
    constexpr int kSent = 40;
    std::string frames;
    for (int i = 0; i < kSent; ++i) frames += frame;
    const Clock::time_point sendStart = Clock::now();
    std::thread writer = client.Write(frames);
    RunUntil([&] { return client.Count() >= 3 + kSent; });
    const double sendSeconds = std::chrono::duration<double>(client.Lines().back().when - sendStart).count();
    writer.join();
    const double sent = kSent / sendSeconds, sendLimit = 1.0 / WireSeconds(frameBytes);
    std::printf("1. frames sent:      %6.1f /s   wire limit %5.1f /s (%.0f bytes a frame)   %.3f x\n", sent, sendLimit,
                frameBytes, sent / sendLimit);

    // 3. Frames one at a time, 100-200 ms apart, each with its own data.
    std::mt19937 random(1208);
    std::vector<double> latencies;
    for (int i = 0; i < 60; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 100));
      const std::size_t before = client.Count();
      boardsim::CanFrame bus{0x2A5, false, false, 2, {std::uint8_t(i), 0x5A}};
      const Clock::time_point put = Clock::now();
      sim.injectFrame(bus);
      RunUntil([&] { return client.Count() > before; });
      latencies.push_back(std::chrono::duration<double, std::milli>(client.Lines().back().when - put).count());
    }
    const double frameWireMs = 1000.0 * WireSeconds(kReceivedFrameBytes);
    std::printf(
        "3. bus to line:      median %.1f ms, p99 %.1f ms   wire time of one frame's exchanges %.1f ms   "
        "%.2f x, %.2f x\n",
        bench::Median(latencies), Percentile(latencies, 0.99), frameWireMs, bench::Median(latencies) / frameWireMs,
        Percentile(latencies, 0.99) / frameWireMs);

    // 2. The bus offers 100 frames a second for 6 s; the cell keeps what its buffers hold.
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
      for (int i = 0; feeding; ++i) {
        sim.injectFrame({0x100, false, false, 8, {std::uint8_t(i)}});
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    RunUntil([&, start = Clock::now()] { return Clock::now() - start > std::chrono::seconds(1); });
    const std::size_t before = client.Count();
    const Clock::time_point start = Clock::now();
    RunUntil([&] { return Clock::now() - start > std::chrono::seconds(6); });
    const double received = double(client.Count() - before) / 6.0,
                 receiveLimit = 1.0 / WireSeconds(kReceivedFrameBytes);
    feeding = false;
    feeder.join();
    std::printf("2. frames received:  %6.1f /s   wire limit %5.1f /s (%d bytes a frame)   %.3f x\n", received,
                receiveLimit, kReceivedFrameBytes, received / receiveLimit);
    thread.Terminate();
  }
  return 0;
}
