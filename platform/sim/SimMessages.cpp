#include "platform/sim/SimMessages.h"

#include <map>

#include "platform/utf.h"

namespace sim {

namespace {

struct Message {
    const char* en;
    const char* de;
};

const std::map<std::uint32_t, Message>& table()
{
    static const std::map<std::uint32_t, Message> t = {
        {0, {"The operation completed successfully.", "Der Vorgang wurde erfolgreich beendet."}},
        {1, {"Incorrect function.", "Unzulässige Funktion."}},
        {2, {"The system cannot find the file specified.", "Das System kann die angegebene Datei nicht finden."}},
        {3, {"The system cannot find the path specified.", "Das System kann den angegebenen Pfad nicht finden."}},
        {5, {"Access is denied.", "Zugriff verweigert"}},
        {6, {"The handle is invalid.", "Das Handle ist ungültig."}},
        {8, {"Not enough memory resources are available to process this command.",
             "Nicht genügend Speicher verfügbar, um diesen Befehl zu verarbeiten."}},
        {13, {"The data is invalid.", "Die Daten sind unzulässig."}},
        {21, {"The device is not ready.", "Das Gerät ist nicht bereit."}},
        {31, {"A device attached to the system is not functioning.",
              "Ein an das System angeschlossenes Gerät funktioniert nicht."}},
        {32, {"The process cannot access the file because it is being used by another process.",
              "Der Prozess kann nicht auf die Datei zugreifen, da sie von einem anderen Prozess verwendet wird."}},
        {80, {"The file exists.", "Die Datei ist vorhanden."}},
        {87, {"The parameter is incorrect.", "Falscher Parameter."}},
        {120, {"This function is not supported on this system.",
               "Diese Funktion wird auf diesem System nicht unterstützt."}},
        {122, {"The data area passed to a system call is too small.",
               "Der an einen Systemaufruf übergebene Datenbereich ist zu klein."}},
        {124, {"The system call level is not correct.", "Die Ebene des Systemaufrufs ist nicht korrekt."}},
        {127, {"The specified procedure could not be found.", "Die angegebene Prozedur wurde nicht gefunden."}},
        {183, {"Cannot create a file when that file already exists.",
               "Eine Datei kann nicht erstellt werden, wenn sie bereits vorhanden ist."}},
        {203, {"The system could not find the environment option that was entered.",
               "Die eingegebene Umgebungsoption wurde nicht gefunden."}},
        {259, {"No more data is available.", "Es sind keine Daten mehr verfügbar."}},
        {1008, {"An attempt was made to reference a token that does not exist.",
                "Es wurde versucht, auf ein Token zu verweisen, das nicht vorhanden ist."}},
        // Service control manager.
        {1051, {"A stop control has been sent to a service that other running services are dependent on.",
                "Ein Beendigungssteuerbefehl wurde an einen Dienst gesendet, von dem andere aktive Dienste abhängig sind."}},
        {1053, {"The service did not respond to the start or control request in a timely fashion.",
                "Der Dienst antwortete nicht rechtzeitig auf die Start- oder Steuerungsanforderung."}},
        {1056, {"An instance of the service is already running.", "Eine Instanz des Dienstes wird bereits ausgeführt."}},
        {1058, {"The service cannot be started, either because it is disabled or because it has no enabled devices "
                "associated with it.",
                "Der Dienst kann nicht gestartet werden, da er deaktiviert ist oder ihm keine aktivierten Geräte "
                "zugeordnet sind."}},
        {1060, {"The specified service does not exist as an installed service.",
                "Der angegebene Dienst ist kein installierter Dienst."}},
        {1061, {"The service cannot accept control messages at this time.",
                "Der Dienst kann zurzeit keine Steuerungsmeldungen annehmen."}},
        {1062, {"The service has not been started.", "Der Dienst wurde nicht gestartet."}},
        {1065, {"The database specified does not exist.", "Die angegebene Datenbank ist nicht vorhanden."}},
        {1068, {"The dependency service or group failed to start.",
                "Der Abhängigkeitsdienst oder die Abhängigkeitsgruppe konnte nicht gestartet werden."}},
        {1168, {"Element not found.", "Element nicht gefunden."}},
        {1223, {"The operation was canceled by the user.", "Der Vorgang wurde vom Benutzer abgebrochen."}},
        // RPC and the print spooler.
        {1722, {"The RPC server is unavailable.", "Der RPC-Server ist nicht verfügbar."}},
        {1780, {"A null reference pointer was passed to the stub.",
                "Ein NULL-Referenzzeiger wurde an den Stub übergeben."}},
        {1784, {"The supplied user buffer is not valid for the requested operation.",
                "Der angegebene Benutzerpuffer ist für den angeforderten Vorgang ungültig."}},
        {1796, {"The specified port is unknown.", "Der angegebene Anschluss ist unbekannt."}},
        {1797, {"The printer driver is unknown.", "Der Druckertreiber ist unbekannt."}},
        {1798, {"The print processor is unknown.", "Der Druckprozessor ist unbekannt."}},
        {1801, {"The printer name is invalid.", "Der Druckername ist ungültig."}},
        {1802, {"The printer already exists.", "Der Drucker ist bereits vorhanden."}},
        {1804, {"The specified datatype is invalid.", "Der angegebene Datentyp ist ungültig."}},
        {1805, {"The environment specified is invalid.", "Die angegebene Umgebung ist ungültig."}},
        {3000, {"The specified print monitor is unknown.", "Der angegebene Druckmonitor ist unbekannt."}},
        {3001, {"The specified printer driver is currently in use.",
                "Der angegebene Druckertreiber wird zurzeit verwendet."}},
        {3012, {"The printer was not found.", "Der Drucker wurde nicht gefunden."}},
        {3015, {"The specified printer driver package is currently in use.",
                "Das angegebene Druckertreiberpaket wird zurzeit verwendet."}},
        // SetupAPI: the message table holds them in their HRESULT form (0x800F....) only; the raw
        // 0xE000.... codes SetupAPI leaves as the last error have no text.
        {0x800F0203u, {"There is no driver selected for the device information set or element.",
                       "Für den Geräteinformationssatz oder das Element ist kein Treiber ausgewählt."}},
        {0x800F020Bu, {"The device instance does not exist in the hardware tree.",
                       "Die Geräteinstanz ist in der Hardwarestruktur nicht vorhanden."}},
        {0x800F0219u, {"The installation failed because a function driver was not specified for this device instance.",
                       "Fehler bei der Installation, da für diese Geräteinstanz kein Funktionstreiber angegeben wurde."}},
        {0x800F022Fu, {"The third-party INF does not contain digital signature information.",
                       "Die INF-Datei des Drittanbieters enthält keine Informationen über digitale Signaturen."}},
        {0x800F0235u, {"The requested operation cannot be performed in a WOW64 process.",
                       "Der angeforderte Vorgang kann nicht in einem WOW64-Prozess ausgeführt werden."}},
        {0x800F0247u, {"A problem was encountered while attempting to add the driver to the store.",
                       "Beim Hinzufügen des Treibers zum Speicher ist ein Problem aufgetreten."}},
        // Cryptography and trust.
        {0x80091007u, {"The hash value is not correct.", "Der Hashwert ist nicht korrekt."}},
        {0x80092004u, {"Cannot find object or property.", "Das Objekt oder die Eigenschaft wurde nicht gefunden."}},
        {0x80092009u, {"Cannot find the requested object.", "Das angeforderte Objekt wurde nicht gefunden."}},
        {0x8009200Du, {"Not a cryptographic message or the cryptographic message is not formatted correctly.",
                       "Keine kryptografische Nachricht, oder die kryptografische Nachricht ist nicht richtig "
                       "formatiert."}},
        {0x800B0100u, {"No signature was present in the subject.", "Im Antragsteller war keine Signatur vorhanden."}},
        {0x800B0109u, {"A certificate chain processed, but terminated in a root certificate which is not trusted by "
                       "the trust provider.",
                       "Eine Zertifikatkette wurde zwar verarbeitet, endete jedoch mit einem Stammzertifikat, das "
                       "vom Vertrauensanbieter nicht als vertrauenswürdig eingestuft wird."}},
    };
    return t;
}

}  // namespace

std::u16string system_message(std::uint32_t code, std::string_view language)
{
    // HRESULT_FROM_WIN32 codes (0x8007xxxx) carry the text of the Win32 code in their low half.
    if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
    auto it = table().find(code);
    if (it == table().end()) return {};
    return txt::from_utf8(language == "de" ? it->second.de : it->second.en) + u"\r\n";
}

}  // namespace sim
