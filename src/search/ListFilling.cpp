#include "search/ListFilling.h"

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "properties/PropertyReader.h"
#include "resultlist/Columns.h"
#include "resultlist/FileFacts.h"

namespace fendrik {
size_t FillResultRows(const ScanList& scan, FileProperties& server, bool sortedByName, ResultRows& rows) {
  rows.clear();
  std::vector<std::string> texts(kFilledColumnCount);
  for (const std::string& entry : scan) {
    if (IsFolderEntry(entry)) continue;
    std::string path(FileEntryPath(entry));
    std::optional<FileObject> file = LookUpFile(path);
    try {
      server.Open(path);
    } catch (const std::exception&) {
      // A document that cannot be opened still gets its row; its property
      // texts stay empty.
    }
    PropertyTexts properties;
    SEProperty(server, properties);

    texts[0] = std::move(path);
    texts[1] = file ? StripExtension(GetFileName(*file)) : std::string();
    texts[2] = GetTypeText(entry);
    texts[3] = file ? GetFolderPath(*file) : std::string();
    texts[4] = file ? GetModifiedText(*file) : std::string();
    texts[5] = file ? GetSizeText(*file) : std::string();
    for (size_t k = 0; k < properties.size(); ++k) texts[6 + k] = std::move(properties[k]);
    rows.append(texts);

    server.Close();
  }
  if (sortedByName) rows.sortByColumn(kFileNameColumn, true);
  return rows.size();
}

}  // namespace fendrik
