#include "ToolWindows.h"

#include <algorithm>

#include "BitSetFrm.h"
#include "CandumpExport.h"
#include "FiltersFrm.h"
#include "RegFrm.h"
#include "TraceFile.h"
#include "TraceFrm.h"
#include "TransmitFrm.h"

namespace {

template <class Window>
TToolWindow* Make(IToolWindowHost& host) {
  return new Window(host);
}

}  // namespace

const ToolWindowTable& ToolWindows::Table() {
  using Mode = TFileDialogSpec::Mode;
  static const ToolWindowTable table{
      {.componentName = "RegFrm",
       .menuObjectName = "WinRegisters",
       .caption = "&Registers",
       .shortcut = Qt::CTRL | Qt::Key_F1,
       .hint = "Show register values|Click to see current register values.",
       .helpPage = "Reg_window.html",
       .creationRank = 1,
       .factory = Make<TRegFrm>},
      {.componentName = "TraceFrm",
       .menuObjectName = "WinTrace",
       .caption = "&Trace",
       .shortcut = Qt::CTRL | Qt::Key_F2,
       .hint = "Trace informations|Click to trace messages received by the CAN cell.",
       .helpPage = "Trace_window.html",
       .creationRank = 2,
       .factory = Make<TTraceFrm>,
       .fileEntries = {{TTraceFrm::LoadEntry,
                        "Load &Trace",
                        "Load previous saved trace|Click to open previous saved trace.",
                        {Mode::Open, "Load Trace", TraceFile::DialogFilter(), ""}},
                       {TTraceFrm::SaveEntry,
                        "Save T&race",
                        "Save current trace|Click to save current trace.",
                        {Mode::Save, "Save Trace", TraceFile::DialogFilter(), "trc"}},
                       {TTraceFrm::ExportEntry,
                        "Export Trace as &candump log...",
                        "Export the trace for other CAN tools|Click to write the listed frames as a candump log, "
                        "which can-utils and other CAN tools read.",
                        {Mode::Save, "Export Trace as candump log", CandumpExport::DialogFilter(), "log"}}}},
      {.componentName = "BitSetFrm",
       .menuObjectName = "WinBitSettings",
       .caption = "&Bit Settings",
       .shortcut = Qt::CTRL | Qt::Key_F3,
       .hint = "Bit settings|Click to set CAN configuration.",
       .helpPage = "BitSet_window.html",
       .creationRank = 3,
       .factory = Make<TBitSetFrm>},
      {.componentName = "FiltersFrm",
       .menuObjectName = "WinFilters",
       .caption = "&Filters",
       .shortcut = Qt::CTRL | Qt::Key_F4,
       .hint = "Set Filters behaviour|Click to set CAN cell messages filtering function.",
       .helpPage = "FiltSet_window.html",
       .creationRank = 5,
       .factory = Make<TFiltersFrm>},
      // Ctrl+F4 belongs to the Filters entry above.
      {.componentName = "TransmitFrm",
       .menuObjectName = "WinTransmission",
       .caption = "&Transmission",
       .shortcut = Qt::CTRL | Qt::Key_F5,
       .hint = "Transmit a message with CAN|Click to transmit a message with the CAN cell.",
       .helpPage = "Trans_window.html",
       .creationRank = 4,
       .factory = Make<TTransmitFrm>},
  };
  return table;
}

const TToolWindowEntry* ToolWindows::Find(const QString& componentName) {
  for (const TToolWindowEntry& entry : Table())
    if (entry.componentName == componentName) return &entry;
  return nullptr;
}

std::vector<const TToolWindowEntry*> ToolWindows::InCreationOrder(const ToolWindowTable& table) {
  std::vector<const TToolWindowEntry*> order;
  for (const TToolWindowEntry& entry : table) order.push_back(&entry);
  std::stable_sort(order.begin(), order.end(), [](const TToolWindowEntry* a, const TToolWindowEntry* b) {
    return a->creationRank < b->creationRank;
  });
  return order;
}
