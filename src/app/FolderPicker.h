#pragma once

#include <QHash>
#include <QString>
#include <QTreeView>

class QFileSystemModel;

namespace fendrik {

// The folder selector: the folder tree of one volume, with one current
// folder. The tree reads the disk only once it is first shown, so start-up
// lists no folders.
class FolderPicker : public QTreeView {
  Q_OBJECT
 public:
  explicit FolderPicker(QWidget* parent = nullptr);

  QString path() const { return path_; }
  // Makes an existing folder the current one (pathChanged when it differs);
  // false when there is no such folder.
  bool setPath(const QString& folder);

  // The folder last current on a volume, or the volume's root: where the
  // selector goes when that volume is picked.
  QString currentFolderOfVolume(const QString& volumeRoot) const;

 signals:
  void pathChanged(const QString& path);
  void lostFocus();

 protected:
  void showEvent(QShowEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void attachModel();
  void showPathInTree();
  void onCurrentChanged(const QModelIndex& current);

  QString path_;
  QHash<QString, QString> folderOfVolume_;
  QFileSystemModel* model_ = nullptr;
  bool syncing_ = false;
};

}  // namespace fendrik
