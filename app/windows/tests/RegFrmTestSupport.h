// What the Registers window tests share: a host that records what the window
// asks of the main window, and small helpers to find and type into fields.
#pragma once

#include <QString>
#include <QStringList>

#include "ToolWindowHost.h"

class QWidget;
class THexEdit;

class FakeHost final : public IToolWindowHost {
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

// The field of that component name; fails the test when there is none.
THexEdit* Field(QWidget* window, const QString& name);
// Focuses the field and types the characters one key at a time.
void TypeInto(THexEdit* field, const char* keys);
// Shows the window and waits until it is active, so that focus moves.
bool ShowActive(QWidget* window);
// Writes the window's picture to $VORELAN_SCREENSHOT_DIR/<name>.png when that is set.
void SaveScreenshot(QWidget* window, const QString& name);
