#include "ExactSettingsModel.h"

#include <gtest/gtest.h>
#include <QSignalSpy>

namespace {

QString text(const TExactSettingsModel& model, int row, int column) {
  return model.data(model.index(row, column)).toString();
}

TEST(ExactSettingsModel, ShowsEachSettingWithItsRegisterBytes) {
  TExactSettingsModel model;
  model.setSettings(BitTiming::ExactSettings(8, 125000, 75));
  ASSERT_GE(model.rowCount(), 3);
  EXPECT_EQ(model.columnCount(), TExactSettingsModel::Columns);
  // BRP 16, BS1 2, BS2 1, the search's answer, is the third 75 % row.
  EXPECT_EQ(text(model, 2, TExactSettingsModel::BrpColumn), "10");
  EXPECT_EQ(text(model, 2, TExactSettingsModel::Bs1Column), "2");
  EXPECT_EQ(text(model, 2, TExactSettingsModel::Bs2Column), "1");
  EXPECT_EQ(text(model, 2, TExactSettingsModel::SamplePointColumn), "75.0 %");
  EXPECT_EQ(text(model, 2, TExactSettingsModel::TimeQuantumColumn), "2000 ns");
  EXPECT_EQ(text(model, 2, TExactSettingsModel::BrprColumn), "0F");
  EXPECT_EQ(text(model, 2, TExactSettingsModel::BtrColumn), "01");
  EXPECT_EQ(model.settingAt(2), (BitTiming::Setting{16, 2, 1}));
  EXPECT_EQ(model.headerData(TExactSettingsModel::SamplePointColumn, Qt::Horizontal).toString(), "Sample point");
}

TEST(ExactSettingsModel, BrprFollowsTheJumpWidth) {
  TExactSettingsModel model;
  model.setSettings(BitTiming::ExactSettings(8, 125000, 75));
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  model.setJumpWidth(3);
  ASSERT_EQ(changed.size(), 1);
  EXPECT_EQ(text(model, 2, TExactSettingsModel::BrprColumn), "8F");
  model.setSettings({});
  EXPECT_EQ(model.rowCount(), 0);
  model.setJumpWidth(4);  // nothing to change, nothing to announce
  EXPECT_EQ(changed.size(), 1);
}

}  // namespace
