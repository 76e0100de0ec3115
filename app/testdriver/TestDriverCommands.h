#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The commands of the test driver (TestDriver.h), each a request of tab-separated
// fields. A PATH names a control: the object name of a top-level window
// ("MainFrm", "PortsDlg") or "@modal" (the active modal dialog), "@popup"
// (the open menu) or "@focus" (the control with the keyboard focus), then
// "/" and the object name of a control anywhere inside the one before it
// ("MainFrm/RegFrm/ISR", "MainFrm/COM1" for a menu entry); a step "=Text"
// names a button, label, group or menu entry by its caption without the
// "&" ("@modal/=Yes").
//
//   ping                       ok
//   find PATH                  {"class", "visible", "enabled", "checked", "focus"}
//   text PATH                  what the control shows: its text, caption,
//                              value, the error display's "ERROR: ..." or
//                              "Connection OK", a window's title
//   property PATH NAME         a Qt property as text (a rectangle as x,y,w,h)
//   items PATH                 a list or combo box's entries, a tab widget's tabs
//   rows PATH [FIRST [COUNT]]  a table or list view: {"count", "rows": [[cells]]}
//   modal                      the active modal dialog {"class", "name", "title",
//                              "text"}, or "none"
//   windows                    every main window's MDI children and dock
//                              windows and every other visible window, with
//                              geometry and state (JSON)
//   pixel PATH X Y             the colour drawn at X,Y of the control, #rrggbb
//   grab PATH FILE             a PNG of the control (an MDI child with its
//                              frame); PATH "@screen" grabs the whole screen
// Input, answered once handled or once the program waits for the person (a
// modal dialog or a menu it opened):
//   click PATH [X Y]           a left click at the centre, or at X,Y
//   fill PATH TEXT             a click into the field, Ctrl+A (or End and
//                              Backspaces where Ctrl+A is refused), then TEXT typed
//   type PATH TEXT             a click into the field, then TEXT typed
//   key PATH KEYS              a key sequence ("Return", "Ctrl+F4") typed into
//                              PATH's window, to whatever has its focus
//   menu PATH                  the menu entry clicked through the menu bar
//                              and its submenus, as a person opens them
//   tab PATH TEXT              the tab with that caption clicked
//   filedialog FILE            the open file dialog: FILE typed as its file
//                              name, then Return
//   drag PATH X1 Y1 X2 Y2      the left button pressed at X1,Y1 of the control,
//                              moved to X2,Y2 and let go (a splitter, a slider)
//   setgeometry PATH X Y W H   a window moved and sized, as the window manager
//                              does when a person drags its frame
//   windowstate PATH STATE     a window made normal, minimized or maximized,
//                              as by the buttons of its frame
//
// Threads: GUI thread only.
namespace TestDriverCommands {

struct Reply {
  bool ok = true;
  QString text;
  // The input a command gives; the answer goes when it has been handled or
  // the program waits for the person (TestDriver.h).
  std::function<void()> act;
};

Reply run(const QStringList& fields);

}  // namespace TestDriverCommands
