#include "app/ResultListView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

#include "app/ResultRowsModel.h"

namespace fendrik {

ResultListView::ResultListView(ResultRowsModel* model, Twips twips, QWidget* parent)
    : QTreeView(parent), model_(model), twips_(twips) {
  setModel(model);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  header()->setSectionsMovable(false);
  header()->setStretchLastSection(false);
  header()->setSectionsClickable(true);
  header()->setMinimumSectionSize(0);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  connect(header(), &QHeaderView::sectionResized, this, &ResultListView::onSectionResized);
  connect(model, &ResultRowsModel::sortStateChanged, this, &ResultListView::showSortState);
  showSortState();
}

void ResultListView::showSortState() {
  // The header flips its own indicator on a click; this puts it back to
  // what the list really is.
  header()->setSortIndicatorShown(model_->sorted());
  header()->setSortIndicator(model_->sorted() ? model_->sortColumn() : -1,
                             model_->sortAscending() ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void ResultListView::setColumnWidthTwips(int column, double twips) {
  if (column < 0 || column >= kColumnCount) return;
  widths_[column] = twips;
  // The list cannot show a negative width; it shows none.
  header()->resizeSection(column, std::max(0, twips_.toPixels(twips)));
}

double ResultListView::columnWidthTwips(int column) const {
  if (column < 0 || column >= kColumnCount) return 0;
  return widths_[column];
}

void ResultListView::onSectionResized(int column, int, int newSize) {
  if (column < 0 || column >= kColumnCount) return;
  // Only a width the user changed is taken over from the pixels.
  if (newSize != std::max(0, twips_.toPixels(widths_[column]))) widths_[column] = twips_.fromPixels(newSize);
}

void ResultListView::setRowBands(QColor alternate, int bandHeight) {
  bandColour_ = alternate;
  bandHeight_ = std::max(0, bandHeight);
  viewport()->update();
}

void ResultListView::clearRowBands() {
  bandHeight_ = 0;
  viewport()->update();
}

void ResultListView::paintEvent(QPaintEvent* event) {
  if (bandHeight_ > 0) {
    QPainter painter(viewport());
    // The bands belong to row positions: they start at the first row, follow
    // the scrolling and go on below the last row.
    int anchor = 0;
    if (model()->rowCount() > 0) anchor = visualRect(model()->index(0, 0)).top();
    const QRect area = event->rect();
    int first = (area.top() - anchor) / bandHeight_ - 1;
    for (int band = first;; ++band) {
      int top = anchor + band * bandHeight_;
      if (top > area.bottom()) break;
      if (band % 2 == 0) painter.fillRect(QRect(area.left(), top, area.width(), bandHeight_), bandColour_);
    }
  }
  QTreeView::paintEvent(event);
}

void ResultListView::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (text.size() == 1 && text[0].isPrint()) emit characterTyped(text[0]);
  QTreeView::keyPressEvent(event);
}

}  // namespace fendrik
