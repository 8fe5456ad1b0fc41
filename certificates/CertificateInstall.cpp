// Adding the catalog's missing chain certificates to the machine's stores before a driver is
// installed: the authorities when the user asked for it (or in the console face), the signer as a
// trusted publisher in the console face only. Top of the chain first, so that a root is in place
// before the certificates under it.
#include <functional>

#include "certificates/SignerChain.h"
#include "core/DriverRecords.h"
#include "core/Form1.h"
#include "platform/win32api.h"

namespace txr {

namespace {

constexpr win::DWORD kPauseAfterAdditionMs = 1000;

struct InstallFace {
    std::function<void(const std::u16string&)> emit;    // one progress text, with its line break
    std::function<void(const std::u16string&)> failed;  // the failure report
};

std::int32_t InstallChainCertificates(Form1& form, const DriverInstallInfoStruct* record, const InstallFace& face)
{
    try {
        if (!record) throw Error(u"The catalog path cannot be formed: no driver record.");
        const std::u16string catalogPath = certs::CatalogPathOf(*record);
        if (!certs::FileExists(catalogPath)) return 0;
        const bool silent = g_SilentInstall != 0;
        const bool addAuthorities = silent || form.Select_InstallCertCheckBox.Checked;

        const certs::SignerChain chain(catalogPath);
        const int n = static_cast<int>(chain.Count());
        const certs::MachineStores stores;
        int present = 0;
        bool publisherPresent = false;
        bool headingEmitted = false;
        for (int i = n - 1; i >= 0; --i) {
            win::PCCERT_CONTEXT cert = chain.Element(static_cast<win::DWORD>(i));
            const certs::CertKind kind = certs::Classify(cert);
            if (kind == certs::CertKind::None) continue;
            const bool isPublisher = kind == certs::CertKind::Publisher;
            const win::HCERTSTORE store = stores.For(kind);
            const bool wanted = isPublisher ? silent : addAuthorities;
            if (wanted && !certs::StoreHolds(store, cert)) {
                if (!headingEmitted) {
                    face.emit(u"   +" + form.Str("StrRes_UI_InstallingCert"));
                    headingEmitted = true;
                    form.PumpEvents();
                }
                face.emit(u"   # " + certs::DisplayName(cert));
                form.PumpEvents();
                if (!win::CertAddCertificateContextToStore(store, cert, win::CERT_STORE_ADD_USE_EXISTING, nullptr))
                    throw Error(certs::FailureText(win::GetLastError()));
                win::Sleep(kPauseAfterAdditionMs);
                form.PumpEvents();
            }
            if (certs::StoreHolds(store, cert)) {
                if (isPublisher)
                    publisherPresent = true;
                else
                    ++present;
            }
        }
        if (present != n - 1) return 0;
        return (!silent || publisherPresent) ? 1 : 0;
    } catch (const Error& e) {
        face.failed(e.Message());
        return 0;
    }
}

}  // namespace

std::int32_t Form1::UI_InstallCertificate(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo)
{
    const InstallFace wizard{
        [this](const std::u16string& text) { InstallStatusLabel.Text += u"\r\n" + text; },
        [this](const std::u16string& message) { ShowCaptionedError(message); },
    };
    return InstallChainCertificates(*this, param_pDriverPackageInstallInfo, wizard);
}

std::int32_t Form1::SilentDriver_PublishCertificate(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo)
{
    const InstallFace console{
        [this](const std::u16string& text) { ConsolePrint(u"\n" + text); },
        [this](const std::u16string& message) { ConsolePrint(u"\n************ ERROR: **********\n" + message); },
    };
    return InstallChainCertificates(*this, param_pDriverPackageInstallInfo, console);
}

}  // namespace txr
