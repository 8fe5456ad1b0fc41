// The port list the installer offers, new raw network ports, the SNMP switch, and what an existing
// port of a given name is.
#include <cstring>

#include "core/WideText.h"
#include "platform/utf.h"
#include "tests/spooler/SpoolerFixture.h"

namespace {

class PortsTest : public txrtest::SpoolerTest {
protected:
    std::vector<std::string> List(std::int32_t expectedResult = 1)
    {
        txr::PortListEntry list[txr::kPortListCapacity];
        std::memset(list, 0, sizeof list);
        std::uint32_t count = 99, error = 99;
        EXPECT_EQ(txr::Lib_GetPrinterPortList(&count, list, &error), expectedResult);
        std::vector<std::string> out;
        for (std::uint32_t i = 0; i < count; ++i) out.push_back(txt::to_utf8(txr::FieldText(list[i])));
        lastError = error;
        return out;
    }
    const sim::json* Port(const std::string& name)
    {
        for (auto& p : Spooler()["ports"])
            if (p["name"] == name) return &p;
        return nullptr;
    }
    std::uint32_t lastError = 0;
};

TEST_F(PortsTest, ListsUsbTcpIpAndFilePortsInTheSpoolersOrder)
{
    AddPort("USB001", "USB Monitor", "Virtual printer port for USB");
    AddPort("IP_10.0.0.9", "Standard TCP/IP Port", "Standard TCP/IP Port");
    AddPort("IP_10.0.0.10", "Other Monitor", "tcp/ip port of another make");
    // The fresh machine brings LPT1:-3:, COM1:-4:, FILE: and PORTPROMPT:.
    EXPECT_EQ(List(), (std::vector<std::string>{"FILE:[In Datei drucken]", "USB001[Virtual printer port for USB]",
                                                "IP_10.0.0.9[Standard TCP/IP Port]"}));
    EXPECT_EQ(lastError, 0u);
    EXPECT_TRUE(ServiceSteps().empty());
}

TEST_F(PortsTest, LongEntriesAreCutAndThe51stQualifyingPortIsNotListed)
{
    const std::string longName = "USB" + std::string(300, '9');
    AddPort(longName, "USB Monitor", "Virtual printer port for USB");
    for (int i = 0; i < 60; ++i) AddPort("USB" + std::to_string(100 + i), "USB Monitor", "USB");
    const auto list = List();
    ASSERT_EQ(list.size(), txr::kPortListCapacity);
    EXPECT_EQ(list[0], "FILE:[In Datei drucken]");
    EXPECT_EQ(list[1], longName.substr(0, 254));
    EXPECT_EQ(list.back(), "USB147[USB]");
}

TEST_F(PortsTest, NoPortsAtAllFailsWithoutARestart)
{
    Spooler()["ports"] = sim::json::array();
    Save();
    win::SetLastError(0);
    EXPECT_TRUE(List(0).empty());
    EXPECT_TRUE(ServiceSteps().empty());
}

TEST_F(PortsTest, ASecondEnumerationThatYieldsNothingRestartsTheSpoolerOnce)
{
    InjectFault("EnumPortsW", 1722, 2);
    EXPECT_TRUE(List(0).empty());
    EXPECT_EQ(lastError, 1722u) << "the enumeration's code, not the restart's";
    EXPECT_EQ(ServiceSteps(), (std::vector<std::string>{"Spooler stopped", "Spooler running"}));
}

TEST_F(PortsTest, NullListFailsWith122)
{
    std::uint32_t count = 5, error = 0;
    EXPECT_EQ(txr::Lib_GetPrinterPortList(&count, nullptr, &error), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(error, 122u);
}

TEST_F(PortsTest, ANewPortIsRawOn9100WithSnmpOffAndCommunityPublic)
{
    std::uint32_t error = 7;
    EXPECT_EQ(txr::Lib_AddNetworkPort(u"192.168.1.20", u"192_168_1_20", &error), 1);
    EXPECT_EQ(error, 0u);
    const sim::json* p = Port("192_168_1_20");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ((*p)["monitor"], "Standard TCP/IP Port");
    const sim::json& t = (*p)["tcp"];
    EXPECT_EQ(t["port_number"], 9100);
    EXPECT_EQ(t["protocol"], 1);
    EXPECT_EQ(t["snmp_enabled"], 0);
    EXPECT_EQ(t["snmp_community"], "Public");
    EXPECT_EQ(t["snmp_dev_index"], 1);
    EXPECT_EQ(t["host_address"], "192.168.1.20");
    EXPECT_EQ(t["ip_address"], "192.168.1.20");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(PortsTest, PortCreationRefusals)
{
    struct Case {
        const char* what;
        std::u16string address, name;
        const char* faultOp;
        std::uint32_t faultCode;
        std::uint32_t error;
    } cases[] = {
        {"empty address", u"", u"P1", nullptr, 0, 87},
        {"empty name", u"10.0.0.1", u"", nullptr, 0, 87},
        {"address longer than 15", u"100.100.100.1000", u"P1", nullptr, 0, 87},
        {"name longer than 63", u"10.0.0.1", std::u16string(64, u'P'), nullptr, 0, 87},
        {"monitor cannot be opened", u"10.0.0.1", u"P1", "OpenPrinterW", 5, 5},
        {"transceive call fails", u"10.0.0.1", u"P1", "XcvDataW", 1722, 1722},
    };
    for (const auto& c : cases) {
        FreshMachine();
        if (c.faultOp) InjectFault(c.faultOp, c.faultCode);
        std::uint32_t error = 0;
        EXPECT_EQ(txr::Lib_AddNetworkPort(c.address.c_str(), c.name.c_str(), &error), 0) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_TRUE(Events("port_added").empty()) << c.what;
    }
}

TEST_F(PortsTest, AnExistingPortIsRefusedWithCodeZeroAndLeftAsItWas)
{
    AddPort("192_168_1_20", "Standard TCP/IP Port", "Standard TCP/IP Port");
    const sim::json before = *Port("192_168_1_20");
    std::uint32_t error = 7;
    EXPECT_EQ(txr::Lib_AddNetworkPort(u"192.168.1.20", u"192_168_1_20", &error), 0);
    EXPECT_EQ(error, 0u) << "usable as it is";
    EXPECT_EQ(*Port("192_168_1_20"), before);
}

TEST_F(PortsTest, SnmpSwitchOnANetworkPortWaitsTwoSecondsAndOnAUsbPortFailsAtOnce)
{
    AddPort("IP_10.0.0.9", "Standard TCP/IP Port", "Standard TCP/IP Port");
    AddPort("USB001", "USB Monitor", "Virtual printer port for USB");
    EXPECT_EQ(txr::Lib_ConfigPortSNMPStatus(u"IP_10.0.0.9", 0, 0), 1) << "query: enabled";
    EXPECT_EQ(txr::Lib_ConfigPortSNMPStatus(u"USB001", 1, 0), 0);
    EXPECT_TRUE(Events("pause").empty());
    EXPECT_EQ(txr::Lib_ConfigPortSNMPStatus(u"IP_10.0.0.9", 1, 0), 1);
    ASSERT_EQ(Events("pause").size(), 1u);
    EXPECT_EQ(Events("pause")[0]["ms"], 2000);
    EXPECT_EQ(txr::Lib_ConfigPortSNMPStatus(u"IP_10.0.0.9", 0, 0), 0) << "query: now off";
    EXPECT_EQ((*Port("IP_10.0.0.9"))["tcp"]["host_address"], "10.0.0.9") << "the rest of the record kept";
}

TEST_F(PortsTest, LookingUpAPortSaysWhetherItIsAStandardTcpIpPortAndItsAddress)
{
    AddPort("USB001", "USB Monitor", "Virtual printer port for USB");
    AddPort("IP_10.0.0.9", "Standard TCP/IP Port", "Standard-TCP/IP-Port");
    AddPort("HOSTONLY", "Standard TCP/IP Port", "Standard TCP/IP Port");
    (*const_cast<sim::json*>(Port("HOSTONLY")))["tcp"]["ip_address"] = "";
    (*const_cast<sim::json*>(Port("HOSTONLY")))["tcp"]["host_address"] = "printer.example";
    AddPort("IPONLY", "Standard TCP/IP Port", "Standard TCP/IP Port");
    (*const_cast<sim::json*>(Port("IPONLY")))["tcp"]["host_address"] = "";
    (*const_cast<sim::json*>(Port("IPONLY")))["tcp"]["ip_address"] = "10.0.0.77";
    AddPort("LOOKALIKE", "Vendor TCP/IP Monitor", "Standard TCP/IP Port");
    Save();
    struct Case {
        const char16_t* name;
        bool exists, tcp;
        const char16_t* address;
    } cases[] = {
        {u"LPT1:", true, false, u""},
        {u"USB001", true, false, u""},
        {u"FILE:", true, false, u""},
        {u"ip_10.0.0.9", true, true, u"10.0.0.9"},  // any case; a German description
        {u"HOSTONLY", true, true, u"printer.example"},
        {u"IPONLY", true, true, u"10.0.0.77"},
        {u"LOOKALIKE", true, false, u""},  // described as TCP/IP, but another monitor's port
        {u"IP_10.0.0.10", false, false, u""},
    };
    for (const auto& c : cases) {
        txr::PortLookup lookup;
        std::uint32_t error = 7;
        EXPECT_EQ(txr::Lib_LookUpPort(c.name, &lookup, &error), 1) << txt::to_utf8(c.name);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(lookup.exists, c.exists) << txt::to_utf8(c.name);
        EXPECT_EQ(lookup.isStandardTcpIp, c.tcp) << txt::to_utf8(c.name);
        EXPECT_EQ(txr::FieldText(lookup.address), c.address) << txt::to_utf8(c.name);
    }
    EXPECT_TRUE(Events("port_configured").empty()) << "a look-up changes nothing";
    EXPECT_TRUE(Events("pause").empty());
}

TEST_F(PortsTest, ALookUpThatCannotReadThePortsFailsAndOneThatCannotReadTheRecordHasNoAddress)
{
    AddPort("IP_10.0.0.9", "Standard TCP/IP Port", "Standard TCP/IP Port");
    txr::PortLookup lookup;
    std::uint32_t error = 0;
    InjectFault("EnumPortsW", 1722);
    EXPECT_EQ(txr::Lib_LookUpPort(u"IP_10.0.0.9", &lookup, &error), 0);
    EXPECT_EQ(error, 1722u);
    EXPECT_FALSE(lookup.exists);

    InjectFault("XcvDataW", 1722);
    EXPECT_EQ(txr::Lib_LookUpPort(u"IP_10.0.0.9", &lookup, &error), 1);
    EXPECT_TRUE(lookup.exists && lookup.isStandardTcpIp);
    EXPECT_TRUE(txr::FieldEmpty(lookup.address)) << "matches no address";
    EXPECT_TRUE(ServiceSteps().empty()) << "no spooler restart for a look-up";
}

}  // namespace
