#pragma once

#include <QColor>
#include <QTreeView>

#include "app/ColumnWidths.h"
#include "app/Twips.h"

namespace fendrik {

class ResultRowsModel;

// The report-style result list: rows under a header of columns. Column
// widths are kept in twips; the header shows them in pixels, and a width
// the user did not touch keeps its exact twips value. Rows can show
// alternating bands, one row high, anchored at the first row.
class ResultListView : public QTreeView {
  Q_OBJECT
 public:
  ResultListView(ResultRowsModel* model, Twips twips, QWidget* parent = nullptr);

  ResultRowsModel* rowsModel() const { return model_; }

  // The header's sort indicator shows the model's sort state: the sorted
  // column and its direction, none while the list is not sorted.
  void showSortState();

  void setColumnWidthTwips(int column, double twips);
  double columnWidthTwips(int column) const;

  // Bands of the given height in the alternate colour on every other row,
  // the first row included; the rest keeps the list's background.
  void setRowBands(QColor alternate, int bandHeight);
  void clearRowBands();
  bool hasRowBands() const { return bandHeight_ > 0; }
  QColor bandColour() const { return bandColour_; }
  int bandHeight() const { return bandHeight_; }

 signals:
  // A key typed in the list, given as its character; the key still reaches
  // the list.
  void characterTyped(QChar character);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void onSectionResized(int column, int oldSize, int newSize);

  ResultRowsModel* model_;
  Twips twips_;
  ColumnWidthSet widths_{};
  QColor bandColour_;
  int bandHeight_ = 0;
};

}  // namespace fendrik
