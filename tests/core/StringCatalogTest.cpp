// The two embedded catalogs: loaded from the program's resources, same keys, and the texts that are
// easy to get wrong.
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

TEST_F(CatalogTest, BothCatalogsComeFromTheResourcesWithTheSameKeys)
{
    EXPECT_GT(form.UI_ResourceManager[0].Size(), 110u);
    EXPECT_EQ(form.UI_ResourceManager[0].Size(), form.UI_ResourceManager[1].Size());
    EXPECT_EQ(De("StrRes_UI_Next"), "Weiter");
    EXPECT_EQ(En("StrRes_UI_Next"), "Next");
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
    EXPECT_FALSE(form.UI_ResourceManager[0].Contains("StrRes_SilentDriver_InvalidLangID"));
    EXPECT_EQ(De("StrRes_SilentDriver_InvalidLangID"), "");
    EXPECT_EQ(En("NoSuchKey"), "");
}

TEST_F(CatalogTest, UsageTextsLineByLine)
{
    const auto en = Lines(En("StrRes_SilentDriver_Help_Usage"));
    ASSERT_EQ(en.size(), 16u);
    EXPECT_EQ(en[0], std::string(107, '+') + "   ");
    EXPECT_EQ(en[2], "          <Installer.exe> -pnp -model <model number> [-lang <language ID>] [-autoclose]");
    EXPECT_EQ(en[3], "");
    EXPECT_EQ(en[5], "          <Installer.exe> -nw -model <model ID> -ipv4 <\"IP address\"> [-port <\"port name\">] "
                     "[-lang <language ID>] ");
    EXPECT_EQ(en[15], "   -autoclose                [Optional] Automatically close command window after installation");

    const auto de = Lines(De("StrRes_SilentDriver_Help_Usage"));
    ASSERT_EQ(de.size(), 17u);
    EXPECT_EQ(de[0], std::string(109, '+'));
    EXPECT_EQ(de[2], "           <Installer.exe> -pnp -model <Modellnummer> [-lang <Sprache ID>] [-autoclose]");
    EXPECT_EQ(de[9], "");
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
