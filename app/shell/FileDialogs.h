#pragma once

#include <QString>

class QWidget;

// The main window's four file dialogs. Their filters are written as pairs of
// description and pattern separated by bars, and converted to Qt's form.
// The open dialogs accept only an existing file; the save dialogs add the
// default extension to a name without one and overwrite without asking.
//
// Threads: GUI thread only.
namespace FileDialogs {

enum class Kind { OpenRegisters, SaveRegisters, OpenTrace, SaveTrace };

QString registerFilter();  // "Register File (*.rgr)|*.rgr|All (*.*)|*.*"
QString traceFilter();     // "Trace File (*.trc)|*.trc|All (*.*)|*.*"

// "Register File (*.rgr)|*.rgr|All (*.*)|*.*" -> "Register File (*.rgr);;All files (*)".
// Qt takes each pattern from the parentheses of the description; "*.*" is
// every file, which on Linux is "*" (many files have no extension).
QString toQtFilter(const QString& barFilter);

bool isOpen(Kind kind);
QString filterOf(Kind kind);
QString defaultSuffixOf(Kind kind);  // "rgr", "trc"; empty for the open dialogs
QString captionOf(Kind kind);

// Runs the dialog modally; the chosen path, or empty when cancelled.
QString run(Kind kind, QWidget* parent);

}  // namespace FileDialogs
