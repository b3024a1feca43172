#include "properties/StatusChange.h"

#include "properties/FileProperties.h"

namespace fendrik {

void WriteDocumentStatus(FileProperties& server, const std::string& path, int16_t code) {
  try {
    server.Open(path);
    server.Item("ExtendedSummaryInformation").Item("Status").SetValue(code);
    server.Item("ExtendedSummaryInformation").Item("Username").SetValue(kStatusUserName);
    server.Save();
  } catch (...) {
    server.Close();
    throw;
  }
  server.Close();
}

}  // namespace fendrik
