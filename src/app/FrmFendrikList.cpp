// The user's handling of the result list: the filters and their reset,
// header clicks, row clicks, double clicks, the reset key, and the open
// check of the clicked document.
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>

#include "app/AltLinesBackground.h"
#include "app/FrmFendrik.h"
#include "app/Messages.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
#include "properties/StorageError.h"
#include "resultlist/RowFilter.h"

namespace fendrik {

namespace {
QString PositionText(int position, int count) { return QString("%1 / %2").arg(position).arg(count); }
}  // namespace

void FrmFendrik::TxtSuche_GotFocus(int index) {
  QLineEdit* box = TxtSuche[index];
  box->selectAll();
  // A mouse click into the box places the cursor after the focus arrived;
  // selecting once more afterwards keeps the whole text selected.
  QMetaObject::invokeMethod(
      box,
      [box] {
        if (box->hasFocus()) box->selectAll();
      },
      Qt::QueuedConnection);
}

void FrmFendrik::TxtSuche_LostFocus(int index) {
  if (!TxtSuche[index]->text().isEmpty()) ApplyFilter(index);
}

void FrmFendrik::ApplyFilter(int index) {
  const bool doesNotContain = ChkFilter[index]->isChecked();
  const size_t left = rowsModel_->applyFilter(FilterColumnOfBox(index), TxtSuche[index]->text(), doesNotContain);
  Label6->setText(QString::number(left));
  // The focus is moving on to another control right now; the list takes
  // it once that move is done.
  QMetaObject::invokeMethod(
      ListView1,
      [list = ListView1] {
        if (list->isEnabled()) list->setFocus(Qt::OtherFocusReason);
      },
      Qt::QueuedConnection);
}

void FrmFendrik::ClearFilters() {
  for (int k = 0; k < kFilterBoxes; ++k) {
    TxtSuche[k]->clear();
    ChkFilter[k]->setChecked(false);
  }
}

void FrmFendrik::Frame2_DblClick() {
  if (listBusy_) return;
  reloadListFile();
}

void FrmFendrik::ListView1_ColumnClick(int column) {
  if (rowsModel_->rowCount() > 0 && !listBusy_) {
    rowsModel_->sortByColumn(column, !rowsModel_->sortAscending());
    const QModelIndex first = rowsModel_->index(0, 0);
    ListView1->setCurrentIndex(first);
    ListView1->scrollTo(first);
  }
  // Also on an empty list: the header flipped its indicator by itself.
  ListView1->showSortState();
}

void FrmFendrik::ListView1_ItemClick(int row) {
  const int count = rowsModel_->rowCount();
  if (row < 0 || row >= count) return;
  CurrentPath = rowsModel_->rows().text(static_cast<size_t>(row), 0);
  ClickedRow = row + 1;
  Label6->setText(PositionText(ClickedRow, count));
  TxtWahl->setText(ShownText(CurrentPath));
  SEProperty_Liste();
}

void FrmFendrik::ListView1_DblClick() {
  // A double click on a row follows a row click on that row; when no row
  // was clicked, or that position is gone since, nothing is removed.
  if (listBusy_ || ClickedRow < 1 || ClickedRow > rowsModel_->rowCount()) return;
  rowsModel_->removeRowAt(ClickedRow - 1);
  Label6->setText(QString::number(rowsModel_->rowCount()));
}

void FrmFendrik::ListView1_KeyPress(QChar key) {
  if (key.toLower() == QChar('r')) ResetColumnWidths();
}

void FrmFendrik::SEProperty_Liste() {
  if (!server_) return;
  try {
    server_->Open(CurrentPath);
  } catch (const StorageError& error) {
    server_->Close();
    ShowMessage(this, "Fehler beim Open der Basis-Datei: " + QString::number(error.number()) + " / " +
                          QString::fromStdString(error.description()));
  } catch (const std::exception& error) {
    server_->Close();
    ShowMessage(this, "Fehler beim Open der Basis-Datei: 0 / " + QString::fromLocal8Bit(error.what()));
  }
  server_->Close();
}

}  // namespace fendrik
