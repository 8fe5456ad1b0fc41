// The seam's contract cases against the simulated machine: every shared case on a fresh machine,
// some again on a machine seeded to take the other branch of a protocol, and the cases that need a
// seeded machine state (dependents, pending services, driver packages, devices) on their own.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "platform/handles.h"
#include "platform/utf.h"
#include "tests/platform/SeamContract.h"
#include "tests/support/SimFixture.h"

namespace {

using namespace win;
namespace fs = std::filesystem;

struct Variant {
    std::string caseName;
    std::string machine;  // "" is the fresh default machine
    std::map<std::string, long long> notes;  // what the machine must have answered
};

void Seed(sim::json& s, const std::string& machine)
{
    if (machine == "empty spooler") {
        s["spooler"]["drivers"] = sim::json::array();
        s["spooler"]["printers"] = sim::json::array();
    } else if (machine == "spooler dependents") {
        // Entries come back in the reverse of the start order; inactive ones only with STATE_ALL.
        s["services"].push_back({{"name", "Fax"}, {"display_name", "Fax"}, {"state", "running"},
                                 {"depends_on", sim::json::array({"Spooler"})}});
        s["services"].push_back({{"name", "LPDSVC"}, {"display_name", "LPD Service"}, {"state", "stopped"},
                                 {"depends_on", sim::json::array({"Spooler"})}});
    } else if (machine == "spooler stopped") {
        for (auto& sv : s["services"])
            if (sv["name"] == "Spooler") sv["state"] = "stopped";
    } else if (machine == "printer devices") {
        const std::string printerClass = "{4d36e979-e325-11ce-bfc1-08002be10318}";
        s["devices"]["list"] = sim::json::array({
            {{"instance_id", "USBPRINT\\BrevantoTXR41037E2A\\7&2b3c4d&0&USB001"}, {"class_guid", printerClass}, {"present", true}},
            {{"instance_id", "USBPRINT\\TXRCONTRACT\\1"}, {"class_guid", printerClass}, {"present", false}},
            {{"instance_id", "SWD\\PRINTENUM\\TXRCONTRACT"}, {"class_guid", printerClass}, {"present", true}},
            {{"instance_id", "USB\\VID_03F0&PID_092C&MI_00\\TXRCONTRACT"}, {"class_guid", "{36fc9e60-c465-11cf-8056-444553540000}"}, {"present", true}},
        });
    } else if (machine == "not elevated") {
        s["process"]["elevated"] = false;
        Seed(s, "printer devices");
    } else if (machine == "printer device removed after a restart") {
        Seed(s, "printer devices");
        s["devices"]["list"][1]["restart_to_remove"] = true;
    } else if (machine.rfind("printers with jobs", 0) == 0) {
        // One printer on a driver of its own, so that only its pending deletion keeps the driver.
        sim::json driver = s["spooler"]["drivers"][0];
        driver["name"] = "TXR Contract Jobs Driver";
        s["spooler"]["drivers"].push_back(driver);
        sim::json queued = s["spooler"]["printers"][0];
        queued["name"] = "TXR Contract Jobs";
        queued["driver"] = "TXR Contract Jobs Driver";
        queued["jobs"] = 3;
        sim::json paused = s["spooler"]["printers"][0];
        paused["name"] = "TXR Contract Jobs Paused";
        paused["jobs"] = 2;
        paused["status"] = 1;  // PRINTER_STATUS_PAUSED
        s["spooler"]["printers"].push_back(queued);
        s["spooler"]["printers"].push_back(paused);
        if (machine == "printers with jobs, printed at spooler start") s["spooler"]["settings"]["jobs_finish"] = "spooler_start";
    } else if (machine == "stale handles give 1702") {
        s["spooler"]["settings"]["stale_handle_error"] = 1702;  // RPC_S_INVALID_BINDING
    } else if (machine == "TCP/IP monitor looks at its own ports, takes any address, answers 1802") {
        s["spooler"]["settings"]["tcp_existing_port_status"] = 1802;
        s["spooler"]["settings"]["tcp_other_monitors_ports_exist"] = false;
        s["spooler"]["settings"]["tcp_check_addresses"] = false;
    } else if (machine == "32-bit process on 64-bit Windows") {
        s["process"]["bits"] = 32;
    } else if (machine.rfind("x86 and x64 drivers", 0) == 0) {
        sim::json x86 = s["spooler"]["drivers"][0];
        x86["environment"] = "Windows NT x86";
        x86["name"] = "TXR Contract x86 Driver";
        s["spooler"]["drivers"].push_back(x86);
        if (machine == "x86 and x64 drivers, 32-bit process") s["process"]["bits"] = 32;
    }
}

std::vector<Variant> Variants()
{
    std::vector<Variant> v;
    for (const auto& c : contract::Cases())
        if (std::string(c.name) != "SpoolerDependents" && std::string(c.name) != "WithoutAdministratorRights" &&
            std::string(c.name) != "PrinterWithJobs" && std::string(c.name) != "HandlesAcrossSpoolerRestart" &&
            std::string(c.name) != "TcpMonitorPorts")
            v.push_back({c.name, "", {}});
    v.push_back({"EnumDriversLevel8", "empty spooler", {{"drivers", 0}}});
    v.push_back({"EnumLocalPrinters", "empty spooler", {{"printers", 0}}});
    v.push_back({"SpoolerDependents", "", {{"active_dependents", 0}, {"all_dependents", 0}}});
    v.push_back({"SpoolerDependents", "spooler dependents", {{"active_dependents", 1}, {"all_dependents", 2}}});
    v.push_back({"SpoolerControls", "spooler stopped", {}});
    v.push_back({"PrinterClassDevices", "printer devices", {{"devices", 2}, {"removed", 1}, {"restarts", 0}}});
    v.push_back({"PrinterClassDevices", "printer device removed after a restart",
                 {{"devices", 2}, {"removed", 1}, {"restarts", 1}}});
    v.push_back({"InterfaceDriverInstall", "32-bit process on 64-bit Windows", {}});
    v.push_back({"DriverEnvironments", "x86 and x64 drivers", {{"own_drivers", 1}}});
    v.push_back({"DriverEnvironments", "x86 and x64 drivers, 32-bit process", {{"own_drivers", 1}}});
    v.push_back({"Wow64Redirection", "32-bit process on 64-bit Windows", {}});
    v.push_back({"WithoutAdministratorRights", "not elevated", {{"refused_removals", 1}}});
    // What only reads still works without administrator rights.
    for (const char* c : {"ServiceManager", "ServiceHandleRights", "SpoolerDependents", "EnumLocalPrinters",
                          "OpenPrinterNames"})
        v.push_back({c, "not elevated", {}});
    v.push_back({"PrinterWithJobs", "printers with jobs", {{"queued_printer_gone_after_restart", 0}}});
    v.push_back({"PrinterWithJobs", "printers with jobs, printed at spooler start", {{"queued_printer_gone_after_restart", 1}}});
    v.push_back({"HandlesAcrossSpoolerRestart", "", {{"stale_handle_error", 6}}});
    v.push_back({"HandlesAcrossSpoolerRestart", "stale handles give 1702", {{"stale_handle_error", 1702}}});
    v.push_back({"TcpMonitorPorts", "", {{"existing_port_status", 183}, {"other_monitors_port_status", 183},
                                         {"bad_addresses_refused", 5}, {"bad_config_status", 87}}});
    v.push_back({"TcpMonitorPorts", "TCP/IP monitor looks at its own ports, takes any address, answers 1802",
                 {{"existing_port_status", 1802}, {"other_monitors_port_status", 0},
                  {"bad_addresses_refused", 0}, {"bad_config_status", 0}}});
    return v;
}

class SeamContract : public txrtest::SimTest, public ::testing::WithParamInterface<Variant> {};

TEST_P(SeamContract, HoldsOnTheSimulatedMachine)
{
    const Variant& v = GetParam();
    Seed(State(), v.machine);
    Save();
    const contract::Case* found = nullptr;
    for (const auto& c : contract::Cases())
        if (v.caseName == c.name) found = &c;
    ASSERT_NE(found, nullptr);
    contract::Check check;
    found->run(check);
    // The simulated machine meets every case's preconditions.
    EXPECT_FALSE(check.skipped().has_value()) << *check.skipped();
    for (const auto& f : check.failures()) ADD_FAILURE() << v.caseName << ": " << f;
    for (const auto& [key, value] : v.notes) {
        auto it = check.notes().find(key);
        ASSERT_NE(it, check.notes().end()) << key;
        EXPECT_EQ(it->second, value) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SeamContract, ::testing::ValuesIn(Variants()),
                         [](const ::testing::TestParamInfo<Variant>& i) {
                             std::string n = i.param.caseName + (i.param.machine.empty() ? "" : "_" + i.param.machine);
                             for (auto& ch : n)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return n;
                         });

// The state the shared cases leave behind.
class SeamContractState : public txrtest::SimTest {};

TEST_F(SeamContractState, ControlsLeaveTheSpoolerAsTheyFoundIt)
{
    for (const char* machine : {"", "spooler stopped"}) {
        FreshMachine();
        Seed(State(), machine);
        Save();
        const std::string before = State()["services"][2]["state"];
        contract::Check check;
        for (const auto& c : contract::Cases())
            if (std::string(c.name) == "SpoolerControls") c.run(check);
        EXPECT_TRUE(check.failures().empty());
        EXPECT_EQ(State()["services"][2]["state"], before) << machine;
    }
}

TEST_F(SeamContractState, DeviceWalkRemovesOnlyTheContractsUsbPrinters)
{
    Seed(State(), "printer devices");
    Save();
    contract::Check check;
    for (const auto& c : contract::Cases())
        if (std::string(c.name) == "PrinterClassDevices") c.run(check);
    std::vector<std::string> left;
    for (auto& d : State()["devices"]["list"]) left.push_back(d["instance_id"]);
    EXPECT_EQ(left, (std::vector<std::string>{"USBPRINT\\BrevantoTXR41037E2A\\7&2b3c4d&0&USB001",
                                              "SWD\\PRINTENUM\\TXRCONTRACT",
                                              "USB\\VID_03F0&PID_092C&MI_00\\TXRCONTRACT"}));
}

// ---- cases that need a seeded machine ------------------------------------------------------------

constexpr DWORD kCircularDependency = 1059;  // ERROR_CIRCULAR_DEPENDENCY
constexpr DWORD kDependencyDeleted = 1075;   // ERROR_SERVICE_DEPENDENCY_DELETED

class ServiceContract : public txrtest::SimTest {
public:
    std::string StateOf(const std::string& name) { return Service(name).value("state", std::string()); }
    sim::json& Service(const std::string& name)
    {
        for (auto& sv : State()["services"])
            if (sv["name"] == name) return sv;
        State()["services"].push_back({{"name", name}, {"display_name", name}, {"state", "stopped"},
                                       {"depends_on", sim::json::array()}});
        return State()["services"].back();
    }
};

TEST_F(ServiceContract, RefusedControlsCarryTheDocumentedErrors)
{
    struct Row {
        const char* what;
        std::function<void(ServiceContract&)> seed;
        DWORD control;  // 0: StartServiceW
        DWORD error;
    };
    const std::vector<Row> rows{
        {"stop with a running dependent", [](ServiceContract& t) {
             t.Service("Fax") = {{"name", "Fax"}, {"state", "running"}, {"depends_on", {"Spooler"}}};
         }, SERVICE_CONTROL_STOP, ERROR_DEPENDENT_SERVICES_RUNNING},
        {"stop while start pending", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "start_pending";
             t.Service("Spooler")["pending_left"] = -1;
         }, SERVICE_CONTROL_STOP, ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
        {"stop while stop pending", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "stop_pending";
             t.Service("Spooler")["pending_left"] = -1;
         }, SERVICE_CONTROL_STOP, ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
        {"stop when stopped", [](ServiceContract& t) { t.Service("Spooler")["state"] = "stopped"; },
         SERVICE_CONTROL_STOP, ERROR_SERVICE_NOT_ACTIVE},
        {"start when running", [](ServiceContract&) {}, 0, ERROR_SERVICE_ALREADY_RUNNING},
        {"start when disabled", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "stopped";
             t.Service("Spooler")["start_type"] = "disabled";
         }, 0, ERROR_SERVICE_DISABLED},
        {"start whose own start fails", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "stopped";
             t.Service("Spooler")["start_error"] = 1069;
         }, 0, 1069},
        {"start with a dependency that fails to start", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "stopped";
             t.Service("HTTP")["state"] = "stopped";
             t.Service("HTTP")["start_error"] = 1069;
         }, 0, ERROR_SERVICE_DEPENDENCY_FAIL},
        {"start with a disabled dependency of a dependency", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "stopped";
             t.Service("HTTP")["state"] = "stopped";
             t.Service("HTTP")["depends_on"] = {"TXRBase"};
             t.Service("TXRBase")["start_type"] = "disabled";
         }, 0, ERROR_SERVICE_DEPENDENCY_FAIL},
        {"start with a dependency whose start never ends", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "stopped";
             t.Service("HTTP")["state"] = "stopped";
             t.Service("HTTP")["pending_queries"] = -1;
         }, 0, ERROR_SERVICE_DEPENDENCY_FAIL},
        {"start with a dependency that is not installed", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "stopped";
             t.Service("Spooler")["depends_on"] = {"RpcSs", "TXRGone"};
         }, 0, kDependencyDeleted},
        {"start with a missing dependency further down", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "stopped";
             t.Service("HTTP")["depends_on"] = {"TXRGone"};
         }, 0, kDependencyDeleted},
        {"start with dependencies in a circle", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "stopped";
             t.Service("HTTP")["depends_on"] = {"Spooler"};
         }, 0, kCircularDependency},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FreshMachine();
        row.seed(*this);
        Save();
        unique_service scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
        unique_service spooler(OpenServiceW(scm.get(), u"Spooler", SERVICE_ALL_ACCESS));
        ASSERT_TRUE(spooler);
        SERVICE_STATUS st{};
        SetLastError(contract::kPoison);
        const BOOL ok = row.control ? ControlService(spooler.get(), row.control, &st)
                                    : StartServiceW(spooler.get(), 0, nullptr);
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), row.error);
    }
}

TEST_F(ServiceContract, AcceptedControlsPassThroughThePendingStates)
{
    unique_service scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    unique_service spooler(OpenServiceW(scm.get(), u"Spooler", SERVICE_ALL_ACCESS));
    SERVICE_STATUS st{};
    ASSERT_TRUE(ControlService(spooler.get(), SERVICE_CONTROL_STOP, &st));
    EXPECT_EQ(st.dwCurrentState, SERVICE_STOP_PENDING);
    while (QueryServiceStatus(spooler.get(), &st) && st.dwCurrentState == SERVICE_STOP_PENDING) {}
    EXPECT_EQ(st.dwCurrentState, SERVICE_STOPPED);
    ASSERT_TRUE(StartServiceW(spooler.get(), 0, nullptr));
    ASSERT_TRUE(QueryServiceStatus(spooler.get(), &st));
    EXPECT_EQ(st.dwCurrentState, SERVICE_START_PENDING);
    EXPECT_EQ(st.dwWaitHint, 2000u);
}

// A start brings up what the service depends on first, deepest first and in the listed order, each
// running before the next; one that fails stops the start there and leaves the others as they are.
TEST_F(ServiceContract, StartBringsUpItsDependenciesFirst)
{
    Service("Spooler")["state"] = "stopped";
    Service("HTTP")["state"] = "stopped";
    Service("HTTP")["depends_on"] = {"TXRBase"};
    Service("TXRBase")["state"] = "stopped";
    Save();
    unique_service scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    unique_service spooler(OpenServiceW(scm.get(), u"Spooler", SERVICE_START | SERVICE_QUERY_STATUS));
    ASSERT_TRUE(StartServiceW(spooler.get(), 0, nullptr));
    SERVICE_STATUS st{};
    while (QueryServiceStatus(spooler.get(), &st) && st.dwCurrentState == SERVICE_START_PENDING) {}
    std::vector<std::string> started;
    for (const auto& e : Events("service")) started.push_back(e["name"].get<std::string>() + " " + e["state"].get<std::string>());
    EXPECT_EQ(started, (std::vector<std::string>{"TXRBase running", "HTTP running", "Spooler running"}));

    // The second dependency fails: the first stays running, the service stopped.
    FreshMachine();
    Service("Spooler")["state"] = "stopped";
    Service("Spooler")["depends_on"] = {"TXRFirst", "TXRSecond"};
    Service("TXRFirst");
    Service("TXRSecond")["start_error"] = 1069;
    Save();
    unique_service scm2(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    unique_service spooler2(OpenServiceW(scm2.get(), u"Spooler", SERVICE_START));
    SetLastError(contract::kPoison);
    EXPECT_FALSE(StartServiceW(spooler2.get(), 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DEPENDENCY_FAIL);
    sim::Machine::get().reload();
    EXPECT_EQ(StateOf("TXRFirst"), "running");
    EXPECT_EQ(StateOf("TXRSecond"), "stopped");
    EXPECT_EQ(StateOf("Spooler"), "stopped");
}

// A missing dependency is found before anything starts.
TEST_F(ServiceContract, MissingDependencyStartsNothing)
{
    Service("Spooler")["state"] = "stopped";
    Service("Spooler")["depends_on"] = {"TXRFirst", "TXRGone"};
    Service("TXRFirst");
    Save();
    unique_service scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    unique_service spooler(OpenServiceW(scm.get(), u"Spooler", SERVICE_START));
    SetLastError(contract::kPoison);
    EXPECT_FALSE(StartServiceW(spooler.get(), 0, nullptr));
    EXPECT_EQ(GetLastError(), kDependencyDeleted);
    EXPECT_EQ(StateOf("TXRFirst"), "stopped");
    EXPECT_TRUE(Events("service").empty());
}

// What a handle may do is what it was opened with, generic rights mapped as Windows maps them for
// services; without administrator rights only the rights every user has are granted.
TEST_F(ServiceContract, HandlesCarryTheRightsTheyWereOpenedWith)
{
    struct Row {
        DWORD access;
        bool elevated;
        bool opens, queries, starts, stops;
    };
    const std::vector<Row> rows{
        {SERVICE_QUERY_STATUS, true, true, true, false, false},
        {SERVICE_START, true, true, false, true, false},
        {SERVICE_STOP, true, true, false, false, true},
        {GENERIC_READ, true, true, true, false, false},
        {0x20000000u /* GENERIC_EXECUTE */, true, true, false, true, true},
        {0x10000000u /* GENERIC_ALL */, true, true, true, true, true},
        {SERVICE_ALL_ACCESS, true, true, true, true, true},
        {GENERIC_READ, false, true, true, false, false},
        {SERVICE_START, false, false, false, false, false},
        {0x20000000u, false, false, false, false, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << "access 0x" << r.access << (r.elevated ? "" : " not elevated"));
        FreshMachine();
        State()["process"]["elevated"] = r.elevated;
        Service("Spooler")["state"] = "stopped";
        Save();
        unique_service scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        SetLastError(contract::kPoison);
        unique_service svc(OpenServiceW(scm.get(), u"Spooler", r.access));
        EXPECT_EQ(static_cast<bool>(svc), r.opens);
        if (!svc) {
            EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
            continue;
        }
        SERVICE_STATUS st{};
        SetLastError(contract::kPoison);
        EXPECT_EQ(static_cast<bool>(QueryServiceStatus(svc.get(), &st)), r.queries);
        if (!r.queries) {
            EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        }
        // Refused starts and stops are refused for the right, not for the state.
        SetLastError(contract::kPoison);
        EXPECT_EQ(static_cast<bool>(StartServiceW(svc.get(), 0, nullptr)), r.starts);
        if (!r.starts) {
            EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        }
        Service("Spooler")["state"] = "running";
        SetLastError(contract::kPoison);
        EXPECT_EQ(static_cast<bool>(ControlService(svc.get(), SERVICE_CONTROL_STOP, &st)), r.stops);
        if (!r.stops) {
            EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        }
    }
}

TEST_F(ServiceContract, ManagerWithAllAccessNeedsAdministratorRights)
{
    State()["process"]["elevated"] = false;
    Save();
    for (DWORD access : {SC_MANAGER_ALL_ACCESS, 0x10000000u /* GENERIC_ALL */, 0x40000000u /* GENERIC_WRITE */}) {
        SetLastError(contract::kPoison);
        EXPECT_FALSE(unique_service(OpenSCManagerW(nullptr, nullptr, access))) << access;
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << access;
    }
    for (DWORD access : {SC_MANAGER_CONNECT, SC_MANAGER_ENUMERATE_SERVICE, GENERIC_READ})
        EXPECT_TRUE(unique_service(OpenSCManagerW(nullptr, nullptr, access))) << access;
}

class PackageContract : public txrtest::SimTest {
protected:
    // Copies a package INF of the sample package onto the simulated drive; returns its Windows path.
    std::u16string PutInf(const char* name)
    {
        const std::u16string path = u"C:\\Pkg\\" + txt::from_utf8(name);
        auto host = sim::Machine::get().map_path(path);
        fs::create_directories(host->parent_path());
        // The built package: the INF with its signed catalog, which the upload checks.
        const std::string inf = name;
        for (const std::string& file : {inf, inf.substr(0, inf.rfind('.')) + ".cat"})
            fs::copy_file(fs::path(TXR_PAYLOAD_PACKAGE_DIR) / file, host->parent_path() / file,
                          fs::copy_options::overwrite_existing);
        return path;
    }
};

TEST_F(PackageContract, UploadInstallAndRemoveWithTheDocumentedResults)
{
    const std::u16string inf = PutInf("TXR4103.inf");
    WCHAR dest[260] = {};
    DWORD chars = 260;
    ASSERT_EQ(UploadPrinterDriverPackageW(nullptr, inf.c_str(), nullptr, UPDP_UPLOAD_ALWAYS, nullptr, dest, &chars),
              S_OK);
    const std::u16string staged = dest;
    EXPECT_EQ(chars, staged.size() + 1);  // characters including the terminator
    EXPECT_EQ(staged.rfind(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\txr4103.inf_amd64_", 0), 0u);
    ASSERT_EQ(InstallPrinterDriverFromPackageW(nullptr, staged.c_str(), u"BREVANTO TXR4103", nullptr, 0), S_OK);

    // Afterwards the driver is visible to the enumeration, with its hardware ID and store INF.
    contract::Check c;
    auto drivers = contract::SizeFirst(
        c, "drivers",
        [](BYTE* b, DWORD cb, DWORD* n, DWORD* r) { return EnumPrinterDriversW(nullptr, nullptr, 8, b, cb, n, r); },
        ERROR_INSUFFICIENT_BUFFER);
    ASSERT_TRUE(drivers);
    EXPECT_TRUE(c.failures().empty());
    bool seen = false;
    for (DWORD i = 0; i < drivers->count; ++i) {
        const auto& d = reinterpret_cast<const DRIVER_INFO_8W*>(drivers->buffer.data())[i];
        if (std::u16string(d.pName) != u"BREVANTO TXR4103") continue;
        seen = true;
        EXPECT_EQ(std::u16string(d.pszHardwareID), u"USBPRINT\\BREVANTOTXR41037E2A");
        EXPECT_EQ(std::u16string(d.pszInfPath), staged);
        EXPECT_EQ(d.dwlDriverVersion, (1ull << 48) | (5ull << 32) | (27ull << 16) | 4ull);
    }
    EXPECT_TRUE(seen);

    // A package an installed driver still uses stays; once the driver is gone it can be removed.
    EXPECT_EQ(static_cast<DWORD>(DeletePrinterDriverPackageW(nullptr, staged.c_str(), nullptr)), 0x80070BC7u);
    std::u16string name = u"BREVANTO TXR4103";
    ASSERT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, name.data(), DPD_DELETE_UNUSED_FILES, 0));
    EXPECT_EQ(DeletePrinterDriverPackageW(nullptr, staged.c_str(), nullptr), S_OK);
}

// The caller's buffer is checked before anything is staged: a buffer too small for the store path
// gets 0x8007007A with the size it needs and leaves no folder; the size it named then suffices.
TEST_F(PackageContract, UploadChecksTheBufferBeforeStaging)
{
    const std::u16string inf = PutInf("TXR4103.inf");
    auto storeCopies = [] {
        int n = 0;
        WIN32_FIND_DATAW f{};
        unique_find find(FindFirstFileW(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\txr4103.inf_*", &f));
        if (find)
            do ++n;
            while (FindNextFileW(find.get(), &f));
        return n;
    };
    WCHAR dest[260] = {};
    for (DWORD small : {0u, 1u, 40u}) {
        DWORD chars = small;
        EXPECT_EQ(static_cast<DWORD>(UploadPrinterDriverPackageW(nullptr, inf.c_str(), nullptr, UPDP_UPLOAD_ALWAYS,
                                                                 nullptr, dest, &chars)),
                  0x8007007Au)
            << small;
        EXPECT_EQ(storeCopies(), 0) << small;
        ASSERT_GT(chars, 40u);
        DWORD exact = chars;
        ASSERT_EQ(UploadPrinterDriverPackageW(nullptr, inf.c_str(), nullptr, UPDP_UPLOAD_ALWAYS, nullptr, dest, &exact),
                  S_OK);
        EXPECT_EQ(exact, chars);
        EXPECT_EQ(std::u16string(dest).size() + 1, chars);
        EXPECT_EQ(storeCopies(), 1);
        // Staged already: a refused call leaves the folder that was there.
        chars = small;
        UploadPrinterDriverPackageW(nullptr, inf.c_str(), nullptr, UPDP_UPLOAD_ALWAYS, nullptr, dest, &chars);
        EXPECT_EQ(storeCopies(), 1);
        FreshMachine();
        PutInf("TXR4103.inf");
    }
}

TEST_F(PackageContract, AnInboxPackageCannotBeDeleted)
{
    const std::u16string inbox =
        u"C:\\Windows\\System32\\DriverStore\\FileRepository\\prnms009.inf_amd64_80184dcbef6775bc\\prnms009.inf";
    auto host = sim::Machine::get().map_path(inbox);
    fs::create_directories(host->parent_path());
    std::ofstream(*host) << "[Version]\n";
    State()["spooler"]["drivers"] = sim::json::array();
    Save();
    EXPECT_EQ(DeletePrinterDriverPackageW(nullptr, inbox.c_str(), nullptr), E_ACCESSDENIED);
}

TEST_F(PackageContract, InterfaceDriverAlreadyInstalledIsNoMoreItems)
{
    const std::u16string inf = PutInf("PrinterWinUBS.inf");
    BOOL reboot = TRUE;
    SetLastError(contract::kPoison);
    ASSERT_TRUE(DiInstallDriverW(nullptr, inf.c_str(), DIIRFLAG_FORCE_INF, &reboot));
    EXPECT_FALSE(reboot);
    SetLastError(contract::kPoison);
    EXPECT_FALSE(DiInstallDriverW(nullptr, inf.c_str(), DIIRFLAG_FORCE_INF, &reboot));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
}

// ---- driver trust (the sim's own: Wine installs no driver packages) ------------------------------

// The sample package's signed INFs and catalogs on drive C:, and the machine's trust in their signer.
class TrustContract : public txrtest::SimTest {
public:
    using txrtest::SimTest::State;
    static std::string ReadFile(const fs::path& p)
    {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Copies an INF of the built package and its catalog to C:\Pkg; returns the INF's Windows path.
    std::u16string PutPackage(const std::string& inf, const std::string& catalog)
    {
        auto dir = sim::Machine::get().map_path(u"C:\\Pkg");
        fs::create_directories(*dir);
        const fs::path built = TXR_PAYLOAD_PACKAGE_DIR;
        fs::copy_file(built / inf, *dir / inf, fs::copy_options::overwrite_existing);
        fs::copy_file(built / catalog, *dir / catalog, fs::copy_options::overwrite_existing);
        return u"C:\\Pkg\\" + txt::from_utf8(inf);
    }
    fs::path HostOf(const std::string& name) { return *sim::Machine::get().map_path(u"C:\\Pkg") / name; }
    void TrustPublisher() { Store("TrustedPublisher").push_back(ReadFile(fs::path(TXR_PKI_DIR) / "publisher.pem")); }
    sim::json& Store(const char* name) { return State()["certificates"]["stores"][name]; }
    int StagedCopies(const std::string& prefix)
    {
        int n = 0;
        std::error_code ec;
        const auto store = sim::Machine::get().map_path(u"C:\\Windows\\System32\\DriverStore\\FileRepository");
        for (const auto& e : fs::directory_iterator(*store, ec))
            if (e.path().filename().string().rfind(prefix, 0) == 0) ++n;
        return n;
    }
    HRESULT Upload(const std::u16string& inf, DWORD flags)
    {
        WCHAR dest[260] = {};
        DWORD chars = 260;
        return UploadPrinterDriverPackageW(nullptr, inf.c_str(), nullptr, flags, nullptr, dest, &chars);
    }
};

TEST_F(TrustContract, RefusedPackagesCarryTheCodeOfTheirSignatureCategory)
{
    const std::string testRoot = ReadFile(fs::path(TXR_PKI_DIR) / "root.pem");
    struct Row {
        const char* what;
        std::function<void(TrustContract&)> seed;
        DWORD flags;
        DWORD code;  // the SetupAPI code or HRESULT; the upload returns HRESULT_FROM_SETUPAPI of it
        HRESULT upload;
    };
    const std::vector<Row> rows{
        {"trusted publisher", [](TrustContract& t) { t.TrustPublisher(); }, UPDP_UPLOAD_ALWAYS, 0, S_OK},
        {"catalog missing", [](TrustContract& t) { fs::remove(t.HostOf("TXR4103ZKW.cat")); },
         UPDP_UPLOAD_ALWAYS, 0xE000022Fu, static_cast<HRESULT>(0x800F022Fu)},
        {"INF names no catalog", [](TrustContract& t) {
             const auto inf = t.HostOf("TXR4103ZKW.inf");
             std::string text = ReadFile(inf);
             text.replace(text.find("CatalogFile="), 12, "; Catalog=");
             std::ofstream(inf, std::ios::binary) << text;
         }, UPDP_UPLOAD_ALWAYS, 0xE000022Fu, static_cast<HRESULT>(0x800F022Fu)},
        {"catalog not signed", [](TrustContract& t) {
             std::ofstream(t.HostOf("TXR4103ZKW.cat"), std::ios::binary) << "not a signed catalog";
         }, UPDP_UPLOAD_ALWAYS, 0x800B0100u, static_cast<HRESULT>(0x800B0100u)},
        {"catalog altered after signing", [](TrustContract& t) {
             const auto cat = t.HostOf("TXR4103ZKW.cat");
             std::string bytes = ReadFile(cat);
             const auto at = bytes.find("TXR4103ZKW.GPD");
             ASSERT_NE(at, std::string::npos);
             bytes[at] = 'X';
             std::ofstream(cat, std::ios::binary) << bytes;
         }, UPDP_UPLOAD_ALWAYS, 0x80096010u, static_cast<HRESULT>(0x80096010u)},
        {"root nowhere: partial chain", [](TrustContract& t) {
             t.TrustPublisher();
             t.Store("Root").erase(t.Store("Root").size() - 1);
         }, UPDP_UPLOAD_ALWAYS, 0x800B010Au, static_cast<HRESULT>(0x800B010Au)},
        {"root only among intermediates", [&testRoot](TrustContract& t) {
             t.TrustPublisher();
             t.Store("Root").erase(t.Store("Root").size() - 1);
             t.Store("CA").push_back(testRoot);
         }, UPDP_UPLOAD_ALWAYS, 0x800B0109u, static_cast<HRESULT>(0x800B0109u)},
        {"root in AuthRoot", [&testRoot](TrustContract& t) {
             t.TrustPublisher();
             t.Store("Root").erase(t.Store("Root").size() - 1);
             t.Store("AuthRoot").push_back(testRoot);
         }, UPDP_UPLOAD_ALWAYS, 0, S_OK},
        {"unknown publisher, prompt suppressed", [](TrustContract&) {},
         UPDP_SILENT_UPLOAD | UPDP_UPLOAD_ALWAYS, 0xE0000242u, static_cast<HRESULT>(0x800F0242u)},
        {"unknown publisher, don't install", [](TrustContract& t) {
             t.State()["driver_trust_answers"] = {"dont_install"};
         }, UPDP_UPLOAD_ALWAYS, 0xE0000243u, static_cast<HRESULT>(0x800F0243u)},
        {"unknown publisher, install", [](TrustContract& t) { t.State()["driver_trust_answers"] = {"install"}; },
         UPDP_UPLOAD_ALWAYS, 0, S_OK},
        {"a scenario's own code", [](TrustContract& t) {
             t.Store("Root").erase(t.Store("Root").size() - 1);
             t.State()["trust"]["errors"]["partial_chain"] = 0x800B0111u;
         }, UPDP_UPLOAD_ALWAYS, 0x800B0111u, static_cast<HRESULT>(0x800B0111u)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        for (const bool deviceInstaller : {false, true}) {
            FreshMachine("en-US");
            const std::u16string inf = PutPackage("TXR4103ZKW.inf", "TXR4103ZKW.cat");
            row.seed(*this);
            Save();
            if (deviceInstaller) {
                // DiInstallDriverW has no flag to suppress the prompt.
                if (row.flags & UPDP_SILENT_UPLOAD) continue;
                BOOL reboot = TRUE;
                SetLastError(contract::kPoison);
                const BOOL ok = DiInstallDriverW(nullptr, inf.c_str(), 0, &reboot);
                EXPECT_EQ(ok, row.code == 0 ? TRUE : FALSE);
                if (row.code) {
                    EXPECT_EQ(GetLastError(), row.code);
                }
            } else {
                EXPECT_EQ(static_cast<DWORD>(Upload(inf, row.flags)), static_cast<DWORD>(row.upload));
                EXPECT_EQ(StagedCopies("txr4103zkw.inf_"), row.code == 0 ? 1 : 0) << "a refused package is not staged";
            }
        }
    }
}

TEST_F(TrustContract, APublisherOfUnknownTrustIsAskedAboutOncePerPackage)
{
    FreshMachine("de-DE");
    const std::u16string printer = PutPackage("TXR4103ZKW.inf", "TXR4103ZKW.cat");
    const std::u16string usb = PutPackage("PrinterWinUBS.inf", "PrinterWinUBS.cat");
    State()["driver_trust_answers"] = {"install", "dont_install"};
    Save();
    WCHAR dest[260] = {};
    DWORD chars = 260;
    ASSERT_EQ(UploadPrinterDriverPackageW(nullptr, printer.c_str(), nullptr, UPDP_UPLOAD_ALWAYS, nullptr, dest, &chars), S_OK);
    // The staged package is installed without being asked about again (the spooler has no UI).
    EXPECT_EQ(InstallPrinterDriverFromPackageW(nullptr, dest, u"BREVANTO TXR4103 ZKW", nullptr, 0), S_OK);
    BOOL reboot = FALSE;
    SetLastError(contract::kPoison);
    EXPECT_FALSE(DiInstallDriverW(nullptr, usb.c_str(), 0, &reboot));
    EXPECT_EQ(GetLastError(), 0xE0000243u);

    const auto prompts = Events("driver_trust_prompt");
    ASSERT_EQ(prompts.size(), 2u);
    EXPECT_EQ(prompts[0]["text"], "Möchten Sie diese Gerätesoftware installieren?");
    EXPECT_EQ(prompts[0]["publisher"], "BREVANTO Printer Drivers");
    EXPECT_EQ(prompts[0]["by"], "UploadPrinterDriverPackageW");
    EXPECT_EQ(prompts[0]["answer"], "install");
    EXPECT_EQ(prompts[1]["by"], "DiInstallDriverW");
    EXPECT_EQ(prompts[1]["answer"], "dont_install");
    EXPECT_TRUE(State()["driver_trust_answers"].empty());
}

// ---- device removal -----------------------------------------------------------------------------

TEST_F(SeamContractState, RemovalThatNeedsARestartPromptsOnlyWithoutAFlag)
{
    const std::string printerClass = "{4d36e979-e325-11ce-bfc1-08002be10318}";
    for (const bool withFlag : {false, true}) {
        for (const bool needsRestart : {false, true}) {
            SCOPED_TRACE(std::string(withFlag ? "flag" : "NULL") + (needsRestart ? ", restart" : ""));
            FreshMachine();
            State()["devices"]["list"] = sim::json::array({{{"instance_id", "USBPRINT\\TXRCONTRACT\\1"},
                                                            {"class_guid", printerClass},
                                                            {"restart_to_remove", needsRestart}}});
            Save();
            GUID g{};
            CLSIDFromString(u"{4d36e979-e325-11ce-bfc1-08002be10318}", &g);
            unique_device_list set(SetupDiGetClassDevsW(&g, nullptr, nullptr, 0));
            SP_DEVINFO_DATA d{};
            d.cbSize = sizeof d;
            ASSERT_TRUE(SetupDiEnumDeviceInfo(set.get(), 0, &d));
            BOOL reboot = 7;
            EXPECT_TRUE(DiUninstallDevice(nullptr, set.get(), &d, 0, withFlag ? &reboot : nullptr));
            if (withFlag) {
                EXPECT_EQ(reboot, needsRestart ? TRUE : FALSE);
            }
            const auto prompts = Events("restart_prompt");
            EXPECT_EQ(prompts.size(), !withFlag && needsRestart ? 1u : 0u);
            if (!prompts.empty()) {
                EXPECT_EQ(prompts[0]["by"], "DiUninstallDevice");
                EXPECT_EQ(prompts[0]["instance_id"], "USBPRINT\\TXRCONTRACT\\1");
            }
        }
    }
}

}  // namespace
