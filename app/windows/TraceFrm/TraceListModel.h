// The lines of the trace for the Trace window's list: a time column and the
// five text columns of the frame, one row per received frame. Lines are only
// appended, a pass's frames at a time, or replaced all at once (clearing,
// loading a file), so a view never redraws a long trace line by line. Beside
// each line the model keeps when its frame was read and whether it was a
// remote frame (TTraceListing), for the time column and the candump export.
//
// Threads: GUI thread only.
#pragma once

#include <QAbstractTableModel>

#include <optional>
#include <vector>

#include "TraceLine.h"
#include "TraceListing.h"

class TTraceListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { ColTime, ColId, ColDlc, ColData, ColFilter, ColBuffer, ColumnCount };

  explicit TTraceListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  // DisplayRole: the cell's text; TextAlignmentRole: the column's alignment.
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // "Time", "ID", "DLC", "Data", "Filter", "Buffer", aligned like their columns.
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  const std::vector<TTraceLine>& lines() const { return lines_; }
  // listings()[k] belongs to lines()[k].
  const std::vector<TTraceListing>& listings() const { return listings_; }
  // Appends the lines in one insertion; listings[k] belongs to lines[k].
  void append(std::vector<TTraceLine> lines, std::vector<TTraceListing> listings);
  void append(TTraceLine line, TTraceListing listing);
  void clear();
  // Replaces every line in one reset.
  void replace(std::vector<TTraceLine> lines, std::vector<TTraceListing> listings);

  // The Time cell: seconds since the first timed line, to the millisecond;
  // empty for a line without a time (from an older trace file).
  QString timeText(std::size_t row) const;

  static QString columnCaption(int column);
  static Qt::Alignment columnAlignment(int column);

 private:
  std::vector<TTraceLine> lines_;
  std::vector<TTraceListing> listings_;                         // as many as lines_
  std::optional<std::chrono::system_clock::time_point> start_;  // of the first timed line
};
