// A fresh simulated machine for each test, in a folder of its own, with the engine's process-wide
// tables and flags reset, helpers to read the event log, and a failure when a handle was left
// open. A failing test prints the machine's state.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/sim/SimMachine.h"

namespace txrtest {

class SimTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes a fresh machine (called by SetUp with the German default; tests may call it again).
    void FreshMachine(const std::string& locale = "de-DE", int bits = 64);
    sim::json& State() { return sim::Machine::get().state(); }
    void Save() { sim::Machine::get().save(); }
    // The events logged so far, optionally only those of one type.
    std::vector<sim::json> Events(const std::string& type = {}) const;
    // The message boxes shown so far, as (caption, text) in the order they appeared.
    std::vector<std::pair<std::string, std::string>> Boxes() const
    {
        std::vector<std::pair<std::string, std::string>> boxes;
        for (const auto& e : Events("message_box")) boxes.emplace_back(e["caption"], e["text"]);
        return boxes;
    }
    void InjectFault(const std::string& op, std::uint32_t error, int call = 1, int count = 1);

    std::filesystem::path root_;
};

}  // namespace txrtest
