// Column widths: the first-start rule, stored texts, the reset key and what
// shutdown stores.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QTest>

#include "TestSupport.h"
#include "app/ColumnWidths.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
#include "app/SettingsStore.h"

namespace fendrik::test {
namespace {

const ColumnWidthSet kFirstStart = FirstStartWidths();

QMap<QString, QString> WidthTexts(const std::function<QString(int column)>& text) {
  QMap<QString, QString> texts;
  for (int k = 0; k < 24; ++k) {
    QString value = text(k);
    if (!value.isNull()) texts[QString("Liste/Breite(%1)").arg(k + 1)] = value;
  }
  return texts;
}

TEST(ColumnWidths, StoredZeroForTheHiddenColumnKeepsEveryStoredWidth) {
  SeedSettings(WidthTexts([](int k) { return QString::number(k == 0 ? 0 : 100 * k + 7); }));
  auto run = StartProgram();
  for (int k = 0; k < 24; ++k) EXPECT_EQ(run->window.listView()->columnWidthTwips(k), k == 0 ? 0 : 100 * k + 7) << k;
}

TEST(ColumnWidths, Stored1500ForTheHiddenColumnBringsBackTheFirstNine) {
  SeedSettings(WidthTexts([](int k) { return QString::number(k == 0 ? 1500 : 2222); }));
  auto run = StartProgram();
  for (int k = 0; k < 24; ++k)
    EXPECT_EQ(run->window.listView()->columnWidthTwips(k), k < 9 ? kFirstStart[k] : 2222) << k;
}

TEST(ColumnWidths, MissingAndNonNumericKeysCountAs1500) {
  SeedSettings(WidthTexts([](int k) -> QString {
    if (k == 0) return "0";
    if (k == 3) return "breit";
    if (k == 4) return "";
    if (k % 2 == 1) return QString();  // missing
    return " 2000 ";
  }));
  auto run = StartProgram();
  EXPECT_EQ(run->window.listView()->columnWidthTwips(0), 0);
  EXPECT_EQ(run->window.listView()->columnWidthTwips(1), 1500);
  EXPECT_EQ(run->window.listView()->columnWidthTwips(2), 2000);
  EXPECT_EQ(run->window.listView()->columnWidthTwips(3), 1500);
  EXPECT_EQ(run->window.listView()->columnWidthTwips(4), 1500);
  EXPECT_EQ(run->window.listView()->columnWidthTwips(8), 2000);
}

TEST(ColumnWidths, ShutdownStoresWholeTwipsAndTheListShowsPixels) {
  {
    auto run = StartProgram();
    ResultListView* list = run->window.listView();
    list->setColumnWidthTwips(1, 1234.7);
    list->setColumnWidthTwips(2, -30);
    EXPECT_EQ(list->header()->sectionSize(1), run->window.twips().toPixels(1234.7));
    EXPECT_EQ(list->header()->sectionSize(2), 0);
    EXPECT_EQ(list->header()->sectionSize(0), 0);
    // A width the user drags is taken over from the pixels.
    list->header()->resizeSection(3, 100);
    EXPECT_EQ(list->columnWidthTwips(3), run->window.twips().fromPixels(100));
    ASSERT_TRUE(run->window.SaveSettings());
  }
  QMap<QString, QString> stored = StoredSettings();
  EXPECT_EQ(stored["Liste/Breite(1)"], "0");
  EXPECT_EQ(stored["Liste/Breite(2)"], "1234");
  EXPECT_EQ(stored["Liste/Breite(3)"], "-30");
  EXPECT_EQ(stored["Liste/Breite(4)"], "1500");
}

TEST(ColumnWidths, TheRKeyInTheListResetsEveryWidth) {
  SeedSettings(WidthTexts([](int k) { return QString::number(k == 0 ? 0 : 999); }));
  auto run = StartProgram();
  ResultListView* list = run->window.listView();
  QTest::keyClick(list, Qt::Key_X);
  EXPECT_EQ(list->columnWidthTwips(5), 999);
  QTest::keyClick(list, Qt::Key_R, Qt::ShiftModifier);
  for (int k = 0; k < 24; ++k) EXPECT_EQ(list->columnWidthTwips(k), k < 9 ? kFirstStart[k] : 1500) << k;

  list->setColumnWidthTwips(12, 4000);
  QTest::keyClick(list, Qt::Key_R);
  EXPECT_EQ(list->columnWidthTwips(12), 1500);
  // The reset is stored at shutdown like any other width and comes back.
  ASSERT_TRUE(run->window.SaveSettings());
  run.reset();
  auto again = StartProgram();
  for (int k = 0; k < 24; ++k)
    EXPECT_EQ(again->window.listView()->columnWidthTwips(k), k < 9 ? kFirstStart[k] : 1500) << k;
}

TEST(ColumnWidthRules, PlainFunctions) {
  EXPECT_EQ(WidthKey(0), "Breite(1)");
  EXPECT_EQ(WidthKey(23), "Breite(24)");
  EXPECT_EQ(ParseStoredNumber("1500"), 1500);
  EXPECT_EQ(ParseStoredNumber(" 12.5 "), 12.5);
  EXPECT_FALSE(ParseStoredNumber("12px"));
  EXPECT_FALSE(ParseStoredNumber("nan"));
  EXPECT_FALSE(ParseStoredNumber(""));
  EXPECT_EQ(WidthText(1234.7), "1234");
  EXPECT_EQ(WidthText(0), "0");
  EXPECT_EQ(WidthText(-0.5), "-1");
  EXPECT_EQ(WidthText(100000), "100000");
}

}  // namespace
}  // namespace fendrik::test
