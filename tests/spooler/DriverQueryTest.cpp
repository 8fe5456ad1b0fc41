// The installed-driver query: which entry matches, and how its version and date read.
#include <array>
#include <cstdlib>

#include "core/WideText.h"
#include "platform/utf.h"
#include "spooler/SpoolerCommon.h"
#include "tests/spooler/SpoolerFixture.h"

namespace {

using txrtest::SpoolerTest;
constexpr char16_t kHwid[] = u"USBPRINT\\BREVANTOTXR4103";
constexpr char16_t kName[] = u"BREVANTO TXR4103 ZKW";

struct QueryCase {
    const char* what;
    std::vector<std::array<std::string, 4>> drivers;  // name, hardware ID, version, date
    std::int32_t found;
    std::string version, date;
};

class DriverQueryTable : public SpoolerTest, public testing::WithParamInterface<QueryCase> {};

TEST_P(DriverQueryTable, FindsTheFirstEntryWithBothHardwareIdAndName)
{
    for (const auto& d : GetParam().drivers) AddDriver(d[0], d[1], d[2], d[3]);
    txr::InstalledDriverInfo record{};
    std::uint32_t error = 77;
    EXPECT_EQ(txr::Lib_GetCurrentDriverInfo(kHwid, kName, &record, &error), GetParam().found);
    EXPECT_EQ(record.IsInstalled, GetParam().found);
    EXPECT_EQ(error, 0u) << "a list that was read and holds no match reports no error";
    EXPECT_EQ(txt::to_utf8(txr::FieldText(record.DriverVersion)), GetParam().version);
    EXPECT_EQ(txt::to_utf8(txr::FieldText(record.DriverDate)), GetParam().date);
    if (GetParam().found) {
        EXPECT_TRUE(txt::iequals(txr::FieldText(record.DriverName), kName)) << "the installed name, as installed";
    }
    EXPECT_TRUE(Boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverQueryTable,
    testing::Values(
        QueryCase{"exact", {{"BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103", "1.5.27.4", "03/10/2023"}}, 1, "1.5.27.4", "03/10/2023"},
        QueryCase{"case", {{"brevanto txr4103 zkw", "usbprint\\brevantotxr4103", "1.5.0.4", "03/05/2024"}}, 1, "1.5.0.4", "03/05/2024"},
        QueryCase{"other_hwid", {{"BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4100", "1.5.27.4", "03/10/2023"}}, 0, "", ""},
        QueryCase{"no_hwid", {{"BREVANTO TXR4103 ZKW", "", "1.5.27.4", "03/10/2023"}}, 0, "", ""},
        QueryCase{"first_wins",
                  {{"BREVANTO TXR4103", "USBPRINT\\BREVANTOTXR4103", "9.9.9.9", "01/01/2020"},
                   {"BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103", "1.0.0.1", "12/31/2022"},
                   {"BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103", "2.0.0.2", "01/02/2023"}},
                  1, "1.0.0.1", "12/31/2022"},
        QueryCase{"big_parts", {{"BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103", "65535.0.10.65535", "11/30/2099"}}, 1, "65535.0.10.65535", "11/30/2099"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(SpoolerTest, QueryFreesAnEarlierPrinterListEvenWhenNothingIsFound)
{
    txr::InstalledDriverInfo record{};
    record.PrinterList = static_cast<txr::PrinterInfoData*>(std::calloc(2, sizeof(txr::PrinterInfoData)));
    record.PrinterCount = 2;
    std::uint32_t error = 0;
    EXPECT_EQ(txr::Lib_GetCurrentDriverInfo(kHwid, kName, &record, &error), 0);
    EXPECT_EQ(record.PrinterList, nullptr);  // the sanitizer build reports a leak otherwise
    EXPECT_EQ(record.PrinterCount, 0);
}

TEST_F(SpoolerTest, QueryReportsAFailedEnumerationWithItsCodeAndNoBox)
{
    AddDriver("BREVANTO TXR4103 ZKW", "USBPRINT\\BREVANTOTXR4103");
    InjectFault("EnumPrinterDriversW", 1722);
    txr::InstalledDriverInfo record{};
    std::uint32_t error = 0;
    EXPECT_EQ(txr::Lib_GetCurrentDriverInfo(kHwid, kName, &record, &error), 0);
    EXPECT_EQ(error, 1722u);
    EXPECT_EQ(record.IsInstalled, 0);
    EXPECT_TRUE(Boxes().empty());
}

// The size-first helper against a fake enumeration whose needed size grows by `growth` bytes at
// each of its first `grows` calls after the size request (another process adding a printer).
struct GrowingCase {
    const char* what;
    int grows;
    win::DWORD secondError;  // what a failing second call reports when the size did not grow
    txr::spooler::EnumOutcome outcome;
    int calls;
};

TEST(EnumerateSizeFirst, AsksAgainABoundedNumberOfTimesWhileTheNeededSizeGrows)
{
    const GrowingCase cases[] = {
        {"grew once", 1, 0, txr::spooler::EnumOutcome::Entries, 3},
        {"grew three times", 3, 0, txr::spooler::EnumOutcome::Entries, 5},
        {"grows on every call", 100, 0, txr::spooler::EnumOutcome::SecondFailed, 1 + txr::spooler::kEnumerateAttempts},
        {"too small without growing", 0, win::ERROR_INSUFFICIENT_BUFFER, txr::spooler::EnumOutcome::SecondFailed, 2},
        {"another failure", 0, 5, txr::spooler::EnumOutcome::SecondFailed, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int calls = 0;
        win::DWORD size = 64;
        const auto call = [&](win::BYTE* buffer, win::DWORD cb, win::DWORD* needed, win::DWORD* returned) -> win::BOOL {
            ++calls;
            if (calls > 1 && calls <= 1 + c.grows) size += 40;
            *needed = size;
            *returned = 0;
            if (!buffer || cb < size) {
                win::SetLastError(win::ERROR_INSUFFICIENT_BUFFER);
                return win::FALSE;
            }
            if (c.secondError) {
                win::SetLastError(c.secondError);
                return win::FALSE;
            }
            *returned = 2;
            return win::TRUE;
        };
        txr::spooler::EnumBuffer out;
        EXPECT_EQ(txr::spooler::EnumerateSizeFirst(call, out), c.outcome);
        EXPECT_EQ(calls, c.calls);
        if (c.outcome == txr::spooler::EnumOutcome::Entries) {
            EXPECT_EQ(out.count, 2u);
            EXPECT_EQ(win::GetLastError(), 0u);
        } else {
            EXPECT_EQ(out.count, 0u);
            EXPECT_EQ(win::GetLastError(), c.secondError ? c.secondError : win::ERROR_INSUFFICIENT_BUFFER);
        }
    }
}

}  // namespace
