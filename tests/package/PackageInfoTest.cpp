// Reading a driver's package facts through the window layer, and the date-and-version text.
#include <cstdlib>

#include "core/WideText.h"
#include "platform/utf.h"
#include "tests/package/PackageFixture.h"

namespace fs = std::filesystem;

namespace txrtest {
namespace {

class PackageInfo : public PackageTest {
protected:
    void WriteZkwInf(const std::string& verLine = "DriverVer=03/10/2023,1.5.27.4")
    {
        WriteInf("TXR4103ZKW.inf", "[Version]\r\n" + verLine +
                                       "\r\nCatalogFile=TXR4103ZKW.cat\r\n"
                                       "\"BREVANTO TXR4103 ZKW\"=INSTALL,USBPRINT\\BREVANTOTXR4103733D\r\n");
    }
    txr::DriverInstallInfoStruct Record(const char16_t* model)
    {
        txr::DriverInstallInfoStruct r{};
        form_.UI_CopyManagedStringToWcharArray(model, r.ModelName);
        return r;
    }
};

TEST_F(PackageInfo, EmbeddedPackageForBothDrivers)
{
    if (!EmbeddedPackagePresent()) GTEST_SKIP() << "the build has no sample package";
    FreshMachine("en-US");
    auto zkw = Record(u"BREVANTO TXR4103 ZKW");
    auto standard = Record(u"BREVANTO TXR4103");
    std::u16string text1, text2;
    ASSERT_EQ(form_.UI_GetDriverInstallInfoFromPackage(&zkw, text1, true, false), 1);
    EXPECT_EQ(text1, u"3/10/2023 [1.5.27.4]");
    EXPECT_EQ(txt::to_utf8(zkw.HardwareId), "USBPRINT\\BREVANTOTXR4103733D");
    EXPECT_EQ(txt::to_utf8(zkw.RestDriverVersion), "1.4.26.4");
    EXPECT_EQ(txt::to_utf8(zkw.CabDestinationPath), txt::to_utf8(kUnpackFolder64));
    ASSERT_EQ(form_.UI_GetDriverInstallInfoFromPackage(&standard, text2, false, true), 1);
    EXPECT_EQ(txt::to_utf8(standard.InfFileName), "TXR4103.inf");
    EXPECT_EQ(CommandLines().size(), 3u);  // one unpack serves both reads
    EXPECT_FALSE(fs::exists(UnpackHost()));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(PackageInfo, ExistingFolderIsReadAsItIsAndDeletedWhenAsked)
{
    WriteZkwInf("DriverVer=03/10/2023,1.5.27.4 ; note");
    auto r = Record(u"BREVANTO TXR4103 ZKW");
    std::u16string text;
    ASSERT_EQ(form_.UI_GetDriverInstallInfoFromPackage(&r, text, false, true), 1);
    // German regional settings; only white space at the ends is trimmed.
    EXPECT_EQ(text, u"10.03.2023 [1.5.27.4 ; note]");
    EXPECT_TRUE(CommandLines().empty());
    EXPECT_FALSE(fs::exists(UnpackHost()));
}

TEST_F(PackageInfo, MissingFolderIsUnpackedFirst)
{
    SetExpand({{"behaviour", "exit"}, {"exit_code", 0}});
    auto r = Record(u"BREVANTO TXR4103 ZKW");
    std::u16string text = u"old";
    EXPECT_EQ(form_.UI_GetDriverInstallInfoFromPackage(&r, text, false, false), 0);
    EXPECT_EQ(CommandLines().size(), 3u);
    EXPECT_EQ(text, u"X");  // the stand-in expansion leaves no INF
    EXPECT_TRUE(fs::exists(UnpackHost()));
}

TEST_F(PackageInfo, FailedUnpackStopsAtOnce)
{
    fs::remove(Host("Windows/System32/expand.exe"));
    form_.Select_CertificateInfoTextBox.Text = u"";
    auto r = Record(u"BREVANTO TXR4103 ZKW");
    std::u16string text = u"untouched";
    EXPECT_EQ(form_.UI_GetDriverInstallInfoFromPackage(&r, text, true, false), 0);
    EXPECT_EQ(text, u"untouched");
    EXPECT_EQ(Boxes().size(), 6u);  // the unpack's own messages, nothing more
}

TEST_F(PackageInfo, NoUnpackFolderPathShowsTheUnpackError)
{
    State()["environment"].erase("ProgramFiles(x86)");
    State()["environment"].erase("ProgramFiles");
    Save();
    auto r = Record(u"BREVANTO TXR4103 ZKW");
    std::u16string text = u"untouched";
    EXPECT_EQ(form_.UI_GetDriverInstallInfoFromPackage(&r, text, true, true), 0);
    EXPECT_EQ(text, u"untouched");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, txt::to_utf8(form_.AppWindowCaptionLabel.Text));
    EXPECT_EQ(boxes[0].second, "Fehler: Treiberpaket entpacken ... Fehlgeschlagen");
}

TEST_F(PackageInfo, ReportShownOnceStaysForTheRun)
{
    WriteZkwInf();
    form_.Select_CertificateInfoTextBox.Text = u"report of the first read";
    auto r = Record(u"BREVANTO TXR4103 ZKW");
    std::u16string text;
    ASSERT_EQ(form_.UI_GetDriverInstallInfoFromPackage(&r, text, false, false), 1);
    EXPECT_EQ(form_.Select_CertificateInfoTextBox.Text, u"report of the first read");
}

TEST_F(PackageInfo, ModelNotInPackageGivesX)
{
    WriteZkwInf();
    auto r = Record(u"BREVANTO TXR4101 ZKW");
    std::u16string text;
    EXPECT_EQ(form_.UI_GetDriverInstallInfoFromPackage(&r, text, false, false), 0);
    EXPECT_EQ(text, u"X");
}

TEST_F(PackageInfo, DateInTheRegionalShortDateForm)
{
    struct Case {
        const char16_t* input;
        const char16_t* enUS;
        const char16_t* deDE;
        bool message;
    };
    const Case cases[] = {
        {u"03/10/2023", u"3/10/2023", u"10.03.2023", false},
        {u"12/31/2022", u"12/31/2022", u"31.12.2022", false},
        {u" 2 / 29 /2024", u"2/29/2024", u"29.02.2024", false},
        {u"", u"", u"", false},
        {u"2022-12-31", u"", u"", false},
        {u"1/2", u"", u"", false},
        {u"1/2/3/4", u"", u"", false},
        {u"13/01/2023", u"", u"", true},
        {u"02/29/2023", u"", u"", true},
        {u"ab/01/2023", u"", u"", true},
        {u"\u00A003/10/2023\u00A0", u"3/10/2023", u"10.03.2023", false},
        {u"01/01/1601", u"1/1/1601", u"01.01.1601", false},
        // GetDateFormatEx cannot format a day before 1601; it is refused like any invalid date.
        {u"12/31/1600", u"", u"", true},
    };
    for (const char* locale : {"en-US", "de-DE"}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(locale) + " " + txt::to_utf8(c.input));
            FreshMachine(locale);
            EXPECT_EQ(form_.UI_GetDateInCurrentCulture(c.input), std::string(locale) == "en-US" ? c.enUS : c.deDE);
            const auto boxes = Boxes();
            EXPECT_EQ(boxes.size(), c.message ? 1u : 0u);
            if (!boxes.empty()) {
                EXPECT_EQ(boxes[0].first, txt::to_utf8(form_.AppWindowCaptionLabel.Text));
            }
        }
    }
}

// The expansion tool is the host's cabextract behind the Windows paths.
TEST_F(PackageInfo, ExpandExtractsARealCabinet)
{
    const fs::path work = Host("Work");
    WriteHost(work / "src" / "one.inf", "DriverVer=01/01/2024,9.9.9.9\r\n");
    WriteHost(work / "src" / "two.txt", std::string(5000, 'z'));
    fs::create_directories(work / "out");
    const std::string cmd = "cd '" + (work / "src").string() + "' && gcab -c -z '" + (work / "t.cab").string() +
                            "' one.inf two.txt >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(txr::ExpandCabFile(u"C:\\Work\\t.cab", u"C:\\Work\\out"), 1);
    EXPECT_EQ(fs::file_size(work / "out" / "two.txt"), 5000u);
    EXPECT_TRUE(fs::exists(work / "out" / "one.inf"));
    EXPECT_TRUE(Boxes().empty());
}

}  // namespace
}  // namespace txrtest
