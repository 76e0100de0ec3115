// A tool window on the simulated board: the program's two nodes over a pty,
// the register access thread with its polling gate shut (a test runs each
// pass itself, Poll, so that every step is seen), and a fake host connected
// to it. The window's tests make window_ themselves. ConnectedWindowOnBoard
// also reads every register first, as the main window does once connected.
#pragma once

#include <memory>
#include <vector>

#include "FakeToolWindowHost.h"
#include "LinkFixture.h"
#include "WindowTestSupport.h"

template <class Window>
class WindowOnBoard : public BoardThreadFixture {
 protected:
  using Bytes = std::vector<std::uint8_t>;

  void SetUp() override {
    BoardThreadFixture::SetUp();
    if (HasFatalFailure()) return;
    host_.thread = thread_.get();
    host_.connected = true;
  }
  void TearDown() override {
    window_.reset();  // its timers first: no tick after the thread is gone
    BoardThreadFixture::TearDown();
  }

  // The write requests among those the board served since the last clear.
  std::vector<Bytes> WriteRequests() {
    std::vector<Bytes> writes;
    for (const Bytes& r : Requests())
      if (!r.empty() && r[0] == 0x23) writes.push_back(r);
    return writes;
  }
  // The same as {address, value}.
  std::vector<Bytes> Writes() {
    std::vector<Bytes> writes;
    for (const Bytes& r : WriteRequests()) writes.push_back({r[2], r[3]});
    return writes;
  }
  THexEdit* F(const char* name) { return Field(window_.get(), name); }

  FakeToolWindowHost host_;
  std::unique_ptr<Window> window_;
};

// The same with the register images as the main window holds them once
// connected: every register read once, and the transcript cleared after, so
// that it shows only what the test does.
template <class Window>
class ConnectedWindowOnBoard : public WindowOnBoard<Window> {
 protected:
  void SetUp() override {
    WindowOnBoard<Window>::SetUp();
    if (this->HasFatalFailure()) return;
    this->ReadAll();  // as the main window does once connected
    this->ClearTranscript();
  }
};
