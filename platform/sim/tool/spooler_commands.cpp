// txr-sim commands that seed and show the spooler (drivers, printers, ports), the driver store, the
// devices and the services, and that plug the printer in and out.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/SimMachine.h"
#include "platform/sim/SimPnp.h"
#include "platform/sim/SimSpooler.h"
#include "platform/sim/tool/ToolCommands.h"
#include "platform/utf.h"

namespace simtool {
namespace {

using sim::json;
using namespace sim::spool;

// "--name value" options and "--flag" switches after the positional arguments.
struct Options {
    std::vector<std::string> positional;
    std::multimap<std::string, std::string> values;
    std::optional<std::string> get(const std::string& key) const
    {
        auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    bool has(const std::string& key) const { return values.count(key) != 0; }
};

// Parses args against the options that take a value and those that do not; throws on anything
// else, which the tool reports as a usage error.
Options parse(const std::vector<std::string>& args, const std::vector<std::string>& withValue,
              const std::vector<std::string>& switches = {})
{
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            o.positional.push_back(a);
            continue;
        }
        const std::string key = a.substr(2);
        if (std::find(switches.begin(), switches.end(), key) != switches.end()) {
            o.values.emplace(key, "");
        } else if (std::find(withValue.begin(), withValue.end(), key) != withValue.end()) {
            if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
            o.values.emplace(key, args[++i]);
        } else {
            throw std::invalid_argument("unknown option " + a);
        }
    }
    return o;
}

json& section(const char* name, const char* list)
{
    auto& s = sim::Machine::get().state()[name];
    if (!s.contains(list) || !s[list].is_array()) s[list] = json::array();
    return s[list];
}

json* find_named(json& arr, const std::string& name, const char* key = "name")
{
    for (auto& e : arr)
        if (iequal8(e.value(key, std::string()), name)) return &e;
    return nullptr;
}

bool german() { return sim::language() == "de"; }

// A count or bit set of the state; 0 when it is missing or not such a number.
unsigned number(const json& j, const char* key)
{
    auto it = j.find(key);
    if (it == j.end() || !it->is_number_integer() || it->get<long long>() < 0 || it->get<long long>() > 0xFFFFFFFFll)
        return 0u;
    return static_cast<unsigned>(it->get<long long>());
}

// A small INF that says what the seeded driver is, so that the store copy reads like a real one.
std::string seeded_inf(const std::string& name, const std::string& hwid, const std::string& date,
                       const std::string& version)
{
    return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Printer\r\n"
           "ClassGuid={4D36E979-E325-11CE-BFC1-08002BE10318}\r\nProvider=BREVANTO\r\nDriverVer=" +
           date + "," + version + "\r\n\r\n[Manufacturer]\r\nBREVANTO=BREVANTO,NTamd64,NTx86\r\n\r\n[BREVANTO.NTamd64]\r\n\"" +
           name + "\"=INSTALL," + hwid + "\r\n\r\n[BREVANTO.NTx86]\r\n\"" + name + "\"=INSTALL," + hwid + "\r\n";
}

const RegisterCommand addDriver(
    "add-driver",
    "NAME --hwid H --version 1.5.27.4 --date 03/10/2023 [--inf NAME.inf] [--environment ENV]  an installed printer "
    "driver, with its copy in the driver store",
    [](const std::vector<std::string>& args) {
        const Options o = parse(args, {"hwid", "version", "date", "inf", "environment"});
        if (o.positional.size() != 1) return usage_error("add-driver: needs one driver name");
        const std::string name = o.positional[0];
        const std::string hwid = o.get("hwid").value_or("");
        const std::string version = o.get("version").value_or("1.0.0.0");
        const std::string date = o.get("date").value_or("01/01/2020");
        if (!valid_driver_version(version))
            return usage_error("add-driver: --version " + version + " is not a driver version (four numbers 0-65535, 1.5.27.4)");
        if (!valid_driver_date(date))
            return usage_error("add-driver: --date " + date + " is not a date (month/day/year, 03/10/2023)");
        std::string inf = o.get("inf").value_or("");
        if (inf.empty()) {
            for (char c : name)
                if (std::isalnum(static_cast<unsigned char>(c))) inf += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            inf += ".inf";
        }
        auto l = sim::lock();
        auto& m = sim::Machine::get();
        const std::string env = o.get("environment").value_or(caller_environment());
        const std::string infPath = stage_package_text(inf, seeded_inf(name, hwid, date, version));
        json d = {{"name", name},         {"environment", env}, {"hardware_id", hwid}, {"inf_path", infPath},
                  {"version", version},   {"date", date},       {"manufacturer", "BREVANTO"}};
        if (hwid.empty()) d.erase("hardware_id");
        auto& drivers = section("spooler", "drivers");
        json* old = nullptr;
        for (auto& e : drivers)
            if (iequal8(e.value("name", std::string()), name) && iequal8(e.value("environment", std::string()), env))
                old = &e;
        if (old) *old = d;
        else drivers.push_back(d);
        m.save();
        std::cout << "driver " << name << " (" << env << ") from " << infPath << "\n";
        return 0;
    });

const RegisterCommand addPrinter(
    "add-printer",
    "NAME --driver D --port P [--comment TEXT] [--location TEXT] [--share SHARENAME]  a local printer (print queue); "
    "--share shares it under that name",
    [](const std::vector<std::string>& args) {
        const Options o = parse(args, {"driver", "port", "comment", "location", "share"});
        if (o.positional.size() != 1 || !o.has("driver") || !o.has("port"))
            return usage_error("add-printer: needs NAME --driver D --port P");
        auto l = sim::lock();
        auto& m = sim::Machine::get();
        const std::string name = o.positional[0];
        if (!find_named(section("spooler", "drivers"), *o.get("driver")))
            return usage_error("add-printer: no driver " + *o.get("driver"));
        if (!find_named(section("spooler", "ports"), *o.get("port")))
            return usage_error("add-printer: no port " + *o.get("port"));
        auto& printers = section("spooler", "printers");
        if (find_named(printers, name)) return usage_error("add-printer: " + name + " exists already");
        if (o.has("share") && o.get("share")->empty()) return usage_error("add-printer: --share needs a share name");
        json p = {{"name", name},       {"port", *o.get("port")}, {"driver", *o.get("driver")},
                  {"print_processor", "winprint"}, {"datatype", "RAW"}, {"attributes", 0x240},
                  {"priority", 1}};
        if (auto v = o.get("comment")) p["comment"] = *v;
        if (auto v = o.get("location")) p["location"] = *v;
        if (auto v = o.get("share")) {
            p["share_name"] = *v;
            p["attributes"] = 0x240 | 0x8;  // PRINTER_ATTRIBUTE_SHARED
        }
        printers.push_back(p);
        m.save();
        return 0;
    });

const RegisterCommand addPort(
    "add-port", "NAME --usb | --tcp IP | --local  a port of the USB, Standard TCP/IP or local port monitor",
    [](const std::vector<std::string>& args) {
        const Options o = parse(args, {"tcp"}, {"usb", "local"});
        if (o.positional.size() != 1 || (o.has("usb") + o.has("tcp") + o.has("local")) != 1)
            return usage_error("add-port: needs NAME and one of --usb, --tcp IP, --local");
        auto l = sim::lock();
        auto& m = sim::Machine::get();
        const std::string name = o.positional[0];
        auto& ports = section("spooler", "ports");
        if (find_named(ports, name)) return usage_error("add-port: " + name + " exists already");
        json p = {{"name", name}, {"type", 3}};
        if (o.has("usb")) {
            p["monitor"] = "USB Monitor";
            p["description"] = german() ? "Virtueller Druckeranschluss für USB" : "Virtual printer port for USB";
        } else if (o.has("local")) {
            p["monitor"] = "Local Port";
            p["description"] = german() ? "Lokaler Anschluss" : "Local Port";
        } else {
            const std::string ip = *o.get("tcp");
            p["monitor"] = "Standard TCP/IP Port";
            p["description"] = german() ? "Standard-TCP/IP-Port" : "Standard TCP/IP Port";
            p["tcp"] = {{"protocol", 1},          {"host_address", ip}, {"snmp_community", "public"},
                        {"double_spool", 0},      {"queue", ""},        {"ip_address", ip},
                        {"port_number", 9100},    {"snmp_enabled", 1},  {"snmp_dev_index", 1}};
        }
        ports.push_back(p);
        m.save();
        return 0;
    });

const RegisterCommand printer(
    "printer", "NAME [--jobs N] [--paused | --resumed]  give a printer queued jobs, pause or resume it",
    [](const std::vector<std::string>& args) {
        const Options o = parse(args, {"jobs"}, {"paused", "resumed"});
        if (o.positional.size() != 1 || (o.has("paused") && o.has("resumed")))
            return usage_error("printer: needs NAME [--jobs N] [--paused | --resumed]");
        std::optional<unsigned> jobs;
        if (auto v = o.get("jobs")) {
            if (v->empty() || v->size() > 6 || !std::all_of(v->begin(), v->end(), [](unsigned char c) { return std::isdigit(c); }))
                return usage_error("printer: --jobs " + *v + " is not a number of jobs");
            jobs = static_cast<unsigned>(std::stoul(*v));
        }
        auto l = sim::lock();
        auto& m = sim::Machine::get();
        json* p = find_named(section("spooler", "printers"), o.positional[0]);
        if (!p) return usage_error("printer: no printer " + o.positional[0]);
        const std::string name = o.positional[0];
        unsigned status = number(*p, "status");
        if (o.has("paused")) status |= kPrinterStatusPaused;
        if (o.has("resumed")) status &= ~kPrinterStatusPaused;
        (*p)["status"] = status;
        if (jobs) (*p)["jobs"] = *jobs;
        const unsigned left = number(*p, "jobs");
        std::cout << "printer " << name << ": " << left << " job(s)" << ((status & kPrinterStatusPaused) ? ", paused" : "")
                  << ((status & kPrinterStatusPendingDeletion) ? ", pending deletion" : "") << "\n";
        // Jobs that are gone let a printer pending deletion go.
        remove_finished_printers();
        m.save();
        return 0;
    });

std::uint32_t code_value(const std::string& text) { return static_cast<std::uint32_t>(std::stoul(text, nullptr, 0)); }

const RegisterCommand service(
    "service",
    "NAME [--state running|stopped|start_pending|stop_pending] [--pending-queries N|never] [--start-error CODE] "
    "[--stop-error CODE] [--depends-on SERVICE]... [--display-name TEXT]  add or change a service",
    [](const std::vector<std::string>& args) {
        const Options o =
            parse(args, {"state", "pending-queries", "start-error", "stop-error", "depends-on", "display-name"});
        if (o.positional.size() != 1) return usage_error("service: needs one service name");
        auto l = sim::lock();
        auto& m = sim::Machine::get();
        auto& services = m.state()["services"];
        if (!services.is_array()) services = json::array();
        json* sv = find_named(services, o.positional[0]);
        if (!sv) {
            services.push_back({{"name", o.positional[0]}, {"display_name", o.positional[0]}, {"state", "stopped"},
                                {"depends_on", json::array()}});
            sv = &services.back();
        }
        if (auto v = o.get("display-name")) (*sv)["display_name"] = *v;
        if (auto v = o.get("pending-queries")) (*sv)["pending_queries"] = *v == "never" ? -1 : std::stoi(*v);
        if (auto v = o.get("start-error")) (*sv)["start_error"] = code_value(*v);
        if (auto v = o.get("stop-error")) (*sv)["stop_error"] = code_value(*v);
        if (o.has("depends-on")) {
            json deps = json::array();
            for (auto [it, end] = o.values.equal_range("depends-on"); it != end; ++it) deps.push_back(it->second);
            (*sv)["depends_on"] = deps;
        }
        if (auto v = o.get("state")) {
            if (*v != "running" && *v != "stopped" && *v != "start_pending" && *v != "stop_pending")
                return usage_error("service: unknown state " + *v);
            (*sv)["state"] = *v;
            // A pending state lasts as many status queries as the service is set to take.
            if (v->find("pending") != std::string::npos) (*sv)["pending_left"] = sv->value("pending_queries", 1);
            else sv->erase("pending_left");
            if (*v == "running" || *v == "stopped") service_settled(*sv);
        }
        m.save();
        return 0;
    });

const RegisterCommand addDevice(
    "add-device", "INSTANCE_ID [--absent] [--class GUID] [--hwid H]  a device node (USBPRINT\\... is of the printer class)",
    [](const std::vector<std::string>& args) {
        const Options o = parse(args, {"class", "hwid"}, {"absent"});
        if (o.positional.size() != 1) return usage_error("add-device: needs one instance ID");
        auto l = sim::lock();
        auto& m = sim::Machine::get();
        const std::string id = o.positional[0];
        auto& list = section("devices", "list");
        if (find_named(list, id, "instance_id")) return usage_error("add-device: " + id + " exists already");
        const bool usbprint = upper(id).rfind("USBPRINT\\", 0) == 0;
        json d = {{"instance_id", id},
                  {"class_guid", o.get("class").value_or(usbprint ? kPrinterClassGuid : "")},
                  {"present", !o.has("absent")}};
        if (auto h = o.get("hwid")) d["hardware_ids"] = json::array({*h});
        list.push_back(d);
        m.save();
        return 0;
    });

const RegisterCommand addPackage(
    "add-package", "INF_NAME [--copies N]  N copies (default 1) of a package in the driver store, used by no driver",
    [](const std::vector<std::string>& args) {
        const Options o = parse(args, {"copies"});
        if (o.positional.size() != 1) return usage_error("add-package: needs one INF name");
        const int copies = std::stoi(o.get("copies").value_or("1"));
        if (copies < 1) return usage_error("add-package: --copies must be at least 1");
        auto l = sim::lock();
        for (int i = 1; i <= copies; ++i) {
            // Each copy differs, so each lands in a folder of its own as store copies of
            // different package versions do.
            const std::string text = "; seeded store copy " + std::to_string(i) + "\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n";
            std::cout << stage_package_text(o.positional[0], text) << "\n";
        }
        sim::Machine::get().save();
        return 0;
    });

const RegisterCommand plug("plug", "[--model TXR4103] [--hwid H] [--serial S]  connect the printer's USB cable",
                           [](const std::vector<std::string>& args) {
                               const Options o = parse(args, {"model", "hwid", "serial"});
                               if (!o.positional.empty()) return usage_error("plug: takes options only");
                               sim::pnp::PlugOptions p;
                               p.model = o.get("model").value_or("TXR4103");
                               p.hardwareId = o.get("hwid").value_or("");
                               p.serial = o.get("serial").value_or("");
                               std::cout << sim::pnp::plug(p) << "\n";
                               return 0;
                           });

const RegisterCommand unplug("unplug", "[--model TXR4103]  disconnect the printer (its device nodes stay, not present)",
                             [](const std::vector<std::string>& args) {
                                 const Options o = parse(args, {"model"});
                                 if (!o.positional.empty()) return usage_error("unplug: takes options only");
                                 const int n = sim::pnp::unplug(o.get("model").value_or(""));
                                 std::cout << n << " device node(s) disconnected\n";
                                 return 0;
                             });

// ---- views -----------------------------------------------------------------------------------

std::string text(const json& j, const char* key) { return j.value(key, std::string()); }

const RegisterView spoolerView("spooler", [] {
    auto& sp = sim::Machine::get().state()["spooler"];
    std::cout << "drivers:\n";
    for (auto& d : sp.value("drivers", json::array()))
        std::cout << "  " << text(d, "name") << "  [" << text(d, "environment") << "]  " << text(d, "version") << "  "
                  << text(d, "date") << "  " << text(d, "hardware_id") << "\n    " << text(d, "inf_path") << "\n";
    std::cout << "printers:\n";
    for (const auto& p : sp.value("printers", json::array())) {
        const unsigned jobs = number(p, "jobs"), status = number(p, "status");
        std::cout << "  " << text(p, "name") << "  driver " << text(p, "driver") << "  port " << text(p, "port")
                  << ((p.value("attributes", 0u) & 0x8) ? "  shared as " + text(p, "share_name") : std::string())
                  << (jobs ? "  " + std::to_string(jobs) + " job(s)" : std::string())
                  << ((status & kPrinterStatusPaused) ? "  paused" : "")
                  << ((status & kPrinterStatusPendingDeletion) ? "  pending deletion" : "") << "\n";
    }
    std::cout << "ports:\n";
    for (auto& p : sp.value("ports", json::array()))
        std::cout << "  " << std::left << std::setw(14) << text(p, "name") << text(p, "monitor") << " / "
                  << text(p, "description") << "\n";
    if (!spooler_running()) std::cout << "(the Spooler service is not running)\n";
});

const RegisterView devicesView("devices", [] {
    auto& d = sim::Machine::get().state()["devices"];
    std::cout << "device nodes:\n";
    for (auto& n : d.value("list", json::array()))
        std::cout << "  " << (n.value("present", true) ? "present  " : "absent   ") << text(n, "instance_id")
                  << (text(n, "port").empty() ? "" : "  port " + text(n, "port")) << "\n";
    std::cout << "interface drivers:\n";
    for (auto& i : d.value("drivers", json::array()))
        std::cout << "  " << text(i, "hardware_id") << "  " << text(i, "version") << "  " << text(i, "inf") << "\n";
});

const RegisterView servicesView("services", [] {
    for (auto& s : sim::Machine::get().state().value("services", json::array())) {
        std::cout << "  " << std::left << std::setw(12) << text(s, "name") << std::setw(14) << text(s, "state");
        std::string deps;
        for (auto& dep : s.value("depends_on", json::array())) deps += (deps.empty() ? "" : ", ") + dep.get<std::string>();
        if (!deps.empty()) std::cout << "depends on " << deps;
        if (s.contains("start_error")) std::cout << "  start fails with " << s["start_error"];
        if (s.contains("stop_error")) std::cout << "  stop fails with " << s["stop_error"];
        if (s.value("pending_queries", 1) < 0) std::cout << "  pending states never end";
        std::cout << "\n";
    }
});

const RegisterView storeView("store", [] {
    auto& m = sim::Machine::get();
    auto dir = m.map_path(txt::from_utf8(kFileRepository));
    std::error_code ec;
    std::vector<std::string> names;
    if (dir)
        for (auto& e : std::filesystem::directory_iterator(*dir, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::cout << kFileRepository << ":\n";
    for (auto& n : names) std::cout << "  " << n << "\n";
});

}  // namespace
}  // namespace simtool
