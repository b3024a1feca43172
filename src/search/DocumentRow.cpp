#include "search/DocumentRow.h"

#include <exception>

#include "properties/PropertyReader.h"
#include "resultlist/Columns.h"
#include "resultlist/FileFacts.h"
#include "search/ScanList.h"

namespace fendrik {

void ReadDocumentRow(const std::string& entry, FileProperties& server, ReadResult& out) {
  out.failure.reset();
  std::string path(FileEntryPath(entry));
  std::optional<FileObject> file = LookUpFile(path);
  try {
    server.Open(path);
  } catch (const StorageError& error) {
    out.failure = DocumentFailure{path, error.number(), error.description()};
  } catch (const std::exception& error) {
    out.failure = DocumentFailure{path, 0, error.what()};
  }
  PropertyTexts properties;
  SEProperty(server, properties);
  server.Close();

  std::vector<std::string>& texts = out.texts;
  texts.assign(kFilledColumnCount, std::string());
  texts[0] = std::move(path);
  texts[1] = file ? StripExtension(GetFileName(*file)) : std::string();
  texts[2] = GetTypeText(entry);
  texts[3] = file ? GetFolderPath(*file) : std::string();
  texts[4] = file ? GetModifiedText(*file) : std::string();
  texts[5] = file ? GetSizeText(*file) : std::string();
  for (size_t k = 0; k < properties.size(); ++k) texts[6 + k] = std::move(properties[k]);
}

}  // namespace fendrik
