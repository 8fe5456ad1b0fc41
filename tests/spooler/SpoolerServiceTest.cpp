// Service controls and the spooler restart with the running services that depend on it.
#include "platform/utf.h"
#include "tests/spooler/SpoolerFixture.h"

namespace {

using Steps = std::vector<std::string>;

class SpoolerServiceTest : public txrtest::SpoolerTest {
protected:
    std::uint64_t Clock() { return State()["clock"]["ms"].get<std::uint64_t>(); }
};

TEST_F(SpoolerServiceTest, WithoutDependentsOnlyTheSpoolerIsRestarted)
{
    std::uint32_t error = 7;
    EXPECT_EQ(txr::RestartSpooler(&error), 1);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(ServiceSteps(), (Steps{"Spooler stopped", "Spooler running"}));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SpoolerServiceTest, RunningDependentsAreStoppedBeforeAndStartedAfterInReverseOrder)
{
    AddService("FaxFirst", "running");
    AddService("FaxSecond", "running");
    std::uint32_t error = 7;
    EXPECT_EQ(txr::RestartSpooler(&error), 1);
    EXPECT_EQ(error, 0u);
    // The manager lists dependents in the reverse of their start order: FaxSecond, then FaxFirst.
    EXPECT_EQ(ServiceSteps(), (Steps{"FaxSecond stopped", "FaxFirst stopped", "Spooler stopped", "Spooler running",
                                     "FaxFirst running", "FaxSecond running"}));
}

TEST_F(SpoolerServiceTest, ADependentThatIsActiveButNotRunningIsLeftAloneAndTheOthersComeBack)
{
    AddService("Fax", "running");
    AddService("Pending", "start_pending", {{"pending_left", -1}});
    std::uint32_t error = 0;
    // The manager refuses to stop a spooler that an active service still depends on.
    EXPECT_EQ(txr::RestartSpooler(&error), 0);
    EXPECT_EQ(ServiceSteps(), (Steps{"Fax stopped", "Fax running"}));
    EXPECT_EQ(Service("Pending")->value("state", ""), "start_pending");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(1051)) + "\nSpooler: Restart FAILED");
}

TEST_F(SpoolerServiceTest, ADependentThatDoesNotStartAgainGivesItsCodeButTheRestartStillCounts)
{
    AddService("Fax", "running", {{"start_error", 1058}});
    std::uint32_t error = 0;
    EXPECT_EQ(txr::RestartSpooler(&error), 1);
    EXPECT_EQ(error, 1058u);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- Windows service");
    EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(1058)) + "\nFax: Start FAILED");
}

// A service that hangs in the pending state the action led it into: one phase of waiting, then the
// time-out's own code in the box and in the error code.
TEST_F(SpoolerServiceTest, AServiceHungInAPendingStateTimesOutWithItsOwnCode)
{
    struct Case {
        txr::ServiceAction action;
        const char* initialState;
        const char* suffix;
    } cases[] = {
        {txr::ServiceAction::Restart, "running", "Spooler: Restart FAILED"},
        {txr::ServiceAction::Stop, "running", "Spooler: Stop FAILED"},
        {txr::ServiceAction::Start, "stopped", "Spooler: Start FAILED"},
        {txr::ServiceAction::Restart, "stopped", "Spooler: Restart FAILED"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix + std::string(" from ") + c.initialState);
        FreshMachine();
        (*Service("Spooler"))["state"] = c.initialState;
        (*Service("Spooler"))["pending_queries"] = -1;
        Save();
        const auto before = Clock();
        std::uint32_t error = 0;
        EXPECT_EQ(txr::ControlWindowsService(u"Spooler", c.action, &error), 0);
        EXPECT_EQ(error, 1053u);
        EXPECT_GE(Clock() - before, 60000u);
        EXPECT_LE(Clock() - before, 61000u) << "one phase, then it gives up";
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- Windows service");
        EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(1053)) + "\n" + c.suffix);
    }
}

// A service that already reads stop pending is sent no stop control and not waited for: the state
// read after the stop phase decides at once.
TEST_F(SpoolerServiceTest, AServiceAlreadyStoppingIsNotWaitedFor)
{
    struct Case {
        txr::ServiceAction action;
        const char* suffix;
    } cases[] = {{txr::ServiceAction::Restart, "Spooler: Restart FAILED"}, {txr::ServiceAction::Stop, "Spooler: Stop FAILED"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix);
        FreshMachine();
        (*Service("Spooler"))["state"] = "stop_pending";
        (*Service("Spooler"))["pending_left"] = -1;
        Save();
        const auto before = Clock();
        std::uint32_t error = 0;
        EXPECT_EQ(txr::ControlWindowsService(u"Spooler", c.action, &error), 0);
        EXPECT_EQ(Clock(), before);
        EXPECT_TRUE(Events("pause").empty());
        EXPECT_EQ(error, 1061u);
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(1061)) + "\n" + c.suffix);
    }
}

TEST_F(SpoolerServiceTest, AStoppedSpoolerIsRestartedByStartingIt)
{
    (*Service("Spooler"))["state"] = "stopped";
    Save();
    std::uint32_t error = 7;
    EXPECT_EQ(txr::ControlWindowsService(u"Spooler", txr::ServiceAction::Restart, &error), 1);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(ServiceSteps(), Steps{"Spooler running"});
}

TEST_F(SpoolerServiceTest, ControlFailuresNameTheServiceAndTheAction)
{
    struct Case {
        txr::ServiceAction action;
        const char* service;
        std::uint32_t code;
        const char* suffix;
    } cases[] = {
        {txr::ServiceAction::Start, "Spooler", 1056, "Spooler: Start FAILED"},
        {txr::ServiceAction::Stop, "NoSuchService", 1060, "NoSuchService: Stop FAILED"},
        {static_cast<txr::ServiceAction>(9), "NoSuchService", 1060, "NoSuchService:  undefined action- FAILED"},
    };
    for (const auto& c : cases) {
        FreshMachine();
        std::uint32_t error = 0;
        EXPECT_EQ(txr::ControlWindowsService(txt::from_utf8(c.service).c_str(), c.action, &error), 0) << c.suffix;
        EXPECT_EQ(error, c.code) << c.suffix;
        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(c.code)) + "\n" + c.suffix);
    }
}

TEST_F(SpoolerServiceTest, AFailedListOfDependentsShowsItsBoxAndTheSpoolerRestartIsStillTried)
{
    AddService("Fax", "running");
    InjectFault("EnumDependentServicesW", 5, 2);  // the second call, after the size
    std::uint32_t error = 0;
    EXPECT_EQ(txr::RestartSpooler(&error), 0) << "Fax, not stopped, still holds the spooler";
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].first, "Printer Driver Installer- Dependent service");
    EXPECT_EQ(Boxes()[0].second, txt::to_utf8(txr::ErrorCodeToText(5)) + "Find dependent services failed for: Spooler");
    EXPECT_EQ(Boxes()[1].second, txt::to_utf8(txr::ErrorCodeToText(1051)) + "\nSpooler: Restart FAILED");
    EXPECT_TRUE(ServiceSteps().empty());
}

}  // namespace
