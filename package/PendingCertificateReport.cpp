// Temporary: the certificate report is not built yet. An empty report leaves the report box empty,
// so the next package read asks again. This file goes when the real report is merged.
#include "core/Form1.h"

namespace txr {

std::u16string Form1::UI_GetCertificateInfo(const DriverInstallInfoStruct*) { return {}; }

}  // namespace txr
