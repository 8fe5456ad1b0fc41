// Plug and play on the simulated machine. Connecting the printer creates the device nodes Windows
// shows for it: the printer interface under USBPRINT in the printer class and the two further USB
// interfaces (REST and WinUSB) under USB. The printer gets a port of the USB port monitor, and
// when an installed printer driver carries the device's hardware ID, a print queue named like the
// driver on that port, as Windows' plug and play does. What Windows does here is observed rather
// than documented, so the choices are settings in the state's "pnp" section.
#include "platform/sim/SimPnp.h"

#include <cstdio>

#include "platform/sim/SimSpooler.h"

namespace sim::pnp {

namespace {

using namespace sim::spool;

constexpr const char* kVidPid = "VID_03F0&PID_092C";
// The class Windows puts WinUSB-bound interfaces in (Class=USBDevice in the interface INFs).
constexpr const char* kUsbDeviceClassGuid = "{88bae032-5a81-49f0-bc3d-a4ff138216d6}";

const RegisterDefaults pnpDefaults("pnp", [](json& s, const ProfileOptions&) {
    s["pnp"] = {
        // Windows creates the queue itself when a matching driver is in place.
        {"create_queue", true},
        // A re-plugged device normally gets its old port back.
        {"reuse_port", true},
    };
});

bool setting(const char* key, bool fallback)
{
    return Machine::get().state().value("pnp", json::object()).value(key, fallback);
}

json& device_list()
{
    auto& d = Machine::get().state()["devices"];
    if (!d.contains("list") || !d["list"].is_array()) d["list"] = json::array();
    return d["list"];
}

json& spooler_ports()
{
    auto& sp = Machine::get().state()["spooler"];
    if (!sp.contains("ports") || !sp["ports"].is_array()) sp["ports"] = json::array();
    return sp["ports"];
}

// Stable across runs and platforms, unlike std::hash: instance IDs must not change between runs.
std::uint32_t fnv1a(const std::string& s)
{
    std::uint32_t h = 2166136261u;
    for (unsigned char c : s) h = (h ^ c) * 16777619u;
    return h;
}

std::string hex8(std::uint32_t v)
{
    char b[9];
    std::snprintf(b, sizeof b, "%08X", v);
    return b;
}

bool has_port(const std::string& name)
{
    for (auto& p : spooler_ports())
        if (iequal8(p.value("name", std::string()), name)) return true;
    return false;
}

std::string next_usb_port()
{
    for (int n = 1; n < 1000; ++n) {
        char b[8];
        std::snprintf(b, sizeof b, "USB%03d", n);
        if (!has_port(b)) return b;
    }
    return "USB999";
}

void ensure_port(const std::string& name)
{
    if (has_port(name)) return;
    const bool de = language() == "de";
    spooler_ports().push_back({{"name", name},
                               {"monitor", "USB Monitor"},
                               {"description", de ? "Virtueller Druckeranschluss für USB" : "Virtual printer port for USB"},
                               {"type", 3}});
    Machine::get().event({{"type", "port_added"}, {"name", name}, {"monitor", "USB Monitor"}});
}

bool interface_driver_installed(const std::string& hwid)
{
    for (auto& d : Machine::get().state()["devices"].value("drivers", json::array()))
        if (iequal8(d.value("hardware_id", std::string()), hwid)) return true;
    return false;
}

bool carries(const json& node, const std::string& hwid)
{
    for (auto& h : node.value("hardware_ids", json::array()))
        if (h.is_string() && iequal8(h.get<std::string>(), hwid)) return true;
    return false;
}

std::string native_environment()
{
    return Machine::get().state().value("/windows/bits"_json_pointer, 64) == 64 ? "Windows x64" : "Windows NT x86";
}

// Gives one present USBPRINT node its queue when an installed driver of the machine's own
// environment carries its hardware ID. Windows picks one driver for a device: the first match.
void bind_queue(const json& node)
{
    if (!node.value("present", true) || !setting("create_queue", true)) return;
    const std::string port = node.value("port", std::string());
    if (port.empty()) return;
    auto& sp = Machine::get().state()["spooler"];
    for (auto& d : sp.value("drivers", json::array())) {
        if (!iequal8(d.value("environment", std::string()), native_environment())) continue;
        const std::string hwid = d.value("hardware_id", std::string());
        if (hwid.empty() || !carries(node, hwid)) continue;
        const std::string name = d.value("name", std::string());
        for (auto& p : sp["printers"]) {
            const bool sameName = iequal8(p.value("name", std::string()), name);
            const bool queueOfDevice =
                iequal8(p.value("driver", std::string()), name) && iequal8(p.value("port", std::string()), port);
            if (sameName || queueOfDevice) return;
        }
        sp["printers"].push_back({{"name", name},
                                  {"port", port},
                                  {"driver", name},
                                  {"print_processor", "winprint"},
                                  {"datatype", "RAW"},
                                  {"attributes", 0x240},
                                  {"priority", 1}});
        Machine::get().event({{"type", "printer_added"},
                              {"name", name},
                              {"driver", name},
                              {"port", port},
                              {"source", "plug_and_play"},
                              {"instance_id", node.value("instance_id", std::string())}});
        return;
    }
}

bool is_usbprint(const json& node)
{
    const std::string id = node.value("instance_id", std::string());
    return id.rfind("USBPRINT\\", 0) == 0;
}

// usbprint.sys keeps a device's port number with the device's interface, which outlives its device
// node: a device removed with DiUninstallDevice and plugged in again gets its old port back while
// that port exists and no present device holds it. Kept in "pnp.device_ports" (serial -> port).
std::string remembered_port(const std::string& serial)
{
    const json ports = Machine::get().state().value("pnp", json::object()).value("device_ports", json::object());
    const auto it = ports.find(serial);
    if (it == ports.end() || !it->is_string()) return {};
    const std::string port = it->get<std::string>();
    if (!has_port(port)) return {};
    for (auto& n : device_list())
        if (n.value("present", false) && iequal8(n.value("port", std::string()), port)) return {};
    return port;
}

void remember_port(const std::string& serial, const std::string& port)
{
    auto& pnp = Machine::get().state()["pnp"];
    if (!pnp.contains("device_ports") || !pnp["device_ports"].is_object()) pnp["device_ports"] = json::object();
    pnp["device_ports"][serial] = port;
}

}  // namespace

std::string model_hardware_id(const std::string& model)
{
    // The trailing four hex digits are the CRC usbprint.sys adds to the IEEE-1284 maker and model;
    // it is known only for the model the package supports.
    if (iequal8(model, "TXR4103")) return "USBPRINT\\BREVANTOTXR4103733D";
    return "USBPRINT\\BREVANTO" + upper(model);
}

std::string plug(const PlugOptions& o)
{
    auto l = lock();
    auto& m = Machine::get();
    const std::string model = upper(o.model.empty() ? std::string("TXR4103") : o.model);
    const std::string hwid = o.hardwareId.empty() ? model_hardware_id(model) : o.hardwareId;
    const std::string serial = o.serial.empty() ? model + "0001" : o.serial;
    auto& list = device_list();

    // A device seen before keeps its nodes; plugging it in again makes them present. Its printer
    // node names the port it had, which it gets back unless the setting says otherwise.
    json* printerNode = nullptr;
    for (auto& n : list)
        if (n.value("serial", std::string()) == serial && is_usbprint(n) && (setting("reuse_port", true) || n.value("present", false)))
            printerNode = &n;
    std::string port = printerNode ? printerNode->value("port", std::string()) : std::string();
    if (port.empty() && setting("reuse_port", true)) port = remembered_port(serial);
    if (port.empty()) port = next_usb_port();
    ensure_port(port);
    remember_port(serial, port);

    const std::string tag = hex8(fnv1a(model + "|" + serial));
    const std::string printerId = "USBPRINT\\BREVANTO" + model + "\\7&" + tag + "&0&" + port;
    const std::string bare = hwid.rfind("USBPRINT\\", 0) == 0 ? hwid.substr(9) : hwid;
    struct WantedNode {
        std::string id, cls, description;
        json hardwareIds;
    };
    const std::string usbBase = std::string("USB\\") + kVidPid;
    std::vector<WantedNode> wanted;
    wanted.push_back({printerNode ? printerNode->value("instance_id", printerId) : printerId, kPrinterClassGuid,
                     "BREVANTO " + model, json::array({hwid, bare})});
    for (const char* mi : {"01", "02"}) {
        const std::string hw = usbBase + "&MI_" + mi;
        wanted.push_back({hw + "\\6&" + hex8(fnv1a(serial + mi)) + "&0&00" + mi,
                         interface_driver_installed(hw) ? kUsbDeviceClassGuid : "",
                         std::string(mi) == "01" ? "Printer USB(REST)" : "Printer USB(WinUSB)",
                         json::array({usbBase + "&REV_0100&MI_" + mi, hw})});
    }
    for (const auto& s : wanted) {
        json* node = nullptr;
        for (auto& n : list)
            if (iequal8(n.value("instance_id", std::string()), s.id)) node = &n;
        if (!node) {
            list.push_back(json::object());
            node = &list.back();
        }
        (*node)["instance_id"] = s.id;
        (*node)["class_guid"] = s.cls;
        (*node)["hardware_ids"] = s.hardwareIds;
        (*node)["description"] = s.description;
        (*node)["serial"] = serial;
        (*node)["present"] = true;
        if (&s == &wanted.front()) (*node)["port"] = port;
    }
    m.event({{"type", "device_plugged"}, {"instance_id", wanted.front().id}, {"port", port}});
    for (auto& n : list)
        if (iequal8(n.value("instance_id", std::string()), wanted.front().id)) bind_queue(n);
    m.save();
    return wanted.front().id;
}

int unplug(const std::string& model)
{
    auto l = lock();
    auto& m = Machine::get();
    int count = 0;
    const std::string key = model.empty() ? std::string() : "BREVANTO" + upper(model);
    std::vector<std::string> serials;
    for (auto& n : device_list())
        if (is_usbprint(n) && (key.empty() || n.value("instance_id", std::string()).find(key) != std::string::npos))
            serials.push_back(n.value("serial", std::string()));
    for (auto& n : device_list()) {
        if (!n.value("present", true)) continue;
        bool mine = false;
        for (auto& s : serials) mine = mine || (!s.empty() && n.value("serial", std::string()) == s);
        if (!mine) continue;
        n["present"] = false;
        ++count;
        m.event({{"type", "device_unplugged"}, {"instance_id", n.value("instance_id", std::string())}});
    }
    m.save();
    return count;
}

void driver_installed()
{
    auto l = lock();
    for (auto& n : device_list())
        if (is_usbprint(n)) bind_queue(n);
    Machine::get().save();
}

}  // namespace sim::pnp
