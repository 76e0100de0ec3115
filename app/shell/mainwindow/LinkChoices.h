#pragma once

#include <QString>

#include <array>
#include <chrono>
#include <optional>
#include <string>

class QAction;
class TMainFrm;
struct TCommSettings;
struct TLinkStartReport;

// The Serial Link menu's two choices, the port (COM 1-3) and the speed (4800,
// 9600, 19200 bit/s), and what the main window's link makes of them: the
// start-up from the stored communication settings and its messages, a choice
// that reconnects the link, a first connection that waits for both choices
// and names the one still missing, and the communication settings written
// when the nodes close.
//
// Threads: GUI thread only. The property of a choice that cannot connect yet
// goes to the serial node as a task of the register access thread, whose
// outcome comes back to the GUI thread.
class TLinkChoices {
 public:
  static constexpr std::array<int, 3> kSpeeds{4800, 9600, 19200};

  // `mainFrm` owns this object, its link and its error display.
  explicit TLinkChoices(TMainFrm& mainFrm);

  // The menu entries, COM 1-3 and the speeds in kSpeeds' order.
  void setEntries(const std::array<QAction*, 3>& ports, const std::array<QAction*, 3>& speeds);

  // The link's start-up from the stored communication settings (the
  // simulated board's for a simulated run): the entries they settle are
  // checked, and what failed is shown, naming the choice a first connection
  // still needs. A simulated run whose board failed shows why and opens no
  // port: COM1 would be the user's own device.
  void start(bool simulate, const QString& simulatedBoardFailure);

  // A port or speed chosen in the menu: its entry is checked and the link
  // reconnects, unless the other choice is still missing (then its message
  // is shown). choosePort is true when the link reconnects.
  bool choosePort(int port);
  void chooseSpeed(int bitsPerSecond);

  std::optional<int> checkedPort() const;
  std::optional<int> checkedSpeed() const;
  // The protocol node's answer time-out that the start-up reported.
  std::chrono::milliseconds timeOut() const { return timeOut_; }

  // Writes the communication settings from the nodes and the checked port
  // (nothing for a simulated run, whose port is for this run only).
  void writeSettings(bool simulate);

 private:
  TCommSettings startSettings(bool simulate, const QString& simulatedBoardFailure) const;
  void showStart(const TLinkStartReport& report, const TCommSettings& comm, bool simulate);
  // Hands a property to the serial node without opening it (a first
  // connection still missing a choice).
  void setSerialPropertyOnly(const std::string& name, const std::string& value);
  void checkPort(std::optional<int> port);
  void checkSpeed(std::optional<int> bitsPerSecond);

  TMainFrm& mainFrm_;
  std::array<QAction*, 3> ports_{};
  std::array<QAction*, 3> speeds_{};
  std::chrono::milliseconds timeOut_{1000};
  // The stored speed is one the serial node can use, or one was chosen.
  bool speedUsable_ = true;
  // A stored "Settings" text the node could not use: saved again as it was.
  std::optional<QString> settingsKept_;
};
