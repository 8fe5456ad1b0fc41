// The driver selection page's certificate report: the catalog's signer chain, top first, each
// element with its kind and whether its store holds it; and the install-certificate check box,
// offered when more than the signer is missing.
#include "certificates/SignerChain.h"
#include "core/Form1.h"

namespace txr {

std::u16string Form1::UI_GetCertificateInfo(const DriverInstallInfoStruct* param_pDriverPackageInstallInfo)
{
    std::u16string report;
    try {
        if (!param_pDriverPackageInstallInfo) throw Error(u"The catalog path cannot be formed: no driver record.");
        const std::u16string catalogPath = certs::CatalogPathOf(*param_pDriverPackageInstallInfo);
        if (!certs::FileExists(catalogPath)) {
            Select_InstallCertCheckBox.Checked = false;
            Select_InstallCertCheckBox.Enabled = false;
            report = Str("StrRes_UI_CertFileNotFound");
        } else {
            const certs::ReportTexts texts{Str("StrRes_UI_CertRoot"),         Str("StrRes_UI_Cert3rdParty"),
                                           Str("StrRes_UI_CertIntermediate"), Str("StrRes_UI_CertPublisher"),
                                           Str("StrRes_UI_CertInstalled"),    Str("StrRes_UI_CertMissing")};
            const certs::ChainReport chain = certs::BuildChainReport(catalogPath, texts);
            report = chain.text;
            // Offered only when something besides one certificate (typically the signer) is missing.
            Select_InstallCertCheckBox.Checked = false;
            Select_InstallCertCheckBox.Enabled = chain.present < chain.elements - 1;
            PumpEvents();
        }
    } catch (const Error& e) {
        ShowCaptionedError(e.Message());
        Select_InstallCertCheckBox.Checked = false;
        Select_InstallCertCheckBox.Enabled = false;
        report = Str("StrRes_UI_CertFileNotFound");
    }
    PumpEvents();
    return report;
}

}  // namespace txr
