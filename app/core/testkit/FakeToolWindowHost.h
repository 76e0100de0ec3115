// The main window as a tool window's tests see it: the connected flag and
// the register access thread as plain data, and the two status panels as the
// lists of what was written to them.
#pragma once

#include <QString>
#include <QStringList>

#include "ToolWindowHost.h"

class FakeToolWindowHost final : public IToolWindowHost {
 public:
  bool Connected() const override { return connected; }
  TCANRegAccessThread* RegisterThread() const override { return thread; }
  void ShowError(const QString& message) override { errors << message; }
  void ShowStatusError(const QString& message) override { statusErrors << message; }
  void ShowProgress(const QString& text) override { progress << text; }

  bool connected = false;
  TCANRegAccessThread* thread = nullptr;
  QStringList errors;        // the error display, oldest first
  QStringList statusErrors;  // errors shown there as a pass's are, oldest first
  QStringList progress;      // status panel 1
};
