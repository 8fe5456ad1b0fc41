// Prints the certificate report of a signed catalog as the installer builds it (English texts),
// then n and p: run under Wine, it shows the crypt32 backend giving the lines the sim gives.
//   cert_smoke.exe <catalog path>
#include <cstdio>
#include <string>

#include "certificates/SignerChain.h"
#include "core/Form1.h"
#include "platform/utf.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fputs("usage: cert_smoke <catalog>\n", stderr);
        return 2;
    }
    txr::Form1 form;
    form.UI_BuildCatalogs();
    form.UI_SelectedLanguage = 1;
    const txr::certs::ReportTexts texts{form.Str("StrRes_UI_CertRoot"),         form.Str("StrRes_UI_Cert3rdParty"),
                                        form.Str("StrRes_UI_CertIntermediate"), form.Str("StrRes_UI_CertPublisher"),
                                        form.Str("StrRes_UI_CertInstalled"),    form.Str("StrRes_UI_CertMissing")};
    const std::u16string path(reinterpret_cast<const char16_t*>(argv[1]));
    try {
        const auto report = txr::certs::BuildChainReport(path, texts);
        std::fputs(txt::to_utf8(report.text).c_str(), stdout);
        std::printf("n=%d p=%d\n", report.elements, report.present);
    } catch (const txr::Error& e) {
        std::printf("failure: %s\n", txt::to_utf8(e.Message()).c_str());
        return 1;
    }
    return 0;
}
