// What the test driver's commands share: the replies they give and the
// numbers they read from their fields (TestDriverCommands.h).
#pragma once

#include "TestDriverCommands.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <initializer_list>

namespace TestDriverCommands {

// How long a command waits for the program to open a menu or activate a
// window: a guard against a hang, never a pause.
inline constexpr int kUiWaitMs = 10000;

inline Reply failure(const QString& message) {
  return {false, message, {}};
}
inline Reply success(const QString& text = QString()) {
  return {true, text, {}};
}
inline Reply success(const QJsonObject& object) {
  return success(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}
inline Reply acting(std::function<void()> act) {
  return {true, QString(), std::move(act)};
}

// No window is larger (QWIDGETSIZE_MAX): coordinates and sizes within it
// leave room for any sum or step the commands make of them.
inline constexpr int kMaxCoordinate = 16777215;

// The fields from `first` on, as many as `values` has, as integers within
// [low, high]; else false with the message naming the first that is not one.
inline bool integers(const QStringList& fields, qsizetype first, std::initializer_list<int*> values, int low, int high,
                     QString* error) {
  for (int* value : values) {
    const QString text = fields.value(first++);
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    if (!ok || number < low || number > high) {
      *error = QStringLiteral("not a whole number from %1 to %2: %3").arg(low).arg(high).arg(text);
      return false;
    }
    *value = static_cast<int>(number);
  }
  return true;
}

}  // namespace TestDriverCommands
