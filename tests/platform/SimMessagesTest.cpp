// FormatMessageW on the simulated machine: the system texts in the machine's language, the Win32
// text for an HRESULT_FROM_WIN32 code, SetupAPI codes known only in their HRESULT form.
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
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

// Every code the sim's own source can give a caller: the ERROR_*, CRYPT_E_*, TRUST_E_*, CERT_E_
// and CO_E_ names its files use (their values read from the seam's headers) and the numbers
// passed to SetLastError, each with a text in both languages, and the HRESULT form of each Win32
// code with the same text. SetupAPI's own codes (0xE000....) are looked up in their HRESULT form
// (0x800F....), the only one the system's message table holds.
TEST_F(SimMessages, EveryCodeTheSimCanGiveHasATextInBothLanguages)
{
    namespace fs = std::filesystem;
    const fs::path source = fs::path(TXR_TEST_SOURCE_DIR).parent_path();
    auto read = [](const fs::path& f) {
        std::ifstream in(f);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    std::map<std::string, win::DWORD> values;
    const std::regex constant(
        R"(constexpr\s+(?:DWORD|HRESULT|LONG)\s+(\w+)\s*=\s*(?:static_cast<\w+>\()?\s*(0x[0-9A-Fa-f]+|\d+)u?)");
    for (const auto& f : fs::directory_iterator(source / "platform" / "win")) {
        const std::string text = read(f.path());
        for (std::sregex_iterator it(text.begin(), text.end(), constant), end; it != end; ++it)
            values[(*it)[1]] = static_cast<win::DWORD>(std::stoul((*it)[2], nullptr, 0));
    }
    const std::regex name(R"(\b((?:ERROR|CRYPT_E|TRUST_E|CERT_E|CO_E)_[A-Z0-9_]+)\b)");
    // Numbers in a SetLastError call, also one of a choice ("cond ? 112 : ERROR_GEN_FAILURE").
    const std::regex number(R"(SetLastError\([^;]*?\b(0x[0-9A-Fa-f]+|\d+)u?\b)");
    // Names in comments are no codes the sim gives.
    const std::regex comment(R"(//[^\n]*|/\*[\s\S]*?\*/)");
    std::set<win::DWORD> codes;
    std::set<std::string> unknown;
    for (const auto& f : fs::directory_iterator(source / "platform" / "sim")) {
        if (f.path().extension() != ".cpp") continue;
        const std::string text = std::regex_replace(read(f.path()), comment, " ");
        for (std::sregex_iterator it(text.begin(), text.end(), name), end; it != end; ++it) {
            auto v = values.find((*it)[1]);
            if (v == values.end()) unknown.insert((*it)[1]);
            else codes.insert(v->second);
        }
        for (std::sregex_iterator it(text.begin(), text.end(), number), end; it != end; ++it)
            codes.insert(static_cast<win::DWORD>(std::stoul((*it)[1], nullptr, 0)));
    }
    EXPECT_TRUE(unknown.empty()) << "names without a value in platform/win: " << ::testing::PrintToString(unknown);
    ASSERT_GT(codes.size(), 40u) << "the scan found the sim's codes";
    for (const std::string locale : {"de-DE", "en-US"}) {
        FreshMachine(locale);
        for (win::DWORD code : codes) {
            if (code == 0) continue;
            const win::DWORD asked = (code & 0xFFFF0000u) == 0xE0000000u ? 0x800F0000u | (code & 0xFFFFu) : code;
            const std::string text = Text(asked);
            EXPECT_NE(text.rfind("<none", 0), 0u) << locale << ": no text for 0x" << std::hex << asked;
            if (asked < 0x10000u) {
                EXPECT_EQ(Text(0x80070000u | asked), text) << locale << ": HRESULT form of " << std::dec << asked;
            }
        }
    }
}

}  // namespace
