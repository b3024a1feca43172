// The list model over ResultRows: no columns before set-up, texts, removal
// and sorting.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "app/ResultRowsModel.h"

namespace fendrik {
namespace {

TEST(ResultRowsModel, ShowsNothingBeforeTheColumnsAreSetUp) {
  ResultRowsModel model;
  ResultRows rows;
  rows.append({"/a.par", "a"});
  model.setRows(std::move(rows));
  EXPECT_EQ(model.columnCount(), 0);
  EXPECT_EQ(model.rowCount(), 0);
  model.showColumns();
  EXPECT_EQ(model.columnCount(), 24);
  EXPECT_EQ(model.rowCount(), 1);
}

TEST(ResultRowsModel, TextsRemovalAndSortingAsTheListSeesThem) {
  ResultRowsModel model;
  model.showColumns();
  ResultRows rows;
  rows.append({"/z/b.par", "b", "par", "/z", "", "", "", "", "3"});
  rows.append({"/z/ä.asm", "ä", "asm", "/z", "", "", "", "", "0"});
  rows.append({"/z/a.dft", "a", "dft", "/z", "", "", "", "", "5"});
  model.setRows(std::move(rows));
  EXPECT_EQ(model.data(model.index(1, 1), Qt::DisplayRole).toString(), "ä");
  EXPECT_EQ(model.data(model.index(0, 23), Qt::DisplayRole).toString(), "");

  QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
  model.sortByColumn(8, true);
  EXPECT_EQ(layout.count(), 1);
  EXPECT_EQ(model.data(model.index(0, 8), Qt::DisplayRole).toString(), "0");
  EXPECT_EQ(model.data(model.index(2, 8), Qt::DisplayRole).toString(), "5");

  model.removeRowAt(1);
  model.removeRowAt(7);  // no such row: nothing happens
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.data(model.index(1, 1), Qt::DisplayRole).toString(), "a");

  model.setText(0, 8, "4");
  EXPECT_EQ(model.data(model.index(0, 8), Qt::DisplayRole).toString(), "4");
}

// Every change announced the way views rely on, checked by Qt's own tester
// (it fails the test on the first wrong or missing announcement).
TEST(ResultRowsModel, AnnouncesEveryChangeAsQtRequires) {
  ResultRowsModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  ResultRows rows;
  for (const char* name : {"b", "A", "c", "a"}) rows.append({std::string("/") + name + ".par", name});
  model.setRows(std::move(rows));
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  model.showColumns();  // rows and columns appear together
  EXPECT_EQ(resets.count(), 1);
  EXPECT_EQ(model.rowCount(), 4);
  model.setRows(ResultRows());
  ResultRows again;
  for (const char* name : {"b", "A", "c", "a"}) again.append({std::string("/") + name + ".par", name});
  model.setRows(std::move(again));
  model.sortByColumn(1, false);
  model.removeRowAt(2);
  model.setText(0, 9, "Titel");
  EXPECT_EQ(model.rowCount(), 3);
}

TEST(ResultRowsModel, SelectionFollowsItsRowWhenSorted) {
  ResultRowsModel model;
  model.showColumns();
  ResultRows rows;
  for (const char* name : {"d", "b", "a", "c"}) rows.append({std::string("/") + name + ".par", name});
  model.setRows(std::move(rows));
  QPersistentModelIndex b = model.index(1, 3);
  model.sortByColumn(1, true);
  EXPECT_EQ(b.row(), 1);
  EXPECT_EQ(b.column(), 3);
  QPersistentModelIndex d = model.index(3, 0);
  model.sortByColumn(1, false);
  EXPECT_EQ(d.row(), 0);
  EXPECT_EQ(model.data(model.index(d.row(), 1), Qt::DisplayRole).toString(), "d");
}

}  // namespace
}  // namespace fendrik
