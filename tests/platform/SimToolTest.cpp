// The txr-sim commands that seed the spooler, driver store, devices and services, run as a person
// runs them against the test's machine; the seeded machine is then read through the seam.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "tests/support/SimFixture.h"

#ifdef TXR_SIM_TOOL

namespace {

class SimTool : public txrtest::SimTest {
protected:
    // Runs txr-sim with the arguments (shell words) on this test's machine; returns its exit code.
    int Tool(const std::string& args)
    {
        const std::string cmd = "TXR_SIM_ROOT='" + root_.string() + "' '" TXR_SIM_TOOL "' " + args + " >/dev/null 2>&1";
        const int rc = std::system(cmd.c_str());
        sim::Machine::get().reload();
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    // Runs txr-sim like Tool and answers what it wrote to standard error.
    std::string ToolError(const std::string& args, int* code)
    {
        const auto file = root_ / "tool-stderr.txt";
        const std::string cmd = "TXR_SIM_ROOT='" + root_.string() + "' '" TXR_SIM_TOOL "' " + args + " >/dev/null 2>'" +
                                file.string() + "'";
        const int rc = std::system(cmd.c_str());
        sim::Machine::get().reload();
        *code = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(SimTool, AddDriverRefusesImpossibleDatesAndVersions)
{
    struct Row {
        const char* option;
        const char* value;
        const char* line;  // what the person reads; empty: accepted
    };
    const Row rows[] = {
        {"--date", "02/30/2023", "txr-sim: add-driver: --date 02/30/2023 is not a date (month/day/year, 03/10/2023)\n"},
        {"--date", "02/29/2023", "txr-sim: add-driver: --date 02/29/2023 is not a date (month/day/year, 03/10/2023)\n"},
        {"--date", "13/01/2023", "txr-sim: add-driver: --date 13/01/2023 is not a date (month/day/year, 03/10/2023)\n"},
        {"--date", "2023-03-10", "txr-sim: add-driver: --date 2023-03-10 is not a date (month/day/year, 03/10/2023)\n"},
        {"--date", "02/29/2024", ""},
        {"--version", "1.2.3", "txr-sim: add-driver: --version 1.2.3 is not a driver version (four numbers 0-65535, 1.5.27.4)\n"},
        {"--version", "1.70000.0.0",
         "txr-sim: add-driver: --version 1.70000.0.0 is not a driver version (four numbers 0-65535, 1.5.27.4)\n"},
        {"--version", "1.5.27.x", "txr-sim: add-driver: --version 1.5.27.x is not a driver version (four numbers 0-65535, 1.5.27.4)\n"},
        {"--version", "65535.0.0.1", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.option) + " " + row.value);
        int code = 0;
        const std::string err = ToolError(std::string("add-driver TXR ") + row.option + " " + row.value, &code);
        EXPECT_EQ(err, row.line);
        EXPECT_EQ(code, *row.line ? 2 : 0);
        // A refused driver is not seeded at all.
        EXPECT_EQ(State()["spooler"]["drivers"].size(), *row.line ? 1u : 2u);
        FreshMachine();
    }
}

// Jobs and the paused state come from txr-sim; taking the jobs away lets a printer pending deletion
// go, and its driver with it.
TEST_F(SimTool, PrinterJobsPauseAndTheirEnd)
{
    ASSERT_EQ(Tool("add-driver 'BREVANTO TXR4103 ZKW' --version 1.5.27.4 --date 03/10/2023"), 0);
    ASSERT_EQ(Tool("add-printer Office --driver 'BREVANTO TXR4103 ZKW' --port FILE:"), 0);
    ASSERT_EQ(Tool("printer Office --jobs 2 --paused"), 0);
    win::PRINTER_DEFAULTSW all{nullptr, nullptr, win::PRINTER_ALL_ACCESS};
    auto deleteOffice = [&] {
        win::unique_printer p;
        EXPECT_TRUE(win::OpenPrinterW(const_cast<win::LPWSTR>(u"Office"), p.put(), &all));
        win::SetLastError(0);
        const bool ok = win::DeletePrinter(p.get());
        return ok ? 0u : win::GetLastError();
    };
    EXPECT_EQ(deleteOffice(), win::ERROR_ACCESS_DENIED);
    ASSERT_EQ(Tool("printer Office --resumed"), 0);
    EXPECT_EQ(deleteOffice(), 0u);
    ASSERT_EQ(State()["spooler"]["printers"].size(), 2u);
    EXPECT_EQ(State()["spooler"]["printers"][1]["status"], 4);  // PRINTER_STATUS_PENDING_DELETION
    std::u16string driver = u"BREVANTO TXR4103 ZKW";
    EXPECT_FALSE(win::DeletePrinterDriverExW(nullptr, nullptr, driver.data(), 1, 0));
    EXPECT_EQ(win::GetLastError(), win::ERROR_PRINTER_DRIVER_IN_USE);

    ASSERT_EQ(Tool("printer Office --jobs 0"), 0);
    EXPECT_EQ(State()["spooler"]["printers"].size(), 1u);
    EXPECT_TRUE(win::DeletePrinterDriverExW(nullptr, nullptr, driver.data(), 1, 0));

    int code = 0;
    EXPECT_EQ(ToolError("printer Nobody --jobs 1", &code), "txr-sim: printer: no printer Nobody\n");
    EXPECT_EQ(code, 2);
    EXPECT_EQ(ToolError("printer 'Microsoft Print to PDF' --jobs many", &code), "txr-sim: printer: --jobs many is not a number of jobs\n");
    EXPECT_EQ(code, 2);
}

TEST_F(SimTool, SeededDriverPrinterAndPortsAreWhatTheSpoolerReports)
{
    ASSERT_EQ(Tool("add-driver 'BREVANTO TXR4103 ZKW' --hwid 'USBPRINT\\BREVANTOTXR4103733D' --version 1.5.27.4 "
                   "--date 03/10/2023 --inf TXR4103ZKW.inf"),
              0);
    ASSERT_EQ(Tool("add-port IP_10.1.2.3 --tcp 10.1.2.3"), 0);
    ASSERT_EQ(Tool("add-printer Office --driver 'BREVANTO TXR4103 ZKW' --port IP_10.1.2.3"), 0);

    win::DWORD needed = 0, count = 0;
    win::EnumPrinterDriversW(nullptr, nullptr, 8, nullptr, 0, &needed, &count);
    std::vector<win::BYTE> buf(needed);
    ASSERT_TRUE(win::EnumPrinterDriversW(nullptr, nullptr, 8, buf.data(), needed, &needed, &count));
    auto* d = reinterpret_cast<win::DRIVER_INFO_8W*>(buf.data());
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(txt::to_utf8(d[1].pszHardwareID), "USBPRINT\\BREVANTOTXR4103733D");
    EXPECT_EQ(d[1].dwlDriverVersion, (1ull << 48) | (5ull << 32) | (27ull << 16) | 4ull);
    // The store copy is where a forced delete of the package looks for it.
    win::WIN32_FIND_DATAW f{};
    win::unique_find find(
        win::FindFirstFileW(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\TXR4103ZKW.inf*", &f));
    ASSERT_TRUE(find);
    EXPECT_EQ(f.dwFileAttributes, win::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(txt::to_utf8(d[1].pszInfPath),
              "C:\\Windows\\System32\\DriverStore\\FileRepository\\" + txt::to_utf8(f.cFileName) + "\\TXR4103ZKW.inf");

    win::unique_printer p;
    win::HANDLE h = nullptr;
    ASSERT_TRUE(win::OpenPrinterW(const_cast<win::LPWSTR>(u"Office"), &h, nullptr));
    p.reset(h);
    win::PRINTER_DEFAULTSW admin{nullptr, nullptr, win::SERVER_ACCESS_ADMINISTER};
    win::unique_printer xcv;
    ASSERT_TRUE(win::OpenPrinterW(const_cast<win::LPWSTR>(u",XcvPort IP_10.1.2.3"), &h, &admin));
    xcv.reset(h);

    // Refused: unknown driver, a name that exists, two kinds of port at once.
    EXPECT_EQ(Tool("add-printer Other --driver Nope --port IP_10.1.2.3"), 2);
    EXPECT_EQ(Tool("add-printer Office --driver 'BREVANTO TXR4103 ZKW' --port IP_10.1.2.3"), 2);
    EXPECT_EQ(Tool("add-port USB005 --usb --local"), 2);
}

TEST_F(SimTool, SeededServicesDevicesAndStoreCopies)
{
    ASSERT_EQ(Tool("service Fax --state running --depends-on Spooler"), 0);
    ASSERT_EQ(Tool("service Spooler --stop-error 1053"), 0);
    ASSERT_EQ(Tool("add-device 'USBPRINT\\BREVANTOTXR4103\\7&1&0&USB003' --absent"), 0);
    ASSERT_EQ(Tool("add-package TXR4103.inf --copies 2"), 0);

    win::unique_service scm(win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS));
    win::unique_service spooler(win::OpenServiceW(scm.get(), u"Spooler", win::SERVICE_ALL_ACCESS));
    win::DWORD needed = 0, count = 0;
    EXPECT_FALSE(win::EnumDependentServicesW(spooler.get(), win::SERVICE_ACTIVE, nullptr, 0, &needed, &count));
    EXPECT_EQ(win::GetLastError(), win::ERROR_MORE_DATA);

    ASSERT_EQ(Tool("service Fax --state stopped"), 0);
    win::SERVICE_STATUS st{};
    EXPECT_FALSE(win::ControlService(spooler.get(), win::SERVICE_CONTROL_STOP, &st));
    EXPECT_EQ(win::GetLastError(), 1053u);

    ASSERT_EQ(State()["devices"]["list"].size(), 1u);
    EXPECT_FALSE(State()["devices"]["list"][0]["present"].get<bool>());
    EXPECT_EQ(State()["devices"]["list"][0]["class_guid"], "{4d36e979-e325-11ce-bfc1-08002be10318}");

    int copies = 0;
    win::WIN32_FIND_DATAW f{};
    win::unique_find find(win::FindFirstFileW(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\TXR4103.inf*", &f));
    if (find)
        do ++copies;
        while (win::FindNextFileW(find.get(), &f));
    EXPECT_EQ(copies, 2);
}

TEST_F(SimTool, PlugAndUnplug)
{
    ASSERT_EQ(Tool("add-driver 'BREVANTO TXR4103 ZKW' --hwid 'usbprint\\brevantotxr4103733d' --version 1.5.27.4 "
                   "--date 03/10/2023"),
              0);
    ASSERT_EQ(Tool("plug --model TXR4103"), 0);
    auto& printers = State()["spooler"]["printers"];
    ASSERT_EQ(printers.size(), 2u);
    EXPECT_EQ(printers[1]["port"], "USB001");
    ASSERT_EQ(Tool("unplug"), 0);
    for (auto& n : State()["devices"]["list"]) EXPECT_FALSE(n["present"].get<bool>());
}

}  // namespace

#endif
