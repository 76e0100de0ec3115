#pragma once

#include <QList>
#include <QPointer>

class QMainWindow;
class QMdiSubWindow;
class TClientArea;

// Where the main window and its tool windows go on a first start, when no
// position of theirs is stored yet.
//
// Threads: GUI thread only.
namespace FirstStartLayout {

// The main window over most of the screen's free area (nine tenths of each
// side, never below its minimum size), centred.
void fitToScreen(QMainWindow& window);

// Once the event loop runs (the main window is shown and its dock in place),
// the tool windows that are still there and not hidden are placed side by
// side in the client area (TClientArea::placeSideBySide).
void arrangeOnceShown(QMainWindow& window, TClientArea& area, const QList<QPointer<QMdiSubWindow>>& windows);

}  // namespace FirstStartLayout
