// The two embedded catalogs: loaded from the program's resources, the same keys in both, every key
// the code names held by both, and the texts that are easy to get wrong.
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "core/Form1.h"
#include "platform/utf.h"
#include "tests/support/SimFixture.h"

namespace {

using txr::Form1;

class CatalogTest : public txrtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        form.UI_BuildCatalogs();
    }
    std::string De(const char* key) { return txt::to_utf8(form.StrIn(0, key)); }
    std::string En(const char* key) { return txt::to_utf8(form.StrIn(1, key)); }
    Form1 form;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t nl = text.find('\n', start);
        lines.push_back(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos) return lines;
        start = nl + 1;
    }
}

std::set<std::string> Missing(const std::set<std::string>& wanted, const std::set<std::string>& held)
{
    std::set<std::string> missing;
    for (const auto& k : wanted)
        if (!held.count(k)) missing.insert(k);
    return missing;
}

std::string Join(const std::set<std::string>& keys)
{
    std::string s;
    for (const auto& k : keys) s += k + " ";
    return s;
}

TEST_F(CatalogTest, BothCatalogsComeFromTheResourcesWithTheSameKeys)
{
    const auto de = form.UI_ResourceManager[0].Keys();
    const auto en = form.UI_ResourceManager[1].Keys();
    EXPECT_GT(de.size(), 110u);
    EXPECT_EQ(Join(Missing(de, en)), "") << "German keys the English catalog lacks";
    EXPECT_EQ(Join(Missing(en, de)), "") << "English keys the German catalog lacks";
    EXPECT_EQ(De("StrRes_UI_Next"), "Weiter");
    EXPECT_EQ(En("StrRes_UI_Next"), "Next");
}

// Every "StrRes_..." key named in the program's sources (not the tests) is in both catalogs: a
// key one of them lacks shows as an empty text.
TEST_F(CatalogTest, EveryKeyTheCodeNamesIsInBothCatalogs)
{
    const std::filesystem::path root = std::filesystem::path(TXR_TEST_SOURCE_DIR).parent_path();
    const std::regex key("\"(StrRes_[A-Za-z0-9_]+)\"");
    std::set<std::string> named;
    std::size_t files = 0;
    for (const char* folder : {"core", "package", "certificates", "spooler", "workflows", "console", "wizard", "platform"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / folder)) {
            const auto ext = entry.path().extension();
            if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
            ++files;
            std::ifstream in(entry.path());
            std::stringstream text;
            text << in.rdbuf();
            const std::string source = text.str();
            for (std::sregex_iterator m(source.begin(), source.end(), key), end; m != end; ++m) named.insert((*m)[1]);
        }
    }
    ASSERT_GT(files, 20u) << "sources not found under " << root;
    EXPECT_GT(named.size(), 30u);
    EXPECT_EQ(Join(Missing(named, form.UI_ResourceManager[0].Keys())), "") << "missing in the German catalog";
    EXPECT_EQ(Join(Missing(named, form.UI_ResourceManager[1].Keys())), "") << "missing in the English catalog";
}

TEST_F(CatalogTest, TextsKeepTheirBlanksColonsAndLanguageQuirks)
{
    struct Case {
        const char* key;
        const char* en;
        const char* de;
    };
    const Case cases[] = {
        {"StrRes_InstallStatusLabel_Success", "Installation ... SUCCESSFUL", ": Installation erfolgreich"},
        {"StrRes_InstallStatusLabel_Version", "Installed driver version: ", "Installierte Treiberversion:"},
        {"StrRes_InstallStatusLabel_WinCertFailure", "Signature error: Install root signtaure!",
         "   *Signaturfehler: Stamm-Signatur installieren!"},
        {"StrRes_UI_Adv_Caption", "          Advanced options: Only for trained IT personnel",
         "          Erweiterte Optionen: Nur für geschultes IT-Personal"},
        {"StrRes_32bitOS_Error", "32-bit operating system detected. \nPlease run 32-bit installer.",
         "32-bit operating system detected. \nPlease run 32-bit installer."},
        {"StrRes_WOW64_Error", "64-bit operating system detected. \nPlease run 64-bit installer.",
         "64-bit operating system detected. \nPlease run 64-bit installer."},
        {"StrRes_InstallStatusLabel_Start", "Installation started ...", "Installation gestartet …"},
        {"StrRes_UI_Add_PnPInfo",
         "Please connect to printer via USB cable. New printer device will be automatically added to printer list. "
         "After adding printer, press Next to continue.",
         "Bitte verbinden  Sie den Drucker über ein USB-Kabel . Ein neuer Drucker wird automatisch zur Druckerliste "
         "hinzugefügt. Um fortzufahren, drücken Sie \"weiter\"."},
        {"StrRes_UI_Add_PnPRadio", "USB 'Plug && Play' printer", "USB 'Plug && Play' Drucker"},
        {"StrRes_InstallStatusLabel_Add", "Installing driver and adding printer...",
         "Treiber installieren und Drucker hinzufügen . . . "},
        {"StrRes_SilentDriver_ArgError", "Commandline argument error!", "falscher Befehl"},
        {"StrRes_InstallerVersion", "3.100 [xx bit software]", "3.100 [xx-Bit-Software]"},
        {"StrRes_SilentDriver_InvalidLangID", "Invalid language ID! [0=Deutsch,1=English]",
         "falsche Sprach-ID! [0=Deutsch,1=English]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(En(c.key), c.en) << c.key;
        EXPECT_EQ(De(c.key), c.de) << c.key;
    }
}

TEST_F(CatalogTest, StatusInfoIsHeldAsEmptyTextAndUnknownKeysGiveEmptyText)
{
    EXPECT_TRUE(form.UI_ResourceManager[0].Contains("StrRes_UI_Status_Info"));
    EXPECT_TRUE(form.UI_ResourceManager[1].Contains("StrRes_UI_Status_Info"));
    EXPECT_EQ(En("StrRes_UI_Status_Info"), "");
    EXPECT_FALSE(form.UI_ResourceManager[1].Contains("NoSuchKey"));
    EXPECT_EQ(En("NoSuchKey"), "");
}

TEST_F(CatalogTest, UsageTextsLineByLine)
{
    const auto en = Lines(En("StrRes_SilentDriver_Help_Usage"));
    ASSERT_EQ(en.size(), 16u);
    EXPECT_EQ(en[0], std::string(107, '+') + "   ");
    EXPECT_EQ(en[2], "          <Installer.exe> -pnp -model <model number> [-lang <language ID>] [-autoclose]");
    EXPECT_EQ(en[3], "");
    // The language numbers as "-lang" reads them: 0 German, 1 English.
    EXPECT_EQ(en[9], "   -lang                     [Optional] <Language ID> [0=Deutsch,1=English]");
    EXPECT_EQ(en[5], "          <Installer.exe> -nw -model <model ID> -ipv4 <\"IP address\"> [-port <\"port name\">] "
                     "[-lang <language ID>] ");
    EXPECT_EQ(en[15], "   -autoclose                [Optional] Automatically close command window after installation");

    const auto de = Lines(De("StrRes_SilentDriver_Help_Usage"));
    ASSERT_EQ(de.size(), 17u);
    EXPECT_EQ(de[0], std::string(109, '+'));
    EXPECT_EQ(de[2], "           <Installer.exe> -pnp -model <Modellnummer> [-lang <Sprache ID>] [-autoclose]");
    EXPECT_EQ(de[9], "");
    EXPECT_EQ(de[10], "   -lang                     [Optional] Sprache ID-Nummer [0=Deutsch,1=English]");
    EXPECT_EQ(de[11], "   -pnp                      USB Plug&Play Treiber installieren. Der Drucker wird automatisch über ");
    EXPECT_EQ(de[16], "   -autoclose                [Optional] Automatisches Befehlsfenster Verschluss nach der Installation");
}

TEST(StringCatalogFormat, ChunksEscapesAndMalformedLines)
{
    txr::StringCatalog c;
    EXPECT_TRUE(c.Load("# comment\nA = \"x \\\"y\\\" \"\nB =\n    \"one\\n\"\n    \"two\\\\\"\nC = \"\"\n"));
    EXPECT_EQ(txt::to_utf8(c.GetString("A")), "x \"y\" ");
    EXPECT_EQ(txt::to_utf8(c.GetString("B")), "one\ntwo\\");
    EXPECT_TRUE(c.Contains("C"));
    txr::StringCatalog bad;
    EXPECT_FALSE(bad.Load("A = \"unterminated\nB \"x\"\n"));
}

}  // namespace
