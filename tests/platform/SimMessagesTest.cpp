// FormatMessageW on the simulated machine: the system texts in the machine's language, the Win32
// text for an HRESULT_FROM_WIN32 code, SetupAPI codes known only in their HRESULT form.
#include <string>

#include "platform/handles.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "tests/support/SimFixture.h"

namespace {

class SimMessages : public txrtest::SimTest {
protected:
    // The text as the installer asks for it, or "<none: error>" when there is none.
    std::string Text(win::DWORD code)
    {
        win::LPWSTR p = nullptr;
        win::SetLastError(0);
        const win::DWORD n = win::FormatMessageW(win::FORMAT_MESSAGE_ALLOCATE_BUFFER | win::FORMAT_MESSAGE_FROM_SYSTEM |
                                                     win::FORMAT_MESSAGE_IGNORE_INSERTS,
                                                 nullptr, code, 0, reinterpret_cast<win::LPWSTR>(&p), 0, nullptr);
        if (!n) return "<none: " + std::to_string(win::GetLastError()) + ">";
        win::unique_local_text owner(p);
        EXPECT_EQ(n, txt::length(p));
        return txt::to_utf8(p);
    }
};

TEST_F(SimMessages, TextsInTheMachinesLanguage)
{
    struct Case {
        win::DWORD code;
        const char* en;
        const char* de;
    };
    const Case cases[] = {
        {1797, "The printer driver is unknown.\r\n", "Der Druckertreiber ist unbekannt.\r\n"},
        {3015, "The specified printer driver package is currently in use.\r\n",
         "Das angegebene Druckertreiberpaket wird zurzeit verwendet.\r\n"},
        {1062, "The service has not been started.\r\n", "Der Dienst wurde nicht gestartet.\r\n"},
        // HRESULT_FROM_WIN32 codes carry the Win32 text.
        {0x80070002u, "The system cannot find the file specified.\r\n",
         "Das System kann die angegebene Datei nicht finden.\r\n"},
        {0x80070BC7u, "The specified printer driver package is currently in use.\r\n",
         "Das angegebene Druckertreiberpaket wird zurzeit verwendet.\r\n"},
        // SetupAPI errors have texts in their HRESULT form only.
        {0x800F020Bu, "The device instance does not exist in the hardware tree.\r\n",
         "Die Geräteinstanz ist in der Hardwarestruktur nicht vorhanden.\r\n"},
        {0xE000020Bu, "<none: 317>", "<none: 317>"},
        {0x80092004u, "Cannot find object or property.\r\n", "Das Objekt oder die Eigenschaft wurde nicht gefunden.\r\n"},
        {0x80071234u, "<none: 317>", "<none: 317>"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(c.code), c.de) << std::hex << c.code;
    FreshMachine("en-US");
    for (const auto& c : cases) EXPECT_EQ(Text(c.code), c.en) << std::hex << c.code;
}

}  // namespace
