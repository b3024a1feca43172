#include <cerrno>
#include <cstring>
#include <string>

#include "properties/StorageError.h"
#include "properties/VisibleText.h"
#include "properties/cfb/Format.h"

namespace fendrik {

std::string SystemErrorText(int error) {
  switch (error) {
    case ENOENT:
      return "Datei nicht gefunden";
    case ENOTDIR:
      return "Ein Teil des Pfades ist kein Ordner";
    case ENAMETOOLONG:
      return "Dateiname zu lang";
    case ELOOP:
      return "Zu viele symbolische Links (eine Schleife)";
    case EACCES:
    case EPERM:
      return "Zugriff verweigert";
    case EROFS:
      return "Der Datenträger ist schreibgeschützt";
    case EMFILE:
    case ENFILE:
      return "Zu viele offene Dateien";
    case EIO:
      return "Ein-/Ausgabefehler des Datenträgers";
    case ENOSPC:
    case EDQUOT:
      return "Der Datenträger ist voll";
    case ENOMEM:
      return "Nicht genug Arbeitsspeicher";
    case EAGAIN:
      return "Von einem anderen Programm gesperrt";
    default:
      return std::string(std::strerror(error)) + " (Systemfehler " + std::to_string(error) + ")";
  }
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

void throwFromErrno(int err, const std::string& context) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      throw StorageError(hresult::kFileNotFound, "Datei nicht gefunden: " + context);
    case ENAMETOOLONG:
      throw StorageError(hresult::kNameTooLong, SystemErrorText(err) + ": " + context);
    case ELOOP:
      throw StorageError(hresult::kLinkLoop, SystemErrorText(err) + ": " + context);
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      throw StorageError(hresult::kAccessDenied, "Zugriff verweigert: " + context);
    case EAGAIN:
      throw StorageError(hresult::kLockViolation, "Die Datei ist von einem anderen Programm gesperrt: " + context);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      throw StorageError(hresult::kDiskFull, "Der Datenträger ist voll: " + context);
    case EIO:
      throw StorageError(hresult::kReadFault, "Lesefehler: " + context + " (" + std::strerror(err) + ")");
    default:
      throw StorageError(hresult::kAccessDenied,
                         "Zugriff verweigert: " + context + " (" + std::strerror(err) + ")");
  }
}

const char* systemPath(const std::filesystem::path& path) {
  // The system reads a path up to its first NUL byte: the rest would be
  // dropped unseen, and another file opened.
  if (path.native().find('\0') != std::string::npos)
    throw StorageError(hresult::kInvalidName,
                       "Der Dateiname enthält ein NUL-Zeichen und kann nicht geöffnet werden: " +
                           VisibleText(path.native()));
  return path.c_str();
}

}  // namespace fendrik::cfb::detail
