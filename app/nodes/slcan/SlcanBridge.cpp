#include "SlcanBridge.h"

#include <chrono>
#include <cstdio>

#include "AppError.h"
#include "RegisterSession.h"

using namespace CanReg;

namespace {

// V and v: hardware 01, software 11 (the program's version 1.1). N: four characters.
constexpr char kVersion[] = "V0111\r";
constexpr char kDetail[] = "v0111\r";
constexpr char kSerialNumber[] = "NVRL1\r";
// The CSR bits an open or close keeps as they were: the cell's own options.
// RUN is what they change; EPSV and BOFF are the cell's to set, and a wake-up pulse is no option.
constexpr std::uint8_t kCsrOptions = FSYN | NRTX | SRTE;

std::string Hex3(std::uint16_t id) {
  char text[8];
  std::snprintf(text, sizeof text, "%03X", id & 0x7FF);
  return text;
}

}  // namespace

TSlcanBridge::TSlcanBridge(TCANRegAccessThread& registers, Options options, LinkUp linkUp, Output output,
                           Message message, QObject* parent)
    : QObject(parent),
      registers_(&registers),
      options_(options),
      linkUp_(std::move(linkUp)),
      output_(std::move(output)),
      message_(std::move(message)) {
  receiver_ = registers.AddReceiver(this, [this](const TReception& reception) { Receive(reception); });
}

TSlcanBridge::~TSlcanBridge() {
  SetReceiving(false);
}

void TSlcanBridge::Feed(std::string_view bytes) {
  if (finished_) return;
  std::vector<Slcan::LineReader::Input> inputs;
  reader_.Feed(bytes, inputs);
  lines_.insert(lines_.end(), inputs.begin(), inputs.end());
  Pump();
}

void TSlcanBridge::Pump() {
  while (!busy_ && !lines_.empty()) {
    const Slcan::LineReader::Input input = std::move(lines_.front());
    lines_.pop_front();
    Execute(input);
  }
}

void TSlcanBridge::Refuse(const std::string& why) {
  if (!why.empty() && message_) message_(why);
  Answer(std::string(1, Slcan::Refusal));
}

void TSlcanBridge::Execute(const Slcan::LineReader::Input& input) {
  using Kind = Slcan::Command::Kind;
  if (input.tooLong) return Refuse();
  const Slcan::Command command = Slcan::Parse(input.line);
  if (command.kind == Kind::Empty) return Answer(std::string(1, Slcan::Ok));
  if (command.kind == Kind::Refused) return Refuse();
  if (!registers_ || !linkUp_()) return Refuse();

  const bool closed = state_ == State::Closed;
  switch (command.kind) {
    case Kind::Version:
      return Answer(kVersion);
    case Kind::Detail:
      return Answer(kDetail);
    case Kind::SerialNumber:
      return Answer(kSerialNumber);
    case Kind::Bitrate: {
      if (!closed) return Refuse();
      const int rate = static_cast<int>(command.number);
      const std::optional<BitTiming::Setting> timing = SlcanCell::TimingFor(options_.clockMHz, rate);
      if (!timing)
        return Refuse(std::to_string(rate) + " bit/s cannot be reached exactly from a " +
                      std::to_string(options_.clockMHz) + " MHz clock; the rate stays as it was");
      timing_ = timing;
      return Answer(std::string(1, Slcan::Ok));
    }
    case Kind::AcceptanceCode:
    case Kind::AcceptanceMask: {
      if (!closed) return Refuse();
      SlcanCell::Acceptance next = acceptance_;
      (command.kind == Kind::AcceptanceCode ? next.code : next.mask) = command.number;
      if (!SlcanCell::FilterFor(next))
        return Refuse(
            "the cell filters on the identifier and the frame kind only: the mask must let bits 15-0 pass (m....FFFF)");
      acceptance_ = next;
      acceptanceGiven_ = true;
      return Answer(std::string(1, Slcan::Ok));
    }
    case Kind::Timestamps:
      if (!closed) return Refuse();
      timestamps_ = command.number == 1;
      return Answer(std::string(1, Slcan::Ok));
    case Kind::Open:
    case Kind::ListenOnly:
      if (!closed) return Refuse();
      return OpenChannel(command.kind == Kind::Open ? State::Open : State::ListenOnly);
    case Kind::Close:
      if (closed) return Answer(std::string(1, Slcan::Ok));
      return CloseChannel();
    case Kind::Status:
      if (closed) return Refuse();
      return ReportStatus();
    case Kind::Transmit:
      if (state_ != State::Open) return Refuse();
      return SendFrame(command.frame);
    case Kind::Empty:
    case Kind::Refused:
      break;
  }
}

void TSlcanBridge::Run(TCANRegAccessThread::Task task, std::function<void(const TRegisterJobOutcome&)> done) {
  busy_ = true;
  registers_->SubmitTask(std::move(task), this, [this, done = std::move(done)](const TRegisterJobOutcome& outcome) {
    busy_ = false;
    if (finished_) return;
    done(outcome);
    Pump();
    if (!busy_) emit ready();
  });
}

void TSlcanBridge::OpenChannel(State mode) {
  const std::optional<BitTiming::Setting> timing = timing_;
  std::optional<std::array<std::uint8_t, 4>> filter;
  if (acceptanceGiven_) filter = SlcanCell::FilterFor(acceptance_);
  Run(
      [timing, filter, started = cellStarted_](TRegisterSession& session) {
        session.ReadCycle();
        const TRegisterImages::MainImage main = session.MainRegisters();
        const std::uint8_t csr = main[MainIndex(CSR)];
        const std::uint8_t options = csr & kCsrOptions;
        bool running = csr & RUN;
        // A cell restarted for a new bit timing ran before: this bridge did not start it.
        if (!running) *started = true;
        if (timing) {
          const std::uint8_t brpr = BitTiming::PackBRPR(timing->brp, 1);
          const std::uint8_t btr = BitTiming::PackBTR(timing->bs1, timing->bs2);
          // The cell takes a new bit timing while stopped only; one that holds it already runs on.
          if (main[MainIndex(BRPR)] != brpr || main[MainIndex(BTR)] != btr) {
            if (running) session.Write(CSR, 0, options);
            running = false;
            session.WriteAll({{BRPR, 0, brpr}, {BTR, 0, btr}});
          }
        }
        if (filter) session.WriteAll(SlcanCell::FilterWrites(*filter));
        if (!running) session.Write(CSR, 0, options | RUN);
      },
      [this, mode](const TRegisterJobOutcome& outcome) {
        if (!outcome.ok()) return Refuse(outcome.error);
        state_ = mode;
        SetReceiving(true);
        Answer(std::string(1, Slcan::Ok));
      });
}

TCANRegAccessThread::Task TSlcanBridge::StopTask() const {
  return [started = cellStarted_](TRegisterSession& session) {
    if (!*started) return;
    session.ReadCycle();
    session.Write(CSR, 0, session.MainRegisters()[MainIndex(CSR)] & kCsrOptions);
    *started = false;
  };
}

void TSlcanBridge::CloseChannel() {
  state_ = State::Closed;
  SetReceiving(false);
  Run(StopTask(), [this](const TRegisterJobOutcome& outcome) {
    if (!outcome.ok()) return Refuse(outcome.error);
    Answer(std::string(1, Slcan::Ok));
  });
}

void TSlcanBridge::SendFrame(const Slcan::Frame& frame) {
  const int buffer = options_.txBuffer;
  Run(
      [frame, buffer](TRegisterSession& session) {
        session.WriteAll(SlcanCell::TransmitWrites(frame, buffer));
        // The cell has sent the frame by the time one read has crossed the
        // line at any rate it can run at; a second read covers a busy bus.
        for (int read = 0; read < 2; ++read) {
          session.ReadCycle();
          if (SlcanCell::Judge(session.MainRegisters()[MainIndex(ISR)]) != SlcanCell::Sent::Unknown) break;
        }
      },
      [this, frame](const TRegisterJobOutcome& outcome) {
        const std::string name = (frame.remote ? "remote frame " : "frame ") + Hex3(frame.id);
        if (!outcome.ok()) return Refuse(name + ": " + outcome.error);
        switch (SlcanCell::Judge(outcome.images.main[MainIndex(ISR)])) {
          case SlcanCell::Sent::Yes:
            return Answer("z\r");
          case SlcanCell::Sent::Error:
            return Refuse(name + ": transmission error (TEIF): nobody acknowledged it, or the bit timing differs");
          case SlcanCell::Sent::Unknown:
            return Refuse(name + ": the cell reported neither success nor error (time out)");
        }
      });
}

void TSlcanBridge::ReportStatus() {
  Run([](TRegisterSession& session) { session.ReadAll(); },
      [this](const TRegisterJobOutcome& outcome) {
        if (!outcome.ok()) return Refuse();
        char text[8];
        std::snprintf(text, sizeof text, "F%02X\r", SlcanCell::StatusFlags(outcome.images, overrunSeen_));
        overrunSeen_ = false;
        Answer(text);
      });
}

void TSlcanBridge::Receive(const TReception& reception) {
  if (state_ == State::Closed) return;
  overrunSeen_ = overrunSeen_ || reception.overruns > 0;
  std::string lines;
  for (const TReceivedFrame& received : reception.frames) {
    std::optional<int> stamp;
    if (timestamps_)
      stamp = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(received.read.time_since_epoch()).count() % 60000);
    lines += Slcan::FrameLine(SlcanCell::ReceivedFrame(received.page), stamp);
  }
  if (!lines.empty()) Answer(lines);
}

void TSlcanBridge::SetReceiving(bool on) {
  if (registers_) registers_->SetReceiving(receiver_, on);
}

void TSlcanBridge::Finish(std::function<void()> done) {
  finished_ = true;
  state_ = State::Closed;
  SetReceiving(false);
  lines_.clear();
  if (!registers_) return done();
  // After the command with the board, if one is: an O on its way may start the cell.
  registers_->SubmitTask(StopTask(), this, [this, done = std::move(done)](const TRegisterJobOutcome& outcome) {
    if (!outcome.ok() && message_) message_("the cell could not be stopped: " + outcome.error);
    done();
  });
}
