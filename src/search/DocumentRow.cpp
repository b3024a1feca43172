#include "search/DocumentRow.h"

#include <exception>

#include "properties/PropertyReader.h"
#include "properties/platform/Files.h"
#include "resultlist/Columns.h"
#include "resultlist/FileFacts.h"
#include "search/ScanList.h"

namespace fendrik {

void ReadDocumentRow(const std::string& entry, FileProperties& server, const FactFormats& formats, ReadResult& out) {
  out.failure.reset();
  std::string path(FileEntryPath(entry));
  // The file facts come from the status of the handle the reader opens; only
  // a file that cannot be opened (gone, no right to read it) is looked up by
  // its path, so that it keeps the facts the file system still gives.
  platform::FileStatus status;
  try {
    server.Open(path, &status);
  } catch (const StorageError& error) {
    out.failure = DocumentFailure{path, error.number(), error.description()};
  } catch (const std::exception& error) {
    out.failure = DocumentFailure{path, 0, error.what()};
  }
  const std::optional<FileObject> file =
      status.kind == platform::Kind::missing ? LookUpFile(path) : FileObjectOf(path, status);
  PropertyTexts properties;
  SEProperty(server, properties);
  server.Close();

  std::vector<std::string>& texts = out.texts;
  texts.assign(kFilledColumnCount, std::string());
  texts[0] = std::move(path);
  texts[1] = file ? StripExtension(GetFileName(*file)) : std::string();
  texts[2] = GetTypeText(entry);
  texts[3] = file ? GetFolderPath(*file) : std::string();
  texts[4] = file ? GetModifiedText(*file, formats) : std::string();
  texts[5] = file ? GetSizeText(*file, formats) : std::string();
  for (size_t k = 0; k < properties.size(); ++k) texts[6 + k] = std::move(properties[k]);
}

void TakeDocumentRow(ReadResult& result, const std::function<void(const DocumentFailure&)>& failed, ResultRows& rows) {
  if (result.failure && failed) failed(*result.failure);
  rows.append(result.texts);
  result = ReadResult();
}

}  // namespace fendrik
