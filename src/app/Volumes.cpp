#include "app/Volumes.h"

#include <QDir>
#include <QStorageInfo>

namespace fendrik {

QStringList MountedVolumeRoots() {
  QStringList roots;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    if (volume.isValid() && volume.isReady()) roots << CleanFolderPath(volume.rootPath());
  roots.sort();
  roots.removeDuplicates();
  return roots;
}

QString VolumeRootOf(const QString& folder) {
  QStorageInfo volume(folder);
  return volume.isValid() ? CleanFolderPath(volume.rootPath()) : QString();
}

QString CleanFolderPath(const QString& folder) {
  return QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
}

}  // namespace fendrik
