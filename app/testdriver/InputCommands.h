// The test driver's input commands (TestDriverCommands.h), each checked
// first as a person would meet it: a hidden, disabled or covered control, or
// one behind a modal dialog, refuses it with the reason. The input itself is
// the reply's act, given through the window system's event path.
//
// Threads: GUI thread only.
#pragma once

#include "TestDriverCommands.h"

namespace TestDriverCommands {

Reply click(const QStringList& fields);
// fill (replace) and type.
Reply typeInto(const QStringList& fields, bool replace);
Reply key(const QString& path, const QString& keys);
Reply menu(const QString& path);
Reply tab(const QString& path, const QString& caption);
Reply fileDialog(const QString& file);
Reply setGeometry(const QStringList& fields);
Reply windowState(const QString& path, const QString& state);
Reply drag(const QStringList& fields);

}  // namespace TestDriverCommands
