// The lines of the trace for the Trace window's list: five text columns, one
// row per received frame. Lines are only appended, one at a time, or replaced
// all at once (clearing, loading a file), so a view never redraws a long
// trace line by line.
//
// Threads: GUI thread only.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "TraceLine.h"

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
  void append(TTraceLine line);
  void clear();
  // Replaces every line in one reset.
  void replace(std::vector<TTraceLine> lines);

  static QString columnCaption(int column);
  static Qt::Alignment columnAlignment(int column);

 private:
  std::vector<TTraceLine> lines_;
};
