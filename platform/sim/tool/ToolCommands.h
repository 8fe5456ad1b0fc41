// Commands of the txr-sim tool. Each concern of the sim registers the commands that seed and show
// its part of the machine with a static RegisterCommand object.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace simtool {

// Runs with the arguments after the command name; returns the tool's exit code.
using CommandFn = std::function<int(const std::vector<std::string>& args)>;

struct Command {
    std::string name;
    std::string usage;  // one line: arguments and what it does
    CommandFn run;
};

std::vector<Command>& commands();

struct RegisterCommand {
    RegisterCommand(std::string name, std::string usage, CommandFn run);
};

// Views for "show NAME": a readable listing of one part of the machine, next to the JSON that
// "show /POINTER" prints.
using ViewFn = std::function<void()>;
std::vector<std::pair<std::string, ViewFn>>& views();
struct RegisterView {
    RegisterView(std::string name, ViewFn show);
};

// Prints a message on standard error and returns 2 (the tool's code for a usage error).
int usage_error(const std::string& message);

}  // namespace simtool
