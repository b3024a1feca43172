#include <cstring>
#include <string>

#include "properties/StorageError.h"
#include "properties/VisibleText.h"
#include "properties/cfb/Format.h"
#include "properties/platform/Files.h"

namespace fendrik {

StorageError OutOfMemoryError(const std::string& doing) {
  return StorageError(hresult::kOutOfMemory,
                      platform::ErrorText({platform::Fault::outOfMemory}) + " " + doing);
}

}  // namespace fendrik

namespace fendrik::cfb::detail {

void throwCorrupt(const std::string& what, const std::string& where) {
  throw StorageError(hresult::kDocfileCorrupt, "Die Datei ist beschädigt: " + what, where);
}

void throwInvalidHeader(const std::string& what, const std::string& where) {
  throw StorageError(hresult::kInvalidHeader, "Keine Solid Edge Datei (keine Verbunddatei): " + what, where);
}

std::string headerField(size_t offset) { return "Dateikopf, Byte " + hexText(offset); }

void throwSystemError(const platform::SystemError& error, const std::string& context) {
  using platform::Fault;
  switch (error.fault) {
    case Fault::notFound:
      throw StorageError(hresult::kFileNotFound, "Datei nicht gefunden: " + context);
    case Fault::nameTooLong:
      throw StorageError(hresult::kNameTooLong, platform::ErrorText(error) + ": " + context);
    case Fault::linkLoop:
      throw StorageError(hresult::kLinkLoop, platform::ErrorText(error) + ": " + context);
    case Fault::invalidName:
      // A NUL would end the name early, and another file would be opened.
      if (context.find('\0') != std::string::npos)
        throw StorageError(hresult::kInvalidName,
                           "Der Dateiname enthält ein NUL-Zeichen und kann nicht geöffnet werden: " +
                               VisibleText(context));
      throw StorageError(hresult::kInvalidName, platform::ErrorText(error) + ": " + VisibleText(context));
    case Fault::accessDenied:
    case Fault::readOnlyMedium:
      throw StorageError(hresult::kAccessDenied, "Zugriff verweigert: " + context);
    case Fault::inUse:
      // Another program has the file open and shares no writing: to the user
      // the same as its lock.
      throw StorageError(hresult::kLockViolation,
                         "Die Datei wird von einem anderen Programm verwendet (gesperrt): " + context);
    case Fault::locked:
      throw StorageError(hresult::kLockViolation, "Die Datei ist von einem anderen Programm gesperrt: " + context);
    case Fault::diskFull:
      throw StorageError(hresult::kDiskFull, "Der Datenträger ist voll: " + context);
    case Fault::ioError:
      throw StorageError(hresult::kReadFault, "Lesefehler: " + context + " (" + platform::ErrorText(error) + ")");
    case Fault::none:
    case Fault::tooManyOpen:
    case Fault::outOfMemory:
    case Fault::notSupported:
    case Fault::other:
      break;
  }
  throw StorageError(hresult::kAccessDenied, "Zugriff verweigert: " + context + " (" + platform::ErrorText(error) + ")");
}

}  // namespace fendrik::cfb::detail
