#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"

namespace fendrik::bench {

// The result list as the benchmarks show it (offscreen): a 1400 x 700 window
// with the list view at 96 dpi, its columns set up, and a picture whose
// colour the row bands take.
struct ListWindow {
  QWidget window;
  ResultRowsModel model;
  ResultListView list{&model, Twips(96), &window};
  QWidget picture;

  ListWindow() {
    window.resize(1400, 700);
    model.showColumns();
    list.setGeometry(0, 0, 1380, 600);
    picture.setPalette(QPalette(QColor(255, 255, 200)));
  }
};

}  // namespace fendrik::bench
