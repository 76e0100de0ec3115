// A stand-in for the main window in the Trace window's tests: the connected
// flag, the register access thread and the two status panels as plain data.
#pragma once

#include <QString>
#include <QStringList>

#include "ToolWindowHost.h"

class TraceTestHost : public IToolWindowHost {
 public:
  bool Connected() const override { return connected; }
  TCANRegAccessThread* RegisterThread() const override { return thread; }
  void ShowError(const QString& message) override { errors << message; }
  void ShowProgress(const QString& text) override { progress << text; }

  bool connected = false;
  TCANRegAccessThread* thread = nullptr;
  QStringList errors;
  QStringList progress;
};
