#include "app/FolderPicker.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFocusEvent>
#include <QHeaderView>
#include <QTimer>

#include "app/Volumes.h"

namespace fendrik {

FolderPicker::FolderPicker(QWidget* parent) : QTreeView(parent) {
  setHeaderHidden(true);
  setUniformRowHeights(true);
  setPath(QDir::currentPath());
}

bool FolderPicker::setPath(const QString& folder) {
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return false;
  QString clean = CleanFolderPath(folder);
  folderOfVolume_[VolumeRootOf(clean)] = clean;
  if (clean == path_) return true;
  path_ = clean;
  showPathInTree();
  emit pathChanged(path_);
  return true;
}

QString FolderPicker::currentFolderOfVolume(const QString& volumeRoot) const {
  QString folder = folderOfVolume_.value(volumeRoot);
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : volumeRoot;
}

void FolderPicker::showEvent(QShowEvent* event) {
  attachModel();
  QTreeView::showEvent(event);
}

void FolderPicker::focusOutEvent(QFocusEvent* event) {
  QTreeView::focusOutEvent(event);
  // Switching windows or opening a menu does not count as leaving.
  if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason) emit lostFocus();
}

void FolderPicker::attachModel() {
  if (model_ != nullptr) return;
  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
  model_->setReadOnly(true);
  setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { onCurrentChanged(current); });
  // The model reads folders in the background and sorts them a moment
  // later; once a folder on the way to the current one is read and sorted,
  // the current folder can be shown.
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
    if (path_ == loaded || path_.startsWith(QDir(loaded).filePath("")))
      QTimer::singleShot(0, this, [this] { showPathInTree(); });
  });
  showPathInTree();
}

void FolderPicker::showPathInTree() {
  if (model_ == nullptr) return;
  syncing_ = true;
  QString root = VolumeRootOf(path_);
  if (QDir::cleanPath(model_->rootPath()) != QDir::cleanPath(root)) {
    model_->setRootPath(root);
    setRootIndex(model_->index(root));
  }
  QModelIndex current = model_->index(path_);
  setCurrentIndex(current);
  scrollTo(current);
  syncing_ = false;
}

void FolderPicker::onCurrentChanged(const QModelIndex& current) {
  if (syncing_ || !current.isValid()) return;
  setPath(model_->filePath(current));
}

}  // namespace fendrik
