// How the test driver finds the control a PATH names (TestDriverCommands.h)
// and names it in its messages.
//
// Threads: GUI thread only.
#pragma once

#include <QString>

class QObject;
class QWidget;

namespace TestDriverCommands {

// A caption without its mnemonic marks ("&Load" -> "Load", "&&" -> "&").
QString plain(const QString& caption);
// The caption of a button, label, menu entry, group or menu; empty for others.
QString captionOf(const QObject* object);
// Class and object name, as the messages name a control.
QString describe(const QObject* object);

// The object a PATH names, or null with the reason in `error`.
QObject* resolve(const QString& path, QString* error);
// The same for a widget: null with the reason when it names none.
QWidget* resolveWidget(const QString& path, QString* error);

// What a person sees of a window: an MDI child with its frame.
QWidget* framed(QWidget* widget);

}  // namespace TestDriverCommands
