// The Bit Settings window's table of exact settings: every prescaler and
// segment pair that reaches the wanted rate exactly, one row each, closest
// sample point first (BitTiming::ExactSettings). The BRPR column packs the
// window's jump width, so it follows RJW when that changes.
#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

#include "BitTiming.h"

class TExactSettingsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { BrpColumn, Bs1Column, Bs2Column, SamplePointColumn, TimeQuantumColumn, BrprColumn, BtrColumn, Columns };

  explicit TExactSettingsModel(QObject* parent = nullptr);

  // Lists the exact settings of a search; an empty list when there are none.
  void setSettings(std::vector<BitTiming::ExactSetting> settings);
  void setJumpWidth(int rjw);
  const BitTiming::Setting& settingAt(int row) const { return settings_.at(std::size_t(row)).setting; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  std::vector<BitTiming::ExactSetting> settings_;
  int rjw_ = 1;
};
