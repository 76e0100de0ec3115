// The help's contents page as the viewer shows it: the compiled index.html,
// whose two markers take a row for each line of the tool window table, in the
// table's order. "<!--tool windows: pages-->" takes a row of the pages table
// (the window's page, linked by its title, and what it covers: the content
// of the page's <meta name="description">); "<!--tool windows: keys-->" a row
// of the keyboard table (the window's shortcut and its page's title). So a
// new window reaches the contents through its line and its page alone.
//
// Threads: GUI thread only, as the compiled pages are registered there.
#pragma once

#include <QString>

#include "ToolWindows.h"

namespace HelpIndex {

// The contents with the markers replaced, each window's title and
// description read from its compiled page (":/help/<page>").
QString fillIn(const QString& indexHtml, const ToolWindowTable& table);

}  // namespace HelpIndex
