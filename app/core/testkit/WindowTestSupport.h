// Helpers of the tool windows' tests: finding and typing into hex fields,
// showing a window so that the focus moves, and pictures for people to look at.
#pragma once

#include <QString>

class QWidget;
class THexEdit;

// The field of that component name; fails the test when there is none.
THexEdit* Field(QWidget* window, const QString& name);
// Focuses the field and types the characters one key at a time.
void TypeInto(THexEdit* field, const char* keys);
// Shows the window and waits until it is active, so that focus moves.
bool ShowActive(QWidget* window);
// Writes the window's picture to $VORELAN_SCREENSHOT_DIR/<name>.png when that is set.
void SaveScreenshot(QWidget* window, const QString& name);
