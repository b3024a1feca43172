#include "app/PropertiesServer.h"

namespace fendrik {

std::unique_ptr<FileProperties> CreatePropertiesServer() { return FileProperties::Create(); }

}  // namespace fendrik
