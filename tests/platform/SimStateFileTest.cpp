// The machine's state on disk: saving appends what changed to a journal (one short line for one
// printer among many), a reader applies it, a fold writes it back; a line a writer left unfinished
// is not read. Two processes use one machine at the same time without losing each other's changes
// or seeing a half-written state, and a named mutex is one object for all of them.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/sim/SimJournal.h"
#include "platform/win32api.h"
#include "tests/support/SimFixture.h"

namespace {

using sim::json;

class SimStateFile : public txrtest::SimTest {
protected:
    json& Printers() { return State()["spooler"]["printers"]; }
    static json Printer(const std::string& name) { return {{"name", name}, {"driver", "D"}, {"port", "LPT1:"}}; }
    std::uintmax_t JournalBytes() const
    {
        std::error_code ec;
        auto n = std::filesystem::file_size(sim::Machine::get().journal_file(), ec);
        return ec ? 0 : n;
    }
    // What a process that starts now reads from the machine folder.
    json ReadByAnotherProcess()
    {
        auto& m = sim::Machine::get();
        json mine = State();
        m.reload();
        json read = State();
        State() = mine;
        return read;
    }
    // Runs `child` in a process of its own (which sees this machine) and answers its exit code.
    static int InChildProcess(const std::function<int()>& child)
    {
        const pid_t pid = fork();
        if (pid == 0) _exit(child());
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
    }
};

TEST(SimJournal, ChangesTurnOneStateIntoTheOther)
{
    const json printers = json::array({{{"name", "A"}, {"port", "1"}}, {{"name", "B"}, {"port", "2"}},
                                       {{"name", "C"}, {"port", "3"}}});
    struct Case {
        const char* what;
        json to;
        std::vector<std::string> ops;  // the changes expected, in order
    };
    auto with = [&](auto change) {
        json s = {{"spooler", {{"printers", printers}, {"drivers", json::array({{{"name", "X"}}, {{"name", "X"}}})}}},
                  {"clock", {{"ms", 0}}}};
        change(s);
        return s;
    };
    const Case cases[] = {
        {"nothing", with([](json&) {}), {}},
        {"one printer goes", with([](json& s) { s["spooler"]["printers"].erase(1); }), {"drop"}},
        {"one printer comes", with([](json& s) { s["spooler"]["printers"].push_back({{"name", "D"}}); }), {"put"}},
        {"one printer changes", with([](json& s) { s["spooler"]["printers"][2]["port"] = "9"; }), {"put"}},
        {"one goes, another comes",
         with([](json& s) {
             s["spooler"]["printers"].erase(0);
             s["spooler"]["printers"].push_back({{"name", "D"}});
         }),
         {"drop", "put"}},
        {"a list without distinct names", with([](json& s) { s["spooler"]["drivers"][1]["v"] = 2; }), {"set"}},
        {"a value", with([](json& s) { s["clock"]["ms"] = 250; }), {"set"}},
        {"a member goes", with([](json& s) { s["spooler"].erase("drivers"); }), {"remove"}},
        {"a section comes", with([](json& s) { s["faults"] = json::array(); }), {"set"}},
    };
    const json from = with([](json&) {});
    for (const auto& c : cases) {
        json changes = json::array();
        sim::journal::diff(from, c.to, changes);
        std::vector<std::string> ops;
        for (const auto& ch : changes) ops.push_back(ch["op"]);
        EXPECT_EQ(ops, c.ops) << c.what << ": " << changes.dump();
        json applied = from;
        for (const auto& ch : changes) EXPECT_TRUE(sim::journal::apply(applied, ch)) << c.what;
        EXPECT_EQ(applied, c.to) << c.what;
    }
}

TEST_F(SimStateFile, ASaveAmongManyPrintersWritesOnlyTheChange)
{
    for (int i = 0; i < 1000; ++i) Printers().push_back(Printer("Printer " + std::to_string(i)));
    sim::Machine::get().fold();
    const auto stateTime = std::filesystem::last_write_time(sim::Machine::get().state_file());
    ASSERT_EQ(JournalBytes(), 0u);

    Printers().erase(Printers().begin() + 500);
    Save();
    const auto afterOne = JournalBytes();
    EXPECT_GT(afterOne, 0u);
    EXPECT_LT(afterOne, 200u) << "one printer deleted is one short line";
    Printers().push_back(Printer("Printer new"));
    sim::Machine::get().save_changed({"/spooler/printers"});
    EXPECT_LT(JournalBytes() - afterOne, 200u);
    const auto afterTwo = JournalBytes();
    Printers()[10]["port"] = "USB001";
    sim::Machine::get().save_element("/spooler/printers", Printers()[10]["name"].get<std::string>());
    EXPECT_LT(JournalBytes() - afterTwo, 200u);
    EXPECT_EQ(std::filesystem::last_write_time(sim::Machine::get().state_file()), stateTime)
        << "the state file is not rewritten";

    const json read = ReadByAnotherProcess();
    EXPECT_EQ(read["spooler"]["printers"], Printers());
    sim::Machine::get().fold();
    EXPECT_EQ(JournalBytes(), 0u);
    EXPECT_EQ(ReadByAnotherProcess()["spooler"]["printers"].size(), 1001u);
}

TEST_F(SimStateFile, ALineAWriterLeftUnfinishedIsNotRead)
{
    Printers().push_back(Printer("Kept"));
    Save();
    {
        std::ofstream torn(sim::Machine::get().journal_file(), std::ios::app | std::ios::binary);
        torn << R"({"op":"put","path":"/spooler/printers","name":"Torn","val)";
    }
    json read = ReadByAnotherProcess();
    ASSERT_EQ(read["spooler"]["printers"].size(), 2u);
    EXPECT_EQ(read["spooler"]["printers"][1]["name"], "Kept");
    // The next writer cuts the unfinished line off before its own.
    Printers().push_back(Printer("After"));
    Save();
    read = ReadByAnotherProcess();
    ASSERT_EQ(read["spooler"]["printers"].size(), 3u);
    EXPECT_EQ(read["spooler"]["printers"][2]["name"], "After");
}

TEST_F(SimStateFile, TwoProcessesKeepEachOthersChanges)
{
    constexpr int kEach = 150;
    auto writer = [&](const std::string& who) {
        return [who] {
            auto& m = sim::Machine::get();
            for (int i = 0; i < kEach; ++i) {
                auto l = sim::lock();
                m.state()["spooler"]["printers"].push_back({{"name", who + std::to_string(i)}});
                m.save();
            }
            return 0;
        };
    };
    const std::size_t before = Printers().size();
    const pid_t a = fork();
    if (a == 0) _exit(writer("a")());
    const pid_t b = fork();
    if (b == 0) _exit(writer("b")());
    // Meanwhile this process reads again and again: never a broken state, never one that loses
    // what it saw already.
    std::size_t seen = before;
    for (int i = 0; i < 50; ++i) {
        const json read = ReadByAnotherProcess();
        ASSERT_TRUE(read.contains("spooler"));
        EXPECT_GE(read["spooler"]["printers"].size(), seen);
        seen = read["spooler"]["printers"].size();
    }
    int status = 0;
    waitpid(a, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    waitpid(b, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadByAnotherProcess()["spooler"]["printers"].size(), before + 2 * kEach);
}

TEST_F(SimStateFile, AFoldByAnotherProcessLosesNothingOfThisOne)
{
    Printers().push_back(Printer("Mine before"));
    Save();
    ASSERT_EQ(InChildProcess([] {
                  auto& m = sim::Machine::get();
                  m.state()["spooler"]["printers"].push_back({{"name", "Theirs"}});
                  m.fold();
                  return 0;
              }),
              0);
    Printers().push_back(Printer("Mine after"));
    Save();
    std::vector<std::string> names;
    const json read = ReadByAnotherProcess();
    for (const auto& p : read["spooler"]["printers"]) names.push_back(p["name"]);
    ASSERT_GE(names.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
              (std::vector<std::string>{"Mine before", "Theirs", "Mine after"}));
}

TEST_F(SimStateFile, ANamedMutexIsOneForTheMachinesProcesses)
{
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = fork();
    if (child == 0) {
        win::HANDLE h = win::CreateMutexW(nullptr, win::TRUE, u"TXR4100-Installer");
        const char made = (h && win::GetLastError() == 0) ? 'y' : 'n';
        (void)!write(toParent[1], &made, 1);
        char go;
        (void)!read(toChild[0], &go, 1);
        _exit(0);  // ends holding and owning it
    }
    char made = 0;
    ASSERT_EQ(read(toParent[0], &made, 1), 1);
    EXPECT_EQ(made, 'y');
    win::HANDLE seen = win::CreateMutexW(nullptr, win::TRUE, u"TXR4100-Installer");
    EXPECT_EQ(win::GetLastError(), win::ERROR_ALREADY_EXISTS) << "the other process holds it";
    EXPECT_FALSE(win::ReleaseMutex(seen)) << "initialOwner is ignored for an existing mutex";
    EXPECT_EQ(win::GetLastError(), win::ERROR_NOT_OWNER);
    win::CloseHandle(seen);

    (void)!write(toChild[1], "x", 1);
    waitpid(child, nullptr, 0);
    // Its process has ended: the mutex is gone with it.
    win::HANDLE fresh = win::CreateMutexW(nullptr, win::FALSE, u"TXR4100-Installer");
    EXPECT_EQ(win::GetLastError(), win::ERROR_SUCCESS);
    win::CloseHandle(fresh);
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) close(fd);
}

}  // namespace
