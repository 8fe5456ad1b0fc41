// Changes between two machine states and their application (see SimJournal.h).
#include "platform/sim/SimJournal.h"

#include <string>
#include <unordered_map>

namespace sim::journal {

namespace {

using pointer = json::json_pointer;

// An array whose elements are objects with distinct names: changed element by element.
bool named_list(const json& a, std::unordered_map<std::string, std::size_t>& index)
{
    index.reserve(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        const json& e = a[i];
        if (!e.is_object()) return false;
        auto it = e.find("name");
        if (it == e.end() || !it->is_string()) return false;
        if (!index.emplace(it->get_ref<const std::string&>(), i).second) return false;
    }
    return true;
}

void set(const pointer& path, const json& value, json& changes)
{
    changes.push_back({{"op", "set"}, {"path", path.to_string()}, {"value", value}});
}

// Elements are matched by name, whatever their places: a name that goes is dropped, one that
// comes or changes is put (and a new one goes last, as push_back leaves it). The order of the
// elements that stay is not carried: the sim never reorders its lists, and two processes that add
// at the same time each see their own addition last until they read again.
bool diff_named_lists(const json& from, const json& to, const pointer& path, json& changes)
{
    std::unordered_map<std::string, std::size_t> before, after;
    if (!named_list(from, before) || !named_list(to, after)) return false;
    const std::string where = path.to_string();
    for (const auto& e : from) {
        const auto& name = e["name"].get_ref<const std::string&>();
        if (!after.count(name)) changes.push_back({{"op", "drop"}, {"path", where}, {"name", name}});
    }
    for (const auto& e : to) {
        const auto& name = e["name"].get_ref<const std::string&>();
        auto it = before.find(name);
        if (it == before.end() || from[it->second] != e)
            changes.push_back({{"op", "put"}, {"path", where}, {"name", name}, {"value", e}});
    }
    return true;
}

void diff_at(const json& from, const json& to, const pointer& path, json& changes)
{
    if (from.is_object() && to.is_object()) {
        for (auto it = from.begin(); it != from.end(); ++it)
            if (!to.contains(it.key())) changes.push_back({{"op", "remove"}, {"path", (path / it.key()).to_string()}});
        for (auto it = to.begin(); it != to.end(); ++it) {
            auto old = from.find(it.key());
            if (old == from.end()) set(path / it.key(), it.value(), changes);
            else diff_at(*old, it.value(), path / it.key(), changes);
        }
        return;
    }
    // A list that did not change is told by comparing it, without hashing its names.
    if (from.is_array() && to.is_array() && from == to) return;
    if (from.is_array() && to.is_array() && !from.empty() && diff_named_lists(from, to, path, changes)) return;
    if (from != to) set(path, to, changes);
}

json* find_named(json& list, const std::string& name, std::size_t* at = nullptr)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        json& e = list[i];
        if (e.is_object()) {
            auto it = e.find("name");
            if (it != e.end() && it->is_string() && it->get_ref<const std::string&>() == name) {
                if (at) *at = i;
                return &e;
            }
        }
    }
    return nullptr;
}

}  // namespace

void diff(const json& from, const json& to, json& changes) { diff_at(from, to, pointer(), changes); }

const json* find_named(const json& list, const std::string& name)
{
    if (!list.is_array()) return nullptr;
    return find_named(const_cast<json&>(list), name);
}

bool apply(json& state, const json& change)
{
    try {
        const std::string op = change.at("op").get<std::string>();
        const pointer path(change.at("path").get<std::string>());
        if (op == "set") {
            if (path.empty()) state = change.at("value");
            else state[path] = change.at("value");
            return true;
        }
        if (op == "remove") {
            if (path.empty() || !state.contains(path)) return false;
            json& parent = state[path.parent_pointer()];
            if (parent.is_object()) parent.erase(path.back());
            else if (parent.is_array()) parent.erase(static_cast<std::size_t>(std::stoul(path.back())));
            return true;
        }
        if (op == "put" || op == "drop") {
            if (!state.contains(path)) {
                if (op == "drop") return false;
                state[path] = json::array();
            }
            json& list = state[path];
            if (!list.is_array()) return false;
            const std::string name = change.at("name").get<std::string>();
            std::size_t at = 0;
            json* e = find_named(list, name, &at);
            if (op == "drop") {
                if (e) list.erase(at);
                return e != nullptr;
            }
            if (e) *e = change.at("value");
            else list.push_back(change.at("value"));
            return true;
        }
    } catch (const json::exception&) {
    } catch (const std::exception&) {
    }
    return false;
}

}  // namespace sim::journal
