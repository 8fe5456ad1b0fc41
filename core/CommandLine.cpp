// The console face's frame: console, colour, command line, help, final key wait, failure report.
#include "core/Form1.h"
#include "core/TextRules.h"
#include "core/UserPrompt.h"
#include "core/WideText.h"
#include "platform/utf.h"
#include "platform/win32api.h"

namespace txr {

namespace {

constexpr std::size_t kMaxPortNameLength = 63;  // the port monitor's port name field

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

// An IPv4 address in dotted-decimal form: four numbers 0-255 of one to three digits, nothing
// around or between them. A leading zero is refused: Windows' own address parsers read "010" as
// octal 8, so such a text would name another printer than the administrator meant.
bool IsDottedDecimalIPv4(std::u16string_view text)
{
    int parts = 0;
    std::size_t i = 0;
    while (parts < 4) {
        const std::size_t start = i;
        int value = 0;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && i - start < 3) value = value * 10 + (text[i++] - u'0');
        const std::size_t digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == u'0')) return false;
        if (++parts < 4) {
            if (i >= text.size() || text[i] != u'.') return false;
            ++i;
        }
    }
    return i == text.size();
}

// An argument the command line cannot take: the message names the option and the value.
struct ArgumentFailure {
    std::u16string message;
};

// The argument after the option at args[i]. The messages come from the catalog in use: the run's
// language, or German while "-lang" itself is being read.
struct ArgumentReader {
    const Form1& form;
    const std::vector<std::u16string>& args;
    int language;  // of the messages
    std::u16string Text(const char* key) const { return form.StrIn(language, key); }
};

const std::u16string& ValueAfter(const ArgumentReader& r, std::size_t i)
{
    if (i + 1 >= r.args.size()) throw ArgumentFailure{r.Text("StrRes_SilentDriver_ArgValueMissing") + r.args[i]};
    return r.args[i + 1];
}

int IntegerAfter(const ArgumentReader& r, std::size_t i)
{
    const std::u16string& v = ValueAfter(r, i);
    std::int32_t value = 0;
    if (ReadInt32(v, value) != IntegerReading::Read)
        throw ArgumentFailure{r.Text("StrRes_SilentDriver_ArgNotANumber") + r.args[i] + u" \"" + v + u"\""};
    return value;
}

const std::u16string& AddressAfter(const ArgumentReader& r, std::size_t i)
{
    const std::u16string& v = ValueAfter(r, i);
    if (!IsDottedDecimalIPv4(v))
        throw ArgumentFailure{r.Text("StrRes_SilentDriver_ArgNotAnAddress") + r.args[i] + u" \"" + v + u"\""};
    return v;
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
    // Whatever escapes the run ends it with its message; the console is then neither waited on nor
    // released.
    ReportFailure(
        [&]() -> int {
            win::SetConsoleTextAttribute(win::GetStdHandle(win::STD_OUTPUT_HANDLE), 11);
            if (SilentDriver_InitComponents(paramCommandLineArray)) {
                // A build of the other bitness must change nothing: a 32-bit process on 64-bit Windows
                // cannot install the interface drivers (DiInstallDriverW answers ERROR_IN_WOW64) and its
                // spooler calls would name the x86 environment.
                std::u16string refusal;
                if (UI_CanInstallerRun(refusal)) {
                    SilentDriver_Run();
                } else {
                    ConsolePrint(u"\n ERROR: " + refusal);
                    SetExitCode(ExitInstallFailure);
                }
            }
            if (SilentDriver_AutoCloseConsole == 0) {
                ConsolePrint(u"\n" + Str("StrRes_SilentDriver_PressExitKey"));
                WaitForKey();
            }
            win::FreeConsole();
            consoleOpen_ = false;
            return 0;
        },
        [&](const std::u16string& message) {
            ConsolePrint(Joined({u"\n ERROR: ", message}));
            SetExitCode(ExitInstallFailure);
        });
    return ExitCodeValue;
}

int Form1::SilentDriver_InitComponents(const std::vector<std::u16string>& args)
{
    UI_BuildCatalogs();
    UI_SelectedLanguage = 0;
    SilentDriver_EthIPAddressStr.clear();
    SilentDriver_PrinterPortNameStr.clear();
    // "-autoclose" anywhere means nobody is at the keyboard, also for the help and for an argument
    // error found before the second pass reaches it.
    SilentDriver_AutoCloseConsole = 0;
    for (const auto& a : args)
        if (a == u"-autoclose") SilentDriver_AutoCloseConsole = 1;
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
            UI_SelectedLanguage = IntegerAfter(ArgumentReader{*this, args, 0}, i);
            ++i;
            if (UI_SelectedLanguage != 0 && UI_SelectedLanguage != 1) {
                UI_SelectedLanguage = 0;
                ConsolePrint(u"\n" + StrIn(0, "StrRes_SilentDriver_InvalidLangID"));
                error = true;
            }
        }
        AppWindowCaptionLabel.Text = Str("StrRes_FormCaption_txr4100_zkw");

        if (!error) {
            const ArgumentReader reader{*this, args, UI_SelectedLanguage};
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
                    model = IntegerAfter(reader, i);
                    modelGiven = true;
                    ++i;
                } else if (a == u"-lang") {
                    ++i;
                } else if (a == u"-ipv4") {
                    SilentDriver_EthIPAddressStr = AddressAfter(reader, i);
                    ++i;
                } else if (a == u"-port") {
                    SilentDriver_PrinterPortNameStr = ValueAfter(reader, i);
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
            // The port layer takes a port name of at most 63 characters (a dotted-decimal address has
            // at most 15, which the port layer's address field holds).
            const bool fits = SilentDriver_PrinterPortNameStr.size() <= kMaxPortNameLength;
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
    if (SilentDriver_AutoCloseConsole == 0) WaitForKey();
}

}  // namespace txr
