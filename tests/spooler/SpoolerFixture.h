// A fresh simulated machine with helpers that seed the spooler, driver store, devices and services
// directly in the machine's state, and read back what a person would have seen.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/sim/SimSpooler.h"
#include "spooler/SpoolerLayer.h"
#include "tests/support/SimFixture.h"

namespace txrtest {

class SpoolerTest : public SimTest {
protected:
    sim::json& Spooler() { return State()["spooler"]; }

    // An installed driver; with a store copy, its INF lives in the driver store like a real one.
    std::string AddDriver(const std::string& name, const std::string& hardwareId, const std::string& version = "1.5.27.4",
                          const std::string& date = "03/10/2023", const std::string& infName = "TXR4103ZKW.inf")
    {
        const std::string inf = sim::spool::stage_package_text(infName, "; " + name + " " + version + "\n");
        sim::json d = {{"name", name},         {"environment", "Windows x64"}, {"inf_path", inf},
                       {"version", version},    {"date", date},                 {"manufacturer", "BREVANTO"}};
        if (!hardwareId.empty()) d["hardware_id"] = hardwareId;
        Spooler()["drivers"].push_back(d);
        Save();
        return inf;
    }
    void AddPrinter(const std::string& name, const std::string& driver, const std::string& port,
                    sim::json extra = sim::json::object())
    {
        sim::json p = {{"name", name},      {"driver", driver}, {"port", port}, {"print_processor", "winprint"},
                       {"datatype", "RAW"}, {"attributes", 0x240}, {"priority", 1}};
        p.update(extra);
        Spooler()["printers"].push_back(p);
        Save();
    }
    void AddPort(const std::string& name, const std::string& monitor, const std::string& description)
    {
        sim::json p = {{"name", name}, {"monitor", monitor}, {"description", description}, {"type", 3}};
        if (monitor == "Standard TCP/IP Port")
            p["tcp"] = {{"protocol", 1}, {"host_address", "10.0.0.9"}, {"ip_address", "10.0.0.9"},
                        {"port_number", 9100}, {"snmp_enabled", 1}, {"snmp_community", "public"}};
        Spooler()["ports"].push_back(p);
        Save();
    }
    void AddService(const std::string& name, const std::string& state, sim::json extra = sim::json::object())
    {
        sim::json s = {{"name", name}, {"display_name", name}, {"state", state},
                       {"depends_on", sim::json::array({"Spooler"})}};
        s.update(extra);
        State()["services"].push_back(s);
        Save();
    }
    sim::json* Service(const std::string& name) { return sim::spool::find_service(name); }

    // "Spooler stopped", "Spooler running", ... in the order the services reached those states.
    std::vector<std::string> ServiceSteps() const
    {
        std::vector<std::string> steps;
        for (const auto& e : Events("service"))
            steps.push_back(e["name"].get<std::string>() + " " + e["state"].get<std::string>());
        return steps;
    }
    std::vector<std::string> Names(const char* section) 
    {
        std::vector<std::string> names;
        for (const auto& x : Spooler()[section]) names.push_back(x["name"]);
        return names;
    }
};

}  // namespace txrtest
