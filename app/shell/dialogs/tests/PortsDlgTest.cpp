// The port dialog on its own: what it offers and what it takes.
#include "PortsDlg.h"

#include <QComboBox>

#include <gtest/gtest.h>

namespace {

TEST(PortsDlgTest, OffersTheDevicesAndTakesTypedPaths) {
  TPortsDlg dialog("COM2=/dev/ttyACM0\n", {"/dev/ttyUSB0", "/dev/ttyACM0"});
  EXPECT_EQ(dialog.deviceBox(1)->currentText(), "");
  EXPECT_EQ(dialog.deviceBox(2)->currentText(), "/dev/ttyACM0");
  EXPECT_EQ(dialog.deviceBox(1)->count(), 3);  // the default device, then the two found
  dialog.deviceBox(1)->setCurrentIndex(1);
  dialog.deviceBox(3)->setCurrentText(" /tmp/socat-link ");
  const std::map<int, QString> chosen = dialog.chosenDevices();
  EXPECT_EQ(chosen.at(1), "/dev/ttyUSB0");
  EXPECT_EQ(chosen.at(2), "/dev/ttyACM0");
  EXPECT_EQ(chosen.at(3), "/tmp/socat-link");
}

}  // namespace
