#pragma once

#include <QString>
#include <QStringList>

// The help file's pages and the help commands that open them. A help command
// is the help file's name, optionally followed directly by "::/" and a page:
// "vorelan.chm" opens the contents, "vorelan.chm::/Trace_window.html" the Trace
// window's page.
namespace HelpTopics {

QString helpFileName();  // "vorelan.chm"
QString indexPage();     // "index.html": the contents, the help file's default page

// The page of each window, by component name: "MainFrm" -> "Main_window.html",
// a tool window -> the page on its line of the tool window table
// (ToolWindows.h: "RegFrm" -> "Reg_window.html", ...). Empty for any other window.
QString pageForWindow(const QString& componentName);

// The command of "Help on current window": the help file's name followed by
// "::/" and the window's page, or the help file's name alone for a window
// without a page (the About box, for instance).
QString commandForWindow(const QString& componentName);

// The page a command names ("Trace_window.html"), or the index page when it
// names none. Empty when the command names a page that does not exist. A leading
// "hh " and the letter case of the file and page names do not matter.
QString pageForCommand(const QString& command);

// Every page of the help: the index, the main window's and each tool window's.
QStringList allPages();

// Registers the compiled pages (resource folder ":/help") once; they live in
// a static library, which only keeps them when something asks for them.
void loadPages();
// Whether the page is compiled in.
bool pageExists(const QString& page);
// A page's HTML as the viewer shows it: the compiled page, the index with
// the tool windows' rows filled in from their table (HelpIndex.h). Empty for
// a page that is not compiled in.
QString pageHtml(const QString& page);

}  // namespace HelpTopics
