#pragma once

#include <memory>

#include "properties/FileProperties.h"

namespace fendrik {

// Creates the file-properties server the window works through for the
// whole run; throws StorageError when it cannot work.
std::unique_ptr<FileProperties> CreatePropertiesServer();

}  // namespace fendrik
