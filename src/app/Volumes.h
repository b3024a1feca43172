#pragma once

#include <QString>
#include <QStringList>

namespace fendrik {

// The drives of this platform: the mounted volumes, each named by the path
// of its root folder, sorted by that path.
QStringList MountedVolumeRoots();

// The root path of the volume that holds a folder.
QString VolumeRootOf(const QString& folder);

// A folder path as the folder selector shows it: absolute and clean.
QString CleanFolderPath(const QString& folder);

}  // namespace fendrik
