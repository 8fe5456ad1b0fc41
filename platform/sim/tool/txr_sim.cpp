// txr-sim: shows, resets and scripts the simulated Windows machine from the shell.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/sim/SimMachine.h"
#include "platform/sim/tool/ToolCommands.h"

namespace simtool {

std::vector<Command>& commands()
{
    static std::vector<Command> c;
    return c;
}

RegisterCommand::RegisterCommand(std::string name, std::string usage, CommandFn run)
{
    commands().push_back(Command{std::move(name), std::move(usage), std::move(run)});
}

std::vector<std::pair<std::string, ViewFn>>& views()
{
    static std::vector<std::pair<std::string, ViewFn>> v;
    return v;
}

RegisterView::RegisterView(std::string name, ViewFn show) { views().emplace_back(std::move(name), std::move(show)); }

int usage_error(const std::string& message)
{
    std::cerr << "txr-sim: " << message << "\n";
    return 2;
}

namespace {

using sim::json;

std::string value_after(const std::vector<std::string>& args, std::size_t& i)
{
    if (i + 1 >= args.size()) throw std::invalid_argument(args[i] + " needs a value");
    return args[++i];
}

const RegisterCommand reset("reset", "[--locale de-DE|en-US] [--bits 64|32] [--process-bits 64|32]  a fresh machine",
                            [](const std::vector<std::string>& args) {
                                sim::ProfileOptions o;
                                int processBits = 0;
                                for (std::size_t i = 0; i < args.size(); ++i) {
                                    if (args[i] == "--locale") o.locale = value_after(args, i);
                                    else if (args[i] == "--bits") o.bits = std::stoi(value_after(args, i));
                                    else if (args[i] == "--process-bits") processBits = std::stoi(value_after(args, i));
                                    else return usage_error("reset: unknown option " + args[i]);
                                }
                                if (o.locale != "de-DE" && o.locale != "en-US")
                                    return usage_error("reset: locale must be de-DE or en-US");
                                if (o.bits != 32 && o.bits != 64) return usage_error("reset: bits must be 32 or 64");
                                auto& m = sim::Machine::get();
                                m.reset(o);
                                if (processBits) {
                                    m.state()["process"]["bits"] = processBits;
                                    m.save();
                                }
                                std::cout << "fresh machine at " << m.root().string() << " (" << o.locale << ", "
                                          << o.bits << "-bit)\n";
                                return 0;
                            });

const RegisterCommand show("show",
                           "[JSON-POINTER | VIEW]  print the machine's state, one part of it (e.g. /environment), or a "
                           "view (spooler, devices, services, store)",
                           [](const std::vector<std::string>& args) {
                               auto& s = sim::Machine::get().state();
                               if (args.empty()) {
                                   std::cout << s.dump(2) << "\n";
                                   return 0;
                               }
                               if (args[0].empty() || args[0][0] != '/') {
                                   for (auto& [name, view] : views())
                                       if (name == args[0]) {
                                           view();
                                           return 0;
                                       }
                                   return usage_error("show: no view " + args[0] + " (a JSON pointer starts with /)");
                               }
                               const json::json_pointer p(args[0]);
                               if (!s.contains(p)) return usage_error("show: nothing at " + args[0]);
                               std::cout << s.at(p).dump(2) << "\n";
                               return 0;
                           });

const RegisterCommand events("events", "[--clear] [--type TYPE]  print the event log (one JSON object a line)",
                             [](const std::vector<std::string>& args) {
                                 auto& m = sim::Machine::get();
                                 std::string type;
                                 for (std::size_t i = 0; i < args.size(); ++i) {
                                     if (args[i] == "--clear") {
                                         std::ofstream(m.event_file(), std::ios::trunc);
                                         return 0;
                                     }
                                     if (args[i] == "--type") type = value_after(args, i);
                                     else return usage_error("events: unknown option " + args[i]);
                                 }
                                 std::ifstream in(m.event_file());
                                 std::string line;
                                 while (std::getline(in, line)) {
                                     if (!type.empty()) {
                                         json j = json::parse(line, nullptr, false);
                                         if (j.is_discarded() || j.value("type", std::string()) != type) continue;
                                     }
                                     std::cout << line << "\n";
                                 }
                                 return 0;
                             });

const RegisterCommand set("set", "JSON-POINTER JSON-VALUE  change one value (e.g. set /clock/real_time true)",
                          [](const std::vector<std::string>& args) {
                              if (args.size() != 2) return usage_error("set: needs a pointer and a value");
                              auto& m = sim::Machine::get();
                              json v = json::parse(args[1], nullptr, false);
                              if (v.is_discarded()) v = args[1];  // a bare word is a string
                              m.state()[json::json_pointer(args[0])] = v;
                              m.save();
                              return 0;
                          });

const RegisterCommand scenario("scenario", "FILE  merge a scenario (a JSON merge patch of the state) into the machine",
                               [](const std::vector<std::string>& args) {
                                   if (args.size() != 1) return usage_error("scenario: needs a file");
                                   std::ifstream in(args[0]);
                                   if (!in) return usage_error("scenario: cannot read " + args[0]);
                                   std::stringstream ss;
                                   ss << in.rdbuf();
                                   json patch = json::parse(ss.str(), nullptr, false);
                                   if (patch.is_discarded() || !patch.is_object())
                                       return usage_error("scenario: " + args[0] + " is not a JSON object");
                                   auto& m = sim::Machine::get();
                                   m.state().merge_patch(patch);
                                   m.save();
                                   return 0;
                               });

const RegisterCommand fault("fault",
                            "OP ERROR [--call N] [--count M]  fail the Nth call of OP (and M-1 more; M=0: all) with ERROR",
                            [](const std::vector<std::string>& args) {
                                if (args.size() < 2) return usage_error("fault: needs an operation and an error code");
                                json f = {{"op", args[0]}, {"error", std::stoul(args[1], nullptr, 0)}};
                                for (std::size_t i = 2; i < args.size(); ++i) {
                                    if (args[i] == "--call") f["call"] = std::stoul(value_after(args, i));
                                    else if (args[i] == "--count") f["count"] = std::stoul(value_after(args, i));
                                    else return usage_error("fault: unknown option " + args[i]);
                                }
                                auto& m = sim::Machine::get();
                                m.state()["faults"].push_back(f);
                                m.save();
                                return 0;
                            });

const RegisterCommand clearFaults("clear-faults", " remove every injected fault", [](const std::vector<std::string>&) {
    auto& m = sim::Machine::get();
    m.state()["faults"] = json::array();
    m.save();
    return 0;
});

void print_usage()
{
    std::cout << "usage: txr-sim COMMAND [ARGS]\n"
                 "The machine lives in $TXR_SIM_ROOT (now: "
              << sim::Machine::get().root().string() << ").\n\ncommands:\n";
    for (const auto& c : commands()) std::cout << "  " << c.name << " " << c.usage << "\n";
}

}  // namespace
}  // namespace simtool

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        simtool::print_usage();
        return args.empty() ? 2 : 0;
    }
    for (const auto& c : simtool::commands()) {
        if (c.name != args[0]) continue;
        try {
            return c.run(std::vector<std::string>(args.begin() + 1, args.end()));
        } catch (const std::exception& e) {
            return simtool::usage_error(args[0] + ": " + e.what());
        }
    }
    return simtool::usage_error("unknown command " + args[0] + " (txr-sim help lists them)");
}
