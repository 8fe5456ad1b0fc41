// A fresh simulated machine with a main window object, and helpers to lay out files in the unpack
// folder and to read the message boxes a person saw.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/Form1.h"
#include "package/PackageLayer.h"
#include "platform/sim/SimMachine.h"
#include "tests/support/SimFixture.h"

namespace txrtest {

inline constexpr const char16_t* kUnpackFolder64 = u"C:\\Program Files (x86)\\ZQ_DriverCab_Temp";
inline constexpr const char16_t* kUnpackFolder32 = u"C:\\Program Files\\ZQ_DriverCab_Temp";

class PackageTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        form_.UI_BuildCatalogs();
    }

    std::filesystem::path Host(const std::string& relative) const { return sim::Machine::get().drive_c() / relative; }
    std::filesystem::path UnpackHost() const { return Host("Program Files (x86)/ZQ_DriverCab_Temp"); }

    void WriteHost(const std::filesystem::path& file, const std::string& bytes) const
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
    // An INF file in the unpack folder's Driver sub-folder.
    void WriteInf(const std::string& name, const std::string& text) const
    {
        WriteHost(UnpackHost() / "Driver" / name, text);
    }

    std::vector<std::string> CommandLines() const
    {
        std::vector<std::string> lines;
        for (const auto& e : Events("process_started")) lines.push_back(e["command_line"]);
        return lines;
    }

    void SetExpand(const sim::json& setting)
    {
        State()["processes"]["expand"] = setting;
        Save();
    }

    // Whether the build embedded the sample package (rather than the stand-in archives made when
    // no package is present).
    static bool EmbeddedPackagePresent()
    {
        for (const auto& r : sim::embedded_resources())
            if (r.id == txr::kCabResourceCommon && r.size > 64) return true;
        return false;
    }

    txr::Form1 form_;
};

}  // namespace txrtest
