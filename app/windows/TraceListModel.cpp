#include "TraceListModel.h"

#include <limits>

TTraceListModel::TTraceListModel(QObject* parent) : QAbstractTableModel(parent) {}

int TTraceListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int TTraceListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QString TTraceListModel::columnCaption(int column) {
  switch (column) {
    case ColId:
      return QStringLiteral("ID");
    case ColDlc:
      return QStringLiteral("DLC");
    case ColData:
      return QStringLiteral("Data");
    case ColFilter:
      return QStringLiteral("Filter");
    case ColBuffer:
      return QStringLiteral("Buffer");
    default:
      return {};
  }
}

Qt::Alignment TTraceListModel::columnAlignment(int column) {
  const Qt::Alignment horizontal = column == ColId || column == ColData ? Qt::AlignLeft : Qt::AlignHCenter;
  return horizontal | Qt::AlignVCenter;
}

QVariant TTraceListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount) return {};
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(columnAlignment(index.column()));
  if (role != Qt::DisplayRole) return {};
  const TTraceLine& line = lines_[static_cast<std::size_t>(index.row())];
  switch (index.column()) {
    case ColId:
      return line.id;
    case ColDlc:
      return line.dlc;
    case ColData:
      return line.data;
    case ColFilter:
      return line.filter;
    case ColBuffer:
      return line.buffer;
    default:
      return {};
  }
}

QVariant TTraceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
  if (role == Qt::DisplayRole) return columnCaption(section);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(columnAlignment(section));
  return {};
}

void TTraceListModel::append(TTraceLine line, TTraceListing listing) {
  // A view counts rows in an int; a trace that long (years of tracing) stops growing.
  if (lines_.size() >= static_cast<std::size_t>(std::numeric_limits<int>::max())) return;
  const int row = rowCount();
  beginInsertRows(QModelIndex(), row, row);
  lines_.push_back(std::move(line));
  listings_.push_back(listing);
  endInsertRows();
}

void TTraceListModel::clear() {
  replace({});
}

void TTraceListModel::replace(std::vector<TTraceLine> lines) {
  beginResetModel();
  lines_ = std::move(lines);
  listings_.assign(lines_.size(), TTraceListing{std::chrono::system_clock::now(), false});
  endResetModel();
}
