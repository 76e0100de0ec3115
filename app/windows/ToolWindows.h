// The program's tool windows: one line each, everything the main window
// knows of a window. From this table the main window builds its Windows menu
// (in table order), the File menu entries a window brings, the creation order
// at start-up, and the help page of "Help on current window".
//
// Adding a window: its folder (a TToolWindowOf<...> subclass, ToolWindow.h,
// its help page and tests, and a CMakeLists.txt with one
// vorelan_add_tool_window call), and its line here with its factory. The help
// compiles its page and lists it in the contents from that line. A line
// without a factory is a window not built yet: its menu entry stays greyed.
//
// Threads: GUI thread only.
#pragma once

#include <QKeySequence>
#include <QString>

#include <functional>
#include <vector>

class IToolWindowHost;
class TToolWindow;

// A file dialog as a menu entry asks for it. The filter holds pairs of
// description and pattern separated by bars: "Trace File (*.trc)|*.trc|All (*.*)|*.*".
struct TFileDialogSpec {
  enum class Mode { Open, Save };
  Mode mode = Mode::Open;  // Open accepts an existing file only; Save overwrites without asking
  QString caption;         // "Load Trace"
  QString filter;
  QString defaultSuffix;  // added by a save dialog to a name without one: "trc"
};

// An entry a tool window brings to the main window's File menu (before Exit).
// The main window runs the dialog and hands the chosen path to the window's
// handler (TToolWindow::OnFileEntry), while the window exists.
struct TFileMenuEntry {
  QString objectName;  // "TraceLoad"; also the handler's name
  QString caption;     // "Load &Trace"
  QString hint;        // "short|long"
  TFileDialogSpec dialog;
};

// Builds the window (with its design geometry, not yet placed or restored);
// the main window places it and runs its createForm().
using ToolWindowFactory = std::function<TToolWindow*(IToolWindowHost& host)>;

struct TToolWindowEntry {
  QString componentName;   // the window's objectName: its settings key and help topic
  QString menuObjectName;  // its Windows menu entry: objectName, caption, shortcut, hint
  QString caption;
  QKeySequence shortcut;
  QString hint;
  QString helpPage;             // its page of the compiled help (":/help/<page>")
  int creationRank = 0;         // start-up creates the windows by rank, lowest first
  ToolWindowFactory factory{};  // empty while the window is not built
  std::vector<TFileMenuEntry> fileEntries{};
};

using ToolWindowTable = std::vector<TToolWindowEntry>;

namespace ToolWindows {

// The program's table, in the order of the Windows menu: Registers, Trace,
// Bit Settings, Filters, Transmission.
const ToolWindowTable& Table();
// The line of a component name in the program's table, or null.
const TToolWindowEntry* Find(const QString& componentName);
// A table's lines in creation order.
std::vector<const TToolWindowEntry*> InCreationOrder(const ToolWindowTable& table);

}  // namespace ToolWindows
