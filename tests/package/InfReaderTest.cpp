// The INF reader's line rules: which line wins, which values carry over, how fields are cut.
#include <cstdlib>

#include "core/WideText.h"
#include "platform/utf.h"
#include "tests/package/PackageFixture.h"

namespace txrtest {
namespace {

using txr::DriverInstallInfoStruct;
using txr::FieldText;

std::string F(const char16_t* field) { return txt::to_utf8(field); }

// The package's four INF files, as far as the reader looks at them (CR LF line ends).
const char* kRestInf =
    "[Version]\r\nCatalogFile=PrinterRESTUSB.cat\r\nDriverVer=03/29/2021,1.4.26.4\r\n[Mfg]\r\n"
    "\"Printer USB(REST)\"=DMR.USB, USB\\vid_03f0&Pid_092C&mi_01\r\n";
const char* kWinUsbInf =
    "[Version]\r\nCatalogFile=PrinterWinUBS.cat\r\nDriverVer=03/29/2021,1.4.26.4\r\n[Mfg]\r\n"
    "\"Printer USB(WinUSB)\"=DMR.USB, USB\\vid_03f0&Pid_092C&mi_02\r\n";
const char* kStandardInf =
    "[Version]\r\nDriverVer=03/10/2023,1.5.27.4\r\nCatalogFile=TXR4103.cat\r\n[Models]\r\n"
    "\"BREVANTO TXR4103\"=INSTALL_TXR4103,USBPRINT\\BREVANTOTXR41037E2A\r\n";
const char* kZkwInf =
    "[Version]\r\nDriverVer=03/10/2023,1.5.27.4\r\nCatalogFile=TXR4103ZKW.cat\r\n[Models]\r\n"
    "\"BREVANTO TXR4103 ZKW\"=INSTALL_TXR4103ZKW,USBPRINT\\BREVANTOTXR4103733D\r\n";

class InfReader : public PackageTest {
protected:
    void WritePackageInfs()
    {
        WriteInf("PrinterRESTUSB.inf", kRestInf);
        WriteInf("PrinterWinUBS.inf", kWinUsbInf);
        WriteInf("TXR4103.inf", kStandardInf);
        WriteInf("TXR4103ZKW.inf", kZkwInf);
    }
    std::int32_t Scan(const char16_t* model)
    {
        record_ = {};
        txr::CopyToField(record_.ModelName, model);
        return txr::Lib_GetDriverInstallDetailsFromInf(&record_);
    }
    DriverInstallInfoStruct record_{};
};

const std::string kDriverFolder = "C:\\Program Files (x86)\\ZQ_DriverCab_Temp\\Driver\\";

TEST_F(InfReader, PackageZkwModel)
{
    WritePackageInfs();
    ASSERT_EQ(Scan(u"BREVANTO TXR4103 ZKW"), 1);
    EXPECT_EQ(F(record_.InfFileName), "TXR4103ZKW.inf");
    EXPECT_EQ(F(record_.InfFilePath), kDriverFolder + "TXR4103ZKW.inf");
    EXPECT_EQ(F(record_.DriverName), "BREVANTO TXR4103 ZKW");
    EXPECT_EQ(F(record_.HardwareId), "USBPRINT\\BREVANTOTXR4103733D");
    EXPECT_EQ(F(record_.DriverVersion), "1.5.27.4");
    EXPECT_EQ(F(record_.DriverDate), "03/10/2023");
    EXPECT_EQ(F(record_.CatalogFileName), "TXR4103ZKW.cat");
    EXPECT_EQ(F(record_.RestInfFileName), "PrinterRESTUSB.inf");
    EXPECT_EQ(F(record_.RestInfFilePath), kDriverFolder + "PrinterRESTUSB.inf");
    EXPECT_EQ(F(record_.RestDeviceName), "Printer USB(REST)");
    EXPECT_EQ(F(record_.RestHardwareId), "USB\\vid_03f0&Pid_092C&mi_01");
    EXPECT_EQ(F(record_.RestDriverVersion), "1.4.26.4");
    EXPECT_EQ(F(record_.WinUsbInfFileName), "PrinterWinUBS.inf");
    EXPECT_EQ(F(record_.WinUsbDeviceName), "Printer USB(WinUSB)");
    EXPECT_EQ(F(record_.WinUsbHardwareId), "USB\\vid_03f0&Pid_092C&mi_02");
    EXPECT_EQ(F(record_.WinUsbDriverVersion), "1.4.26.4");
}

TEST_F(InfReader, ModelNameMatchesWholeTextAndCase)
{
    WritePackageInfs();
    // The standard name is the start of the ZKW name; only the standard INF matches.
    ASSERT_EQ(Scan(u"BREVANTO TXR4103"), 1);
    EXPECT_EQ(F(record_.InfFileName), "TXR4103.inf");
    EXPECT_EQ(F(record_.HardwareId), "USBPRINT\\BREVANTOTXR41037E2A");
    EXPECT_EQ(F(record_.CatalogFileName), "TXR4103.cat");

    // Letter case counts; the interface fields are filled all the same.
    EXPECT_EQ(Scan(u"brevanto txr4103 zkw"), 0);
    EXPECT_TRUE(txr::FieldEmpty(record_.InfFilePath));
    EXPECT_TRUE(txr::FieldEmpty(record_.DriverName));
    EXPECT_EQ(F(record_.RestHardwareId), "USB\\vid_03f0&Pid_092C&mi_01");

    // Model and CabDestinationPath are kept; an earlier result is cleared.
    txr::CopyToField(record_.CabDestinationPath, u"C:\\x");
    ASSERT_EQ(Scan(u"BREVANTO TXR4103"), 1);
    txr::CopyToField(record_.CabDestinationPath, u"C:\\x");
    EXPECT_EQ(txr::Lib_GetDriverInstallDetailsFromInf(&record_), 1);
    txr::CopyToField(record_.ModelName, u"BREVANTO TXR4101 ZKW");
    EXPECT_EQ(txr::Lib_GetDriverInstallDetailsFromInf(&record_), 0);
    EXPECT_EQ(F(record_.CabDestinationPath), "C:\\x");
    EXPECT_EQ(F(record_.ModelName), "BREVANTO TXR4101 ZKW");
    EXPECT_TRUE(txr::FieldEmpty(record_.HardwareId));
    EXPECT_TRUE(txr::FieldEmpty(record_.DriverVersion));
}

TEST_F(InfReader, LastFileInSearchOrderWinsAndValuesCarryOver)
{
    // a.inf brings version, date and catalog; b.inf has none of its own and inherits them.
    WriteInf("a.inf", "DriverVer=01/02/2020,1.0.0.1\r\nCatalogFile=a.cat\r\n\"M\"=X,USBPRINT\\AAA\r\n");
    WriteInf("B.inf", "\"M\"=X,USBPRINT\\BBB\r\n");
    ASSERT_EQ(Scan(u"M"), 1);
    EXPECT_EQ(F(record_.InfFileName), "B.inf");
    EXPECT_EQ(F(record_.HardwareId), "USBPRINT\\BBB");
    EXPECT_EQ(F(record_.DriverVersion), "1.0.0.1");
    EXPECT_EQ(F(record_.DriverDate), "01/02/2020");
    EXPECT_EQ(F(record_.CatalogFileName), "a.cat");

    // An empty model takes each file's first printer line; the last printer INF decides.
    ASSERT_EQ(Scan(u""), 1);
    EXPECT_EQ(F(record_.InfFileName), "B.inf");
}

TEST_F(InfReader, OneAcceptedLinePerFile)
{
    // The first accepted line ends the file: the later model line and interface line are not read.
    WriteInf("p.inf",
             "DriverVer=05/06/2021,2.0.0.0\r\n\"Other\"=X,USBPRINT\\OTHER\r\n\"M\"=X,USBPRINT\\FIRST\r\n"
             "DriverVer=07/08/2022,3.0.0.0\r\n\"M\"=X,USBPRINT\\SECOND\r\n"
             "\"If\"=Y, USB\\vid_03f0&Pid_092C&mi_01\r\n");
    ASSERT_EQ(Scan(u"M"), 1);
    EXPECT_EQ(F(record_.HardwareId), "USBPRINT\\FIRST");
    EXPECT_EQ(F(record_.DriverVersion), "2.0.0.0");
    EXPECT_TRUE(txr::FieldEmpty(record_.RestInfFileName));

    // A line with a printer marker and an interface marker counts only as a printer line; a
    // printer line without a quote keeps the name seen last (here the one passed over).
    WriteInf("p.inf",
             "\"Other\"=X,USBPRINT\\OTHER\r\n=X,USBPRINT\\NOQUOTE USB\\vid_03f0&Pid_092C&mi_01\r\n");
    ASSERT_EQ(Scan(u"Other"), 1);
    EXPECT_EQ(F(record_.HardwareId), "USBPRINT\\OTHER");
    ASSERT_EQ(Scan(u""), 1);
    EXPECT_EQ(F(record_.HardwareId), "USBPRINT\\OTHER");
    WriteInf("p.inf", "\"Other\"=X,USBPRINT\\OTHER\r\n");
    WriteInf("q.inf", "=X,USBPRINT\\NOQUOTE USB\\vid_03f0&Pid_092C&mi_01\r\n");
    ASSERT_EQ(Scan(u"Other"), 1);
    EXPECT_EQ(F(record_.InfFileName), "q.inf");
    EXPECT_EQ(F(record_.DriverName), "Other");
    EXPECT_EQ(F(record_.HardwareId), "USBPRINT\\NOQUOTE USB\\vid_03f0&Pid_092C&mi_01");
    EXPECT_TRUE(txr::FieldEmpty(record_.RestInfFileName));
}

TEST_F(InfReader, HowFieldsAreCut)
{
    struct Case {
        const char* name;
        const char* inf;
        const char* version;
        const char* date;
        const char* hardwareId;
    };
    const Case cases[] = {
        {"note after the version", "DriverVer=03/10/2023,1.5.27.4 ; note\r\n\"M\"=X,USBPRINT\\ID\r\n",
         "1.5.27.4 ; note", "03/10/2023", "USBPRINT\\ID"},
        {"version line without comma", "DriverVer=1.0.0.0\r\n\"M\"=X,USBPRINT\\ID\r\n", "", "1.0.0.0", "USBPRINT\\ID"},
        {"comma at the end", "DriverVer=03/10/2023,\r\n\"M\"=X,USBPRINT\\ID\r\n", "", "03/10/2023", "USBPRINT\\ID"},
        {"blanks are kept", "DriverVer= 03/10/2023, 1.5\r\n\"M\"=X,USBPRINT\\ID \r\n", " 1.5", " 03/10/2023", "USBPRINT\\ID "},
        {"last line without line end", "DriverVer=03/10/2023,1.5\r\n\"M\"=X,USBPRINT\\ID42", "1.5", "03/10/2023",
         "USBPRINT\\ID4"},
        {"LF line ends", "DriverVer=03/10/2023,1.5\n\"M\"=X,USBPRINT\\ID\n", "1.5", "03/10/2023", "USBPRINT\\ID"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteInf("t.inf", c.inf);
        ASSERT_EQ(Scan(u"M"), 1);
        EXPECT_EQ(F(record_.DriverVersion), c.version);
        EXPECT_EQ(F(record_.DriverDate), c.date);
        EXPECT_EQ(F(record_.HardwareId), c.hardwareId);
    }
}

TEST_F(InfReader, InterfaceLines)
{
    // Without a quote the device name stays empty; the hardware ID starts at the first "USB\".
    WriteInf("i.inf",
             "DriverVer=03/29/2021,1.4.26.4\r\nx=DMR.USB, USB\\vid_03f0&Pid_092C&mi_01\r\n");
    WriteInf("j.inf", "\"Printer USB(WinUSB)\"=DMR, USB\\vid_03f0&Pid_092C&mi_02&x\r\n");
    EXPECT_EQ(Scan(u"M"), 0);
    EXPECT_EQ(F(record_.RestInfFileName), "i.inf");
    EXPECT_TRUE(txr::FieldEmpty(record_.RestDeviceName));
    EXPECT_EQ(F(record_.RestHardwareId), "USB\\vid_03f0&Pid_092C&mi_01");
    EXPECT_EQ(F(record_.RestDriverVersion), "1.4.26.4");
    EXPECT_EQ(F(record_.WinUsbInfFileName), "j.inf");
    EXPECT_EQ(F(record_.WinUsbDeviceName), "Printer USB(WinUSB)");
    EXPECT_EQ(F(record_.WinUsbHardwareId), "USB\\vid_03f0&Pid_092C&mi_02&x");
    EXPECT_EQ(F(record_.WinUsbDriverVersion), "1.4.26.4");  // carried over from i.inf
}

TEST_F(InfReader, NothingToRead)
{
    EXPECT_EQ(Scan(u"M"), 0);  // no Driver folder
    WriteInf("readme.txt", "\"M\"=X,USBPRINT\\ID\r\n");
    EXPECT_EQ(Scan(u"M"), 0);  // no *.inf
    EXPECT_TRUE(sim::Machine::get().open_handles().empty());
}

}  // namespace
}  // namespace txrtest
