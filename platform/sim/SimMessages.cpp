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
        {31, {"A device attached to the system is not functioning.",
              "Ein an das System angeschlossenes Gerät funktioniert nicht."}},
        {32, {"The process cannot access the file because it is being used by another process.",
              "Der Prozess kann nicht auf die Datei zugreifen, da sie von einem anderen Prozess verwendet wird."}},
        {80, {"The file exists.", "Die Datei ist vorhanden."}},
        {87, {"The parameter is incorrect.", "Falscher Parameter."}},
        {122, {"The data area passed to a system call is too small.",
               "Der an einen Systemaufruf übergebene Datenbereich ist zu klein."}},
        {124, {"The system call level is not correct.", "Die Ebene des Systemaufrufs ist nicht korrekt."}},
        {183, {"Cannot create a file when that file already exists.",
               "Eine Datei kann nicht erstellt werden, wenn sie bereits vorhanden ist."}},
        {203, {"The system could not find the environment option that was entered.",
               "Die eingegebene Umgebungsoption wurde nicht gefunden."}},
        {259, {"No more data is available.", "Es sind keine weiteren Daten verfügbar."}},
    };
    return t;
}

}  // namespace

std::u16string system_message(std::uint32_t code, std::string_view language)
{
    auto it = table().find(code);
    if (it == table().end()) return {};
    return txt::from_utf8(language == "de" ? it->second.de : it->second.en) + u"\r\n";
}

}  // namespace sim
