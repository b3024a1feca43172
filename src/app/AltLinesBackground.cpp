#include "app/AltLinesBackground.h"

#include <QWidget>

#include "app/ResultListView.h"

namespace fendrik {

void SetAltLinesBackground(ResultListView& list, const QWidget& picture) {
  QAbstractItemModel* model = list.model();
  if (model == nullptr || model->rowCount() == 0 || model->columnCount() == 0) {
    list.clearRowBands();
    return;
  }
  int rowHeight = list.visualRect(model->index(0, 0)).height();
  if (rowHeight <= 0) rowHeight = list.sizeHintForRow(0);
  list.setRowBands(picture.palette().color(picture.backgroundRole()), rowHeight);
}

}  // namespace fendrik
