// Alternating row bands of the result list, seen in the painted pixels.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>

#include "TestSupport.h"
#include "app/AltLinesBackground.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"

namespace fendrik::test {
namespace {

const QColor kPale(255, 255, 200);

ResultRows Rows(int count) {
  ResultRows rows;
  for (int i = 0; i < count; ++i)
    rows.append({"/teile/t" + std::to_string(i) + ".par", "t" + std::to_string(i), "par"});
  return rows;
}

class RowBands : public testing::Test {
 protected:
  void SetUp() override {
    run_ = StartProgram();
    run_->window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&run_->window));
  }

  ResultListView& list() { return *run_->window.listView(); }

  // The colour in the middle of an empty column at the height of a row
  // position (rows below the last one continue the pattern).
  QColor ColourAtRow(int row) {
    const QRect first = list().visualRect(list().model()->index(0, 10));
    const int height = list().bandHeight() > 0 ? list().bandHeight() : first.height();
    const int x = first.isValid() ? first.center().x() : 960;
    const int y = (first.isValid() ? first.top() : 0) + row * height + height / 2;
    return list().viewport()->grab().toImage().pixelColor(x, y);
  }

  std::unique_ptr<ProgramRun> run_;
};

TEST_F(RowBands, FirstRowPaleThenAlternatingAlsoBelowTheRows) {
  run_->window.rowsModel()->setRows(Rows(5));
  SetAltLinesBackground(list(), *run_->window.altLinesPicture());
  const QColor base = list().palette().color(QPalette::Base);
  for (int row = 0; row < 8; ++row) EXPECT_EQ(ColourAtRow(row), row % 2 == 0 ? kPale : base) << row;
}

TEST_F(RowBands, EmptyListHasNoBands) {
  SetAltLinesBackground(list(), *run_->window.altLinesPicture());
  EXPECT_FALSE(list().hasRowBands());
  EXPECT_EQ(ColourAtRow(0), list().palette().color(QPalette::Base));
}

TEST_F(RowBands, OneRowStillGetsBands) {
  run_->window.rowsModel()->setRows(Rows(1));
  SetAltLinesBackground(list(), *run_->window.altLinesPicture());
  EXPECT_EQ(ColourAtRow(0), kPale);
  EXPECT_EQ(ColourAtRow(1), list().palette().color(QPalette::Base));
  EXPECT_EQ(ColourAtRow(2), kPale);
}

TEST_F(RowBands, RemovingAndSortingKeepOneBandPerRow) {
  run_->window.rowsModel()->setRows(Rows(6));
  QWidget& picture = *run_->window.altLinesPicture();
  SetAltLinesBackground(list(), picture);
  SetAltLinesBackground(list(), picture);
  EXPECT_EQ(picture.palette().color(picture.backgroundRole()), kPale);
  run_->window.rowsModel()->removeRowAt(2);
  run_->window.rowsModel()->sortByColumn(1, false);
  const QColor base = list().palette().color(QPalette::Base);
  for (int row = 0; row < 5; ++row) EXPECT_EQ(ColourAtRow(row), row % 2 == 0 ? kPale : base) << row;
}

TEST_F(RowBands, BandsFollowScrolling) {
  run_->window.rowsModel()->setRows(Rows(200));
  SetAltLinesBackground(list(), *run_->window.altLinesPicture());
  list().scrollTo(list().model()->index(101, 1), QAbstractItemView::PositionAtTop);
  // Row 101 is odd: the list's own colour; row 102 pale.
  const QRect row101 = list().visualRect(list().model()->index(101, 10));
  const QImage image = list().viewport()->grab().toImage();
  EXPECT_EQ(image.pixelColor(row101.center()), list().palette().color(QPalette::Base));
  EXPECT_EQ(image.pixelColor(row101.center() + QPoint(0, row101.height())), kPale);
}

}  // namespace
}  // namespace fendrik::test
