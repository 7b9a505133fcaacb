#include "core/FailureReason.h"

#include "platform/Platform.h"

namespace velmor {

std::string FailureReason(uint32_t windowsError) {
  namespace p = platform;
  switch (windowsError) {
    case p::kErrorFileNotFound:
      return "Datei nicht gefunden";
    case p::kErrorPathNotFound:
      return "Pfad nicht gefunden";
    case p::kErrorAccessDenied:
      return "Zugriff verweigert";
    case p::kErrorNotReady:
      return "Laufwerk nicht bereit";
    case p::kErrorWriteFault:
      return "Schreibfehler";
    case p::kErrorReadFault:
      return "Lesefehler";
    case p::kErrorSharingViolation:
    case p::kErrorLockViolation:
      return "von einem anderen Programm gesperrt";
    case p::kErrorHandleDiskFull:
    case p::kErrorDiskFull:
      return "Datenträger voll";
    case p::kErrorFileExists:
    case p::kErrorAlreadyExists:
      return "Datei ist bereits vorhanden";
    case p::kErrorInvalidName:
      return "ungültiger Name";
    case p::kErrorFilenameTooLong:
      return "Name zu lang";
    case p::kErrorStoppedOnSymlink:
      return "Verknüpfung an einen anderen Ort";
    default:
      return "Fehler " + std::to_string(windowsError);
  }
}

}  // namespace velmor
