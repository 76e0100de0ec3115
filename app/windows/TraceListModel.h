// The lines of the trace for the Trace window's list: five text columns, one
// row per received frame. Lines are only appended, one at a time, or replaced
// all at once (clearing, loading a file), so a view never redraws a long
// trace line by line. Beside each line the model keeps what the trace file
// does not hold (TTraceListing: when it was listed, whether its frame was a
// remote frame), for the candump export.
//
// Threads: GUI thread only.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "TraceLine.h"
#include "TraceListing.h"

class TTraceListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { ColId, ColDlc, ColData, ColFilter, ColBuffer, ColumnCount };

  explicit TTraceListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  // DisplayRole: the cell's text; TextAlignmentRole: the column's alignment.
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  // "ID", "DLC", "Data", "Filter", "Buffer", aligned like their columns.
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  const std::vector<TTraceLine>& lines() const { return lines_; }
  // listings()[k] belongs to lines()[k].
  const std::vector<TTraceListing>& listings() const { return listings_; }
  void append(TTraceLine line, TTraceListing listing);
  // A line listed now, of a data frame.
  void append(TTraceLine line) { append(std::move(line), {std::chrono::system_clock::now(), false}); }
  void clear();
  // Replaces every line in one reset; they are listed now, as data frames
  // (a trace file says neither when nor which kind).
  void replace(std::vector<TTraceLine> lines);

  static QString columnCaption(int column);
  static Qt::Alignment columnAlignment(int column);

 private:
  std::vector<TTraceLine> lines_;
  std::vector<TTraceListing> listings_;  // as many as lines_
};
