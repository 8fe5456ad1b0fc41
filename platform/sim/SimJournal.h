// The journal of the machine state: each save appends the changes since the last one as lines of
// JSON, so that its cost follows the change and not the size of the machine; a reader applies the
// lines to the state file in order, and a fold writes the result back as a new state file.
// A change is one of
//   {"op":"set","path":P,"value":V}     the value at JSON pointer P becomes V (made if missing)
//   {"op":"remove","path":P}            the member at P goes
//   {"op":"put","path":P,"name":N,"value":V}   in the array at P the element named N becomes V
//                                       (appended when there is none)
//   {"op":"drop","path":P,"name":N}     the element named N leaves the array at P
// The named forms serve the sim's lists of printers, ports, drivers, services, ...: one printer
// added or deleted among a thousand is one short line.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace sim::journal {

using json = nlohmann::json;

// Appends to `changes` (an array) what turns `from` into `to`.
void diff(const json& from, const json& to, json& changes);

// The element of a list whose "name" is `name`, or null.
const json* find_named(const json& list, const std::string& name);

// Applies one change; false (and the state unchanged) for a change it cannot apply.
bool apply(json& state, const json& change);

}  // namespace sim::journal
