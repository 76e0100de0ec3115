// What a CAN tool window needs from the main window. The main window
// implements it and hands it to each tool window it creates; the windows know
// nothing else of the main window.
//
// Threads: every member is called in the main (GUI) thread only.
#pragma once

#include <QString>

class TCANRegAccessThread;
class QWidget;

class IToolWindowHost {
 public:
  // The link is open and the register access thread may run. Every handler
  // that touches the target tests it first and does nothing while it is false.
  virtual bool Connected() const = 0;
  // The register access thread; null when the nodes could not be created at
  // start-up (then Connected() is false for the whole run).
  virtual TCANRegAccessThread* RegisterThread() const = 0;
  // The error display (status panel 0): red "ERROR: <message>"; an empty
  // message turns it green ("Connection OK").
  virtual void ShowError(const QString& message) = 0;
  // An error of work that no person's action started just now (a window's
  // timer, such as a periodic transmission): shown as a polling pass's error
  // is, so that it gives way to the next good pass instead of waiting for the
  // person's next action, which an unattended run never brings.
  virtual void ShowStatusError(const QString& message) { ShowError(message); }
  // Status panel 1 (hints and progress texts such as "Loading... Please Wait").
  virtual void ShowProgress(const QString& text) = 0;

 protected:
  ~IToolWindowHost() = default;
};
