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
        {18, {"There are no more files.", "Es sind keine weiteren Dateien vorhanden."}},
        {13, {"The data is invalid.", "Die Daten sind unzulässig."}},
        {21, {"The device is not ready.", "Das Gerät ist nicht bereit."}},
        {38, {"Reached the end of the file.", "Das Dateiende wurde erreicht."}},
        {50, {"The request is not supported.", "Die Anforderung wird nicht unterstützt."}},
        {31, {"A device attached to the system is not functioning.",
              "Ein an das System angeschlossenes Gerät funktioniert nicht."}},
        {32, {"The process cannot access the file because it is being used by another process.",
              "Der Prozess kann nicht auf die Datei zugreifen, da sie von einem anderen Prozess verwendet wird."}},
        {80, {"The file exists.", "Die Datei ist vorhanden."}},
        {87, {"The parameter is incorrect.", "Falscher Parameter."}},
        {112, {"There is not enough space on the disk.",
               "Auf dem Datenträger ist nicht genügend Speicherplatz vorhanden."}},
        {120, {"This function is not supported on this system.",
               "Diese Funktion wird auf diesem System nicht unterstützt."}},
        {122, {"The data area passed to a system call is too small.",
               "Der an einen Systemaufruf übergebene Datenbereich ist zu klein."}},
        {123, {"The filename, directory name, or volume label syntax is incorrect.",
               "Die Syntax für den Dateinamen, Verzeichnisnamen oder die Datenträgerbezeichnung ist falsch."}},
        {124, {"The system call level is not correct.", "Die Ebene des Systemaufrufs ist nicht korrekt."}},
        {126, {"The specified module could not be found.", "Das angegebene Modul wurde nicht gefunden."}},
        {127, {"The specified procedure could not be found.", "Die angegebene Prozedur wurde nicht gefunden."}},
        {145, {"The directory is not empty.", "Das Verzeichnis ist nicht leer."}},
        {183, {"Cannot create a file when that file already exists.",
               "Eine Datei kann nicht erstellt werden, wenn sie bereits vorhanden ist."}},
        {193, {"%1 is not a valid Win32 application.", "%1 ist keine zulässige Win32-Anwendung."}},
        {203, {"The system could not find the environment option that was entered.",
               "Die eingegebene Umgebungsoption wurde nicht gefunden."}},
        {234, {"More data is available.", "Weitere Daten sind verfügbar."}},
        {259, {"No more data is available.", "Es sind keine Daten mehr verfügbar."}},
        {267, {"The directory name is invalid.", "Der Verzeichnisname ist ungültig."}},
        {288, {"Attempt to release mutex not owned by caller.",
               "Es wurde versucht, einen Mutex freizugeben, der nicht dem Aufrufer gehört."}},
        {317, {"The system cannot find message text for message number 0x%1 in the message file for %2.",
               "Der Meldungstext für die Meldungsnummer 0x%1 wurde nicht in der Meldungsdatei für %2 gefunden."}},
        {1004, {"Invalid flags.", "Ungültige Flags."}},
        {1008, {"An attempt was made to reference a token that does not exist.",
                "Es wurde versucht, auf ein Token zu verweisen, das nicht vorhanden ist."}},
        // Service control manager.
        {1051, {"A stop control has been sent to a service that other running services are dependent on.",
                "Ein Beendigungssteuerbefehl wurde an einen Dienst gesendet, von dem andere aktive Dienste abhängig sind."}},
        {1053, {"The service did not respond to the start or control request in a timely fashion.",
                "Der Dienst antwortete nicht rechtzeitig auf die Start- oder Steuerungsanforderung."}},
        {1055, {"The service database is locked.", "Die Dienstdatenbank ist gesperrt."}},
        {1056, {"An instance of the service is already running.", "Eine Instanz des Dienstes wird bereits ausgeführt."}},
        {1058, {"The service cannot be started, either because it is disabled or because it has no enabled devices "
                "associated with it.",
                "Der Dienst kann nicht gestartet werden, da er deaktiviert ist oder ihm keine aktivierten Geräte "
                "zugeordnet sind."}},
        {1060, {"The specified service does not exist as an installed service.",
                "Der angegebene Dienst ist kein installierter Dienst."}},
        {1061, {"The service cannot accept control messages at this time.",
                "Der Dienst kann zurzeit keine Steuerungsmeldungen annehmen."}},
        {1059, {"Circular service dependency was specified.", "Es wurde eine zirkuläre Dienstabhängigkeit angegeben."}},
        {1062, {"The service has not been started.", "Der Dienst wurde nicht gestartet."}},
        {1065, {"The database specified does not exist.", "Die angegebene Datenbank ist nicht vorhanden."}},
        {1068, {"The dependency service or group failed to start.",
                "Der Abhängigkeitsdienst oder die Abhängigkeitsgruppe konnte nicht gestartet werden."}},
        {1069, {"The service did not start due to a logon failure.",
                "Der Dienst konnte wegen einer fehlerhaften Anmeldung nicht gestartet werden."}},
        {1072, {"The specified service has been marked for deletion.",
                "Der angegebene Dienst wurde zum Löschen markiert."}},
        {1075, {"The dependency service does not exist or has been marked for deletion.",
                "Der Abhängigkeitsdienst ist nicht vorhanden oder wurde zum Löschen markiert."}},
        {1168, {"Element not found.", "Element nicht gefunden."}},
        {1338, {"The security descriptor structure is invalid.", "Die Struktur der Sicherheitsbeschreibung ist unzulässig."}},
        {1223, {"The operation was canceled by the user.", "Der Vorgang wurde vom Benutzer abgebrochen."}},
        // Windows Installer codes the program can end with.
        {1603, {"Fatal error during installation.", "Schwerwiegender Fehler bei der Installation."}},
        {1639, {"Invalid command line argument. Consult the Windows Installer SDK for detailed command line help.",
                "Ungültiges Befehlszeilenargument. Weitere Informationen finden Sie im Windows Installer SDK."}},
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
        // Resources of a program file.
        {1812, {"The specified image file did not contain a resource section.",
                "Die angegebene Abbilddatei enthält keinen Ressourcenabschnitt."}},
        {1813, {"The specified resource type cannot be found in the image file.",
                "Der angegebene Ressourcentyp wurde nicht in der Abbilddatei gefunden."}},
        {1814, {"The specified resource name cannot be found in the image file.",
                "Der angegebene Ressourcenname wurde nicht in der Abbilddatei gefunden."}},
        {1815, {"The specified resource language ID cannot be found in the image file.",
                "Die angegebene Ressourcensprachen-ID wurde nicht in der Abbilddatei gefunden."}},
        {3000, {"The specified print monitor is unknown.", "Der angegebene Druckmonitor ist unbekannt."}},
        {3001, {"The specified printer driver is currently in use.",
                "Der angegebene Druckertreiber wird zurzeit verwendet."}},
        {3010, {"The requested operation is successful. Changes will not be effective until the system is rebooted.",
                "Der angeforderte Vorgang war erfolgreich. Änderungen werden erst nach einem Neustart des Systems wirksam."}},
        {3012, {"The printer was not found.", "Der Drucker wurde nicht gefunden."}},
        {3015, {"The specified printer driver package is currently in use.",
                "Das angegebene Druckertreiberpaket wird zurzeit verwendet."}},
        // SetupAPI: the message table holds them in their HRESULT form (0x800F....) only; the raw
        // 0xE000.... codes SetupAPI leaves as the last error have no text.
        {0x800F0201u, {"The INF or the device information set or element does not match the specified install class.",
                       "Die INF-Datei oder der Geräteinformationssatz bzw. das Element entspricht nicht der angegebenen "
                       "Installationsklasse."}},
        {0x800F0203u, {"There is no driver selected for the device information set or element.",
                       "Für den Geräteinformationssatz oder das Element ist kein Treiber ausgewählt."}},
        {0x800F0205u, {"The device instance name is invalid.", "Der Name der Geräteinstanz ist ungültig."}},
        {0x800F0207u, {"The device instance cannot be created because it already exists.",
                       "Die Geräteinstanz kann nicht erstellt werden, da sie bereits vorhanden ist."}},
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
        // COM.
        {0x800401F3u, {"Invalid class string", "Ungültige Klassenzeichenfolge"}},
        // Cryptography and trust.
        {0x80091007u, {"The hash value is not correct.", "Der Hashwert ist nicht korrekt."}},
        {0x80091008u, {"The index value is not valid.", "Der Indexwert ist ungültig."}},
        {0x80092004u, {"Cannot find object or property.", "Das Objekt oder die Eigenschaft wurde nicht gefunden."}},
        {0x80092005u, {"The object or property already exists.", "Das Objekt oder die Eigenschaft ist bereits vorhanden."}},
        {0x80092009u, {"Cannot find the requested object.", "Das angeforderte Objekt wurde nicht gefunden."}},
        {0x8009200Du, {"Not a cryptographic message or the cryptographic message is not formatted correctly.",
                       "Keine kryptografische Nachricht, oder die kryptografische Nachricht ist nicht richtig "
                       "formatiert."}},
        {0x8009310Bu, {"ASN1 bad tag value met.", "ASN1-Wert mit unzulässigem Tag gefunden."}},
        {0x80096010u, {"The digital signature of the object did not verify.",
                       "Die digitale Signatur des Objekts konnte nicht bestätigt werden."}},
        {0x800B0001u, {"Unknown trust provider.", "Unbekannter Vertrauensanbieter."}},
        {0x800B0004u, {"The subject is not trusted for the specified action.",
                       "Der Antragsteller ist für die angegebene Aktion nicht vertrauenswürdig."}},
        {0x800B0100u, {"No signature was present in the subject.", "Im Antragsteller war keine Signatur vorhanden."}},
        {0x800B0109u, {"A certificate chain processed, but terminated in a root certificate which is not trusted by "
                       "the trust provider.",
                       "Eine Zertifikatkette wurde zwar verarbeitet, endete jedoch mit einem Stammzertifikat, das "
                       "vom Vertrauensanbieter nicht als vertrauenswürdig eingestuft wird."}},
        {0x800B010Au, {"A certificate chain could not be built to a trusted root authority.",
                       "Es konnte keine Zertifikatkette zu einer vertrauenswürdigen Stammzertifizierungsstelle "
                       "aufgebaut werden."}},
        {0x800B0101u, {"A required certificate is not within its validity period when verifying against the current "
                       "system clock or the timestamp in the signed file.",
                       "Ein erforderliches Zertifikat befindet sich nicht innerhalb der Gültigkeitsdauer, wenn die "
                       "Überprüfung anhand der aktuellen Systemuhr oder des Zeitstempels in der signierten Datei "
                       "erfolgt."}},
        {0x800B0111u, {"The certificate was explicitly marked as untrusted by the user.",
                       "Das Zertifikat wurde vom Benutzer explizit als nicht vertrauenswürdig markiert."}},
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
