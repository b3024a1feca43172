#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <string_view>

#include "resultlist/ResultRows.h"

namespace fendrik {

// The text a cell shows for a row text (UTF-8). A text of millions of
// characters would keep the list busy for seconds at every paint, so a cell
// shows at most kDisplayCharacters characters, then "…"; the cut falls between
// two characters. Every character is visible and the text stays on one line:
// control characters show as their control pictures (TAB as U+2409, LF as
// U+240A, DEL as U+2421), the other line breaks (U+0085, U+2028, U+2029) as
// U+2424, bytes that are not UTF-8 as U+FFFD. The row keeps its exact bytes for filters,
// the status change and the list file.
inline constexpr int kDisplayCharacters = 500;
QString DisplayText(std::string_view utf8);

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
  // Sorts by the column and keeps it as the list's sort state: sorting on,
  // that column, that direction.
  void sortByColumn(int column, bool ascending);
  // Removes the rows filter box k's text selects (see ApplyFilter); the
  // views are told once, however many rows go. Gives the rows left.
  size_t applyFilter(int column, const QString& filterText, bool doesNotContain);

  // The sort state. New rows (setRows) switch sorting off; column and
  // direction stay, so the direction is one flag for the whole run.
  bool sorted() const { return sorted_; }
  int sortColumn() const { return sortColumn_; }
  bool sortAscending() const { return ascending_; }
  // Records rows that arrive already sorted (list filling sorts them before
  // they come here).
  void markSorted(int column, bool ascending);

 signals:
  void sortStateChanged();

 public:

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  ResultRows rows_;
  bool columnsShown_ = false;
  bool sorted_ = false;
  int sortColumn_ = kFileNameColumn;
  // Before the first sort of a run the flag stands on descending, so that
  // the first header click sorts ascending.
  bool ascending_ = false;
};

}  // namespace fendrik
