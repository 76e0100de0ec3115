#include "TraceListModel.h"

#include <algorithm>
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
    case ColTime:
      return QStringLiteral("Time");
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
  const Qt::Alignment horizontal = column == ColTime                      ? Qt::AlignRight
                                   : column == ColId || column == ColData ? Qt::AlignLeft
                                                                          : Qt::AlignHCenter;
  return horizontal | Qt::AlignVCenter;
}

QVariant TTraceListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount) return {};
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(columnAlignment(index.column()));
  if (role != Qt::DisplayRole) return {};
  const TTraceLine& line = lines_[static_cast<std::size_t>(index.row())];
  switch (index.column()) {
    case ColTime:
      return timeText(static_cast<std::size_t>(index.row()));
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

QString TTraceListModel::timeText(std::size_t row) const {
  if (row >= listings_.size() || !listings_[row].timed || !start_) return {};
  const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(listings_[row].listed - *start_).count();
  return QString::number(static_cast<double>(since) / 1000.0, 'f', 3);
}

void TTraceListModel::append(TTraceLine line, TTraceListing listing) {
  append(std::vector<TTraceLine>{std::move(line)}, std::vector<TTraceListing>{listing});
}

void TTraceListModel::append(std::vector<TTraceLine> lines, std::vector<TTraceListing> listings) {
  listings.resize(lines.size());
  // A view counts rows in an int; a trace that long (years of tracing) stops growing.
  const std::size_t room = static_cast<std::size_t>(std::numeric_limits<int>::max()) - lines_.size();
  const std::size_t count = std::min(lines.size(), room);
  if (count == 0) return;
  const int first = rowCount();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(count) - 1);
  for (std::size_t k = 0; k < count; ++k) {
    if (!start_ && listings[k].timed) start_ = listings[k].listed;
    lines_.push_back(std::move(lines[k]));
    listings_.push_back(listings[k]);
  }
  endInsertRows();
}

void TTraceListModel::clear() {
  replace({}, {});
}

void TTraceListModel::replace(std::vector<TTraceLine> lines, std::vector<TTraceListing> listings) {
  beginResetModel();
  lines_ = std::move(lines);
  listings_ = std::move(listings);
  listings_.resize(lines_.size(), TTraceListing{std::chrono::system_clock::now(), false, false});
  start_.reset();
  for (const TTraceListing& listing : listings_)
    if (listing.timed) {
      start_ = listing.listed;
      break;
    }
  endResetModel();
}
