#pragma once

#include <memory>

#if __has_include("properties/FileProperties.h")
#include "properties/FileProperties.h"
#define FENDRIK_HAS_FILE_PROPERTIES 1
#else
#define FENDRIK_HAS_FILE_PROPERTIES 0
#endif

namespace fendrik {

#if FENDRIK_HAS_FILE_PROPERTIES
using PropertiesServer = FileProperties;
#else
// Stands in for the file-properties server until it is part of the build.
class PropertiesServer {
 public:
  static std::unique_ptr<PropertiesServer> Create() { return std::make_unique<PropertiesServer>(); }
};
#endif

// Creates the file-properties server; throws StorageError when it cannot work.
std::unique_ptr<PropertiesServer> CreatePropertiesServer();

}  // namespace fendrik
