// The update decision (date first, then the four version numbers) and the platform check.
#include <cstring>

#include <gtest/gtest.h>

#include "core/Form1.h"
#include "platform/utf.h"
#include "tests/support/SimFixture.h"

namespace {

using txr::CopyToField;

class UpdateDecisionTest : public txrtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        form.UI_BuildCatalogs();
        form.AppWindowCaptionLabel.Text = u"Caption";
    }
    void TearDown() override
    {
        txr::ClearInstalledDriverInfo(&installed);
        SimTest::TearDown();
    }
    txr::Form1 form;
    txr::DriverInstallInfoStruct package{};
    txr::InstalledDriverInfo installed{};
};

struct DecisionCase {
    const char16_t* packageDate;
    const char16_t* packageVersion;
    const char16_t* installedDate;
    const char16_t* installedVersion;
    bool update;
    bool errorBox;
    const char* why;
};

const DecisionCase kCases[] = {
    {u"03/10/2023", u"1.5.27.4", u"", u"", true, false, "nothing installed"},
    {u"03/10/2023", u"1.5.27.4", u"03/10/2023", u"", true, false, "installed version unknown"},
    {u"03/10/2023", u"1.5.27.4", u"", u"1.5.27.4", true, false, "installed date unknown"},
    {u"03/10/2023", u"1.5.27.5", u"03/10/2023", u"1.5.27.4", true, false, "fourth number greater"},
    {u"03/10/2023", u"1.5.27.4", u"03/10/2023", u"1.5.27.4", false, false, "same date and version"},
    {u"03/10/2023", u"1.2.0.1", u"03/10/2023", u"1.3.0.0", false, false, "second number decides first"},
    {u"03/10/2023", u"1.1.5.0", u"03/10/2023", u"1.2.0.0", false, false, "second number smaller"},
    {u"03/10/2023", u"2.0.0.0", u"03/10/2023", u"1.9.9.9", true, false, "first number greater"},
    {u"04/01/2023", u"9.9.9.9", u"03/31/2024", u"1.0.0.0", false, false, "older package date"},
    {u"04/01/2024", u"1.0.0.0", u"03/31/2024", u"9.9.9.9", true, false, "newer package date, any version"},
    {u"03/10/2023", u"0.0.0.1", u"03/10/2023", u"1.5.27", true, false, "three-part version counts as 0.0.0.0"},
    {u"03/10/2023", u"1.5.27", u"03/10/2023", u"0.0.0.1", false, false, "three-part package version counts as 0"},
    {u" 3/ 10 /+2023", u" 1.5.27.5 ", u"03/10/2023", u"1.5.27.4", true, false, "blanks and signs around parts"},
    {u"02/29/2024", u"1.0.0.0", u"02/28/2024", u"1.0.0.0", true, false, "leap day"},
    {u"\u00A003/10/2023", u"1.5.27.5\u00A0", u"03/10/2023", u"1.5.27.4", true, false, "no-break spaces are blanks"},
    {u"01/01/1601", u"1.0.0.0", u"12/31/2023", u"1.0.0.0", false, false, "the first day a driver date can have"},
    {u"12/31/1600", u"1.5.27.5", u"03/10/2023", u"1.5.27.4", false, true, "before 1601: not a driver date"},
    {u"03/1x/2023", u"1.5.27.5", u"03/10/2023", u"1.5.27.4", false, true, "letters in a date part"},
    {u"13/10/2023", u"1.5.27.5", u"03/10/2023", u"1.5.27.4", false, true, "month 13"},
    {u"02/29/2023", u"1.5.27.5", u"03/10/2023", u"1.5.27.4", false, true, "no 29 February in 2023"},
    {u"03/10/2023", u"1.5.2a.5", u"03/10/2023", u"1.5.27.4", false, true, "letters in a version part"},
    {u"03/10/2023", u"1.5.27.99999999999", u"03/10/2023", u"1.5.27.4", false, true, "number out of range"},
    {u"03/10/2023", u"1.-5.27.4", u"03/10/2023", u"1.5.27.4", false, true, "negative version number"},
    {u"", u"", u"03/10/2023", u"1.5.27.4", false, true, "package facts not found while installed"},
    {u"03/10/2023", u"1.5.27.4", u"03/1x/2023", u"", false, true, "bad installed date fails before the empty check"},
};

TEST_F(UpdateDecisionTest, DateThenVersionTable)
{
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.why);
        std::filesystem::remove(sim::Machine::get().event_file());
        CopyToField(package.DriverDate, c.packageDate);
        CopyToField(package.DriverVersion, c.packageVersion);
        CopyToField(installed.DriverDate, c.installedDate);
        CopyToField(installed.DriverVersion, c.installedVersion);
        EXPECT_EQ(form.UI_DriverNeedsUpdate(&package, &installed), c.update);
        const auto boxes = Events("message_box");
        ASSERT_EQ(boxes.size(), c.errorBox ? 1u : 0u);
        if (c.errorBox) {
            EXPECT_EQ(boxes[0]["caption"], "Caption");
            EXPECT_EQ(boxes[0]["icon"], "error");
            EXPECT_EQ(boxes[0]["buttons"], "ok");
            EXPECT_FALSE(boxes[0]["text"].get<std::string>().empty());
        }
    }
}

TEST_F(UpdateDecisionTest, DecisionWritesNothing)
{
    CopyToField(package.DriverDate, u"03/10/2023");
    CopyToField(package.DriverVersion, u"1.5.27.5");
    CopyToField(installed.DriverDate, u"03/10/2023");
    CopyToField(installed.DriverVersion, u"1.5.27.4");
    installed.IsInstalled = 1;
    const auto before = installed;
    EXPECT_TRUE(form.UI_DriverNeedsUpdate(&package, &installed));
    EXPECT_EQ(std::memcmp(&before, &installed, sizeof installed), 0);
}

struct BitnessCase {
    int windowsBits;
    int processBits;
    int result;
    const char* errorKey;
};

TEST_F(UpdateDecisionTest, InstallerBitnessMustMatchTheSystem)
{
    const BitnessCase cases[] = {
        {64, 64, 1, nullptr},
        {32, 32, 1, nullptr},
        {64, 32, 0, "StrRes_WOW64_Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.windowsBits) + "/" + std::to_string(c.processBits));
        State()["windows"]["bits"] = c.windowsBits;
        State()["process"]["bits"] = c.processBits;
        Save();
        std::u16string error = u"untouched";
        EXPECT_EQ(form.UI_CanInstallerRun(error), c.result);
        EXPECT_EQ(error, c.errorKey ? form.Str(c.errorKey) : u"untouched");
    }
}

// The date display and the decision read a date alike: a date text is shown exactly when the
// decision can compare it, and otherwise both report it in a box.
TEST_F(UpdateDecisionTest, DateDisplayAndDecisionAgreeOnEveryDateText)
{
    const char16_t* const dates[] = {u"03/10/2023", u" 03/10/2023", u"\u00A003/10/2023", u"03/10/2023\u3000",
                                     u"+3/+10/2023", u"02/29/2023", u"13/01/2023", u"01/01/1601",
                                     u"12/31/1600", u"01/01/0001", u"1x/01/2023", u"03/10/99999999999"};
    for (const char16_t* date : dates) {
        SCOPED_TRACE(txt::to_utf8(date));
        std::filesystem::remove(sim::Machine::get().event_file());
        const bool shown = !form.UI_GetDateInCurrentCulture(date).empty();
        EXPECT_EQ(Boxes().size(), shown ? 0u : 1u);

        std::filesystem::remove(sim::Machine::get().event_file());
        CopyToField(package.DriverDate, date);
        CopyToField(package.DriverVersion, u"1.0.0.0");
        // The oldest installed driver there can be: every readable package date wins.
        CopyToField(installed.DriverDate, u"01/01/1601");
        CopyToField(installed.DriverVersion, u"0.0.0.0");
        EXPECT_EQ(form.UI_DriverNeedsUpdate(&package, &installed), shown);
        EXPECT_EQ(Boxes().size(), shown ? 0u : 1u);
    }
}

}  // namespace
