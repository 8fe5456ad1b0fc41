// Reading the package facts of one driver: prepare the unpack folder, scan the INF files, build the
// date-and-version text, fill the certificate report once, and delete the folder when asked.
#include <string>

#include "core/Form1.h"
#include "package/PackageLayer.h"

namespace txr {

namespace {

bool IsWhiteSpace(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

std::u16string Trim(std::u16string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && IsWhiteSpace(text[b])) ++b;
    while (e > b && IsWhiteSpace(text[e - 1])) --e;
    return std::u16string(text.substr(b, e - b));
}

}  // namespace

std::int32_t Form1::UI_GetDriverInstallInfoFromPackage(DriverInstallInfoStruct* param_pDriverPackageInstallInfo,
                                                       std::u16string& param_DriverDateVerStr,
                                                       bool param_UnpackPackage, bool param_DeletePackage)
{
    DriverInstallInfoStruct* record = param_pDriverPackageInstallInfo;
    std::uint32_t error = 0;
    if (!Lib_GetCabDestinationPath(record->CabDestinationPath, static_cast<std::int32_t>(kTextField), &error)) {
        ShowCaptionedError(Str("StrRes_InstallStatusLabel_ErrorUnpack"));
        packageUnpackFailed_ = true;
        packageUnpackError_ = error;
        return 0;
    }
    const std::u16string folder(FieldText(record->CabDestinationPath));

    // Without a fresh unpack the scan works on whatever the existing folder holds.
    packageUnpackFailed_ = false;
    if (param_UnpackPackage || !UI_DriverUnpackDirExists(folder)) {
        if (!UI_UnpackDriverPackage()) {
            packageUnpackFailed_ = true;
            return 0;
        }
    }

    std::int32_t result = 0;
    if (Lib_GetDriverInstallDetailsFromInf(record) == 1) {
        result = 1;
        const std::u16string date = Trim(UI_GetDateInCurrentCulture(std::u16string(FieldText(record->DriverDate))));
        param_DriverDateVerStr = date + u" [" + Trim(FieldText(record->DriverVersion)) + u"]";
    } else {
        param_DriverDateVerStr = u"X";
    }

    // The report is built once per run: for the first record that gets here.
    if (Select_CertificateInfoTextBox.Text.empty()) {
        Select_CertificateInfoTextBox.Text = UI_GetCertificateInfo(record);
        PumpEvents();
    }

    if (param_DeletePackage) UI_DeleteDriverUnpackFolder(folder);
    return result;
}

}  // namespace txr
