// The seam's contract cases against the simulated machine: every shared case on a fresh machine,
// some again on a machine seeded to take the other branch of a protocol, and the cases that need a
// seeded machine state (dependents, pending services, driver packages, devices) on their own.
#include <cctype>
#include <filesystem>
#include <fstream>

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
        if (std::string(c.name) != "SpoolerDependents" && std::string(c.name) != "PrinterWithJobs" &&
            std::string(c.name) != "HandlesAcrossSpoolerRestart" && std::string(c.name) != "TcpMonitorPorts")
            v.push_back({c.name, "", {}});
    v.push_back({"EnumDriversLevel8", "empty spooler", {{"drivers", 0}}});
    v.push_back({"EnumLocalPrinters", "empty spooler", {{"printers", 0}}});
    v.push_back({"SpoolerDependents", "", {{"active_dependents", 0}, {"all_dependents", 0}}});
    v.push_back({"SpoolerDependents", "spooler dependents", {{"active_dependents", 1}, {"all_dependents", 2}}});
    v.push_back({"SpoolerControls", "spooler stopped", {}});
    v.push_back({"PrinterClassDevices", "printer devices", {{"devices", 2}, {"removed", 1}}});
    v.push_back({"InterfaceDriverInstall", "32-bit process on 64-bit Windows", {}});
    v.push_back({"DriverEnvironments", "x86 and x64 drivers", {{"own_drivers", 1}}});
    v.push_back({"DriverEnvironments", "x86 and x64 drivers, 32-bit process", {{"own_drivers", 1}}});
    v.push_back({"Wow64Redirection", "32-bit process on 64-bit Windows", {}});
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

class ServiceContract : public txrtest::SimTest {
public:
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
        {"start with a stopped dependency", [](ServiceContract& t) {
             t.Service("Spooler")["state"] = "stopped";
             t.Service("HTTP")["state"] = "stopped";
         }, 0, ERROR_SERVICE_DEPENDENCY_FAIL},
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

class PackageContract : public txrtest::SimTest {
protected:
    // Copies a package INF of the sample package onto the simulated drive; returns its Windows path.
    std::u16string PutInf(const char* name)
    {
        const std::u16string path = u"C:\\Pkg\\" + txt::from_utf8(name);
        auto host = sim::Machine::get().map_path(path);
        fs::create_directories(host->parent_path());
        fs::copy_file(fs::path(TXR_TEST_SOURCE_DIR) / ".." / "payload" / "package" / name, *host,
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

}  // namespace
