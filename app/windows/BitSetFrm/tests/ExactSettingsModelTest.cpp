#include "ExactSettingsModel.h"

#include <gtest/gtest.h>
#include <QSignalSpy>

namespace {

QString text(const ExactSettingsModel& model, int row, int column) {
  return model.data(model.index(row, column)).toString();
}

TEST(ExactSettingsModel, ShowsEachSettingWithItsRegisterBytes) {
  ExactSettingsModel model;
  model.setSettings(bit_timing::ExactSettings(8, 125000, 75));
  ASSERT_GE(model.rowCount(), 3);
  EXPECT_EQ(model.columnCount(), ExactSettingsModel::Columns);
  // BRP 16, BS1 2, BS2 1, the search's answer, is the third 75 % row.
  EXPECT_EQ(text(model, 2, ExactSettingsModel::BrpColumn), "10");
  EXPECT_EQ(text(model, 2, ExactSettingsModel::Bs1Column), "2");
  EXPECT_EQ(text(model, 2, ExactSettingsModel::Bs2Column), "1");
  EXPECT_EQ(text(model, 2, ExactSettingsModel::SamplePointColumn), "75.0 %");
  EXPECT_EQ(text(model, 2, ExactSettingsModel::TimeQuantumColumn), "2000 ns");
  EXPECT_EQ(text(model, 2, ExactSettingsModel::BrprColumn), "0F");
  EXPECT_EQ(text(model, 2, ExactSettingsModel::BtrColumn), "01");
  EXPECT_EQ(model.settingAt(2), (bit_timing::Setting{16, 2, 1}));
  EXPECT_EQ(model.headerData(ExactSettingsModel::SamplePointColumn, Qt::Horizontal).toString(), "Sample point");
}

TEST(ExactSettingsModel, BrprFollowsTheJumpWidth) {
  ExactSettingsModel model;
  model.setSettings(bit_timing::ExactSettings(8, 125000, 75));
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  model.setJumpWidth(3);
  ASSERT_EQ(changed.size(), 1);
  EXPECT_EQ(text(model, 2, ExactSettingsModel::BrprColumn), "8F");
  model.setSettings({});
  EXPECT_EQ(model.rowCount(), 0);
  model.setJumpWidth(4);  // nothing to change, nothing to announce
  EXPECT_EQ(changed.size(), 1);
}

}  // namespace
