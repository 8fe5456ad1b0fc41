// The console face's command line: the table of argument lists with the resulting fields, return
// value, printed lines, events and exit code; the help exactly as printed; the argument errors in
// the run's language; "-autoclose" and the invisible window station against every key wait; the
// refusal of a build of the other bitness.
#include <gtest/gtest.h>

#include <cstring>

#include "core/Form1.h"
#include "platform/utf.h"
#include "tests/support/SimFixture.h"

namespace {

using txr::Form1;

std::vector<std::u16string> Args(const std::vector<const char*>& list)
{
    std::vector<std::u16string> v;
    for (const char* a : list) v.push_back(txt::from_utf8(a));
    return v;
}

class CommandLineTest : public txrtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
    }
    std::string ModelName() { return txt::to_utf8(txr::FieldText(g_DriverPackageInfDataArray[0].ModelName)); }
    std::string DeviceKey() { return txt::to_utf8(txr::FieldText(g_DeviceInstanceID)); }
};

// The help block as the console prints it, after the "\n \n" that leads into it.
std::string GermanHelp()
{
    return "* Version: 3.100 [64-Bit-Software] *\n" + std::string(109, '+') +
           "\n"
           "   Verwendung: [Plug&Play Treiberinstallation]\n"
           "           <Installer.exe> -pnp -model <Modellnummer> [-lang <Sprache ID>] [-autoclose]\n"
           "\n"
           "   Verwendung: [Netzwerkdrucker installation]\n"
           "          <Installer.exe> -nw -model <Modellnummer> -ipv4 <\"IP-Adresse\"> [-port <\"Anschlussname\">]\n"
           "                          [-lang <Sprache ID-Nummer>] [-autoclose]\n"
           "\n"
           "   Optionsliste:\n"
           "\n"
           "   -lang                     [Optional] Sprache ID-Nummer [0=Deutsch,1=English]\n"
           "   -pnp                      USB Plug&Play Treiber installieren. Der Drucker wird automatisch über \n"
           "                             die USB-Verbindung des Geräts hinzugefügt\n"
           "   -nw                       Treiber installieren und neu Netzwerkdrucker hinzufügen\n"
           "   -ipv4                     Drucker IPv4 IP-Adresse: [Beispiel: \"192.168.1.0\"]\n"
           "   -port                     [Optional] Drucker IPv4 Anschlussname: [\"Drucker_1\"]\n"
           "   -autoclose                [Optional] Automatisches Befehlsfenster Verschluss nach der Installation\n"
           "   -model                    Druckermodell ID-Nummer [1=TXR4101 ZKW, 2=TXR4102 ZKW, 3=TXR4103 ZKW, "
           "4=TXR4104 ZKW]\n"
           "\n"
           "zum Verlassen eine beliebige Taste drücken ...\n";
}

const std::string kHelpLead = "\n \n\n";
const std::string kEnglishHelpStart = "* Version: 3.100 [64 bit software] *\n" + std::string(107, '+') + "   \n";

struct Case {
    const char* name;
    std::vector<const char*> args;
    int result;
    const char* model;      // slot 0 ModelName afterwards
    const char* deviceKey;  // g_DeviceInstanceID afterwards
    const char* outputStart;  // what the console shows first
    bool helpShown;
    int language;
};

class CommandLineTable : public CommandLineTest, public ::testing::WithParamInterface<Case> {};

TEST_P(CommandLineTable, FieldsResultAndOutput)
{
    const Case& c = GetParam();
    Form1 form;
    testing::internal::CaptureStdout();
    const int r = form.SilentDriver_InitComponents(Args(c.args));
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(r, c.result);
    EXPECT_EQ(ModelName(), c.model);
    EXPECT_EQ(DeviceKey(), c.deviceKey);
    EXPECT_EQ(form.UI_SelectedLanguage, c.language);
    EXPECT_EQ(out.rfind(c.outputStart, 0), 0u) << out;
    EXPECT_EQ(out.find("* Version: ") != std::string::npos, c.helpShown) << out;
    EXPECT_EQ(form.SilentDriver_AutoCloseConsole, c.helpShown ? 1 : 0);
    EXPECT_TRUE(form.Select_InstallCertCheckBox.Checked);
    // The help beeps once at 800 Hz for 200 ms and waits for its key.
    EXPECT_EQ(Events("beep").size(), c.helpShown ? 1u : 0u);
    EXPECT_EQ(Events("key_wait").size(), c.helpShown ? 1u : 0u);
    EXPECT_TRUE(Events("message_box").empty());
}

const char* const kZkw3 = "BREVANTO TXR4103 ZKW";
const char* const kKey3 = "BREVANTOTXR4103";

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineTable,
    ::testing::Values(
        Case{"PnpModel3", {"-pnp", "-model", "3"}, 1, kZkw3, kKey3, "", false, 0},
        Case{"ModelWithBlanksAndSign", {"-pnp", "-model", " +3 "}, 1, kZkw3, kKey3, "", false, 0},
        Case{"Model1", {"-model", "1", "-pnp"}, 1, "BREVANTO TXR4101 ZKW", "BREVANTOTXR4101", "", false, 0},
        Case{"Nw", {"-nw", "-model", "3", "-ipv4", "192.168.1.20"}, 1, kZkw3, kKey3, "", false, 0},
        Case{"NwWithoutAddress", {"-nw", "-model", "3"}, 0, kZkw3, kKey3, "falscher Befehl\n\n \n\n* Version", true, 0},
        Case{"PnpWithoutModel", {"-pnp"}, 0, "", "", "\n \n\n* Version", true, 0},
        Case{"Model7", {"-pnp", "-model", "7"}, 0, "", "", "\n \n\n* Version", true, 0},
        Case{"BothJobs", {"-pnp", "-nw", "-model", "3"}, 0, kZkw3, kKey3, "\n \n\n* Version", true, 0},
        Case{"CaseMatters", {"-PNP", "-model", "3"}, 0, kZkw3, kKey3, "\n \n\n* Version", true, 0},
        Case{"UnknownArgument", {"hello"}, 0, "", "", "\n \n\n* Version", true, 0},
        Case{"HelpWanted", {"-?", "-pnp", "-model", "3"}, 0, kZkw3, kKey3, "\n \n\n* Version", true, 0},
        Case{"English", {"-lang", "1", "-pnp", "-model", "3"}, 1, kZkw3, kKey3, "", false, 1},
        Case{"EnglishArgError", {"-nw", "-lang", "1", "-model", "3"}, 0, kZkw3, kKey3,
             "Commandline argument error!\n\n \n\n* Version: 3.100 [64 bit software] *", true, 1},
        // An invalid language prints the invalid-language text from the German catalog, then the
        // German help; the second pass never runs, so no model is read.
        Case{"InvalidLanguage", {"-lang", "2", "-pnp", "-model", "3"}, 0, "", "",
             "\nfalsche Sprach-ID! [0=Deutsch,1=English]\n\n \n\n* Version: 3.100 [64-Bit", true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandLineTest, NetworkJobDerivesThePortNameOrTakesTheGivenOne)
{
    Form1 a;
    EXPECT_EQ(a.SilentDriver_InitComponents(Args({"-nw", "-model", "3", "-ipv4", "192.168.1.20"})), 1);
    EXPECT_EQ(txt::to_utf8(a.SilentDriver_EthIPAddressStr), "192.168.1.20");
    EXPECT_EQ(txt::to_utf8(a.SilentDriver_PrinterPortNameStr), "192_168_1_20");
    EXPECT_EQ(a.SilentDriver_AddPrinter, 1);

    Form1 b;
    EXPECT_EQ(b.SilentDriver_InitComponents(
                  Args({"-autoclose", "-port", "Printer_1", "-nw", "-ipv4", "10.0.0.7", "-model", "3"})),
              1);
    EXPECT_EQ(txt::to_utf8(b.SilentDriver_PrinterPortNameStr), "Printer_1");
    EXPECT_EQ(b.SilentDriver_AutoCloseConsole, 1);

    Form1 c;
    testing::internal::CaptureStdout();
    EXPECT_EQ(c.SilentDriver_InitComponents(
                  Args({"-nw", "-model", "3", "-ipv4", "10.0.0.7", "-port", std::string(64, 'P').c_str()})),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("falscher Befehl\n", 0), 0u);
}

const char* const kCaptionDe = "BREVANTO TXR4100-Serie ZKW Druckertreiber Installationsprogramm";
const char* const kCaptionEn = "BREVANTO TXR4100-Series ZKW Printer Driver Installer";

struct FrameCase {
    std::vector<const char*> args;
    const char* message;  // in the frame and in the box
    const char* caption;
    int autoClose;
};

TEST_F(CommandLineTest, MissingOrBadValueShowsTheErrorFrameAndMessageBoxWithoutHelp)
{
    const FrameCase cases[] = {
        {{"-pnp", "-model"}, "falscher Befehl! Kein Wert nach der Option -model", kCaptionDe, 0},
        {{"-pnp", "-lang"}, "falscher Befehl! Kein Wert nach der Option -lang", kCaptionDe, 0},
        {{"-autoclose", "-nw", "-ipv4"}, "falscher Befehl! Kein Wert nach der Option -ipv4", kCaptionDe, 1},
        {{"-pnp", "-model", "three"}, "falscher Befehl! Keine ganze Zahl: -model \"three\"", kCaptionDe, 0},
        {{"-pnp", "-model", "99999999999"}, "falscher Befehl! Keine ganze Zahl: -model \"99999999999\"", kCaptionDe, 0},
        // The run's language, read by the first pass, also for an error found before "-lang".
        {{"-model", "three", "-lang", "1"}, "Commandline argument error! Not a whole number: -model \"three\"",
         kCaptionEn, 0},
        {{"-lang", "1", "-nw", "-port"}, "Commandline argument error! No value after the option -port", kCaptionEn, 0},
        // A failure in reading "-lang" itself speaks German, whatever an earlier "-lang" said.
        {{"-lang", "1", "-lang", "x"}, "falscher Befehl! Keine ganze Zahl: -lang \"x\"", kCaptionDe, 0},
        {{"-lang", "1", "-lang"}, "falscher Befehl! Kein Wert nach der Option -lang", kCaptionDe, 0},
        // "-autoclose" anywhere, also after the failure.
        {{"-pnp", "-model", "x", "-autoclose"}, "falscher Befehl! Keine ganze Zahl: -model \"x\"", kCaptionDe, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        FreshMachine();
        Form1 form;
        testing::internal::CaptureStdout();
        EXPECT_EQ(form.SilentDriver_InitComponents(Args(c.args)), 0);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, std::string("\n ************ ERROR *********** \n") + c.message + "\n\n");
        auto boxes = Events("message_box");
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0]["text"], c.message);
        EXPECT_EQ(boxes[0]["caption"], c.caption);
        EXPECT_EQ(boxes[0]["icon"], "error");
        EXPECT_EQ(boxes[0]["buttons"], "ok");
        EXPECT_TRUE(Events("beep").empty());
        EXPECT_EQ(form.SilentDriver_AutoCloseConsole, c.autoClose);
        EXPECT_EQ(form.ExitCodeValue, txr::ExitInvalidCommandLine);
    }
}

// "-ipv4" takes a dotted-decimal IPv4 address and nothing else.
TEST_F(CommandLineTest, AddressMustBeDottedDecimalIPv4)
{
    const char* const good[] = {"192.168.1.20", "0.0.0.0", "255.255.255.255", "10.0.0.7"};
    for (const char* address : good) {
        SCOPED_TRACE(address);
        FreshMachine();
        Form1 form;
        EXPECT_EQ(form.SilentDriver_InitComponents(Args({"-nw", "-model", "3", "-ipv4", address})), 1);
        EXPECT_EQ(txt::to_utf8(form.SilentDriver_EthIPAddressStr), address);
    }
    const char* const bad[] = {
        "",               "192.168.1",        "192.168.1.20.5", "256.1.1.1",    "192.168.1.300", "192.168.100.2000",
        "1.2.3.-4",       "+1.2.3.4",         " 192.168.1.20",  "192.168.1.20 ", "192.168..20",  "192.168.1.",
        ".192.168.1.20",  "192.168.001.20",   "010.0.0.7",      "0x7f.0.0.1",   "printer.local", "fe80::1",
        "192.168.1.20:9100", "１９２.168.1.20"};
    for (const char* address : bad) {
        SCOPED_TRACE(address);
        FreshMachine();
        Form1 form;
        testing::internal::CaptureStdout();
        EXPECT_EQ(form.SilentDriver_InitComponents(Args({"-lang", "1", "-nw", "-model", "3", "-ipv4", address})), 0);
        const std::string message =
            std::string("Commandline argument error! Not an IPv4 address [Example: \"192.168.1.20\"]: -ipv4 \"") +
            address + "\"";
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n ************ ERROR *********** \n" + message + "\n\n");
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0], std::make_pair(std::string(kCaptionEn), message));
        EXPECT_EQ(form.ExitCodeValue, txr::ExitInvalidCommandLine);
    }
    // The German message of the same failure.
    Form1 de;
    testing::internal::CaptureStdout();
    EXPECT_EQ(de.SilentDriver_InitComponents(Args({"-nw", "-model", "3", "-ipv4", "1.2.3"})), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n ************ ERROR *********** \nfalscher Befehl! Keine IPv4-Adresse [Beispiel: \"192.168.1.20\"]: "
              "-ipv4 \"1.2.3\"\n\n");
}

TEST_F(CommandLineTest, HelpIsPrintedExactlyWithBeepAndBitnessTag)
{
    Form1 de;
    testing::internal::CaptureStdout();
    de.SilentDriver_InitComponents(Args({"-?"}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), kHelpLead + GermanHelp());
    auto beeps = Events("beep");
    ASSERT_EQ(beeps.size(), 1u);
    EXPECT_EQ(beeps[0]["frequency"], 800);
    EXPECT_EQ(beeps[0]["duration"], 200);

    Form1 en;
    testing::internal::CaptureStdout();
    en.SilentDriver_InitComponents(Args({"-lang", "1", "-?"}));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind(kHelpLead + kEnglishHelpStart, 0), 0u) << out;
    // 0 selects German and 1 English, and the help says so in both languages.
    EXPECT_NE(out.find("\n   -lang                     [Optional] <Language ID> [0=Deutsch,1=English]\n"),
              std::string::npos);
    EXPECT_NE(out.find("\n   -model                    Printer model ID number [1=TXR4101 ZKW, 2=TXR4102 ZKW, "
                       "3=TXR4103 ZKW, 4=TXR4104 ZKW]\n\nPress any key to exit ...\n"),
              std::string::npos);

    // A 32-bit installer says so.
    State()["process"]["bits"] = 32;
    Save();
    Form1 x86;
    testing::internal::CaptureStdout();
    x86.SilentDriver_InitComponents(Args({"-lang", "1", "-?"}));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("* Version: 3.100 [32 bit software] *\n"), std::string::npos);
}

TEST_F(CommandLineTest, ConsoleRunFrameAndExitCodes)
{
    struct RunCase {
        std::vector<const char*> args;
        int exitCode;
        std::size_t keyWaits;
    };
    const RunCase cases[] = {
        {{"-?"}, txr::ExitSuccess, 1},                 // the help's own wait only
        {{"-pnp"}, txr::ExitInvalidCommandLine, 1},    // incomplete job: help
        {{"-pnp", "-model"}, txr::ExitInvalidCommandLine, 1},  // error frame, then the final wait
        {{"-autoclose", "-pnp", "-model"}, txr::ExitInvalidCommandLine, 0},
        // "-autoclose" anywhere: no wait at all, not even the help's own, and none for an error
        // found before "-autoclose" was read.
        {{"-?", "-autoclose"}, txr::ExitSuccess, 0},
        {{"-pnp", "-autoclose"}, txr::ExitInvalidCommandLine, 0},
        {{"hello", "-autoclose"}, txr::ExitInvalidCommandLine, 0},
        {{"-pnp", "-model", "x", "-autoclose"}, txr::ExitInvalidCommandLine, 0},
        {{"-lang", "x", "-autoclose"}, txr::ExitInvalidCommandLine, 0},
    };
    for (const auto& c : cases) {
        FreshMachine();
        Form1 form;
        testing::internal::CaptureStdout();
        EXPECT_EQ(form.SilentDriver_Main(Args(c.args)), c.exitCode);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(g_SilentInstall, 1);
        auto colours = Events("color");
        ASSERT_EQ(colours.size(), 1u);
        EXPECT_EQ(colours[0]["value"], 11);
        EXPECT_EQ(Events("key_wait").size(), c.keyWaits);
        auto console = Events("console");
        ASSERT_EQ(console.size(), 2u);
        EXPECT_EQ(console[0]["action"], "alloc");
        EXPECT_EQ(console[1]["action"], "free");
    }
}

TEST_F(CommandLineTest, NoConsoleMeansNothingPrintedAndFailure)
{
    InjectFault("AllocConsole", 5);
    Form1 form;
    testing::internal::CaptureStdout();
    EXPECT_EQ(form.SilentDriver_Main(Args({"-?"})), txr::ExitInstallFailure);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(Events("beep").empty());
}

// Nobody sees a process whose window station is not visible (SYSTEM in session 0): the box's
// caption and text go to the console, and no key is waited for.
TEST_F(CommandLineTest, InvisibleWindowStationPrintsTheBoxAndWaitsForNoKey)
{
    State()["process"]["window_station_visible"] = false;
    Save();
    Form1 form;
    testing::internal::CaptureStdout();
    EXPECT_EQ(form.SilentDriver_Main(Args({"-pnp", "-model"})), txr::ExitInvalidCommandLine);
    const std::string message = "falscher Befehl! Kein Wert nach der Option -model";
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n ************ ERROR *********** \n" + message + "\n\n" + "\n[" + kCaptionDe + "]\n" + message +
                  "\n" + "\nzum Verlassen eine beliebige Taste drücken ...\n");
    EXPECT_TRUE(Events("message_box").empty());
    EXPECT_TRUE(Events("key_wait").empty());

    // The help waits for no key either.
    FreshMachine();
    State()["process"]["window_station_visible"] = false;
    Save();
    Form1 help;
    testing::internal::CaptureStdout();
    EXPECT_EQ(help.SilentDriver_Main(Args({"-?"})), txr::ExitSuccess);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(Events("key_wait").empty());
    EXPECT_EQ(Events("beep").size(), 1u);
}

// A build of the other bitness (the 32-bit build under WOW64; a 64-bit program does not start on
// 32-bit Windows at all) is refused before anything on the machine changes.
TEST_F(CommandLineTest, BuildOfTheOtherBitnessIsRefused)
{
    struct BitnessCase {
        std::vector<const char*> args;
        const char* output;
    };
    const BitnessCase cases[] = {
        {{"-pnp", "-model", "3", "-lang", "1"},
         "\n ERROR: 64-bit operating system detected. \nPlease run 64-bit installer.\n\nPress any key to exit ...\n"},
        {{"-nw", "-model", "3", "-ipv4", "192.168.1.20"},
         "\n ERROR: 64-bit operating system detected. \nPlease run 64-bit installer.\n\nzum Verlassen eine beliebige "
         "Taste drücken ...\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        FreshMachine();
        State()["process"]["bits"] = 32;
        Save();
        const std::string before = State().dump();
        Form1 form;
        testing::internal::CaptureStdout();
        EXPECT_EQ(form.SilentDriver_Main(Args(c.args)), txr::ExitInstallFailure);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
        EXPECT_TRUE(Events("message_box").empty());
        EXPECT_EQ(Events("key_wait").size(), 1u);
        sim::Machine::get().reload();
        EXPECT_EQ(State().dump(), before) << "the machine was changed";
    }
}

}  // namespace
