// Construction of the main window object and the catalog look-ups.
#include "core/Form1.h"

#include "core/UserPrompt.h"
#include "platform/handles.h"
#include "platform/ui/Pump.h"
#include "platform/utf.h"
#include "platform/win32api.h"

namespace txr {

namespace {

// The catalogs are RCDATA resources named after the assembly: NAME.TXR4100_DE and NAME.TXR4100_EN.
std::string LoadCatalogResource(const std::u16string& name)
{
    win::unique_module module;
    if (!win::GetModuleHandleExW(0, nullptr, module.put()) || !module) return {};
    win::HRSRC res = win::FindResourceW(module.get(), name.c_str(), win::RT_RCDATA);
    if (!res) return {};
    win::unique_resource loaded(win::LoadResource(module.get(), res));
    if (!loaded) return {};
    const win::DWORD size = win::SizeofResource(module.get(), res);
    const void* bytes = win::LockResource(loaded.get());
    if (!bytes || size == 0) return {};
    return std::string(static_cast<const char*>(bytes), size);
}

}  // namespace

Form1::Form1()
{
    // The caption label's own text until the catalog in use relabels it.
    AppWindowCaptionLabel.Text = u"BREVANTO TXR4100-Series ZKW Printer Driver Installer";
    Select_CertificateInfoTextBox.ReadOnly = true;
    Select_CertificateInfoTextBox.Multiline = true;
}

Form1::~Form1() = default;

void Form1::UI_BuildCatalogs()
{
    const std::u16string base = txt::from_utf8(kAssemblyName);
    UI_ResourceManager[0] = StringCatalog();
    UI_ResourceManager[1] = StringCatalog();
    UI_ResourceManager[0].Load(LoadCatalogResource(base + u".TXR4100_DE"));
    UI_ResourceManager[1].Load(LoadCatalogResource(base + u".TXR4100_EN"));
}

std::u16string Form1::Str(std::string_view key) const { return StrIn(UI_SelectedLanguage, key); }

std::u16string Form1::StrIn(int language, std::string_view key) const
{
    if (language < 0 || language > 1) return {};
    return UI_ResourceManager[language].GetString(key);
}

void Form1::SetExitCode(int code)
{
    // A failure outranks a restart request, which outranks plain success.
    auto rank = [](int c) { return c == ExitSuccess ? 0 : c == ExitRestartRequired ? 1 : 2; };
    if (rank(code) >= rank(ExitCodeValue)) ExitCodeValue = code;
}

void Form1::ShowCaptionedError(std::u16string_view text)
{
    ShowMessageBox(text, AppWindowCaptionLabel.Text, win::MB_OK | win::MB_ICONERROR);
}

void Form1::PumpEvents() { ui::DoEvents(); }

}  // namespace txr
