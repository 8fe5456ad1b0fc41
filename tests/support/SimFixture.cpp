#include "tests/support/SimFixture.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

#include "core/DriverRecords.h"
#include "platform/sim/SimConsole.h"

namespace txrtest {

void SimTest::SetUp()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (auto& c : name)
        if (c == '/' || c == ' ') c = '_';
    root_ = std::filesystem::temp_directory_path() / ("txr-test-" + std::to_string(getpid())) / name;
    std::filesystem::remove_all(root_);
    // Whatever an earlier test left in the engine's tables and flags (g_SilentInstall after a
    // console run changes what later tests print) or in the process's console is gone, so that
    // the suite passes in any order.
    txr::ResetProcessState();
    sim::reset_console();
    sim::Machine::get().use_root(root_);
    FreshMachine();
}

void SimTest::FreshMachine(const std::string& locale, int bits)
{
    sim::ProfileOptions o;
    o.locale = locale;
    o.bits = bits;
    auto& m = sim::Machine::get();
    m.reset(o);
    // No person at the keyboard: key waits return at once.
    m.state()["console"]["input"] = "none";
    m.save();
}

void SimTest::TearDown()
{
    auto open = sim::Machine::get().open_handles();
    for (const auto& h : open) ADD_FAILURE() << "handle left open: " << h.kind << " from " << h.openedBy;
    if (HasFailure()) std::cerr << "machine state:\n" << sim::Machine::get().state().dump(2) << "\n";
    txr::ResetProcessState();
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

std::vector<sim::json> SimTest::Events(const std::string& type) const
{
    std::vector<sim::json> out;
    std::ifstream in(sim::Machine::get().event_file());
    std::string line;
    while (std::getline(in, line)) {
        auto j = sim::json::parse(line, nullptr, false);
        if (j.is_discarded()) continue;
        if (type.empty() || j.value("type", std::string()) == type) out.push_back(j);
    }
    return out;
}

void SimTest::InjectFault(const std::string& op, std::uint32_t error, int call, int count)
{
    State()["faults"].push_back({{"op", op}, {"error", error}, {"call", call}, {"count", count}});
    Save();
}

}  // namespace txrtest
