#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPixmap>
#include <QTest>

#include "HexEdit.h"

THexEdit* Field(QWidget* window, const QString& name) {
  auto* field = window->findChild<THexEdit*>(name);
  EXPECT_NE(field, nullptr) << name.toStdString();
  return field;
}

void TypeInto(THexEdit* field, const char* keys) {
  field->setFocus(Qt::TabFocusReason);
  for (const char* k = keys; *k; ++k) QTest::keyClick(field, *k);
}

bool ShowActive(QWidget* window) {
  window->show();
  window->activateWindow();
  return QTest::qWaitForWindowActive(window);
}

void SaveScreenshot(QWidget* window, const QString& name) {
  const QString dir = qEnvironmentVariable("VORELAN_SCREENSHOT_DIR");
  const QPixmap picture = window->grab();
  EXPECT_FALSE(picture.isNull());
  if (!dir.isEmpty()) picture.save(QDir(dir).filePath(name + QStringLiteral(".png")));
}
