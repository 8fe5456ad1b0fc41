// Reading the package facts of one driver: prepare the unpack folder, scan the INF files, build the
// date-and-version text, fill the certificate report once, and delete the folder when asked.
#include <string>

#include "core/Form1.h"
#include "core/TextRules.h"
#include "package/PackageLayer.h"

namespace txr {

namespace {

std::u16string Trim(std::u16string_view text) { return std::u16string(TrimBlanks(text)); }

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
