// The wait loop of the removal worker as the console twin shows it: the step line, at least one
// dot, at least one 1000 ms sleep, and the worker's result stored on the waiting thread.
#include <gtest/gtest.h>

#include "core/Form1.h"
#include "tests/support/SimFixture.h"

namespace {

class WaitLoopTest : public txrtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        form.UI_BuildCatalogs();
        form.UI_SelectedLanguage = 1;
    }
    txr::Form1 form;
    txr::InstalledDriverInfo installed{};
};

TEST_F(WaitLoopTest, RemovalStepShowsItsHeadingAndDotsAndSleepsAtLeastOnce)
{
    txr::CopyToField(installed.DriverName, u"BREVANTO TXR4103 ZKW");
    txr::CopyToField(installed.DriverVersion, u"1.5.27.3");
    installed.IsInstalled = 1;
    g_BGWUninstallStatus = 77;
    testing::internal::CaptureStdout();
    EXPECT_EQ(form.SilentDriver_BGWUnInstallDriver(&g_DriverPackageInfDataArray[0], &installed, 0), 1);
    const std::string out = testing::internal::GetCapturedStdout();

    const std::string head = "\n+Deleting previously installed driver and printers ...\n"
                             "\n   Detected driver version: BREVANTO TXR4103 ZKW[1.5.27.3]\n";
    ASSERT_EQ(out.substr(0, head.size()), head);
    const std::string dots = out.substr(head.size());
    ASSERT_FALSE(dots.empty());
    EXPECT_EQ(dots.find_first_not_of('.'), std::string::npos) << "only dots follow, no result line: " << dots;
    EXPECT_FALSE(form.UnInstallBGWorker.IsBusy());
    EXPECT_NE(g_BGWUninstallStatus, 77) << "the run's result replaced the earlier one";

    std::size_t sleeps = 0;
    for (const auto& e : Events("pause")) sleeps += e["ms"] == 1000 ? 1 : 0;
    EXPECT_GE(sleeps, 1u);
    EXPECT_EQ(sleeps, dots.size()) << "one sleep per look";
}

TEST_F(WaitLoopTest, NothingInstalledPrintsNoDetectedLine)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(form.SilentDriver_BGWUnInstallDriver(&g_DriverPackageInfDataArray[0], &installed, 0), 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("\n+Deleting previously installed driver and printers ...\n", 0), 0u);
    EXPECT_EQ(out.find("Detected"), std::string::npos);
}

}  // namespace
