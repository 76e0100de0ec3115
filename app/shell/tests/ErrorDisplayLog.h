// What the error display showed during a run, counted from its signals:
// every error message given to it (by text), the red spells (green to red)
// and the recoveries (red back to green "Connection OK").
//
// Threads: GUI thread only, like the display whose signals it hears.
#pragma once

#include "ErrorDisplay.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <map>

class ErrorDisplayLog {
 public:
  explicit ErrorDisplayLog(TErrorDisplay& display) : red_(display.showsError()) {
    QObject::connect(&display, &TErrorDisplay::errorReported, &context_,
                     [this](const QString& message) { ++messages_[message]; });
    QObject::connect(&display, &TErrorDisplay::textChanged, &context_, [this](const QString& text) {
      const bool red = !text.isEmpty();
      if (red && !red_) ++redSpells_;
      if (!red && red_) ++recoveries_;
      red_ = red;
    });
  }

  // Error messages given to the display, repeated ones included.
  std::uint64_t errorsShown() const {
    std::uint64_t total = 0;
    for (const auto& [message, count] : messages_) total += count;
    return total;
  }
  const std::map<QString, std::uint64_t>& byMessage() const { return messages_; }
  std::uint64_t redSpells() const { return redSpells_; }
  std::uint64_t recoveries() const { return recoveries_; }

 private:
  QObject context_;  // disconnects the handlers when the log goes
  std::map<QString, std::uint64_t> messages_;
  std::uint64_t redSpells_ = 0;
  std::uint64_t recoveries_ = 0;
  bool red_;
};
