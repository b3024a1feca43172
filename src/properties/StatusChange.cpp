#include "properties/StatusChange.h"

#include <new>

#include "properties/FileProperties.h"
#include "properties/VisibleText.h"

namespace fendrik {
namespace {

// Security of a document with that status: 4 (read-only) for released (3),
// baselined (4) and obsolete (5) documents, 0 for the others.
int16_t securityFor(int16_t code) { return code >= 3 ? 4 : 0; }

bool hasStatusCode(int16_t code) { return code >= 0 && code <= 5; }

// The stored value as text, or nothing when it is missing or has none.
std::optional<std::string> storedText(FileProperties& server, std::string_view set, std::string_view name) {
  auto property = server.Item(set).tryItem(name);
  if (!property) return std::nullopt;
  auto value = property->tryValue();
  return value ? valueToText(*value) : std::nullopt;
}

}  // namespace

SaveResult WriteDocumentStatus(FileProperties& server, const std::string& path, int16_t code) {
  SaveResult result;
  bool saving = false;  // from here on the file may change
  bool saved = false;
  try {
    server.Open(path);
    server.Item("ExtendedSummaryInformation").Item("Status").SetValue(code);
    if (hasStatusCode(code)) server.Item("SummaryInformation").Item("Security").SetValue(securityFor(code));
    server.Item("ExtendedSummaryInformation").Item("Username").SetValue(kStatusUserName);
    saving = true;
    result = server.Save();
    saved = true;

    // Success only when a reader of the file now finds what was asked. Save
    // has read the file back (through the writer's handle, before it let
    // go of the lock) and found the streams it wrote; the server holds
    // those very bytes, so their values are read from it, without opening
    // the file a third time.
    std::string missing;
    if (storedText(server, "ExtendedSummaryInformation", "Status") != std::to_string(code)) missing += " Status";
    if (hasStatusCode(code) &&
        storedText(server, "SummaryInformation", "Security") != std::to_string(securityFor(code)))
      missing += " Security";
    if (storedText(server, "ExtendedSummaryInformation", "Username") != std::string(kStatusUserName))
      missing += " Username";
    if (!missing.empty())
      throw StorageError(hresult::kCannotSave, "Der Status wurde nicht geschrieben: die Datei enthält danach nicht" +
                                                   missing + " wie verlangt.",
                         path);
  } catch (StorageError& error) {
    server.Close();
    if (saved) error.markFileMayBeChanged();  // the file was written, yet does not read as asked
    throw;
  } catch (const std::bad_alloc&) {
    server.Close();
    StorageError error = OutOfMemoryError("beim Setzen des Status von " + VisibleText(path));
    if (saving) error.markFileMayBeChanged();
    throw error;
  } catch (...) {
    server.Close();
    throw;
  }
  server.Close();
  return result;
}

}  // namespace fendrik
