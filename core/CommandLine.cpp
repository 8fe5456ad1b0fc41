// The console face's frame: console, colour, command line, help, final key wait, failure report.
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/Form1.h"
#include "core/WideText.h"
#include "platform/utf.h"
#include "platform/win32api.h"

namespace txr {

namespace {

constexpr std::size_t kMaxAddressLength = 15;   // an IPv4 address text
constexpr std::size_t kMaxPortNameLength = 63;  // the port monitor's port name field

bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0x0B || c == 0x0C; }

// A decimal integer with optional blanks around it and an optional leading sign, in the 32-bit
// range; anything else is an argument error.
bool ParseInt32(std::u16string_view text, int& value)
{
    std::size_t b = 0, e = text.size();
    while (b < e && is_blank(text[b])) ++b;
    while (e > b && is_blank(text[e - 1])) --e;
    if (b == e) return false;
    bool negative = false;
    if (text[b] == u'+' || text[b] == u'-') {
        negative = text[b] == u'-';
        ++b;
    }
    if (b == e) return false;
    long long v = 0;
    for (std::size_t i = b; i < e; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return false;
        v = v * 10 + (text[i] - u'0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to)
{
    if (from.empty()) return text;
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::u16string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

// An option that needs a value and has none, or a value that is not a number.
struct ArgumentFailure {
    std::u16string message;
};

const std::u16string& ValueAfter(const std::vector<std::u16string>& args, std::size_t i)
{
    if (i + 1 >= args.size())
        throw ArgumentFailure{u"The option \"" + args[i] + u"\" needs a value after it."};
    return args[i + 1];
}

int IntegerAfter(const std::vector<std::u16string>& args, std::size_t i)
{
    const std::u16string& v = ValueAfter(args, i);
    int value = 0;
    if (!ParseInt32(v, value))
        throw ArgumentFailure{u"The value \"" + v + u"\" of the option \"" + args[i] +
                              u"\" is not a whole number between -2147483648 and 2147483647."};
    return value;
}

}  // namespace

int Form1::SilentDriver_Main(const std::vector<std::u16string>& paramCommandLineArray)
{
    g_SilentInstall = 1;
    if (!win::AllocConsole()) {
        SetExitCode(ExitInstallFailure);
        return ExitCodeValue;
    }
    consoleOpen_ = true;
    try {
        win::SetConsoleTextAttribute(win::GetStdHandle(win::STD_OUTPUT_HANDLE), 11);
        if (SilentDriver_InitComponents(paramCommandLineArray)) SilentDriver_Run();
        if (SilentDriver_AutoCloseConsole == 0) {
            ConsolePrint(u"\n" + Str("StrRes_SilentDriver_PressExitKey"));
            win::ReadConsoleKey();
        }
        win::FreeConsole();
        consoleOpen_ = false;
    } catch (const Error& e) {
        ConsolePrint(u"\n ERROR: " + e.Message());
        SetExitCode(ExitInstallFailure);
    } catch (const std::exception& e) {
        ConsolePrint(u"\n ERROR: " + txt::from_utf8(e.what()));
        SetExitCode(ExitInstallFailure);
    }
    return ExitCodeValue;
}

int Form1::SilentDriver_InitComponents(const std::vector<std::u16string>& args)
{
    UI_BuildCatalogs();
    UI_SelectedLanguage = 0;
    SilentDriver_EthIPAddressStr.clear();
    SilentDriver_PrinterPortNameStr.clear();
    SilentDriver_AutoCloseConsole = 0;
    SilentDriver_AddPrinter = 0;
    // The console run always installs a missing root certificate.
    Select_InstallCertCheckBox.Checked = true;
    AppWindowCaptionLabel.Text = Str("StrRes_FormCaption_txr4100_zkw");

    bool error = false;
    bool helpWanted = false;
    bool pnp = false;
    bool nw = false;
    int model = 0;
    bool modelGiven = false;

    // The model fields are set from whatever was read, also when an argument error ends the step.
    auto applyModel = [&] {
        const ModelEntry* entry = modelGiven ? FindModel(model) : nullptr;
        SilentDriver_DriverNameStr = entry ? entry->driverName : u"";
        CopyToField(g_DriverPackageInfDataArray[0].ModelName, SilentDriver_DriverNameStr);
        CopyToField(g_DeviceInstanceID, entry ? entry->deviceKey : u"");
    };

    try {
        // First pass: the language, so that everything after it speaks the user's language.
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] != u"-lang") continue;
            UI_SelectedLanguage = IntegerAfter(args, i);
            ++i;
            if (UI_SelectedLanguage != 0 && UI_SelectedLanguage != 1) {
                UI_SelectedLanguage = 0;
                ConsolePrint(u"\n" + StrIn(0, "StrRes_SilentDriver_InvalidLangID"));
                error = true;
            }
        }
        AppWindowCaptionLabel.Text = Str("StrRes_FormCaption_txr4100_zkw");

        if (!error) {
            for (std::size_t i = 0; i < args.size(); ++i) {
                const std::u16string& a = args[i];
                if (a == u"-?") {
                    helpWanted = true;
                } else if (a == u"-pnp") {
                    pnp = true;
                } else if (a == u"-nw") {
                    nw = true;
                    SilentDriver_AddPrinter = 1;
                } else if (a == u"-model") {
                    model = IntegerAfter(args, i);
                    modelGiven = true;
                    ++i;
                } else if (a == u"-lang") {
                    ++i;
                } else if (a == u"-ipv4") {
                    SilentDriver_EthIPAddressStr = ValueAfter(args, i);
                    ++i;
                } else if (a == u"-port") {
                    SilentDriver_PrinterPortNameStr = ValueAfter(args, i);
                    ++i;
                } else if (a == u"-autoclose") {
                    SilentDriver_AutoCloseConsole = 1;
                } else {
                    error = true;
                }
            }
        }
    } catch (const ArgumentFailure& failure) {
        applyModel();
        ConsolePrint(u"\n ************ ERROR *********** \n" + failure.message + u"\n");
        ShowCaptionedError(failure.message);
        SetExitCode(ExitInvalidCommandLine);
        return 0;
    }
    applyModel();

    bool argumentsWrong = error || (pnp && nw);
    if (!argumentsWrong && !helpWanted) {
        if (pnp) {
            if (!SilentDriver_DriverNameStr.empty()) return 1;
        } else if (nw) {
            if (SilentDriver_PrinterPortNameStr.empty())
                SilentDriver_PrinterPortNameStr = ReplaceAll(SilentDriver_EthIPAddressStr, u".", u"_");
            // The port layer takes an address of at most 15 and a port name of at most 63 characters.
            const bool fits = SilentDriver_EthIPAddressStr.size() <= kMaxAddressLength &&
                              SilentDriver_PrinterPortNameStr.size() <= kMaxPortNameLength;
            if (fits && !SilentDriver_DriverNameStr.empty() && !SilentDriver_EthIPAddressStr.empty() &&
                !SilentDriver_PrinterPortNameStr.empty())
                return 1;
            ConsolePrint(Str("StrRes_SilentDriver_ArgError"));
        }
        argumentsWrong = true;
    }

    ConsolePrint(u"\n \n");
    SilentDriver_HelpMenu();
    SilentDriver_AutoCloseConsole = 1;
    SetExitCode(argumentsWrong ? ExitInvalidCommandLine : ExitSuccess);
    return 0;
}

void Form1::SilentDriver_HelpMenu()
{
    ConsoleBeep(800, 200);
    const std::u16string version =
        ReplaceAll(Str("StrRes_InstallerVersion"), u"[xx", win::Is64BitProcess() ? u"[64" : u"[32");
    ConsolePrint(u"* Version: " + version + u" *");
    ConsolePrint(Str("StrRes_SilentDriver_Help_Usage"));
    ConsolePrint(Str("StrRes_SilentDriver_PrinterModelNumber") +
                 u" [1=TXR4101 ZKW, 2=TXR4102 ZKW, 3=TXR4103 ZKW, 4=TXR4104 ZKW]");
    ConsolePrint(u"\n" + Str("StrRes_SilentDriver_PressExitKey"));
    win::ReadConsoleKey();
}

}  // namespace txr
