#include "app/PropertiesServer.h"

namespace fendrik {

std::unique_ptr<PropertiesServer> CreatePropertiesServer() { return PropertiesServer::Create(); }

}  // namespace fendrik
