// The communication settings as they are stored.
#include "CommSettings.h"
#include "SettingsStore.h"
#include "StoredSettings.h"

#include <gtest/gtest.h>

using namespace shelltest;

namespace {

TEST(CommSettingsTest, ReadsStringsOnlyAndDefaultsTheTimeOut) {
  wipeSettings();
  EXPECT_EQ(TCommSettings::read(), (TCommSettings{"", "", "1000"}));
  TSettingsStore key("Communication");
  key.writeInt("Port", 2);  // the wrong type counts as missing
  key.writeString("Settings", "9600,n,8,1");
  key.writeString("TimeOut", "");
  key.sync();
  EXPECT_EQ(TCommSettings::read(), (TCommSettings{"", "9600,n,8,1", "1000"}));

  EXPECT_EQ(CommChoice::portTextToSave(std::nullopt), "");
  EXPECT_EQ(CommChoice::portTextToSave(3), "3");
  EXPECT_EQ(CommChoice::portTextToSave(2), "2");
  EXPECT_EQ(CommChoice::settingsForSpeed(19200), "19200,n,8,1");
  EXPECT_EQ(CommChoice::speedOfSettings("115200,n,8,1"), 115200);
  EXPECT_EQ(CommChoice::speedOfSettings("9600"), 9600);
  EXPECT_EQ(CommChoice::speedOfSettings(""), std::nullopt);
  EXPECT_EQ(CommChoice::speedOfSettings("fast,n,8,1"), std::nullopt);
  EXPECT_EQ(CommChoice::speedOfSettings("-9600,n,8,1"), std::nullopt);
}

}  // namespace
