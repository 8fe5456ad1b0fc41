// Runs the seam's contract cases against the real spooler, device installer and service control
// manager (under Wine, or on Windows), one line per case and a summary; then shows how the
// functions looked up at run time answer.
#include <cstdio>

#include "platform/utf.h"
#include "tests/platform/SeamContract.h"

int wmain()
{
    int passed = 0, failed = 0, skipped = 0;
    for (const auto& c : contract::Cases()) {
        contract::Check check;
        c.run(check);
        if (check.skipped() && check.failures().empty()) {
            ++skipped;
            std::printf("SKIP %s: %s\n", c.name, check.skipped()->c_str());
        } else if (check.failures().empty()) {
            ++passed;
            std::printf("PASS %s\n", c.name);
        } else {
            ++failed;
            std::printf("FAIL %s\n", c.name);
            for (const auto& f : check.failures()) std::printf("     %s\n", f.c_str());
        }
    }
    std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);

    const char16_t* none = u"C:\\TXR no such folder\\none.inf";
    std::printf("DeletePrinterDriverPackageW: 0x%08lX\n",
                static_cast<unsigned long>(win::DeletePrinterDriverPackageW(nullptr, none, nullptr)));
    std::printf("InstallPrinterDriverFromPackageW: 0x%08lX\n",
                static_cast<unsigned long>(
                    win::InstallPrinterDriverFromPackageW(nullptr, none, u"TXR No Such Driver", nullptr, 0)));
    win::WCHAR dest[260] = {};
    win::DWORD chars = 260;
    std::printf("UploadPrinterDriverPackageW: 0x%08lX\n",
                static_cast<unsigned long>(
                    win::UploadPrinterDriverPackageW(nullptr, none, nullptr, 0, nullptr, dest, &chars)));
    return failed == 0 ? 0 : 1;
}
