// Plug and play on the simulated machine: the device nodes of a connected printer, its USB port,
// the queue Windows creates once a driver with the device's hardware ID is installed, and a
// disconnected device that stays listed without being present.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/sim/SimPnp.h"
#include "platform/utf.h"
#include "platform/win32api.h"
#include "tests/support/SimFixture.h"

namespace {

const char* const kZkwDriver = "BREVANTO TXR4103 ZKW";
const char* const kStdDriver = "BREVANTO TXR4103";

class SimPnp : public txrtest::SimTest {
protected:
    // Instance IDs of the printer class listed for the enumerator, as SetupAPI reports them.
    std::vector<std::string> PrinterClassIds(const char16_t* enumerator, win::DWORD flags)
    {
        std::vector<std::string> ids;
        win::GUID cls{};
        EXPECT_EQ(win::CLSIDFromString(u"{4d36e979-e325-11ce-bfc1-08002be10318}", &cls), win::NOERROR);
        win::unique_device_list set(win::SetupDiGetClassDevsW(&cls, enumerator, nullptr, flags));
        EXPECT_TRUE(set);
        win::SP_DEVINFO_DATA d{};
        d.cbSize = sizeof d;
        for (win::DWORD i = 0; win::SetupDiEnumDeviceInfo(set.get(), i, &d); ++i) {
            char16_t id[260];
            if (win::SetupDiGetDeviceInstanceIdW(set.get(), &d, id, 260, nullptr)) ids.push_back(txt::to_utf8(id));
        }
        return ids;
    }

    // (port name, monitor, description) of every port.
    std::vector<std::vector<std::string>> Ports()
    {
        std::vector<std::vector<std::string>> out;
        win::DWORD needed = 0, count = 0;
        win::EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
        std::vector<win::BYTE> buf(needed);
        EXPECT_TRUE(win::EnumPortsW(nullptr, 2, buf.data(), needed, &needed, &count));
        auto* p = reinterpret_cast<win::PORT_INFO_2W*>(buf.data());
        for (win::DWORD i = 0; i < count; ++i)
            out.push_back({txt::to_utf8(p[i].pPortName), txt::to_utf8(p[i].pMonitorName), txt::to_utf8(p[i].pDescription)});
        return out;
    }

    // (printer, driver, port) of every local printer.
    std::vector<std::vector<std::string>> Printers()
    {
        std::vector<std::vector<std::string>> out;
        win::DWORD needed = 0, count = 0;
        win::EnumPrintersW(win::PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
        std::vector<win::BYTE> buf(needed);
        EXPECT_TRUE(win::EnumPrintersW(win::PRINTER_ENUM_LOCAL, nullptr, 2, buf.data(), needed, &needed, &count));
        auto* p = reinterpret_cast<win::PRINTER_INFO_2W*>(buf.data());
        for (win::DWORD i = 0; i < count; ++i)
            out.push_back({txt::to_utf8(p[i].pPrinterName), txt::to_utf8(p[i].pDriverName), txt::to_utf8(p[i].pPortName)});
        return out;
    }

    std::vector<std::vector<std::string>> PrintersOf(const std::string& driver)
    {
        std::vector<std::vector<std::string>> out;
        for (auto& p : Printers())
            if (p[1] == driver) out.push_back(p);
        return out;
    }

    // Stages the package's INF in the store and installs its driver, as the installer does.
    void InstallDriver(const std::string& inf, const std::string& driver)
    {
        const auto dir = sim::Machine::get().drive_c() / "Temp";
        std::filesystem::create_directories(dir);
        // The built package: the INF with its signed catalog, which the upload checks.
        const std::string catalog = inf.substr(0, inf.rfind('.')) + ".cat";
        for (const std::string& file : {inf, catalog})
            std::filesystem::copy_file(std::filesystem::path(TXR_PAYLOAD_PACKAGE_DIR) / file, dir / file,
                                       std::filesystem::copy_options::overwrite_existing);
        char16_t dest[260];
        win::DWORD chars = 260;
        const std::u16string src = u"C:\\Temp\\" + txt::from_utf8(inf);
        ASSERT_EQ(win::UploadPrinterDriverPackageW(nullptr, src.c_str(), nullptr, 2, nullptr, dest, &chars), win::S_OK);
        ASSERT_EQ(win::InstallPrinterDriverFromPackageW(nullptr, dest, txt::from_utf8(driver).c_str(), nullptr, 0),
                  win::S_OK);
    }
};

TEST_F(SimPnp, PlugCreatesTheDeviceNodesAndAUsbPort)
{
    const std::string id = sim::pnp::plug();
    EXPECT_EQ(id.rfind("USBPRINT\\BREVANTOTXR4103\\", 0), 0u) << id;
    EXPECT_EQ(id.substr(id.size() - 7), "&USB001");

    // Only the printer interface is of the printer class; the two further interfaces are USB nodes.
    EXPECT_EQ(PrinterClassIds(u"USBPRINT", 0), std::vector<std::string>{id});
    EXPECT_EQ(PrinterClassIds(nullptr, 0), std::vector<std::string>{id});
    std::vector<std::string> usb;
    for (auto& n : State()["devices"]["list"]) {
        const std::string nid = n["instance_id"].get<std::string>();
        usb.push_back(nid.substr(0, nid.rfind('\\')));
    }
    EXPECT_EQ(usb, (std::vector<std::string>{"USBPRINT\\BREVANTOTXR4103", "USB\\VID_03F0&PID_092C&MI_01",
                                             "USB\\VID_03F0&PID_092C&MI_02"}));

    const auto ports = Ports();
    EXPECT_EQ(ports.back(), (std::vector<std::string>{"USB001", "USB Monitor", "Virtueller Druckeranschluss für USB"}));
    EXPECT_EQ(Printers().size(), 1u) << "no driver matches yet: only the machine's own printer";

    // A second device of the model takes the next free port; plugging the first again changes nothing.
    const std::string second = sim::pnp::plug({"TXR4103", "", "SECOND"});
    EXPECT_NE(second, id);
    EXPECT_EQ(second.substr(second.size() - 7), "&USB002");
    EXPECT_EQ(sim::pnp::plug(), id);
    EXPECT_EQ(PrinterClassIds(u"USBPRINT", win::DIGCF_PRESENT).size(), 2u);
}

TEST_F(SimPnp, EnglishMachineNamesThePortInEnglish)
{
    FreshMachine("en-US");
    sim::pnp::plug();
    EXPECT_EQ(Ports().back(), (std::vector<std::string>{"USB001", "USB Monitor", "Virtual printer port for USB"}));
}

TEST_F(SimPnp, MatchingDriverInstallCreatesTheQueueOnTheDevicesPort)
{
    sim::pnp::plug();
    // The standard driver carries another hardware ID than the device: no queue.
    InstallDriver("TXR4103.inf", kStdDriver);
    EXPECT_TRUE(PrintersOf(kStdDriver).empty());
    InstallDriver("TXR4103ZKW.inf", kZkwDriver);
    EXPECT_EQ(PrintersOf(kZkwDriver), (std::vector<std::vector<std::string>>{{kZkwDriver, kZkwDriver, "USB001"}}));
    auto added = Events("printer_added");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0]["source"], "plug_and_play");

    // Installing the driver again, or re-plugging, does not make a second queue.
    InstallDriver("TXR4103ZKW.inf", kZkwDriver);
    sim::pnp::unplug();
    sim::pnp::plug();
    EXPECT_EQ(PrintersOf(kZkwDriver).size(), 1u);
}

TEST_F(SimPnp, PluggingInWhileTheDriverIsInstalledCreatesTheQueue)
{
    InstallDriver("TXR4103ZKW.inf", kZkwDriver);
    EXPECT_TRUE(PrintersOf(kZkwDriver).empty()) << "no device, no queue";
    sim::pnp::plug();
    EXPECT_EQ(PrintersOf(kZkwDriver), (std::vector<std::vector<std::string>>{{kZkwDriver, kZkwDriver, "USB001"}}));
}

TEST_F(SimPnp, QueueIsNotCreatedWhenSwitchedOffOrTheNameIsTaken)
{
    struct Case {
        const char* what;
        bool createQueue;
        bool nameTaken;
    };
    for (const Case c : {Case{"setting off", false, false}, Case{"name taken", true, true}}) {
        SCOPED_TRACE(c.what);
        FreshMachine();
        State()["pnp"]["create_queue"] = c.createQueue;
        if (c.nameTaken)
            State()["spooler"]["printers"].push_back({{"name", kZkwDriver}, {"port", "FILE:"}, {"driver", "Microsoft Print To PDF"}});
        Save();
        sim::pnp::plug();
        InstallDriver("TXR4103ZKW.inf", kZkwDriver);
        for (auto& p : Printers()) EXPECT_NE(p[2], "USB001") << p[0];
    }
}

TEST_F(SimPnp, UnpluggedDeviceStaysListedButNotPresent)
{
    const std::string id = sim::pnp::plug();
    EXPECT_EQ(sim::pnp::unplug("TXR4103"), 3);
    EXPECT_EQ(PrinterClassIds(u"USBPRINT", 0), std::vector<std::string>{id});
    EXPECT_TRUE(PrinterClassIds(u"USBPRINT", win::DIGCF_PRESENT).empty());
    for (auto& n : State()["devices"]["list"]) EXPECT_FALSE(n["present"].get<bool>()) << n.dump();

    // No queue for a device that is not there.
    InstallDriver("TXR4103ZKW.inf", kZkwDriver);
    EXPECT_TRUE(PrintersOf(kZkwDriver).empty());

    // Plugged in again it is the same device on its old port, and now gets its queue.
    EXPECT_EQ(sim::pnp::plug(), id);
    EXPECT_EQ(PrinterClassIds(u"USBPRINT", win::DIGCF_PRESENT), std::vector<std::string>{id});
    EXPECT_EQ(PrintersOf(kZkwDriver), (std::vector<std::vector<std::string>>{{kZkwDriver, kZkwDriver, "USB001"}}));
}

TEST_F(SimPnp, ReplugOnANewPortWhenPortsAreNotReused)
{
    const std::string first = sim::pnp::plug();
    sim::pnp::unplug();
    State()["pnp"]["reuse_port"] = false;
    Save();
    const std::string again = sim::pnp::plug();
    EXPECT_NE(again, first);
    EXPECT_EQ(again.substr(again.size() - 7), "&USB002");
    EXPECT_EQ(PrinterClassIds(u"USBPRINT", 0).size(), 2u);
    EXPECT_EQ(PrinterClassIds(u"USBPRINT", win::DIGCF_PRESENT), std::vector<std::string>{again});
}

TEST_F(SimPnp, DeviceRemovedAndPluggedInAgainGetsItsOldPortBack)
{
    const std::string first = sim::pnp::plug();
    // The installer's removal step takes the printer's node while it is unplugged.
    sim::pnp::unplug();
    {
        win::GUID cls{};
        win::CLSIDFromString(u"{4d36e979-e325-11ce-bfc1-08002be10318}", &cls);
        win::unique_device_list set(win::SetupDiGetClassDevsW(&cls, u"USBPRINT", nullptr, 0));
        win::SP_DEVINFO_DATA d{};
        d.cbSize = sizeof d;
        ASSERT_TRUE(win::SetupDiEnumDeviceInfo(set.get(), 0, &d));
        win::BOOL reboot = win::FALSE;
        ASSERT_TRUE(win::DiUninstallDevice(nullptr, set.get(), &d, 0, &reboot));
    }
    ASSERT_TRUE(PrinterClassIds(u"USBPRINT", 0).empty());
    // Another printer plugged in meanwhile does not take the removed device's port.
    const std::string other = sim::pnp::plug({"TXR4103", "", "SECOND"});
    EXPECT_EQ(other.substr(other.size() - 7), "&USB002");
    EXPECT_EQ(sim::pnp::plug(), first) << "USB001 again, so the same instance ID";
    std::vector<std::string> usbPorts;
    for (auto& p : Ports())
        if (p[1] == "USB Monitor") usbPorts.push_back(p[0]);
    EXPECT_EQ(usbPorts, (std::vector<std::string>{"USB001", "USB002"}));
}

}  // namespace
