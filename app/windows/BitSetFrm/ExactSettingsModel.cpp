#include "ExactSettingsModel.h"

namespace {

QString hexByte(int value) {
  return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

TExactSettingsModel::TExactSettingsModel(QObject* parent) : QAbstractTableModel(parent) {}

void TExactSettingsModel::setSettings(std::vector<BitTiming::ExactSetting> settings) {
  beginResetModel();
  settings_ = std::move(settings);
  endResetModel();
}

void TExactSettingsModel::setJumpWidth(int rjw) {
  if (rjw == rjw_) return;
  rjw_ = rjw;
  if (!settings_.empty()) emit dataChanged(index(0, BrprColumn), index(rowCount() - 1, BrprColumn));
}

int TExactSettingsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(settings_.size());
}

int TExactSettingsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Columns;
}

QVariant TExactSettingsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const BitTiming::ExactSetting& e = settings_[std::size_t(index.row())];
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case BrpColumn:  // as the BRP field shows it
      return hexByte(e.setting.brp);
    case Bs1Column:
      return e.setting.bs1;
    case Bs2Column:
      return e.setting.bs2;
    case SamplePointColumn:
      return QStringLiteral("%1.%2 %").arg(e.samplePointTenths / 10).arg(e.samplePointTenths % 10);
    case TimeQuantumColumn:
      return QStringLiteral("%1 ns").arg(e.timeQuantumNs);
    case BrprColumn:
      return hexByte(BitTiming::PackBRPR(e.setting.brp, rjw_));
    case BtrColumn:
      return hexByte(BitTiming::PackBTR(e.setting.bs1, e.setting.bs2));
    default:
      return {};
  }
}

QVariant TExactSettingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    switch (section) {
      case BrpColumn:
        return QStringLiteral("BRP");
      case Bs1Column:
        return QStringLiteral("BS1");
      case Bs2Column:
        return QStringLiteral("BS2");
      case SamplePointColumn:
        return QStringLiteral("Sample point");
      case TimeQuantumColumn:
        return QStringLiteral("TQ");
      case BrprColumn:
        return QStringLiteral("BRPR");
      case BtrColumn:
        return QStringLiteral("BTR");
      default:
        return {};
    }
  }
  if (role == Qt::ToolTipRole) {
    switch (section) {
      case BrpColumn:
        return QStringLiteral("Baud rate prescaler, hexadecimal as in the BRP field");
      case SamplePointColumn:
        return QStringLiteral("Sample point of the setting, in percent of the bit time");
      case TimeQuantumColumn:
        return QStringLiteral("Time quantum");
      case BrprColumn:
        return QStringLiteral("Baud rate prescaler register (with the current jump width), hexadecimal");
      case BtrColumn:
        return QStringLiteral("Bit timing register, hexadecimal");
      default:
        return {};
    }
  }
  return {};
}
