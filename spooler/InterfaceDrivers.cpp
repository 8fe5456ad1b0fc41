// The drivers of the device's two further USB interfaces, installed through the device installer,
// and the removal of the printer-class device entries that name the model.
#include <string>

#include "core/UserPrompt.h"
#include "core/WideText.h"
#include "platform/handles.h"
#include "spooler/SpoolerCommon.h"

namespace txr {

using namespace spooler;

namespace {

constexpr char16_t kPrinterClassGuid[] = u"{4d36e979-e325-11ce-bfc1-08002be10318}";
constexpr char16_t kRestartCaption[] = u"Printer Driver Installer";
constexpr char16_t kRestartText[] = u"Please restart PC after installation!";

// Switches the file-system redirection of a 32-bit process off for its lifetime when asked to, and
// on again afterwards; a platform without redirection simply leaves it as it is.
class RedirectionOff {
public:
    explicit RedirectionOff(bool wanted)
    {
        if (wanted) off_ = win::Wow64DisableWow64FsRedirection(&old_) != 0;
    }
    RedirectionOff(const RedirectionOff&) = delete;
    RedirectionOff& operator=(const RedirectionOff&) = delete;
    ~RedirectionOff()
    {
        if (!off_) return;
        const win::DWORD saved = win::GetLastError();
        win::Wow64RevertWow64FsRedirection(old_);
        win::SetLastError(saved);
    }

private:
    void* old_ = nullptr;
    bool off_ = false;
};

}  // namespace

std::uint32_t InterfaceInstallMessageCode(std::uint32_t code)
{
    if ((code & 0xE0000000u) == 0xE0000000u) return 0x800F0000u | (code & 0xFFFFu);
    if (static_cast<std::int32_t>(code) > 0) return 0x80070000u | (code & 0xFFFFu);
    return code;
}

std::int32_t Lib_USBDeviceInterfaceDriverInstall(const char16_t* infPath, std::uint32_t disableRedirection,
                                                 std::uint32_t* errorCode, bool force, bool* restartRequired)
{
    if (restartRequired) *restartRequired = false;
    const std::int32_t failure = 0;
    try {
        const win::DWORD flags = force ? win::DIIRFLAG_FORCE_INF : 0;
        win::BOOL needReboot = win::FALSE;
        win::BOOL installed = win::FALSE;
        win::DWORD error = 0;
        {
            RedirectionOff redirection(disableRedirection != 0);
            installed = win::DiInstallDriverW(nullptr, infPath, flags, &needReboot);
            error = installed ? 0 : win::GetLastError();
        }
        if (installed) {
            Store(errorCode, 0);
            if (needReboot) {
                if (restartRequired) *restartRequired = true;
                ShowMessageBox(kRestartText, kRestartCaption, win::MB_OK | win::MB_ICONINFORMATION);
            }
            return 1;
        }
        Store(errorCode, error);
        win::SetLastError(error);
        if (error == win::ERROR_NO_MORE_ITEMS) return 0;
        ShowErrorBox(u"USB driver install", InterfaceInstallMessageCode(error));
        return 0;
    } catch (const Error& e) {
        ShowErrorBoxText(u"Exception:USB driver install", e.Message());
    } catch (const std::exception& e) {
        ShowErrorBoxText(u"Exception:USB driver install", txt::from_utf8(e.what()));
    } catch (...) {
    }
    Store(errorCode, win::GetLastError());
    return failure;
}

std::int32_t UninstallDeviceInstance(const char16_t* instanceIdPart)
{
    return Guarded(u"Uninstall device", nullptr, [&]() -> std::int32_t {
        const std::u16string_view wanted = View(instanceIdPart);
        win::GUID printerClass{};
        win::CLSIDFromString(kPrinterClassGuid, &printerClass);
        bool removed = false;
        win::DWORD failure = 0;
        win::unique_device_list devices(win::SetupDiGetClassDevsW(&printerClass, u"USBPRINT", nullptr, 0));
        if (!devices) {
            failure = win::GetLastError();
        } else {
            // The record's size is the running process's own (28 bytes in 32-bit, 32 in 64-bit).
            win::SP_DEVINFO_DATA device{};
            device.cbSize = sizeof device;
            win::DWORD index = 0;
            for (; win::SetupDiEnumDeviceInfo(devices.get(), index, &device); ++index) {
                char16_t id[260] = {};
                if (!win::SetupDiGetDeviceInstanceIdW(devices.get(), &device, id, 260, nullptr)) {
                    failure = win::GetLastError();
                    continue;
                }
                if (FieldText(id).find(wanted) == std::u16string_view::npos) continue;
                // Without a flag to fill, Windows would show its own restart prompt in the middle
                // of the installation; the flag is not needed beyond that.
                win::BOOL needReboot = win::FALSE;
                if (win::DiUninstallDevice(nullptr, devices.get(), &device, 0, &needReboot))
                    removed = true;
                else
                    failure = win::GetLastError();
            }
            // The walk ends with ERROR_NO_MORE_ITEMS past the last device; anything else stopped it.
            if (const win::DWORD end = win::GetLastError(); end != win::ERROR_NO_MORE_ITEMS) failure = end;
        }
        if (removed) return 1;
        if (failure == 0) return 1;
        win::SetLastError(failure);
        ShowErrorBox(u"UNINSTALL DEVICE-error", failure);
        return 0;
    });
}

}  // namespace txr
