#pragma once

#include <QAbstractTableModel>

#include "resultlist/ResultRows.h"

namespace fendrik {

// Shows ResultRows in the result list. The list has no columns until
// showColumns() is called (start-up sets them up once).
class ResultRowsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit ResultRowsModel(QObject* parent = nullptr);

  void showColumns();
  bool columnsShown() const { return columnsShown_; }

  const ResultRows& rows() const { return rows_; }
  void setRows(ResultRows rows);
  void removeRowAt(int row);
  void setText(int row, int column, std::string_view text);
  void sortByColumn(int column, bool ascending);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  ResultRows rows_;
  bool columnsShown_ = false;
};

}  // namespace fendrik
