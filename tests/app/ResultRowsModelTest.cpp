// The list model over ResultRows: no columns before set-up, texts, removal
// and sorting.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace fendrik
