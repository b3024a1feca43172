#include "properties/platform/Files.h"

namespace fendrik::platform {

std::string ErrorText(const SystemError& error) {
  switch (error.fault) {
    case Fault::none:
      return "kein Fehler";
    case Fault::notFound:
      return "Datei nicht gefunden";
    case Fault::nameTooLong:
      return "Dateiname zu lang";
    case Fault::linkLoop:
      return "Zu viele symbolische Links (eine Schleife)";
    case Fault::invalidName:
      return "Ungültiger Dateiname";
    case Fault::accessDenied:
      return "Zugriff verweigert";
    case Fault::readOnlyMedium:
      return "Der Datenträger ist schreibgeschützt";
    case Fault::inUse:
      return "Die Datei wird von einem anderen Programm verwendet";
    case Fault::locked:
      return "Von einem anderen Programm gesperrt";
    case Fault::diskFull:
      return "Der Datenträger ist voll";
    case Fault::ioError:
      return "Ein-/Ausgabefehler des Datenträgers";
    case Fault::tooManyOpen:
      return "Zu viele offene Dateien";
    case Fault::outOfMemory:
      return "Nicht genug Arbeitsspeicher";
    case Fault::notSupported:
      return "Vom Dateisystem nicht unterstützt";
    case Fault::other:
      break;
  }
  return error.code != 0 ? SystemText(error.code) : "Systemfehler";
}

}  // namespace fendrik::platform
